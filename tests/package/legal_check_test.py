#!/usr/bin/env python3
"""The package check refuses a package without its licence texts and a
build that links in a piece the third-party notices do not name.

    legal_check_test.py <check_package.py> <unpacked package root> <version> <linker map>...

On copies of the unpacked package (hard links; changed files are replaced,
never written through) and of the first map, each case must make
check_package.py exit non-zero with a fault that names what is wrong:
LICENSE missing; the Unity package's "Third Party Notices.md" missing; the
plugin's THIRD-PARTY-NOTICES.txt another text; the notices without their
winpthreads section; a map that shows an object of a library no notice
covers. The untouched copy passes, so each refusal comes from its change.
"""
import os
import shutil
import subprocess
import sys
import tempfile

check_package, root, version = sys.argv[1:4]
maps = sys.argv[4:]
failures = []

UNKNOWN_LINKCOM = " 0001:00000010       inflate                    0000000140001010     libz:inflate.o\n"
UNKNOWN_GNU = " .text          0x0000000000001000       0x10 /usr/x86_64-w64-mingw32/lib/libz.a(inflate.o)\n"


def remove(path):
    os.unlink(path)


def replace(path, text):
    os.unlink(path)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def without_winpthreads(pkg):
    notices = os.path.join(pkg, "THIRD-PARTY-NOTICES.txt")
    replace(notices, read(notices).replace("\n## winpthreads\n", "\n## POSIX threads\n"))


def case(name, change, expected, map_change=None):
    with tempfile.TemporaryDirectory() as work:
        pkg = os.path.join(work, "pkg")
        shutil.copytree(root, pkg, copy_function=os.link)
        used = list(maps)
        if change:
            change(pkg)
        if map_change:
            used[0] = os.path.join(work, os.path.basename(maps[0]))
            text = read(maps[0])
            with open(used[0], "w", encoding="utf-8") as f:
                f.write(text + (UNKNOWN_LINKCOM if "Preferred load address is" in text else UNKNOWN_GNU))
        r = subprocess.run([sys.executable, check_package, pkg, version] + used,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if expected is None:
        if r.returncode != 0:
            failures.append("%s: refused:\n%s" % (name, r.stdout))
    elif r.returncode == 0 or expected not in r.stdout:
        failures.append("%s: not refused with %r (exit %d):\n%s" % (name, expected, r.returncode, r.stdout))


case("the untouched package", None, None)
case("no LICENSE", lambda p: remove(os.path.join(p, "LICENSE")), "LICENSE is missing")
case("no Unity notices", lambda p: remove(os.path.join(p, "unity/com.lumo.gamesdk/Third Party Notices.md")),
     "Third Party Notices.md is missing")
case("another text in the plugin", lambda p: replace(os.path.join(p, "unreal/LumoGameSDK/THIRD-PARTY-NOTICES.txt"), "x"),
     "unreal/LumoGameSDK/THIRD-PARTY-NOTICES.txt differs")
case("notices without winpthreads", without_winpthreads, "winpthreads is linked in but THIRD-PARTY-NOTICES.txt has no section")
case("a map with an unknown library", None, "libz(inflate.o) is linked in but belongs to no third-party piece",
     map_change=True)

for failure in failures:
    print("FAILED " + failure)
print("legal_check_test: %d of 6 cases passed" % (6 - len(failures)))
sys.exit(1 if failures else 0)
