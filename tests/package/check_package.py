#!/usr/bin/env python3
"""Checks an unpacked SDK package the way its users meet it.

    check_package.py <package root> <version> [<linker map>...]

- The licence and the third-party notices: LICENSE and THIRD-PARTY-NOTICES.txt
  at the root, the same texts in the Unity package (LICENSE.md, "Third Party
  Notices.md") and in the Unreal plugin; the notices name every third-party
  piece that the given linker maps (the DLL's, the tools') show linked in
  (scripts/check_notices.py).

- The README, the CHANGELOG and docs/ point only to what the package holds:
  every relative link resolves inside it, and no text names a folder of the
  SDK's source tree (scripts/, tests/, src/) that the package does not have.
  The same for the Unity package's README, CHANGELOG and Documentation~ on
  their own: a link of the guides there stays inside Documentation~, since
  one folder up is the SDK's root in the zip but the Unity package there.
- The Unity package: valid JSON manifests of the right version, a
  documentation link only to a configured web address, the guides in
  Documentation~, its README and CHANGELOG, a sample that exists, the
  assembly compiled for the Editor and the Windows players (a 32-bit one
  answers "not supported" at run time) with unsafe code allowed, a .meta with a unique GUID for every asset and folder (the
  hidden Samples~ excepted), and the DLL imported for the Windows x64 player
  and the Editor only.
- The Unreal plugin: a valid descriptor of the right version that pins no
  engine version, and its 128x128 PNG icon.
- The C# project file carries the package's version.
- Every copy of the DLL and of its symbols is the same file as in bin/.
Prints each fault; exits 1 if there was any.
"""
import filecmp
import json
import os
import re
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import check_notices  # noqa: E402

faults = []


def fault(message):
    faults.append(message)
    print("check_package: " + message)


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def check_docs(root):
    pages = ["README.md", "CHANGELOG.md"] + ["docs/" + n for n in sorted(os.listdir(os.path.join(root, "docs")))
                                             if n.endswith(".md")]
    source_only = re.compile(r"(?<![\w/.-])(scripts|tests|src)/")
    for page in pages:
        text = read(os.path.join(root, page))
        for lineno, line in enumerate(text.splitlines(), 1):
            m = source_only.search(line)
            if m:
                fault("%s:%d names %s, which the package does not hold: %s" % (page, lineno, m.group(0), line.strip()))
    check_links(root, pages, root)


def check_links(root, pages, inside):
    """Every relative link of `pages` (relative to `root`) resolves to a file
    under `inside`, and to a heading of it when it names one."""
    for page in pages:
        text = read(os.path.join(root, page))
        for target in re.findall(r"\]\(([^)\s]+)\)", text):
            if re.match(r"[a-z]+:", target):
                continue
            file_part, _, anchor = target.partition("#")
            path = os.path.normpath(os.path.join(root, os.path.dirname(page), file_part)) if file_part \
                else os.path.join(root, page)
            if not path.startswith(os.path.abspath(inside) + os.sep) or not os.path.exists(path):
                fault("%s links to %s, which is not in %s" % (page, target, os.path.relpath(inside, root)))
            elif anchor and path.endswith(".md") and anchor not in anchors(read(path)):
                fault("%s links to %s, which has no such heading" % (page, target))


def anchors(markdown):
    """The anchors a Markdown renderer makes of the headings (outside code blocks)."""
    out, fenced = set(), False
    for line in markdown.splitlines():
        if line.startswith("```"):
            fenced = not fenced
        elif not fenced and line.startswith("#"):
            title = line.lstrip("#").strip().lower()
            out.add(re.sub(r"[^\w\- ]", "", title).replace(" ", "-"))
    return out


def check_unity(root, version):
    pkg = os.path.join(root, "unity", "com.lumo.gamesdk")
    manifest = json.loads(read(os.path.join(pkg, "package.json")))
    if manifest.get("name") != "com.lumo.gamesdk" or manifest.get("version") != version:
        fault("unity package.json: name %r version %r" % (manifest.get("name"), manifest.get("version")))
    if "documentationUrl" in manifest and (not re.match(r"https?://[^\s/]+/", manifest["documentationUrl"])
                                           or ".invalid" in manifest["documentationUrl"]):
        fault("unity package.json: documentationUrl %r is no published web address" % manifest["documentationUrl"])
    if not os.path.isfile(os.path.join(pkg, "Documentation~", "integration-guide.md")):
        fault("the Unity package holds no guides in Documentation~")
    for name in ("README.md", "CHANGELOG.md"):
        if not os.path.isfile(os.path.join(pkg, name)):
            fault("the Unity package has no %s" % name)
    guides = os.path.join(pkg, "Documentation~")
    if os.path.isdir(guides):
        check_links(pkg, ["README.md", "CHANGELOG.md"], pkg)
        check_links(pkg, ["Documentation~/" + n for n in sorted(os.listdir(guides)) if n.endswith(".md")], guides)
    samples = manifest.get("samples", [])
    if not samples:
        fault("unity package.json names no sample")
    for sample in samples:
        folder = os.path.join(pkg, sample.get("path", ""))
        scripts = [n for n in os.listdir(folder) if n.endswith(".cs")] if os.path.isdir(folder) else []
        if not sample.get("path", "").startswith("Samples~/") or not scripts:
            fault("unity sample %r: no scripts in %s" % (sample.get("displayName"), sample.get("path")))
    asmdef = json.loads(read(os.path.join(pkg, "Runtime", "Lumo.GameSDK.asmdef")))
    if asmdef.get("allowUnsafeCode") is not True:
        fault("the assembly definition does not allow unsafe code")
    if sorted(asmdef.get("includePlatforms", [])) != ["Editor", "WindowsStandalone32", "WindowsStandalone64"] \
            or asmdef.get("excludePlatforms"):
        fault("the assembly compiles for %r, not the Editor and the Windows players" % asmdef.get("includePlatforms"))
    guids = {}
    for folder, dirs, files in os.walk(pkg):
        # Unity imports nothing from folders ending in "~".
        dirs[:] = [d for d in dirs if not d.endswith("~")]
        for name in dirs + files:
            if name.endswith(".meta"):
                continue
            path = os.path.join(folder, name)
            meta = path + ".meta"
            if not os.path.isfile(meta):
                fault("unity: %s has no .meta" % os.path.relpath(path, root))
                continue
            m = re.search(r"^guid: ([0-9a-f]{32})$", read(meta), re.M)
            if not m:
                fault("unity: %s has no GUID" % os.path.relpath(meta, root))
            elif m.group(1) in guids:
                fault("unity: %s and %s share a GUID" % (guids[m.group(1)], os.path.relpath(meta, root)))
            else:
                guids[m.group(1)] = os.path.relpath(meta, root)
    # platformData entries: "first: {<kind>: <platform>}" then "enabled: 0|1".
    meta = read(os.path.join(pkg, "Plugins", "x86_64", "LumoGameSDK.dll.meta"))
    enabled = {}
    for kind, platform, on, settings in re.findall(
            r"- first:\n\s+(\w*): ?(\w*)\n\s+second:\n\s+enabled: (\d)\n\s+settings:(.*?)(?=\n  - first:|\n  userData:)",
            meta, re.S):
        enabled["%s:%s" % (kind, platform)] = (on == "1", settings)
    expected_on = {"Editor:Editor", "Standalone:Win64"}
    for key, (on, settings) in sorted(enabled.items()):
        if on != (key in expected_on):
            fault("unity: the DLL is %s for %s" % ("enabled" if on else "disabled", key))
        if on and "CPU: x86_64" not in settings:
            fault("unity: %s does not use the DLL as x86_64" % key)
    for key in expected_on:
        if key not in enabled:
            fault("unity: the DLL's import settings lack %s" % key)
    if "OS: Windows" not in enabled.get("Editor:Editor", (False, ""))[1]:
        fault("unity: the Editor would load the DLL on other systems than Windows")


def check_unreal(root, version):
    plugin = json.loads(read(os.path.join(root, "unreal", "LumoGameSDK", "LumoGameSDK.uplugin")))
    if plugin.get("VersionName") != version:
        fault("LumoGameSDK.uplugin: VersionName %r" % plugin.get("VersionName"))
    modules = [m.get("Name") for m in plugin.get("Modules", [])]
    if modules != ["LumoGameSDK"]:
        fault("LumoGameSDK.uplugin: modules %r" % modules)
    if "EngineVersion" in plugin:
        fault("LumoGameSDK.uplugin: EngineVersion %r makes other engine versions ask before loading it"
              % plugin["EngineVersion"])
    build = os.path.join(root, "unreal", "LumoGameSDK", "Source", "LumoGameSDK", "LumoGameSDK.Build.cs")
    if not os.path.isfile(build):
        fault("the plugin's module has no Build.cs")
    icon = os.path.join(root, "unreal", "LumoGameSDK", "Resources", "Icon128.png")
    head = open(icon, "rb").read(24) if os.path.isfile(icon) else b""
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR" or struct.unpack(">II", head[16:24]) != (128, 128):
        fault("the plugin has no 128x128 PNG icon at Resources/Icon128.png")


def check_csharp(root, version):
    project = read(os.path.join(root, "bindings", "csharp", "LumoGameSDK.csproj"))
    m = re.search(r"<Version>([^<]*)</Version>", project)
    if '<Project Sdk="Microsoft.NET.Sdk">' not in project or not m or m.group(1) != version:
        fault("LumoGameSDK.csproj: not an SDK-style project of version %s" % version)


# Each copy of the two texts, by the name its place gives it.
LEGAL_COPIES = {
    "LICENSE": ["unity/com.lumo.gamesdk/LICENSE.md", "unreal/LumoGameSDK/LICENSE"],
    "THIRD-PARTY-NOTICES.txt": ["unity/com.lumo.gamesdk/Third Party Notices.md",
                                "unreal/LumoGameSDK/THIRD-PARTY-NOTICES.txt"],
}


def check_legal(root, maps):
    for name, copies in sorted(LEGAL_COPIES.items()):
        original = os.path.join(root, name)
        if not os.path.isfile(original):
            fault("%s is missing: a studio's release review stops without it" % name)
            continue
        for copy in copies:
            if not os.path.isfile(os.path.join(root, copy)):
                fault("%s is missing (the copy of %s)" % (copy, name))
            elif not filecmp.cmp(original, os.path.join(root, copy), shallow=False):
                fault("%s differs from %s" % (copy, name))
    license_path = os.path.join(root, "LICENSE")
    if os.path.isfile(license_path) and not re.search(r"^MIT License$.*^Copyright \(c\) \d{4} the LumoGameSDK authors$",
                                                      read(license_path), re.M | re.S):
        fault("LICENSE is not the SDK's MIT licence")
    notices = os.path.join(root, "THIRD-PARTY-NOTICES.txt")
    if os.path.isfile(notices) and maps:
        for message in check_notices.check(notices, maps, report=lambda line: print("check_package: " + line)):
            fault(message)


def check_dll_copies(root):
    symbols = [n for n in os.listdir(os.path.join(root, "bin")) if n in ("LumoGameSDK.pdb", "LumoGameSDK.dll.debug")]
    if not symbols:
        fault("bin/ holds no symbols of the DLL")
    for folder in ["unity/com.lumo.gamesdk/Plugins/x86_64", "unreal/LumoGameSDK/Source/ThirdParty/LumoGameSDK/bin/Win64"]:
        for name in ["LumoGameSDK.dll"] + symbols:
            copy = os.path.join(root, folder, name)
            if not os.path.isfile(copy):
                fault("%s/%s is missing" % (folder, name))
            elif not filecmp.cmp(os.path.join(root, "bin", name), copy, shallow=False):
                fault("%s/%s differs from bin/%s" % (folder, name, name))
    hostcheck_copy = os.path.join(root, "tools/hostcheck/LumoGameSDK.dll")
    # the launcher check is left out of builds without the tools
    if os.path.exists(hostcheck_copy) and not filecmp.cmp(os.path.join(root, "bin", "LumoGameSDK.dll"),
                                                          hostcheck_copy, shallow=False):
        fault("tools/hostcheck/LumoGameSDK.dll differs from bin/LumoGameSDK.dll")
    if not filecmp.cmp(os.path.join(root, "lib", "LumoGameSDK.lib"),
                       os.path.join(root, "unreal/LumoGameSDK/Source/ThirdParty/LumoGameSDK/lib/Win64/LumoGameSDK.lib"),
                       shallow=False):
        fault("the plugin's LumoGameSDK.lib differs from lib/LumoGameSDK.lib")


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    root, version, maps = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3:]
    check_legal(root, maps)
    check_docs(root)
    check_unity(root, version)
    check_unreal(root, version)
    check_csharp(root, version)
    check_dll_copies(root)
    if not faults:
        print("check_package: %s is complete and consistent" % root)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
