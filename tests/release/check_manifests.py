"""The winget manifests in DIST_DIR: each one valid against winget's published
schema (tests/release/winget-schema), all four naming the same package and
version, each installer's hash and ProductCode those of the file built, and
the MSI's "Apps and features" entry (the version it shows there, its
ProductCode and UpgradeCode) that of the package built, by which winget
knows the installed version.
Usage: check_manifests.py DIST_DIR VERSION"""
import hashlib
import json
import pathlib
import subprocess
import sys

import jsonschema
import yaml

dist, version = pathlib.Path(sys.argv[1]), sys.argv[2]
schemas = pathlib.Path(__file__).parent / 'winget-schema'
package = 'Norvane.BDDriveUtility'
failures = []
expect = lambda ok, message: ok or failures.append(message)

kinds = {f'{package}.yaml': 'version', f'{package}.installer.yaml': 'installer',
         f'{package}.locale.en-US.yaml': 'defaultLocale', f'{package}.locale.ja-JP.yaml': 'locale'}
manifests = {}
for name, kind in kinds.items():
    manifest = yaml.safe_load((dist / name).read_text(encoding='utf-8'))
    manifests[kind] = manifest
    schema = json.loads((schemas / f'manifest.{kind}.{manifest["ManifestVersion"]}.json').read_text())
    for error in jsonschema.Draft7Validator(schema).iter_errors(manifest):
        failures.append(f'{name}: {error.message} at {list(error.path)}')
    expect(manifest['ManifestType'] == kind, f'{name}: ManifestType {manifest["ManifestType"]}')
    expect((manifest['PackageIdentifier'], manifest['PackageVersion']) == (package, version),
           f'{name}: {manifest["PackageIdentifier"]} {manifest["PackageVersion"]}')

msi = dist / f'NorvaneDriveUtility-{version}-x64.msi'
properties = subprocess.run(['msiinfo', 'export', msi, 'Property'], capture_output=True, text=True, check=True).stdout
msi_properties = dict(line.split('\t', 1) for line in properties.splitlines() if '\t' in line)
product_code = msi_properties['ProductCode']
built = {'x64': (msi, 'wix', product_code),
         'x86': (dist / f'NorvaneDriveUtility-{version}-setup.exe', 'nullsoft', 'NorvaneDriveUtility')}
installers = {i['Architecture']: i for i in manifests['installer']['Installers']}
expect(sorted(installers) == sorted(built), f'installers for {sorted(installers)}')
for arch, (path, kind, code) in built.items():
    entry = installers.get(arch, {})
    expect(entry.get('InstallerSha256', '').lower() == hashlib.sha256(path.read_bytes()).hexdigest(),
           f'{arch}: the SHA-256 is not that of {path.name}')
    expect(entry.get('InstallerUrl', '').endswith('/' + path.name), f'{arch}: downloads {entry.get("InstallerUrl")}')
    expect((entry.get('InstallerType'), entry.get('ProductCode')) == (kind, code),
           f'{arch}: {entry.get("InstallerType")} {entry.get("ProductCode")}, not {kind} {code}')
shown = [{'DisplayVersion': msi_properties['ProductVersion'], 'ProductCode': product_code,
          'UpgradeCode': msi_properties['UpgradeCode']}]
expect(installers.get('x64', {}).get('AppsAndFeaturesEntries') == shown,
       f'x64: Apps and features entries {installers.get("x64", {}).get("AppsAndFeaturesEntries")}, not {shown}')
expect(manifests['version']['DefaultLocale'] == manifests['defaultLocale']['PackageLocale'] == 'en-US',
       'the default locale is not en-US')

print('\n'.join(f'FAIL: {f}' for f in failures) or 'winget manifests: valid, and their installers are the ones built')
sys.exit(bool(failures))
