#!/usr/bin/env python3
"""Clears the two compile times that chmcmd writes into a CHM file, so that
the same sources give the same bytes: the time in the ITSF header and the
time entry (code 10) of the #SYSTEM file. Both lie outside the compressed
section. Usage: chm_clear_times.py <file.chm>..."""
import struct
import sys

ITSF_TIME = 0x10          # 4 bytes in the file header
SECTION0_OFFSET = 0x58    # where the uncompressed content section starts
SYSTEM_TIME_CODE = 10


def find_entry(data, name):
    """(section, offset, length) of a file, from the PMGL directory chunks."""
    wanted = name.encode('ascii')
    at = data.find(b'PMGL')
    while at >= 0:
        chunk_end = at + 0x1000
        free = struct.unpack_from('<I', data, at + 4)[0]
        pos, end = at + 20, chunk_end - free
        while pos < end:
            length, pos = read_encint(data, pos)
            entry = data[pos:pos + length]
            pos += length
            section, pos = read_encint(data, pos)
            offset, pos = read_encint(data, pos)
            size, pos = read_encint(data, pos)
            if entry == wanted:
                return section, offset, size
        at = data.find(b'PMGL', chunk_end)
    raise ValueError(f'no {name} in the directory')


def read_encint(data, pos):
    value = 0
    while True:
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if byte < 0x80:
            return value, pos


def clear_times(path):
    with open(path, 'rb') as f:
        data = bytearray(f.read())
    if data[:4] != b'ITSF':
        raise ValueError(f'{path}: not a CHM file')
    data[ITSF_TIME:ITSF_TIME + 4] = bytes(4)
    section, offset, size = find_entry(data, '/#SYSTEM')
    if section != 0:
        raise ValueError(f'{path}: #SYSTEM is compressed')
    start = struct.unpack_from('<Q', data, SECTION0_OFFSET)[0] + offset
    pos, end, cleared = start + 4, start + size, False  # after the version
    while pos + 4 <= end:
        code, length = struct.unpack_from('<HH', data, pos)
        if code == SYSTEM_TIME_CODE:
            data[pos + 4:pos + 4 + length] = bytes(length)
            cleared = True
        pos += 4 + length
    if not cleared:
        raise ValueError(f'{path}: no time entry in #SYSTEM')
    with open(path, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    for chm in sys.argv[1:]:
        clear_times(chm)
