"""The version that the x64 installer of a winget installer manifest is
said to show in "Apps and features" (its AppsAndFeaturesEntries), empty
when it names none.
Usage: shown_version.py INSTALLER_MANIFEST"""
import sys

import yaml

installers = yaml.safe_load(open(sys.argv[1], encoding='utf-8'))['Installers']
x64 = next(i for i in installers if i['Architecture'] == 'x64')
print(' '.join(entry['DisplayVersion'] for entry in x64.get('AppsAndFeaturesEntries') or []))
