#!/usr/bin/env python3
"""Runs the package README's five-minute start as written, step by step, in an
installed SDK, and checks every output block the README promises.

    readme_walkthrough_test.py <build dir> <work dir> <wine-session.sh> <wine prefix>

The README's "Five-minute start" is read in order: a ```sh block is run from
the SDK's folder, a command at a time; an ```ini block is written to the file
the text before it names; each line of a ```text block must appear in the
output of the commands before it ("..." stands for any text). Commands that
start with `wine` run inside a Wine session of their own (a private X display,
stopped again when the command ends), the others outside it, as on a desktop.
One change to the text: the README's fixed verify port becomes a free one.
The verify server the walkthrough starts is stopped by its own stop command,
and again, by PID through the same script, however the test ends.
"""
import os
import re
import shlex
import signal
import socket
import subprocess
import sys

build, work, session, prefix = (os.path.abspath(a) for a in sys.argv[1:5])
README_PORT = "8443"


def run(command, cwd, env, timeout=600):
    """Runs a command in a process group of its own; one that hangs is ended
    with its group (a Wine session stops its X server and wineserver on TERM)."""
    p = subprocess.Popen(["bash", "-c", command], cwd=cwd, env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, errors="replace", start_new_session=True)
    try:
        out, _ = p.communicate(timeout=timeout)
        return p.returncode, out
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGTERM)
        try:
            out, _ = p.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            out, _ = p.communicate()
        return 124, out + "\n(ended after %d s without finishing)" % timeout


def blocks(readme):
    """(kind, text before the block, block) of the five-minute start, in order."""
    section = readme.split("## Five-minute start", 1)[1].split("\n## ", 1)[0]
    out, pos = [], 0
    for m in re.finditer(r"^ *```(\w+)\n(.*?)^ *```$", section, re.M | re.S):
        body = "\n".join(line.strip() for line in m.group(2).splitlines())
        out.append((m.group(1), section[pos:m.start()], body))
        pos = m.end()
    return out


def commands(block):
    """The block's commands, continuation lines joined, comments dropped."""
    text = re.sub(r"\\\n\s*", " ", block)
    result = []
    for line in text.splitlines():
        words = shlex.split(line, comments=True)
        if words:
            result.append(line.split(" #", 1)[0].strip())
    return result


def expect_lines(expected, output, where):
    missing = []
    for line in expected.splitlines():
        pattern = ".*".join(re.escape(part) for part in line.split("..."))
        if not re.search(pattern, output):
            missing.append(line)
    if missing:
        raise AssertionError("%s: the README promises these lines, the run did not print them:\n  %s\n--- output:\n%s"
                             % (where, "\n  ".join(missing), output))


def main():
    sdk = os.path.join(work, "sdk")
    subprocess.run(["cmake", "-E", "rm", "-rf", work], check=True)
    os.makedirs(work)
    subprocess.run(["cmake", "--install", build, "--prefix", sdk], check=True, stdout=subprocess.DEVNULL)
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = str(s.getsockname()[1])
    env = dict(os.environ, WINEPREFIX=os.path.abspath(prefix))
    env.pop("DISPLAY", None)  # a desktop's display is the Wine session's, below
    readme = open(os.path.join(sdk, "README.md"), encoding="utf-8").read()
    steps = blocks(readme)
    kinds = [k for k, _, _ in steps]
    if kinds.count("sh") < 3 or kinds.count("text") < 2 or "ini" not in kinds:
        raise AssertionError("the five-minute start has lost its commands or promised output: %s" % kinds)

    output = ""
    try:
        for n, (kind, before, body) in enumerate(steps, 1):
            body = body.replace(README_PORT, port)
            where = "README block %d (%s)" % (n, kind)
            if kind == "sh":
                output = ""
                for command in commands(body):
                    if command.startswith("wine "):
                        code, out = run("%s %s bash -c %s" % (shlex.quote(session), shlex.quote(prefix),
                                                              shlex.quote(command)), sdk, env)
                    else:
                        code, out = run(command, sdk, env)
                    print("$ %s\n%s" % (command, out), flush=True)
                    output += out
                    if code != 0:
                        raise AssertionError("%s: `%s` failed (%d):\n%s" % (where, command, code, out))
            elif kind == "ini":
                names = re.findall(r"`([^`]*LumoGameSDK\.ini)`", before)
                if not names:
                    raise AssertionError("%s: the text before it names no LumoGameSDK.ini to write" % where)
                with open(os.path.join(sdk, names[-1]), "w", newline="\r\n") as f:
                    f.write(body + "\n")
            elif kind == "text":
                expect_lines(body, output, where)
    finally:
        run("tools/verify-server/verify-server.sh stop vs-state", sdk, env)
    print("readme walkthrough: every step ran and printed what the README promises")
    return 0


try:
    sys.exit(main())
except AssertionError as e:
    print("FAILED " + str(e))
    sys.exit(1)
