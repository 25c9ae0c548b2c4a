#!/usr/bin/env bash
# Builds the x64 Windows Installer package (installer/NorvaneDriveUtility.wxs)
# with wixl from the x64 programs and the help files and texts.
# Windows Installer compares only the first three fields of a version, and
# ours move in the fourth, so a.b.c.d goes in as a.b.(c*1000+d): 1.0.0.6 is
# 1.0.6, and every release still upgrades the one before.
# Two builds give the same bytes: the ProductCode (new for every version, as
# major upgrades need) and the package code are derived from the version, and
# wixl, which reads no SOURCE_DATE_EPOCH, runs with its clock set to it.
# Usage: scripts/release/build-msi.sh PROGRAMS_DIR FILES_DIR VERSION OUT.msi
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
: "${SOURCE_DATE_EPOCH:=$(git -C "$here" log -1 --format=%ct)}"
IFS=. read -r major minor patch tweak <<<"$3"
msi_version=$major.$minor.$((patch * 1000 + ${tweak:-0}))
wxs=$here/installer/NorvaneDriveUtility.wxs
# Named in the UpgradeCode's namespace: one product, its codes per version.
code() {
  python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
    "$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' "$wxs")" "$1 $msi_version"
}
out=$(realpath "$4")
at_epoch() { faketime -f "@$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S') x0" "$@"; }

# wixl finds sources only by paths relative to where it runs.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ln -s "$(realpath "$1")" "$work/programs"
ln -s "$(realpath "$2")" "$work/files"
ln -s "$here/resources/norvane.ico" "$work/norvane.ico"
(cd "$work" && TZ=UTC at_epoch wixl --arch x64 -D Version="$msi_version" -D DisplayVersion="$3" \
  -D ProductCode="$(code product)" \
  -D ProgramsDir=programs -D FilesDir=files -D Icon=norvane.ico -o "$out" "$wxs")

# What wixl cannot write, added as rows. The AddToPath feature comes down to
# the install level when ADDTOPATH=1. Its Environment row: '=' sets, '-'
# removes on uninstall, '*' in the system's environment; "[~];" appends
# the folder to what PATH holds, and the uninstall takes exactly it off.
# The package code, random from wixl, goes into the summary.
TZ=UTC at_epoch msibuild "$out" -q "CREATE TABLE \`Condition\` (\`Feature_\` CHAR(38) NOT NULL, \`Level\` SHORT NOT NULL, \`Condition\` CHAR(255) PRIMARY KEY \`Feature_\`, \`Level\`)" \
  -q "INSERT INTO \`Condition\` (\`Feature_\`, \`Level\`, \`Condition\`) VALUES ('AddToPath', 1, 'ADDTOPATH = \"1\"')" \
  -q "CREATE TABLE \`Environment\` (\`Environment\` CHAR(72) NOT NULL, \`Name\` CHAR(255) NOT NULL, \`Value\` CHAR(255), \`Component_\` CHAR(72) NOT NULL PRIMARY KEY \`Environment\`)" \
  -q "INSERT INTO \`Environment\` (\`Environment\`, \`Name\`, \`Value\`, \`Component_\`) VALUES ('PATH', '=-*PATH', '[~];[INSTALLFOLDER]', 'PathEntry')" \
  -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)" \
  -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)" \
  -s "Norvane BD Drive Utility $3" Norvane "x64;1033" "{$(code package)}"
