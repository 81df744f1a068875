#!/usr/bin/env python3
"""Size breakdown of a linked DLL from its linker map (GNU ld, or LLD's COFF or ELF-style map).

    dll_size.py <linker map> [<dll> [<goal bytes>]]

Adds up the input sections that end up in the image (code, read-only data,
data, unwind tables, the rest; debug sections and .bss left out) by where they
came from: each of our own source folders, then every runtime or system
library, and lists the largest objects, so a size regression shows where it
came from. With the DLL, prints its file size against the goal and exits 1
when over it.
"""
import os
import re
import sys
from collections import defaultdict

COLUMNS = [("code", (".text",)), ("rodata", (".rdata", ".rodata")), ("data", (".data", ".tls", ".CRT")),
           ("unwind", (".pdata", ".xdata", ".eh_frame"))]
SKIPPED = (".debug", ".zdebug", ".bss", ".stab", ".comment", ".gnu_debuglink")


def column_of(section):
    for name, prefixes in COLUMNS:
        if any(section == p or section.startswith(p + ".") or section.startswith(p + "$") for p in prefixes):
            return name
    return "other"


def component_of(path):
    """Our objects by source folder, everything else by its archive."""
    archive = re.match(r"(.*?)\((.*)\)$", path)
    member = None
    if archive:
        path, member = archive.group(1), archive.group(2)
    base = os.path.basename(path)
    if base in ("liblumo_core.a", "lumo_core.lib") or "lumo_core.dir" in path:
        src = re.search(r"lumo_core\.dir/(\w+)/", path)
        folder = src.group(1) if src else folder_of_member(member)
        return "src/" + folder, member or base
    if "LumoGameSDK.dir" in path:
        return "src/sdk", member or base
    if not archive and "/" not in path:
        return origin_of_object(base), base
    return base, member or base


def origin_of_object(name):
    """LLD's COFF map names an archive member without its archive: tell the
    origin from the member's own name."""
    if name.endswith((".cpp.obj", ".rc.res")):
        folder = folder_of_member(name)
        return "src/" + (folder if folder != "?" else "sdk")
    m = re.match(r"lib64_(lib\w+?)_a-", name) or re.match(r"(lib\w+?)_la-", name)
    if m:
        return m.group(1) + ".a"
    if re.match(r"(lib\w+[th]|d\d+)\.o$", name):
        return "import libraries"
    return "C++ runtime (libstdc++, libgcc)"


_members = {}


def folder_of_member(member):
    """liblumo_core.a(log.cpp.obj) names no folder: find it under src/."""
    if not member:
        return "?"
    if not _members:
        root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
        for folder in os.listdir(root):
            if os.path.isdir(os.path.join(root, folder)):
                for f in os.listdir(os.path.join(root, folder)):
                    _members[f + ".obj"] = folder
    return _members.get(member, "?")


def parse(map_path):
    """Yields (section, size, input file) for every input section in the image."""
    lines = open(map_path, errors="replace").read().splitlines()
    if lines and lines[0].split()[:3] == ["Address", "Size", "Align"]:
        # LLD's COFF map: "<address> <size> <align>   <file>:(<section>)".
        for line in lines[1:]:
            m = re.match(r"\s*[0-9a-f]+\s+([0-9a-f]+)\s+\d+\s+(\S.*?):\((\S+)\)$", line)
            if m:
                yield m.group(3), int(m.group(1), 16), m.group(2)
        return
    lld = lines and lines[0].split()[:4] == ["VMA", "LMA", "Size", "Align"]
    if lld:
        for line in lines[1:]:
            m = re.match(r"\s*[0-9a-f]+\s+[0-9a-f]+\s+([0-9a-f]+)\s+\d+\s+(\S.*?):\((\S+)\)$", line)
            if m:
                yield m.group(3), int(m.group(1), 16), m.group(2)
        return
    try:
        start = lines.index("Linker script and memory map")
    except ValueError:
        sys.exit("%s is not a linker map" % map_path)
    pending = None
    for line in lines[start:]:
        m = re.match(r"^ (\.\S+|COMMON)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if m:
            yield m.group(1), int(m.group(3), 16), m.group(4)
            pending = None
            continue
        m = re.match(r"^ (\.\S+|COMMON)$", line)
        if m:
            pending = m.group(1)
            continue
        m = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if pending and m:
            yield pending, int(m.group(2), 16), m.group(3)
        pending = None


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    by_component = defaultdict(lambda: defaultdict(int))
    by_object = defaultdict(int)
    for section, size, path in parse(sys.argv[1]):
        if size == 0 or section.startswith(SKIPPED) or section == "COMMON":
            continue
        component, obj = component_of(path)
        column = column_of(section)
        by_component[component][column] += size
        by_component[component]["total"] += size
        by_object[(component, obj)] += size

    names = [c for c, _ in COLUMNS] + ["other", "total"]
    print("%-28s" % "from" + "".join("%10s" % n for n in names))
    totals = defaultdict(int)
    for component, sizes in sorted(by_component.items(), key=lambda kv: -kv[1]["total"]):
        print("%-28s" % component + "".join("%10d" % sizes[n] for n in names))
        for n in names:
            totals[n] += sizes[n]
    print("%-28s" % "all" + "".join("%10d" % totals[n] for n in names))
    print("\nlargest objects:")
    for (component, obj), size in sorted(by_object.items(), key=lambda kv: -kv[1])[:15]:
        print("  %9d  %s: %s" % (size, component, obj))

    if len(sys.argv) >= 3:
        dll = sys.argv[2]
        goal = int(sys.argv[3]) if len(sys.argv) >= 4 else 512 * 1024
        size = os.path.getsize(dll)
        verdict = "within" if size <= goal else "OVER"
        print("\n%s: %d bytes (%.1f KiB), %s the goal of %d bytes (%d KiB)"
              % (os.path.basename(dll), size, size / 1024.0, verdict, goal, goal // 1024))
        return 0 if size <= goal else 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
