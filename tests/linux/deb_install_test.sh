#!/usr/bin/env bash
# Packs the build's norvane-drive as the Debian package, installs it with
# dpkg -i, runs the program from where the package put it and removes the
# package again: the machine is left as it was. Needs root (CI runs as root)
# and a machine without norvane-drive installed; otherwise it does not run
# (exit 77, which CTest counts as skipped).
# Usage: tests/linux/deb_install_test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
package=norvane-drive

if [ "$(id -u)" -ne 0 ]; then
  echo "dpkg -i needs root"
  exit 77
fi
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || [ -e /usr/bin/norvane-drive ]; then
  echo "norvane-drive is installed on this machine already: the test leaves it alone"
  exit 77
fi

deb=$("$here/scripts/release/build-deb.sh" --built "$build" "$build/deb-test")

# dpkg takes one caller at a time; another may hold its lock for a while.
dpkg_bounded() {
  local tries=30
  while [ "$tries" -gt 0 ]; do
    tries=$((tries - 1))
    if timeout 60 dpkg "$@" >"$build/deb-test/dpkg.log" 2>&1; then return 0; fi
    grep -q 'lock' "$build/deb-test/dpkg.log" || break
    sleep 2
  done
  cat "$build/deb-test/dpkg.log" >&2
  return 1
}
trap 'dpkg_bounded --purge "$package" || true' EXIT

dpkg_bounded -i "$deb"
for file in /usr/bin/norvane-drive /usr/share/man/man1/norvane-drive.1.gz \
  /usr/share/bash-completion/completions/norvane-drive /usr/share/doc/norvane-drive/copyright; do
  [ -f "$file" ] || { echo "the package did not install $file"; exit 1; }
done
listed=$(cd / && timeout 30 /usr/bin/norvane-drive --emulate list)
echo "$listed"
grep -q '^E : NORVANE BD-RE QDM-LT58' <<<"$listed" || { echo "the installed program did not list the demo's drives"; exit 1; }

dpkg_bounded --purge "$package"
trap - EXIT
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || [ -e /usr/bin/norvane-drive ] ||
  [ -e /usr/share/doc/norvane-drive ]; then
  echo "the package was not removed whole"
  exit 1
fi
echo "installed, ran and removed $(basename "$deb")"
