#!/usr/bin/env bash
# Which installed version winget sees for each package version: for each
# version of the table, the MSI built from the release's x64 files and the
# winget manifests made for it. The MSI's ProductVersion, which "Apps and
# features" shows, is a.b.(1000c+d); the manifests must name it as the
# version that package installs (check_manifests.py checks them against the
# MSI, its codes and winget's schema), or winget compares the shown version
# with a.b.c.d and offers no upgrade.
# Usage: winget_versions_test.sh DIST_DIR WORK_DIR RELEASE_VERSION
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
dist=$(realpath "$1")
work=$2
release=$3
export SOURCE_DATE_EPOCH=1767225600

# package version    shown in "Apps and features"
cases=(
  "1.0.0.6           1.0.6"
  "1.0.0.7           1.0.7"
  "1.2.3.4           1.2.3004"
  "2.0.10.0          2.0.10000"
)

rm -rf "$work"
mkdir -p "$work/files"
unzip -q "$dist/NorvaneDriveUtility-$release-x64.zip" -d "$work/files"
failures=0
for row in "${cases[@]}"; do
  read -r version shown <<<"$row"
  out=$work/$version
  mkdir -p "$out"
  msi=$out/NorvaneDriveUtility-$version-x64.msi
  setup=$out/NorvaneDriveUtility-$version-setup.exe
  "$here/scripts/release/build-msi.sh" "$work/files" "$work/files" "$version" "$msi"
  cp "$dist/NorvaneDriveUtility-$release-setup.exe" "$setup"
  "$here/scripts/release/winget-manifests.sh" "$out" "$version" "$msi" "$setup"
  python3 "$here/tests/release/check_manifests.py" "$out" "$version" || failures=$((failures + 1))
  built=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')
  named=$(python3 "$here/tests/release/shown_version.py" "$out/Norvane.BDDriveUtility.installer.yaml")
  if [ "$built" != "$shown" ] || [ "$named" != "$shown" ]; then
    echo "FAIL: $version: the MSI shows $built, the manifest names ${named:-nothing}; expected $shown" >&2
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] && echo "winget: each package version names the version its MSI shows in Apps and features"
exit $((failures > 0))
