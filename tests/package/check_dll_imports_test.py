#!/usr/bin/env python3
"""scripts/check-dll.sh's import allow-list against copies of the built DLL.

    check_dll_imports_test.py <check-dll.sh> <bin dir>

The untouched DLL (with its symbol file) passes. Copies whose import of
SHLWAPI.dll is renamed, in the import table's name string, to a DLL that is
not one of the system's KnownDLLs (winmm.dll, which the clock once imported;
winhttp.dll; a planted-looking name) are refused, and the refusal names it.
"""
import os
import shutil
import subprocess
import sys
import tempfile

check_dll, bin_dir = sys.argv[1:3]
dll_name = "LumoGameSDK.dll"
symbols = [n for n in ("LumoGameSDK.pdb", "LumoGameSDK.dll.debug") if os.path.exists(os.path.join(bin_dir, n))]
failures = []


def run(data):
    with tempfile.TemporaryDirectory() as folder:
        for name in symbols:
            shutil.copy(os.path.join(bin_dir, name), folder)
        path = os.path.join(folder, dll_name)
        with open(path, "wb") as f:
            f.write(data)
        r = subprocess.run(["bash", check_dll, path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        return r.returncode, r.stdout


with open(os.path.join(bin_dir, dll_name), "rb") as f:
    original = f.read()

code, out = run(original)
if code != 0:
    failures.append("the built DLL is refused:\n" + out)

imported = b"SHLWAPI.dll\0"
if original.count(imported) != 1:
    sys.exit("expected one import name %r in %s, found %d" % (imported, dll_name, original.count(imported)))
for renamed in (b"WINMM.dll", b"winhttp.dll", b"VERSION.dll", b"lumo.dll"):
    altered = original.replace(imported, renamed + b"\0" * (len(imported) - len(renamed)))
    code, out = run(altered)
    if code == 0 or renamed.decode() not in out or "KnownDLLs" not in out:
        failures.append("an import of %s was not refused by name (exit %d):\n%s" % (renamed.decode(), code, out))

for failure in failures:
    print("FAILED " + failure)
print("%d of 5 cases passed" % (5 - len(failures)))
sys.exit(1 if failures else 0)
