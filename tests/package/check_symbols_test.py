#!/usr/bin/env python3
"""scripts/check_symbols.py against copies of a real DLL and its symbol file,
some of them altered the way a mix-up in a release folder alters them.

    check_symbols_test.py <check_symbols.py> <bin dir> <llvm-readobj> [<llvm-pdbutil>]

The checker must accept the untouched pair, and refuse, naming the cause, a
symbol file of another build (PDB: another GUID, another age in either
stream; DWARF: other bytes), a missing or damaged one, and a DLL that is not
stripped. The GUID it reports must be the one llvm-readobj reads from the
DLL, and every altered PDB must really differ for llvm-pdbutil too.
"""
import importlib.util
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

checker, bin_dir, readobj = sys.argv[1:4]
pdbutil = sys.argv[4] if len(sys.argv) > 4 else None
failures = []

module_spec = importlib.util.spec_from_file_location("check_symbols", checker)
check_symbols = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(check_symbols)

dll_name = "LumoGameSDK.dll"
symbols = [n for n in ("LumoGameSDK.pdb", "LumoGameSDK.dll.debug") if os.path.exists(os.path.join(bin_dir, n))]
if not symbols:
    sys.exit("no symbol file beside %s in %s" % (dll_name, bin_dir))


def run_check(folder):
    r = subprocess.run([sys.executable, checker, os.path.join(folder, dll_name)],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return r.returncode, r.stdout


def expect(what, ok, output):
    if not ok:
        failures.append(what)
        print("FAILED %s:\n%s" % (what, output))


def patched(data, offset, new):
    return data[:offset] + new + data[offset + len(new):]


def pdb_cases(pdb_path):
    """(name, altered PDB bytes, words the refusal must hold)."""
    pdb = check_symbols.Pdb(pdb_path)
    data = pdb.data
    guid_at = [pdb.offset(1, 12 + i) for i in range(16)]
    age_at = pdb.offset(1, 8)
    dbi_age_at = pdb.offset(3, 8)
    other_guid = data
    for at in guid_at[:4]:
        other_guid = patched(other_guid, at, bytes([data[at] ^ 0x5A]))
    age = struct.unpack_from("<I", data, age_at)[0]
    return [
        ("PDB of another build (GUID)", other_guid, "another build"),
        ("PDB rebuilt in place (info age)", patched(data, age_at, struct.pack("<I", age + 1)), "another build"),
        ("PDB rebuilt in place (debug info age)", patched(data, dbi_age_at, struct.pack("<I", age + 1)), "another build"),
        ("PDB cut short", data[:3000], "damaged"),
        ("not a PDB", b"another build" * 100, "not an MSF"),
    ]


def main():
    work = tempfile.mkdtemp(prefix="check-symbols-")
    try:
        def folder(name, dll_bytes=None, files=None):
            path = os.path.join(work, re.sub(r"\W+", "-", name))
            os.mkdir(path)
            shutil.copy(os.path.join(bin_dir, dll_name), path)
            if dll_bytes is not None:
                open(os.path.join(path, dll_name), "wb").write(dll_bytes)
            for n in symbols:
                shutil.copy(os.path.join(bin_dir, n), path)
            for n, data in (files or {}).items():
                if data is None:
                    os.remove(os.path.join(path, n))
                else:
                    open(os.path.join(path, n), "wb").write(data)
            return path

        rc, out = run_check(folder("untouched"))
        expect("the DLL's own symbols accepted", rc == 0, out)
        if "LumoGameSDK.pdb" in symbols:
            listing = subprocess.run([readobj, "--coff-debug-directory", os.path.join(bin_dir, dll_name)],
                                     stdout=subprocess.PIPE, text=True, check=True).stdout
            raw = re.search(r"PDBGUID: \(([0-9A-F ]+)\)", listing).group(1).split()
            le = bytes(int(b, 16) for b in raw)
            import uuid
            expect("reported GUID is the DLL's (llvm-readobj)", str(uuid.UUID(bytes_le=le)) in out, out + listing)
            pdb_path = os.path.join(bin_dir, "LumoGameSDK.pdb")
            original = None
            if pdbutil:
                original = subprocess.run([pdbutil, "dump", "-summary", pdb_path], stdout=subprocess.PIPE,
                                          text=True, check=True).stdout
            for name, data, words in pdb_cases(pdb_path):
                path = folder(name, files={"LumoGameSDK.pdb": data})
                rc, out = run_check(path)
                expect(name + " refused", rc == 1 and words in out and "Traceback" not in out, out)
                if pdbutil and words == "another build" and "GUID" in name:
                    altered = subprocess.run([pdbutil, "dump", "-summary", os.path.join(path, "LumoGameSDK.pdb")],
                                             stdout=subprocess.PIPE, text=True).stdout
                    guid = lambda s: re.search(r"GUID: (\S+)", s).group(1)
                    expect(name + ": llvm-pdbutil reads another GUID", guid(altered) != guid(original), altered)
        if "LumoGameSDK.dll.debug" in symbols:
            debug = open(os.path.join(bin_dir, "LumoGameSDK.dll.debug"), "rb").read()
            rc, out = run_check(folder("debug of another build", files={"LumoGameSDK.dll.debug": debug + b"another build"}))
            expect("DWARF file of another build refused", rc == 1 and "another build" in out, out)
        for n in symbols:
            rc, out = run_check(folder("without " + n, files={n: None}))
            expect(n + " missing refused", rc == 1 and "not beside it" in out, out)
        # Debug info left in: the first section header renamed to a DWARF section.
        dll = open(os.path.join(bin_dir, dll_name), "rb").read()
        pe = struct.unpack_from("<I", dll, 0x3C)[0]
        first_section = pe + 24 + struct.unpack_from("<H", dll, pe + 20)[0]
        rc, out = run_check(folder("not stripped", dll_bytes=patched(dll, first_section, b".debug_i")))
        expect("unstripped DLL refused", rc == 1 and "not stripped" in out, out)
        rc, out = run_check(folder("cut DLL", dll_bytes=dll[:0x200]))
        expect("damaged DLL refused", rc == 1 and "Traceback" not in out, out)
    finally:
        shutil.rmtree(work)
    print("check_symbols: %s" % ("all cases as expected" if not failures else "%d case(s) wrong" % len(failures)))
    return 1 if failures else 0


sys.exit(main())
