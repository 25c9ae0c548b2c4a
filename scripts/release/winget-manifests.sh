#!/usr/bin/env bash
# Writes the winget manifests of the release beside its installers: the
# version, the installers (the MSI for x64, the NSIS installer for x86, each
# with its SHA-256, scope, silent switches, ProductCode and upgrade
# behaviour, and for the MSI the entry it makes in "Apps and features") and
# the locales, en-US by default and ja-JP. The installers are
# downloaded from NORVANE_RELEASE_URL/<version>/, set it when publishing.
# Usage: scripts/release/winget-manifests.sh OUT_DIR VERSION MSI SETUP_EXE
set -euo pipefail
out=$1 version=$2 msi=$3 setup=$4
id=Norvane.BDDriveUtility
base=${NORVANE_RELEASE_URL:-https://downloads.norvane.invalid/bd-drive-utility}/$version
schema=1.10.0
sha() { sha256sum "$1" | cut -d' ' -f1 | tr a-f A-F; }
msi_property() { msiinfo export "$msi" Property | tr -d '\r' | sed -n "s/^$1\t//p"; }
product_code=$(msi_property ProductCode)
header() {  # manifest type
  printf '# yaml-language-server: $schema=https://aka.ms/winget-manifest.%s.%s.schema.json\n' "$1" "$schema"
  printf 'PackageIdentifier: %s\nPackageVersion: %s\n' "$id" "$version"
}
footer() { printf 'ManifestType: %s\nManifestVersion: %s\n' "$1" "$schema"; }

{ header version; printf 'DefaultLocale: en-US\n'; footer version; } >"$out/$id.yaml"

# "Apps and features" shows the MSI's version, a.b.(1000c+d), not the
# package's a.b.c.d: the MSI's entry there tells winget which package version
# an installed copy is, without which it sees no upgrade.
{ header installer
  cat <<YAML
Scope: machine
Installers:
- Architecture: x64
  InstallerType: wix
  InstallerUrl: $base/$(basename "$msi")
  InstallerSha256: $(sha "$msi")
  ProductCode: '$product_code'
  UpgradeBehavior: install
  AppsAndFeaturesEntries:
  - DisplayVersion: '$(msi_property ProductVersion)'
    ProductCode: '$product_code'
    UpgradeCode: '$(msi_property UpgradeCode)'
- Architecture: x86
  InstallerType: nullsoft
  InstallerUrl: $base/$(basename "$setup")
  InstallerSha256: $(sha "$setup")
  InstallerSwitches:
    Silent: /S
    SilentWithProgress: /S
  ProductCode: NorvaneDriveUtility
  UpgradeBehavior: install
YAML
  footer installer; } >"$out/$id.installer.yaml"

locale() {  # type locale short-description
  { header "$1"
    printf 'PackageLocale: %s\nPublisher: Norvane\nPackageName: Norvane BD Drive Utility\n' "$2"
    printf 'License: Proprietary\nShortDescription: %s\n' "$3"
    footer "$1"; } >"$out/$id.locale.$2.yaml"
}
locale defaultLocale en-US "Looks after Norvane external USB Blu-ray, DVD and CD drives."
locale locale ja-JP "Norvane の外付け USB ブルーレイ／DVD／CD ドライブのためのユーティリティです。"
