#!/usr/bin/env python3
"""Checks the Unreal plugin for what makes it load on any engine and platform.

    check_unreal_plugin.py <configured .uplugin> <version> <plugin source dir> <C++ compiler>
                           <compiler flags, ;-separated> <engine stand-in header> <SDK include dir>

- The descriptor is valid JSON of the package's version, pins no engine
  version (any other version would ask at each editor start whether to load
  the plugin) and limits no module to platforms (Blueprints that use the
  nodes would not load or cook elsewhere).
- Build.cs defines WITH_LUMOGAMESDK as 1 for Win64 on x64 only (the DLL and
  its import library are x64: an arm64 build links neither), and not for a
  dedicated server (no game window, no launcher: it neither links nor stages
  the DLL), and as 0 otherwise, and stages the DLL with $(BinaryOutputDir), never into the
  engine's folders ($(TargetOutputDir) of an editor that shares the
  engine's build).
- The module's sources, preprocessed as on a platform without the DLL
  (WITH_LUMOGAMESDK=0), neither include the library's header nor name any of
  its functions or its record; as on Win64 they do (so the check can fail).
- The module's sources compile, both ways of WITH_LUMOGAMESDK, against a
  stand-in of the engine's headers (syntax and names only: no engine here).
Prints each fault; exits 1 if there was any.
"""
import json
import os
import re
import subprocess
import sys
import tempfile

faults = []


def fault(message):
    faults.append(message)
    print("check_unreal_plugin: " + message)


NATIVE = re.compile(r"\b(lumoGameInit|lumoGameLogin|lumoGetLoginInfo|lumoShowPay|lumoGameUninit|LoginInfo|"
                    r"LumoLoginInfo|LumoSdkError)\b|"
                    r'#include "LumoGameSDK\.h"')


def check_descriptor(path, version):
    try:
        with open(path, encoding="utf-8") as f:
            plugin = json.load(f)
    except ValueError as e:
        fault("%s is not valid JSON: %s" % (path, e))
        return
    if plugin.get("VersionName") != version:
        fault("VersionName %r, not %s" % (plugin.get("VersionName"), version))
    if "EngineVersion" in plugin:
        fault("EngineVersion %r pins the engine version" % plugin["EngineVersion"])
    for key in ("SupportedTargetPlatforms", "WhitelistPlatforms", "PlatformAllowList"):
        if key in plugin:
            fault("the plugin limits itself to platforms: %s %r" % (key, plugin[key]))
    modules = plugin.get("Modules", [])
    if [m.get("Name") for m in modules] != ["LumoGameSDK"]:
        fault("modules %r" % [m.get("Name") for m in modules])
    for module in modules:
        for key in ("PlatformAllowList", "PlatformDenyList", "WhitelistPlatforms", "BlacklistPlatforms",
                    "TargetAllowList", "TargetDenyList"):
            if key in module:
                fault("module %s limits itself: %s %r" % (module.get("Name"), key, module[key]))


def preprocess(cpp, source, value):
    # The engine's headers are not here: drop the includes, keep the
    # library's own one as a marker.
    with open(source, encoding="utf-8") as f:
        text = "".join(l for l in f if not l.startswith("#include") or "LumoGameSDK.h\"" in l)
    text = text.replace('#include "LumoGameSDK.h"', 'LUMO_NATIVE_HEADER_INCLUDED')
    result = subprocess.run([cpp, "-E", "-P", "-x", "c++", "-DWITH_LUMOGAMESDK=%d" % value, "-"],
                            input=text, capture_output=True, text=True)
    if result.returncode != 0:
        fault("%s does not preprocess with WITH_LUMOGAMESDK=%d: %s" % (source, value, result.stderr.strip()))
        return ""
    return result.stdout.replace("LUMO_NATIVE_HEADER_INCLUDED", '#include "LumoGameSDK.h"')


def check_sources(module_dir, cpp):
    with open(os.path.join(module_dir, "LumoGameSDK.Build.cs"), encoding="utf-8") as f:
        build = f.read()
    m = re.search(r"bool bArm = Target\.Architecture\.ToString\(\)\.ToLowerInvariant\(\)\.Contains\(\"arm\"\);\s*"
                  r"bool bWindowsX64 = Target\.Platform == UnrealTargetPlatform\.Win64 && !bArm;\s*"
                  r"bool bServer = Target\.Type == TargetType\.Server;\s*"
                  r"if \(bWindowsX64 && !bServer\)\s*\{(.*?)\}\s*else\s*\{(.*?)\}", build, re.S)
    if not m or 'PublicDefinitions.Add("WITH_LUMOGAMESDK=1")' not in m.group(1) \
            or 'PublicDefinitions.Add("WITH_LUMOGAMESDK=0")' not in m.group(2):
        fault("Build.cs does not define WITH_LUMOGAMESDK=1 for Win64 on x64 outside server targets only and "
              "WITH_LUMOGAMESDK=0 otherwise")
    elif "LumoGameSDK.lib" in m.group(2) or "LumoGameSDK.lib" not in m.group(1):
        fault("Build.cs links the x64 import library outside Win64 on x64")
    staged = re.findall(r'RuntimeDependencies\.Add\("([^"]*)', build)
    if not staged or any(not target.startswith("$(BinaryOutputDir)/") for target in staged):
        fault("Build.cs stages the DLL elsewhere than $(BinaryOutputDir): %r" % staged)
    sources = sorted(os.path.join(folder, n) for folder, _, names in os.walk(module_dir)
                     for n in names if n.endswith(".cpp"))
    named_on_win64 = set()
    for source in sources:
        for name in NATIVE.findall(preprocess(cpp, source, 0)):
            fault("%s names %s without the DLL (WITH_LUMOGAMESDK=0)" % (os.path.basename(source), name or "the header"))
        named_on_win64.update(m.group(0) for m in NATIVE.finditer(preprocess(cpp, source, 1)))
    for name in ("lumoGameInit", "lumoGameLogin", "lumoGetLoginInfo", "lumoShowPay", "lumoGameUninit",
                 '#include "LumoGameSDK.h"'):
        if name not in named_on_win64:
            fault("no source uses %s on Win64" % name)


def check_compiles(module_dir, cxx, flags, stand_in, sdk_include):
    sources = sorted(os.path.join(folder, n) for folder, _, names in os.walk(module_dir)
                     for n in names if n.endswith(".cpp"))
    own = {n for folder, _, names in os.walk(module_dir) for n in names}
    with tempfile.TemporaryDirectory() as engine:
        # Every engine header the sources include becomes the stand-in.
        for source in sorted(os.path.join(folder, n) for folder, _, names in os.walk(module_dir) for n in names
                             if n.endswith((".cpp", ".h"))):
            with open(source, encoding="utf-8") as f:
                for header in re.findall(r'^#include "([^"]+)"', f.read(), re.M):
                    if os.path.basename(header) in own or header == "LumoGameSDK.h":
                        continue
                    path = os.path.join(engine, header)
                    os.makedirs(os.path.dirname(path), exist_ok=True)
                    with open(path, "w", encoding="utf-8") as stub:
                        stub.write("" if header.endswith(".generated.h") else '#include "%s"\n' % stand_in)
        for value in (0, 1):
            for source in sources:
                command = [cxx] + [f for f in re.split(r"\\?;", flags) if f] + [
                           "-std=c++17", "-fsyntax-only", "-x", "c++", "-DWITH_LUMOGAMESDK=%d" % value,
                           "-I", engine, "-I", os.path.join(module_dir, "Public"),
                           "-I", os.path.join(module_dir, "Private"), "-I", sdk_include, source]
                result = subprocess.run(command, capture_output=True, text=True)
                if result.returncode != 0:
                    fault("%s does not compile with WITH_LUMOGAMESDK=%d:\n%s"
                          % (os.path.basename(source), value, result.stderr.strip()))


def main():
    if len(sys.argv) != 8:
        sys.exit(__doc__)
    descriptor, version, plugin_dir, cxx, flags, stand_in, sdk_include = sys.argv[1:]
    check_descriptor(descriptor, version)
    module_dir = os.path.join(plugin_dir, "Source", "LumoGameSDK")
    check_sources(module_dir, cxx)
    check_compiles(module_dir, cxx, flags, os.path.abspath(stand_in), sdk_include)
    if not faults:
        print("check_unreal_plugin: loads on any engine version and platform; the fallbacks are what other platforms "
              "compile; the sources compile both ways against the engine stand-in")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
