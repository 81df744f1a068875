#!/usr/bin/env python3
"""Runs scripts/install-deps.sh against a stand-in package database: a
dpkg-query, apt-cache and apt-get on PATH that this test writes, answering
from a table of installed and known packages. apt-get only records what it
was asked to install.

    install_deps_test.py <install-deps.sh>

Each case checks the exit status, what the script asked apt to install and
what it told the user. The stand-in dpkg-query writes a long listing, as on a
real machine: a reader that stops at its first match kills it with SIGPIPE.
"""
import json
import os
import subprocess
import sys
import tempfile
import textwrap
import unittest

SCRIPT = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None

# The packages the script always wants (kept in step with the script by
# reading its list, so a new package does not make every case "missing").
def required_packages():
    with open(SCRIPT) as f:
        text = f.read()
    start = text.index("packages=(") + len("packages=(")
    body = text[start:text.index(")", start)]
    return [w.strip('"') for w in body.split() if not w.startswith('"$@')]


STUB = textwrap.dedent("""\
    #!/usr/bin/env python3
    import json, os, sys
    db = json.load(open(os.environ["STANDIN_DB"]))
    name = os.path.basename(sys.argv[0])
    args = sys.argv[1:]
    def log(line):
        with open(os.environ["STANDIN_LOG"], "a") as f:
            f.write(line + "\\n")
    names = [a for a in args if not a.startswith("-")]
    if name == "dpkg-query" and names:
        # One package's status.
        if not any(p["name"] == names[0] for p in db["installed"]):
            sys.exit(1)
        print("install ok installed", end="")
    elif name == "dpkg-query":
        # The installed packages first, then many more lines: a reader that
        # quits at its first match breaks the pipe while this still writes.
        fmt = next(a for a in args if a.startswith("-f"))
        with_name = "${Package}" in fmt
        rows = [(p["name"], p["source"], p["version"]) for p in db["installed"]]
        rows += [("filler%d" % i, "filler%d" % i, "1.0") for i in range(20000)]
        try:
            for n, src, v in rows:
                sys.stdout.write("ii  %s %s %s\\n" % ((n, src, v) if with_name else (src, v, "")))
            sys.stdout.flush()
        except BrokenPipeError:
            os._exit(141)
    elif name == "apt-cache":
        pkg = args[-1]
        known = db["known"].get(pkg)
        if args[0] == "show":
            if known is None:
                sys.stderr.write("N: Unable to locate package %s\\n" % pkg)
                sys.exit(100)
            print("Package: %s" % pkg)
            if known["source"] != pkg:
                print("Source: %s" % known["source"])
            print("Version: %s" % known["versions"][0])
        elif args[0] == "madison":
            if db.get("madison_fails"):
                sys.exit(3)
            for v in (known or {}).get("versions", []):
                print(" %s | %s | http://archive bookworm/main amd64 Packages" % (pkg, v))
    elif name == "apt-get":
        if args[0] == "update":
            print("Reading package lists...")
        elif "-s" in args:
            for u in db.get("upgrades", []):
                print("Inst %s [1.0] (2.0 Debian:12)" % u)
        else:
            log("install " + " ".join(a for a in args if not a.startswith("-") and a != "install"))
""")


class InstallDeps(unittest.TestCase):
    def run_case(self, installed, known, extra=(), upgrades=(), madison_fails=False):
        with tempfile.TemporaryDirectory() as tmp:
            bindir = os.path.join(tmp, "bin")
            os.mkdir(bindir)
            for tool in ("dpkg-query", "apt-cache", "apt-get"):
                path = os.path.join(bindir, tool)
                with open(path, "w") as f:
                    f.write(STUB)
                os.chmod(path, 0o755)
            db = os.path.join(tmp, "db.json")
            log = os.path.join(tmp, "apt.log")
            with open(db, "w") as f:
                json.dump({"installed": installed, "known": known, "upgrades": list(upgrades),
                           "madison_fails": madison_fails}, f)
            env = dict(os.environ, PATH=bindir + os.pathsep + os.environ["PATH"],
                       STANDIN_DB=db, STANDIN_LOG=log)
            env.pop("LUMO_DEPS_ALLOW_UPGRADE", None)
            p = subprocess.run(["bash", SCRIPT, *extra], env=env, capture_output=True, text=True,
                               timeout=120)
            asked = []
            if os.path.exists(log):
                with open(log) as f:
                    asked = f.read().splitlines()
            return p.returncode, p.stdout + p.stderr, asked

    def all_installed(self):
        return [{"name": p, "source": p, "version": "1.0"} for p in required_packages()]

    def test_cases(self):
        base = self.all_installed()
        sibling = {"name": "librsvg2-2", "source": "librsvg", "version": "2.54.7+dfsg-1~deb12u1"}
        rsvg_known = {"librsvg2-bin": {"source": "librsvg", "versions": ["2.54.7+dfsg-1~deb12u2",
                                                                           "2.54.7+dfsg-1~deb12u1"]}}
        cases = [
            # name, installed, known, extra args, upgrades, status, apt asked, text expected
            ("nothing missing", base, {}, [], [], 0, [], None),
            ("missing with an installed sibling: the sibling's version", base + [sibling], rsvg_known,
             ["librsvg2-bin"], [], 0, ["install librsvg2-bin=2.54.7+dfsg-1~deb12u1"],
             "installing librsvg2-bin"),
            ("missing without a sibling: apt's choice", base, rsvg_known, ["librsvg2-bin"], [], 0,
             ["install librsvg2-bin"], "installing librsvg2-bin"),
            ("a package apt does not know", base, {}, ["no-such-package"], [], 1, [],
             "apt knows no package named no-such-package"),
            ("an install that would upgrade", base, rsvg_known, ["librsvg2-bin"], ["libc6"], 1, [],
             "would upgrade these installed packages: libc6"),
        ]
        for name, installed, known, extra, upgrades, status, asked, text in cases:
            with self.subTest(name):
                rc, out, got = self.run_case(installed, known, extra, upgrades)
                self.assertEqual(rc, status, out)
                self.assertEqual(got, asked, out)
                if text:
                    self.assertIn(text, out)
                if rc != 0:
                    # Never silent: the last line says why it stopped.
                    self.assertIn("install-deps:", out.strip().splitlines()[-1], out)

    def test_a_failing_command_is_named(self):
        # apt-cache madison failing outright (a broken apt) stops the script
        # with the command, its line and its status, not silently.
        installed = self.all_installed()
        known = {"librsvg2-bin": {"source": "librsvg", "versions": ["1"]}}
        rc, out, _ = self.run_case(installed, known, ["librsvg2-bin"], madison_fails=True)
        self.assertNotEqual(rc, 0)
        self.assertRegex(out, r"install-deps\.sh: FAILED \(status 3\) at line \d+: .*apt-cache madison")


if __name__ == "__main__":
    unittest.main()
