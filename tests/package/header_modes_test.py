#!/usr/bin/env python3
"""Compiles the public header the way games of every age include it.

    header_modes_test.py <C compiler> <C++ compiler> <flags, ;-separated> <include dir>

- In C89 and C99 with -pedantic-errors, C11, C++98, C++11 and C++17 (with
  -Wall -Wextra -Werror), a game that uses the five functions with the 1.1
  names (SdkError, LoginInfo, a forward-declared struct LoginInfo in C++)
  and with the prefixed names compiles.
- With LUMO_NO_LEGACY_NAMES, a game that has types of its own called
  SdkError and LoginInfo compiles, and the prefixed names still work.
- The layout checks run where the language has static assertions (C11,
  C++11, C++17) and nowhere else: built with -fshort-enums, which makes the
  result code one byte, the header fails in those modes, naming the check,
  and compiles in the older ones.
Prints each fault; exits 1 if there was any.
"""
import os
import re
import subprocess
import sys
import tempfile

C_MODES = [("c89", True), ("c99", True), ("c11", False)]
CXX_MODES = [("c++98", True), ("c++11", False), ("c++17", False)]
OLD_MODES = {"c89", "c99", "c++98"}

GAME = r"""
#include "LumoGameSDK.h"
%(prelude)s
int lumo_game_calls(void)
{
    LumoSdkError err = lumoGameInit();
    const LumoLoginInfo* info;
    %(legacy)s
    if (err == SdkError_Ok && lumoGameLogin() == SdkError_Ok) {
        info = lumoGetLoginInfo();
        if (info != NULL && info->size == 288 && info->appid[0] != 0) {
            err = lumoShowPay("{}");
        }
    }
    lumoGameUninit();
    return (int)err;
}
"""

LEGACY_USE = """{
        SdkError old = lumoGameLogin();
        const LoginInfo* old_info = lumoGetLoginInfo();
        (void)old; (void)old_info;
    }"""

OWN_NAMES = """typedef struct LoginInfo { int level; } LoginInfo;
typedef int SdkError;
static LoginInfo own_info;
static SdkError own_error;
int lumo_game_own(void) { return own_info.level + own_error; }
"""

faults = []


def fault(message):
    faults.append(message)
    print("header_modes_test: " + message)


def compile_game(compiler, flags, include, mode, pedantic, source, extra, suffix):
    with tempfile.NamedTemporaryFile("w", suffix=suffix, delete=False) as f:
        f.write(source)
        path = f.name
    try:
        command = [compiler] + flags + ["-std=" + mode, "-fsyntax-only", "-Wall", "-Wextra", "-Werror",
                                        "-I", include] + (["-pedantic-errors"] if pedantic else []) + extra + [path]
        return subprocess.run(command, capture_output=True, text=True)
    finally:
        os.unlink(path)


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    cc, cxx, flags, include = sys.argv[1:]
    flags = [f for f in re.split(r"\\?;", flags) if f]
    # The C++ standard library include folders (-isystem pairs) mean nothing to C.
    c_flags = [f for i, f in enumerate(flags) if f != "-isystem" and (i == 0 or flags[i - 1] != "-isystem")]
    for compiler, compiler_flags, modes, cxx_lang in ((cc, c_flags, C_MODES, False), (cxx, flags, CXX_MODES, True)):
        suffix = ".cpp" if cxx_lang else ".c"
        forward = "struct LoginInfo;\n" if cxx_lang else ""
        cases = [
            ("the 1.1 and the prefixed names", [],
             forward + GAME % {"prelude": "", "legacy": LEGACY_USE}),
            ("LUMO_NO_LEGACY_NAMES beside a game's own SdkError and LoginInfo", ["-DLUMO_NO_LEGACY_NAMES"],
             GAME % {"prelude": OWN_NAMES, "legacy": ""}),
        ]
        for mode, pedantic in modes:
            for what, extra, source in cases:
                result = compile_game(compiler, compiler_flags, include, mode, pedantic, source, extra, suffix)
                if result.returncode != 0:
                    fault("-std=%s%s, %s: does not compile:\n%s"
                          % (mode, " -pedantic-errors" if pedantic else "", what, result.stderr.strip()))
            # -fshort-enums makes LumoSdkError one byte: the size check must
            # stop the build exactly where the language can check.
            result = compile_game(compiler, compiler_flags, include, mode, pedantic,
                                  GAME % {"prelude": "", "legacy": ""}, ["-fshort-enums"], suffix)
            checked = "LumoSdkError is a 32-bit integer" in result.stderr
            if mode in OLD_MODES and result.returncode != 0:
                fault("-std=%s: the header needs static assertions the language does not have:\n%s"
                      % (mode, result.stderr.strip()))
            elif mode not in OLD_MODES and (result.returncode == 0 or not checked):
                fault("-std=%s: a one-byte LumoSdkError passed the layout checks:\n%s"
                      % (mode, result.stderr.strip()))
    if not faults:
        print("header_modes_test: the header compiles in C89/C99 (pedantic), C11, C++98/11/17, with and without "
              "the 1.1 names; its layout checks run in C11, C++11 and C++17")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
