#!/usr/bin/env python3
"""Compiles the Unity package's scripts as Unity would for one target.

    unity_compile.py <mcs> <mono> <package dir> <binding .cs> <work dir> <target>

<target> is win64, win32 (a Windows player of that width) or editor (the
Windows Editor with Windows as the build target). Like Unity, it builds the
runtime assembly only when its assembly definition includes the target, with
the definition's unsafe setting, and then the sample as a project script
(Assembly-CSharp) against whatever runtime assembly exists; both see the
target's scripting defines and a stand-in of the UnityEngine members they use.
Then it runs a probe against the runtime assembly under Mono: a warning of the
binding reaches UnityEngine.Debug.LogWarning (a player's log collects nothing
else) and the binding's Warning event, and nothing goes to standard error.
And one against the sample, where no LumoGameSDK.dll can load (as in a
player whose copy is missing or quarantined): its Start throws nothing, the
status shows Init's LaunchParamsFailed, and a player logs one error that
names the DLL (the Editor answers without the DLL, with its warning).
Exits non-zero, with the compiler's messages, when any of it does not build,
or when the probe fails.
"""
import json
import os
import subprocess
import sys

# Unity's scripting defines that the scripts could look at, per target; every
# version the package supports (2019.4 on) also defines the version ones.
VERSION = ["UNITY_5_3_OR_NEWER", "UNITY_2017_1_OR_NEWER", "UNITY_2019_4_OR_NEWER"]
TARGETS = {
    "win64": ("WindowsStandalone64", VERSION + ["UNITY_STANDALONE", "UNITY_STANDALONE_WIN", "UNITY_64"]),
    "win32": ("WindowsStandalone32", VERSION + ["UNITY_STANDALONE", "UNITY_STANDALONE_WIN"]),
    "editor": ("Editor", VERSION + ["UNITY_EDITOR", "UNITY_EDITOR_WIN", "UNITY_EDITOR_64", "UNITY_64",
                                    "UNITY_STANDALONE", "UNITY_STANDALONE_WIN"]),
}

# Refused text: the binding answers without the library and warns.
PROBE = r"""
using System;
using System.IO;
using Lumo;
static class Probe
{
    static int Main()
    {
        var standardError = new StringWriter();
        Console.SetError(standardError);
        int raised = 0;
        LumoSdk.Warning += message => ++raised;
        SdkError answer = LumoSdk.ShowPay("a\0b");
        var logged = UnityEngine.Debug.StandInWarnings;
        bool ok = answer == SdkError.IpcPostFailed && logged.Count == 1 && logged[0].Contains("ShowPay refused") &&
                  raised == 1 && standardError.ToString().Length == 0;
        Console.WriteLine("probe: answer " + answer + ", Debug.LogWarning got " + logged.Count + ", the event " +
                          raised + ", standard error " + standardError.ToString().Length + " characters");
        return ok ? 0 : 1;
    }
}
"""

# The sample's Start without a loadable DLL: the game goes on.
SAMPLE_PROBE = r"""
using System;
using System.Reflection;
static class SampleProbe
{
    static int Main(string[] args)
    {
        bool player = args[0] == "player";
        var sample = new LumoLoginAndPay();
        string thrown = "nothing";
        try
        {
            typeof(LumoLoginAndPay).GetMethod("Start", BindingFlags.Instance | BindingFlags.NonPublic).Invoke(sample, null);
        }
        catch (TargetInvocationException e)
        {
            thrown = e.InnerException.GetType().Name;
        }
        string status = (string)typeof(LumoLoginAndPay).GetField("status", BindingFlags.Instance | BindingFlags.NonPublic)
            .GetValue(sample);
        var errors = UnityEngine.Debug.StandInErrors;
        bool logged = player ? errors.Count == 1 && errors[0].Contains("LumoGameSDK.dll did not load") : errors.Count == 0;
        Console.WriteLine("sample probe (" + args[0] + "): Start threw " + thrown + ", status \"" + status + "\", " +
                          errors.Count + " error line(s)" + (errors.Count > 0 ? ": " + errors[0] : ""));
        return thrown == "nothing" && status == "Init: LaunchParamsFailed" && logged ? 0 : 1;
    }
}
"""


def compile_cs(mcs, out, sources, defines, references, unsafe, target="library"):
    command = [mcs, "-nologo", "-target:" + target, "-langversion:7.2", "-warnaserror+",
               "-out:" + out]
    if defines:
        command.append("-define:" + ";".join(defines))
    command += ["-r:" + r for r in references]
    if unsafe:
        command.append("-unsafe")
    print("$ " + " ".join(command + sources), flush=True)
    result = subprocess.run(command + sources)
    if result.returncode != 0:
        sys.exit("unity_compile: %s does not build" % os.path.basename(out))


def main():
    if len(sys.argv) != 7 or sys.argv[6] not in TARGETS:
        sys.exit(__doc__)
    mcs, mono, package, binding, work, target = sys.argv[1:]
    platform, defines = TARGETS[target]
    here = os.path.dirname(os.path.abspath(__file__))
    os.makedirs(work, exist_ok=True)

    engine = os.path.join(work, "UnityEngine.dll")
    compile_cs(mcs, engine, [os.path.join(here, "UnityEngineStandIn.cs")], [], [], False)

    with open(os.path.join(package, "Runtime", "Lumo.GameSDK.asmdef"), encoding="utf-8") as f:
        asmdef = json.load(f)
    references = [engine]
    included = asmdef.get("includePlatforms") or []
    runtime = None
    if (not included or platform in included) and platform not in asmdef.get("excludePlatforms", []):
        runtime = os.path.join(work, asmdef["name"] + ".dll")
        compile_cs(mcs, runtime, [binding], defines, [engine], asmdef.get("allowUnsafeCode", False))
        if asmdef.get("autoReferenced", True):
            references.append(runtime)
    else:
        print("unity_compile: %s is not built for %s" % (asmdef["name"], platform))

    samples = os.path.join(package, "Samples~")
    scripts = sorted(os.path.join(folder, n) for folder, _, names in os.walk(samples) for n in names if n.endswith(".cs"))
    if not scripts:
        sys.exit("unity_compile: no sample scripts in " + samples)
    compile_cs(mcs, os.path.join(work, "Assembly-CSharp.dll"), scripts, defines, references, False)
    print("unity_compile: the runtime and the sample build for " + platform)

    if runtime:
        source = os.path.join(work, "Probe.cs")
        with open(source, "w", encoding="utf-8") as f:
            f.write(PROBE)
        probe = os.path.join(work, "Probe.exe")
        compile_cs(mcs, probe, [source], [], [engine, runtime], False, target="exe")
        if subprocess.run([mono, probe], cwd=work).returncode != 0:
            sys.exit("unity_compile: in %s a warning of the binding does not reach Debug.LogWarning and the Warning "
                     "event alone" % platform)
        # No LumoGameSDK.dll (nor a libLumoGameSDK.so) anywhere Mono looks.
        source = os.path.join(work, "SampleProbe.cs")
        with open(source, "w", encoding="utf-8") as f:
            f.write(SAMPLE_PROBE)
        probe = os.path.join(work, "SampleProbe.exe")
        compile_cs(mcs, probe, [source], [], [engine, runtime, os.path.join(work, "Assembly-CSharp.dll")], False,
                   target="exe")
        kind = "editor" if target == "editor" else "player"
        if subprocess.run([mono, probe, kind], cwd=work).returncode != 0:
            sys.exit("unity_compile: in %s the sample does not go on without a loadable DLL as the Unreal plugin "
                     "does (LaunchParamsFailed and an error line, no exception out of Start)" % platform)


if __name__ == "__main__":
    main()
