"""Reads what the release checks need from a Windows executable: the header
fields and the resources, straight from the bytes (no Windows, no toolchain)."""
import struct

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


class PeFile:
    def __init__(self, path):
        with open(path, 'rb') as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b'MZ':
            raise ValueError(f'{path}: no MZ header')
        pe = struct.unpack_from('<I', d, 0x3C)[0]
        if d[pe:pe + 4] != b'PE\0\0':
            raise ValueError(f'{path}: no PE signature')
        coff = pe + 4
        self.machine, sections, self.timestamp = struct.unpack_from('<HHI', d, coff)
        optional_size = struct.unpack_from('<H', d, coff + 16)[0]
        optional = coff + 20
        magic = struct.unpack_from('<H', d, optional)[0]
        self.is64 = magic == 0x20B
        self.subsystem, self.dll_characteristics = struct.unpack_from('<HH', d, optional + 68)
        directories = optional + (112 if self.is64 else 96)
        self.resource_rva, self.resource_size = struct.unpack_from('<II', d, directories + 2 * 8)
        self.security_offset, self.security_size = struct.unpack_from('<II', d, directories + 4 * 8)
        self.sections = []
        for i in range(sections):
            at = optional + optional_size + 40 * i
            vsize, vaddr, raw_size, raw_at = struct.unpack_from('<IIII', d, at + 8)
            self.sections.append((vaddr, max(vsize, raw_size), raw_at))

    def offset(self, rva):
        for vaddr, size, raw_at in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raw_at
        raise ValueError(f'RVA {rva:#x} lies in no section')

    def resources(self):
        """{(type, name, language): bytes}; ids as numbers, names as text."""
        found = {}
        if not self.resource_rva:
            return found
        base = self.offset(self.resource_rva)
        d = self.data

        def entries(directory):
            named, ids = struct.unpack_from('<HH', d, base + directory + 12)
            for i in range(named + ids):
                key, target = struct.unpack_from('<II', d, base + directory + 16 + 8 * i)
                if key & 0x80000000:
                    at = base + (key & 0x7FFFFFFF)
                    length = struct.unpack_from('<H', d, at)[0]
                    key = d[at + 2:at + 2 + 2 * length].decode('utf-16-le')
                yield key, target

        for rtype, types in entries(0):
            for name, names in entries(types & 0x7FFFFFFF):
                for language, leaf in entries(names & 0x7FFFFFFF):
                    rva, size = struct.unpack_from('<II', d, base + leaf)
                    at = self.offset(rva)
                    found[(rtype, name, language)] = d[at:at + size]
        return found

    def resource(self, rtype, name):
        """The one resource of a type and name, whatever its language."""
        matches = [v for (t, n, _), v in self.resources().items() if t == rtype and n == name]
        if len(matches) != 1:
            raise ValueError(f'{len(matches)} resources of type {rtype} named {name}')
        return matches[0]
