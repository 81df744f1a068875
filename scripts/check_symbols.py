#!/usr/bin/env python3
"""Checks that a shipped DLL is stripped and that its symbols beside it are its own.

    check_symbols.py <dll>

- A GCC build links the DLL to <dll>.debug with a .gnu_debuglink section: the
  file it names must be beside the DLL, its CRC-32 must be the one recorded,
  and it must hold the DWARF the DLL no longer has.
- A Clang/LLD build records a CodeView entry (RSDS) in the debug directory:
  the PDB it names must be beside the DLL, and the GUID and age in the PDB's
  info stream, and the age in its debug info (DBI) stream, must equal the
  DLL's, as a Windows debugger requires: a PDB of another build is refused.
Either way the DLL itself carries no debug sections and no symbol table.
Prints what it checked; exits 1 on the first mismatch.
"""
import os
import struct
import sys
import uuid
import zlib


def fail(message):
    print("check_symbols: " + message, file=sys.stderr)
    sys.exit(1)


class Pe:
    def __init__(self, path):
        self.data = open(path, "rb").read()
        d = self.data
        if d[:2] != b"MZ" or len(d) < 0x40:
            fail("%s is not a PE file" % path)
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            fail("%s has no PE header" % path)
        (self.machine, count, _, self.symtab, self.symbols, opt_size, _) = struct.unpack_from("<HHIIIHH", d, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from("<H", d, opt)[0]
        if magic != 0x20B:
            fail("%s is not a PE32+ (x64) image" % path)
        # Data directory 6: debug directory (RVA, size).
        self.debug_dir = struct.unpack_from("<II", d, opt + 112 + 6 * 8)
        self.sections = []
        strings = self.symtab + self.symbols * 18
        for i in range(count):
            off = opt + opt_size + i * 40
            raw_name = d[off:off + 8].rstrip(b"\0").decode("latin-1")
            if raw_name.startswith("/") and self.symtab:
                start = strings + int(raw_name[1:])
                raw_name = d[start:d.index(b"\0", start)].decode("latin-1")
            vsize, rva, raw_size, raw_ptr = struct.unpack_from("<IIII", d, off + 8)
            self.sections.append((raw_name, rva, vsize, raw_ptr, raw_size))

    def section(self, name):
        for s in self.sections:
            if s[0] == name:
                return self.data[s[3]:s[3] + min(s[2], s[4]) if s[2] else s[3] + s[4]]
        return None

    def at_rva(self, rva, size):
        for _, start, vsize, raw_ptr, raw_size in self.sections:
            if start <= rva < start + max(vsize, raw_size):
                off = raw_ptr + rva - start
                return self.data[off:off + size]
        fail("RVA 0x%x is in no section" % rva)

    def codeview(self):
        """(GUID, age, PDB path) of the RSDS entry, or None."""
        rva, size = self.debug_dir
        for i in range(size // 28 if rva else 0):
            entry = self.at_rva(rva + i * 28, 28)
            kind, data_size, _, data_ptr = struct.unpack_from("<IIII", entry, 12)
            if kind == 2:  # IMAGE_DEBUG_TYPE_CODEVIEW
                cv = self.data[data_ptr:data_ptr + data_size]
                if cv[:4] != b"RSDS":
                    fail("CodeView entry is not RSDS")
                guid = uuid.UUID(bytes_le=cv[4:20])
                age = struct.unpack_from("<I", cv, 20)[0]
                return guid, age, cv[24:cv.index(b"\0", 24)].decode("utf-8")
        return None


class Pdb:
    """The streams of an MSF 7.00 file (a PDB), as lists of file offsets."""
    MAGIC = b"Microsoft C/C++ MSF 7.00\r\n\x1aDS\0\0\0"

    def __init__(self, path):
        self.path = path
        self.data = open(path, "rb").read()
        d = self.data
        if not d.startswith(self.MAGIC):
            fail("%s is not an MSF 7.00 PDB" % path)
        try:
            block, _, blocks_total, dir_bytes, _, map_addr = struct.unpack_from("<IIIIII", d, len(self.MAGIC))
            if block not in (512, 1024, 2048, 4096) or blocks_total * block > len(d):
                raise ValueError("block size %d, %d blocks" % (block, blocks_total))
            self.block = block
            dir_blocks = (dir_bytes + block - 1) // block
            blocks = struct.unpack_from("<%dI" % dir_blocks, d, map_addr * block)
            directory = b"".join(d[b * block:(b + 1) * block] for b in blocks)[:dir_bytes]
            count = struct.unpack_from("<I", directory, 0)[0]
            sizes = struct.unpack_from("<%dI" % count, directory, 4)
            pos = 4 + 4 * count
            self.streams = []
            for size in sizes:
                n = 0 if size == 0xFFFFFFFF else (size + block - 1) // block
                self.streams.append((0 if size == 0xFFFFFFFF else size,
                                     struct.unpack_from("<%dI" % n, directory, pos)))
                pos += 4 * n
        except (struct.error, ValueError) as e:
            fail("%s is damaged: %s" % (path, e))

    def offset(self, stream, pos):
        """The file offset of byte `pos` of a stream."""
        size, blocks = self.streams[stream]
        if pos >= size:
            fail("%s: stream %d is too short" % (self.path, stream))
        return blocks[pos // self.block] * self.block + pos % self.block

    def read(self, stream, pos, length):
        return bytes(self.data[self.offset(stream, pos + i)] for i in range(length))

    def guid_age(self):
        """GUID and age of the info stream (1), and the age of the DBI stream
        (3), which a Windows debugger also compares."""
        if len(self.streams) < 4:
            fail("%s has no info or no debug info stream" % self.path)
        info = self.read(1, 0, 28)
        age = struct.unpack_from("<I", info, 8)[0]
        signature, _, dbi_age = struct.unpack_from("<iII", self.read(3, 0, 12))
        if signature != -1:
            fail("%s: the debug info stream has no DBI header" % self.path)
        return uuid.UUID(bytes_le=info[12:28]), age, dbi_age


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    dll = sys.argv[1]
    folder = os.path.dirname(os.path.abspath(dll))
    pe = Pe(dll)
    if pe.machine != 0x8664:
        fail("%s is not an x64 image" % dll)
    debug_sections = [s[0] for s in pe.sections if s[0].startswith((".debug", ".zdebug"))]
    if debug_sections or pe.symbols:
        fail("%s is not stripped: %d symbols, sections %s" % (dll, pe.symbols, debug_sections))

    link = pe.section(".gnu_debuglink")
    cv = pe.codeview()
    if link is None and cv is None:
        fail("%s names no symbol file (neither .gnu_debuglink nor a CodeView entry)" % dll)
    if link is not None:
        name = link[:link.index(b"\0")].decode("utf-8")
        crc_at = (len(name) + 1 + 3) // 4 * 4
        crc = struct.unpack_from("<I", link, crc_at)[0]
        path = os.path.join(folder, name)
        if not os.path.isfile(path):
            fail("%s links to %s, which is not beside it" % (dll, name))
        actual = zlib.crc32(open(path, "rb").read()) & 0xFFFFFFFF
        if actual != crc:
            fail("%s: CRC-32 0x%08x, the DLL expects 0x%08x (symbols of another build)" % (name, actual, crc))
        symbols = Pe(path)
        if not symbols.section(".debug_info"):
            fail("%s holds no .debug_info" % name)
        print("%s: debug link %s, CRC-32 0x%08x matches" % (os.path.basename(dll), name, crc))
    if cv is not None:
        guid, age, pdb = cv
        name = pdb.replace("\\", "/").split("/")[-1]
        path = os.path.join(folder, name)
        if not os.path.isfile(path):
            fail("%s names %s, which is not beside it" % (dll, name))
        pdb_guid, pdb_age, dbi_age = Pdb(path).guid_age()
        if (pdb_guid, pdb_age, dbi_age) != (guid, age, age):
            fail("%s: GUID %s age %d (debug info age %d), the DLL expects GUID %s age %d (symbols of another build)"
                 % (name, pdb_guid, pdb_age, dbi_age, guid, age))
        print("%s: PDB %s, GUID %s age %d matches" % (os.path.basename(dll), name, guid, age))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (struct.error, ValueError, IndexError) as e:
        fail("%s or its symbol file is damaged: %s" % (sys.argv[1], e))
