#!/usr/bin/env python3
"""The C# binding as a project with nullable annotations enabled meets it.

    nullable_check.py <mcs> <binding .cs> <work dir>

Such a project (the default of `dotnet new`, often with warnings as errors)
compiles the binding's source with C# 8 nullable analysis. Mono's compiler
knows no C# 8: it rejects `#nullable` and cannot run that analysis, so this
check does what can be done here and says what it cannot:

1. mcs compiles the binding as a library at warning level 4, warnings as
   errors, with and without Unity's defines, so no other warning reaches
   such a project either;
2. the source is searched for what the nullable analysis reports as
   CS8600, CS8601, CS8603 or CS8625 in a file like this one: a null literal
   anywhere but in a comparison (`x == null`, `x != null`), an `as` cast
   (its result may be null), and the framework calls of the binding's kind
   that return a nullable reference (Marshal.PtrToStructure,
   GetEnvironmentVariable, GetCustomAttribute).

The analysis itself runs where the .NET SDK is: LumoGameSDK.csproj enables
it, with warnings as errors (`dotnet build`).
Prints each fault; exits 1 if there was any.
"""
import os
import re
import subprocess
import sys

NULLABLE_CALLS = re.compile(r"\b(PtrToStructure|GetEnvironmentVariable|GetCustomAttribute)\s*\(")


def code_only(source):
    """The source with comments, strings and characters blanked, lines kept."""
    pattern = re.compile(r'//[^\n]*|/\*.*?\*/|@"(?:[^"]|"")*"|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'', re.S)
    return pattern.sub(lambda m: re.sub(r"[^\n]", " ", m.group(0)), source)


def scan(path):
    faults = []
    with open(path, encoding="utf-8") as f:
        lines = code_only(f.read()).splitlines()
    for number, line in enumerate(lines, 1):
        for m in re.finditer(r"\bnull\b", line):
            before = line[:m.start()].rstrip()
            if not (before.endswith("==") or before.endswith("!=")):
                faults.append("%d: a null literal outside a comparison: %s" % (number, line.strip()))
        if re.search(r"\bas\s+[A-Za-z_]", line):
            faults.append("%d: an 'as' cast, whose result may be null: %s" % (number, line.strip()))
        m = NULLABLE_CALLS.search(line)
        if m:
            faults.append("%d: %s returns a nullable reference: %s" % (number, m.group(1), line.strip()))
    return faults


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    mcs, binding, work = sys.argv[1:]
    os.makedirs(work, exist_ok=True)
    faults = []
    for name, defines in (("dotnet", []), ("unity", ["UNITY_5_3_OR_NEWER", "UNITY_STANDALONE_WIN", "UNITY_64"])):
        out = os.path.join(work, "Lumo.GameSDK." + name + ".dll")
        command = [mcs, "-nologo", "-target:library", "-unsafe", "-warn:4", "-warnaserror+", "-out:" + out]
        if defines:
            # The binding names UnityEngine.Debug there: a stub is enough to compile.
            stub = os.path.join(work, "UnityEngineStub.cs")
            with open(stub, "w", encoding="utf-8") as f:
                f.write("namespace UnityEngine { public static class Debug { public static void LogWarning(object m) {} } }\n")
            command += ["-define:" + ";".join(defines), stub]
        result = subprocess.run(command + [binding], capture_output=True, text=True)
        if result.returncode != 0:
            faults.append("mcs (%s): %s" % (name, (result.stdout + result.stderr).strip()))
    faults += scan(binding)
    for fault in faults:
        print("nullable_check: " + fault)
    if not faults:
        print("nullable_check: no warning from mcs at level 4, and no construct the nullable analysis reports; "
              "mcs cannot run that analysis itself (no C# 8): `dotnet build` of LumoGameSDK.csproj does")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
