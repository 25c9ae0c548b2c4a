#!/usr/bin/env python3
"""Fails unless DIST holds the release as users get it: a portable zip per
architecture with the programs of that architecture (the window, a Windows
GUI program, and norvane-drive.exe, a console program), the four help files,
the readmes in both languages and the licence, each stamped with the release
time and in a fixed order; and the installer, a Windows program that carries
the release's version.

Usage: check_packages.py DIST X86_BUILD X64_BUILD VERSION SOURCE_DATE_EPOCH
(a build holds app/NorvaneDriveUtility.exe and tool/norvane-drive.exe)"""
import struct
import sys
import time
import zipfile

from pe_file import PeFile, RT_VERSION

# The programs: where a build has each, and the subsystem it runs in (2 GUI, 3 console).
PROGRAMS = {'NorvaneDriveUtility.exe': ('app', 2), 'norvane-drive.exe': ('tool', 3)}
HELP_FILES = ['NorvaneDriveUtility_English.chm', 'NorvaneDriveUtility_Japanese.chm',
              'QDM-LT58_English.chm', 'QDM-LT58_Japanese.chm']
ENTRIES = list(PROGRAMS) + HELP_FILES + ['ReadMe_English.txt', 'ReadMe_Japanese.txt', 'License.txt']
MACHINES = {'x86': 0x14C, 'x64': 0x8664}

problems = []


def expect(condition, problem):
    if not condition:
        problems.append(problem)


def check_program(path, name, exe, build, arch):
    folder, subsystem = PROGRAMS[name]
    expect(exe == open(f'{build}/{folder}/{name}', 'rb').read(), f'{path}: {name} is not the built {arch} one')
    if exe[:2] != b'MZ':
        return
    pe = struct.unpack_from('<I', exe, 0x3C)[0]
    pe_machine = struct.unpack_from('<H', exe, pe + 4)[0]
    expect(pe_machine == MACHINES[arch], f'{path}: {name} for machine {pe_machine:#x}')
    pe_subsystem = struct.unpack_from('<H', exe, pe + 24 + 68)[0]
    expect(pe_subsystem == subsystem, f'{path}: {name} for subsystem {pe_subsystem}, not {subsystem}')


def check_zip(path, build, arch, version, epoch):
    stamp = time.gmtime(epoch)
    expected_time = (stamp.tm_year, stamp.tm_mon, stamp.tm_mday, stamp.tm_hour, stamp.tm_min, stamp.tm_sec - stamp.tm_sec % 2)
    with zipfile.ZipFile(path) as archive:
        expect(archive.testzip() is None, f'{path}: a damaged entry')
        infos = archive.infolist()
        expect([i.filename for i in infos] == ENTRIES, f'{path}: entries {[i.filename for i in infos]}')
        for info in infos:
            expect(info.date_time == expected_time, f'{path}: {info.filename} dated {info.date_time}, not {expected_time}')
            expect(info.extra == b'', f'{path}: {info.filename} carries extra fields')
        contents = {i.filename: archive.read(i) for i in infos}
    for name in PROGRAMS:
        check_program(path, name, contents.get(name, b''), build, arch)
    for name in ('ReadMe_English.txt', 'ReadMe_Japanese.txt', 'License.txt'):
        data = contents.get(name, b'')
        expect(data.startswith(b'\xef\xbb\xbf'), f'{path}: {name} lacks the UTF-8 byte order mark')
        expect(b'\n' not in data.replace(b'\r\n', b''), f'{path}: {name} has lines not ended by CR LF')
        text = data.decode('utf-8-sig', errors='replace')
        expect('@VERSION@' not in text, f'{path}: {name} still holds @VERSION@')
        if name.startswith('ReadMe'):
            expect(version in text, f'{path}: {name} does not name version {version}')
    for name in HELP_FILES:
        expect(contents.get(name, b'')[:4] == b'ITSF', f'{path}: {name} is not a help file')
    return contents


def check_installer(path, version):
    pe = PeFile(path)
    expect(pe.subsystem == 2, f'{path}: not a Windows GUI program')
    info = pe.resource(RT_VERSION, 1)
    fixed = info.find(struct.pack('<I', 0xFEEF04BD))
    ms, ls = struct.unpack_from('<II', info, fixed + 8)
    found = f'{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}'
    expect(found == version, f'{path}: version {found}, not {version}')
    expect('Norvane BD Drive Utility'.encode('utf-16-le') in info, f'{path}: version information lacks the product name')


def main():
    dist, x86, x64, version, epoch = sys.argv[1:6]
    zips = {}
    for arch, build in (('x86', x86), ('x64', x64)):
        zips[arch] = check_zip(f'{dist}/NorvaneDriveUtility-{version}-{arch}.zip', build, arch, version, int(epoch))
    for name in ENTRIES[len(PROGRAMS):]:
        expect(zips['x86'].get(name) == zips['x64'].get(name), f'{name} differs between the zips')
    check_installer(f'{dist}/NorvaneDriveUtility-{version}-setup.exe', version)
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
