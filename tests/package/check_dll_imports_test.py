#!/usr/bin/env python3
"""scripts/check-dll.sh's import allow-list against copies of the built DLL
and of the shipped tools.

    check_dll_imports_test.py <check-dll.sh> <bin dir>

The untouched DLL (with its symbol file) passes, and so do the untouched
lumo-devhost.exe and lumo-hostcheck.exe (which may also import the SDK's own
DLL). Copies whose import of SHLWAPI.dll (the DLL) or SHELL32.dll (a tool) is
renamed, in the import table's name string, to a DLL that is not one of the
system's KnownDLLs (winmm.dll, which the clock and lumo-hostcheck once
imported; winhttp.dll; a planted-looking name) are refused, and the refusal
names it.
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


def run(data, tool=None, tool_data=None):
    """check-dll.sh on a copy of the DLL (`data`), and of one tool when given."""
    with tempfile.TemporaryDirectory() as folder:
        for name in symbols:
            shutil.copy(os.path.join(bin_dir, name), folder)
        path = os.path.join(folder, dll_name)
        with open(path, "wb") as f:
            f.write(data)
        command = ["bash", check_dll, path]
        if tool:
            command.append(os.path.join(folder, tool))
            with open(command[-1], "wb") as f:
                f.write(tool_data)
        r = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
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

cases = 5
for tool in ("lumo-devhost.exe", "lumo-hostcheck.exe"):
    with open(os.path.join(bin_dir, tool), "rb") as f:
        program = f.read()
    cases += 2
    code, out = run(original, tool, program)
    if code != 0:
        failures.append("the built %s is refused:\n%s" % (tool, out))
    imported = b"SHELL32.dll\0"
    if program.count(imported) != 1:
        sys.exit("expected one import name %r in %s, found %d" % (imported, tool, program.count(imported)))
    code, out = run(original, tool, program.replace(imported, b"WINMM.dll\0\0\0"))
    if code == 0 or "WINMM.dll" not in out or tool not in out:
        failures.append("%s importing WINMM.dll was not refused by name (exit %d):\n%s" % (tool, code, out))

for failure in failures:
    print("FAILED " + failure)
print("%d of %d cases passed" % (cases - len(failures), cases))
sys.exit(1 if failures else 0)
