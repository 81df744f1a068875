#!/usr/bin/env python3
"""Checks that THIRD-PARTY-NOTICES.txt names every third-party piece that
the linker put into the shipped binaries.

    check_notices.py <THIRD-PARTY-NOTICES.txt> <linker map>...

Reads each map (LLD's link.exe-style map, `--Xlink=-map:`, from the Clang
build; GNU ld's `-Map` from the GCC build: both name the archive of every
linked object), sorts every linked object into our own code or one of the
third-party pieces below, and finds nlohmann/json (header-only, so inside
our own objects) by its symbols. Fails when an object belongs to no known
piece (a new library was linked in: add it to pieces_of() and its notice to the
file) or when a piece that was linked in has no section ("## <piece>") in
the notices. Prints the pieces of each map.
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dll_size import parse as parse_gnu_map  # noqa: E402

# Objects of gdtoa, David M. Gay's conversion code inside libmingwex.
GDTOA = {"dmisc", "dtoa", "g__fmt", "g_dfmt", "g_ffmt", "g_xfmt", "gdtoa", "gethex", "gmisc", "hd_init", "hexnan",
         "misc", "qnan", "smisc", "strtodg", "strtodnrp", "strtof", "strtopx", "sum", "ulp"}
GCC_ARCHIVES = {"libstdc++", "libsupc++", "libgcc", "libgcc_eh", "libssp", "libssp_nonshared", "libatomic"}
MINGW_ARCHIVES = {"libmingw32", "libmingwex", "libmsvcrt", "libmsvcrt-os", "libmoldname", "libucrt", "libucrtbase",
                  "libmingwthrd"}
MINGW_OBJECTS = {"crt2.o", "dllcrt2.o", "crtbegin.o", "crtend.o", "crt1.o", "crt1u.o", "crt2u.o"}


def stem_in(archive, member):
    """libmingwex's members are named lib64_libmingwex_a-<source>.o."""
    m = re.match(r"lib\d*_%s_a-(.+)\.o$" % re.escape(archive), member)
    return m.group(1) if m else os.path.splitext(member)[0]


def is_import_stub(archive, member):
    """A member of a MinGW-w64 import library of a system DLL (libkernel32s00019.o,
    its head libkernel32h.o and tail libkernel32t.o)."""
    return bool(re.match(r"%s(s\d+|h|t)\.o$" % re.escape(archive), member))


def is_own(archive, member):
    """Our static libraries and import library, and the objects CMake compiled
    (given loose, or in the objects.a it links long object lists through)."""
    return bool(re.match(r"(lib)?(lumo_\w+|LumoGameSDK(\.dll)?)$", archive)) or \
        (archive in ("", "objects") and member.endswith((".obj", ".res")))


def pieces_of(archive, member, path):
    """The third-party pieces one linked object belongs to (empty: unknown)."""
    stem = stem_in(archive, member)
    found = []
    if archive in GCC_ARCHIVES or (not archive and member in ("crtbegin.o", "crtend.o") and "/lib/gcc/" in path):
        found.append("GCC runtime libraries")
    elif archive in ("libpthread", "libwinpthread") or member.startswith("libwinpthread_la-"):
        found.append("winpthreads")
    elif archive in MINGW_ARCHIVES or (not archive and member in MINGW_OBJECTS) or is_import_stub(archive, member):
        found.append("MinGW-w64 runtime")
        if archive == "libmingwex" and stem in GDTOA:
            found.append("gdtoa")
        if archive == "libmingwex" and stem.startswith("mingw_") and ("printf" in stem or "pformat" in stem):
            found += ["mingw_pformat", "gdtoa"]
    return found


def linked_objects(map_path):
    """(archive without folder and suffix, member, path) of every linked object."""
    text = open(map_path, errors="replace").read()
    objects = set()
    if "Preferred load address is" in text:
        # link.exe style: each public symbol line ends with "<archive>:<object>"
        # or, for an object given on the command line, "<object>".
        for m in re.finditer(r"^ [0-9a-f]{4}:[0-9a-f]{8}\s+\S+\s+[0-9a-f]{16}\s+(?:f i |f |i )?\s*(\S+)$", text, re.M):
            where = m.group(1)
            if where.startswith("<"):
                continue
            archive, _, member = where.rpartition(":")
            objects.add((archive, member, where))
        return text, objects
    if text.startswith("Address  Size     Align Out     In      Symbol"):
        sys.exit("%s is LLD's own map, which does not name archives: give the link.exe-style map "
                 "(-Wl,--Xlink=-map:<file>)" % map_path)
    for _, _, path in parse_gnu_map(map_path):
        if path == "dll stuff":  # what GNU ld writes itself (base relocations)
            continue
        m = re.match(r"(.*?)\((.*)\)$", path)
        if m:
            archive = re.sub(r"\.(a|lib)$", "", os.path.basename(m.group(1)))
            objects.add((archive, m.group(2), path))
        else:
            objects.add(("", os.path.basename(path), path))
    return text, objects


def notices_sections(notices_text):
    return {m.group(1).strip() for m in re.finditer(r"^## (.+)$", notices_text, re.M)}


def check(notices_path, map_paths, report=print):
    """Returns the faults; reports the pieces of each map."""
    faults = []
    sections = notices_sections(open(notices_path, encoding="utf-8").read())
    for map_path in map_paths:
        text, objects = linked_objects(map_path)
        name = os.path.basename(map_path)
        if not objects:
            faults.append("%s lists no linked objects" % name)
            continue
        pieces, unknown = set(), set()
        for archive, member, path in objects:
            if is_own(archive, member):
                continue
            found = pieces_of(archive, member, path)
            pieces.update(found)
            if not found:
                unknown.add("%s(%s)" % (archive, member) if archive else member)
        if "nlohmann" in text:
            pieces.add("nlohmann/json")
        for item in sorted(unknown):
            faults.append("%s: %s is linked in but belongs to no third-party piece the notices know" % (name, item))
        for piece in sorted(pieces - sections):
            faults.append("%s: %s is linked in but %s has no section \"## %s\""
                          % (name, piece, os.path.basename(notices_path), piece))
        report("%s: %s" % (name, ", ".join(sorted(pieces)) or "no third-party pieces"))
    return faults


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    faults = check(sys.argv[1], sys.argv[2:], report=lambda line: print("check_notices: " + line))
    for f in faults:
        print("check_notices: " + f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
