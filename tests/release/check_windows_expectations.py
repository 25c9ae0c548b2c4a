#!/usr/bin/env python3
"""Fails unless a built executable carries what Windows expects of a current
program: a manifest that names Windows 7 to 11 as supported (so that no
compatibility shims apply) and runs as the invoking user; for the window, the
version 6 common controls and DPI awareness per monitor (version 2 where
Windows has it, else the first version); for the command-line tool
(--tool), UTF-8 as the active code page; an icon with every size the shell
asks for, 256 as PNG; and version resources that match the product version.

Usage: check_windows_expectations.py <exe> <version a.b.c.d> [--tool]"""
import struct
import sys
import xml.etree.ElementTree as ET

from pe_file import PeFile, RT_GROUP_ICON, RT_ICON, RT_MANIFEST, RT_VERSION

SUPPORTED_OS = {
    '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}': 'Windows 7',
    '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}': 'Windows 8',
    '{1f676c76-80e1-4239-95bb-83d0f6d0da78}': 'Windows 8.1',
    '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}': 'Windows 10 and 11',
}
ICON_SIZES = [16, 20, 24, 32, 40, 48, 64, 256]
# What sets the two programs apart: the assembly's name, the icon's
# resource number and the window-only or tool-only settings.
WINDOW = {'assembly': 'Norvane.NorvaneDriveUtility', 'icon': 128, 'tool': False}
TOOL = {'assembly': 'Norvane.NorvaneDrive', 'icon': 1, 'tool': True}
PNG_SIGNATURE = b'\x89PNG\r\n\x1a\n'

problems = []


def expect(condition, problem):
    if not condition:
        problems.append(problem)


def check_manifest(pe, version, kind):
    manifest = ET.fromstring(pe.resource(RT_MANIFEST, 1))
    def named(local):
        return [e for e in manifest.iter() if e.tag.endswith('}' + local)]
    supported = {e.get('Id', '').lower() for e in named('supportedOS')}
    for guid, system in SUPPORTED_OS.items():
        expect(guid in supported, f'manifest: {system} is not a supportedOS')
    levels = [e.get('level') for e in named('requestedExecutionLevel')]
    expect(levels == ['asInvoker'], f'manifest: execution level {levels}, not asInvoker')
    identities = {e.get('name'): e.get('version') for e in named('assemblyIdentity')}
    expect(identities.get(kind['assembly']) == version,
           f'manifest: assembly version {identities.get(kind["assembly"])}, not {version}')
    if kind['tool']:
        expect([e.text for e in named('activeCodePage')] == ['UTF-8'], 'manifest: the code page is not UTF-8')
        return
    expect([e.text for e in named('dpiAware')] == ['true/pm'], 'manifest: not DPI-aware per monitor before Windows 10')
    awareness = [[value.strip() for value in e.text.split(',')] for e in named('dpiAwareness')]
    expect(awareness == [['PerMonitorV2', 'PerMonitor']],
           f'manifest: DPI awareness {awareness}, not per monitor (v2, else v1)')
    expect(identities.get('Microsoft.Windows.Common-Controls') == '6.0.0.0',
           'manifest: no dependency on the version 6 common controls')


def check_icon(pe, kind):
    group = pe.resource(RT_GROUP_ICON, kind['icon'])
    count = struct.unpack_from('<H', group, 4)[0]
    sizes = []
    for i in range(count):
        width, height, _, _, _, bits, _, icon_id = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i)
        size = width or 256  # 0 stands for 256
        sizes.append(size)
        image = pe.resource(RT_ICON, icon_id)
        if size == 256:
            expect(image[:8] == PNG_SIGNATURE, 'icon: the 256 image is not PNG-compressed')
            png_width, png_height = struct.unpack_from('>II', image, 16)
            expect((png_width, png_height) == (256, 256), f'icon: the PNG is {png_width}x{png_height}')
        else:
            dib_width, dib_height, _, dib_bits = struct.unpack_from('<iiHH', image, 4)
            expect((dib_width, dib_height) == (size, 2 * size),  # colour and mask
                   f'icon: the {size} entry holds a {dib_width}x{dib_height // 2} image')
            expect(dib_bits == 32, f'icon: the {size} image has {dib_bits} bits a pixel, not 32 with alpha')
    expect(sorted(sizes) == ICON_SIZES, f'icon: sizes {sorted(sizes)}, want {ICON_SIZES}')


def check_version(pe, version):
    info = pe.resource(RT_VERSION, 1)
    fixed = info.find(struct.pack('<I', 0xFEEF04BD))
    expect(fixed >= 0, 'version: no fixed file information')
    if fixed < 0:
        return
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from('<IIII', info, fixed + 8)
    def dotted(ms, ls):
        return f'{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}'
    expect(dotted(file_ms, file_ls) == version, f'version: file version {dotted(file_ms, file_ls)}, not {version}')
    expect(dotted(product_ms, product_ls) == version,
           f'version: product version {dotted(product_ms, product_ls)}, not {version}')


def main():
    exe, version = sys.argv[1:3]
    kind = TOOL if sys.argv[3:] == ['--tool'] else WINDOW
    pe = PeFile(exe)
    check_manifest(pe, version, kind)
    check_icon(pe, kind)
    check_version(pe, version)
    for problem in problems:
        print(f'{exe}: {problem}', file=sys.stderr)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
