#!/usr/bin/env bash
# No tracked text file names a place that exists on one machine only: a
# user's home or profile, a file in the temporary folder, the folder a
# checkout happened to be in. Such a path works where it was written and
# nowhere else. System places every machine has (/usr/bin, /dev/sr0, /etc,
# /proc, /sys, /run/udev) are not looked for.
# Usage: tests/source_tree/absolute_paths_test.sh
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
self=tests/source_tree/absolute_paths_test.sh
cd "$here"
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "SKIPPED: $here is no git checkout, so there are no tracked files to look at"
  exit 77
fi

# A path begins at the line's start or after a character that cannot end a
# name of a relative path, so that some/home/x or $HOME/x is not taken for one.
begins='(^|[^A-Za-z0-9_.~$}-])'
machine_specific=(
  "$begins/(home|Users)/[^/[:space:]]"   # a user's home (Linux, macOS)
  "$begins/(root|work)([^A-Za-z0-9_.-]|$)" # root's home; the build machines' checkouts
  "$begins/(var/)?tmp/[A-Za-z0-9_.-]"    # a file in the temporary folder: tests make their own (mktemp)
  "$begins/run/user/[0-9]"               # a user's runtime folder
  "$begins/media/[^/[:space:]]+/"        # a user's removable media, /media/NAME/LABEL
  '[A-Za-z]:[\/]+([Uu]sers|USERS|Documents and Settings)[\/]' # a Windows profile
  '/mnt/[A-Za-z]/([Uu]sers|USERS)/'      # the same seen from a Linux on Windows
)

# Lines that name such a place on purpose, as FILE and an extended regular
# expression of the text, each with its reason.
allowed=(
  # A line of the kernel's mount table, as the tool's mount check reads it.
  "tests/linux/linux_transport_test.cpp /media/user/My"
)

is_allowed() {
  local file=$1 text=$2 entry
  for entry in "${allowed[@]}"; do
    [ "$file" = "${entry%% *}" ] && grep -qE -- "${entry#* }" <<<"$text" && return 0
  done
  return 1
}

patterns=()
for pattern in "${machine_specific[@]}"; do patterns+=(-e "$pattern"); done
# -I: binary files (the icon, the screenshots) hold no paths to read. git
# grep ends with 1 when nothing matched, above that when it could not look.
status=0
hits=$(git grep -nIE "${patterns[@]}" -- . ":!$self") || status=$?
if [ "$status" -gt 1 ]; then
  echo "git grep could not look through the tracked files (exit $status)"
  exit 1
fi
found=0
while IFS= read -r hit; do
  [ -n "$hit" ] || continue
  file=${hit%%:*}
  rest=${hit#*:}
  text=${rest#*:}
  is_allowed "$file" "$text" && continue
  echo "$hit"
  found=1
done <<<"$hits"

if [ "$found" -ne 0 ]; then
  echo "The tracked files above name a path that exists on one machine only; make it relative to the"
  echo "checkout, the build folder or a temporary folder the test makes, or allow it in $self with a reason."
  exit 1
fi
echo "No tracked file names a path outside the checkout that only one machine has."
