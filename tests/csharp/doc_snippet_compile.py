#!/usr/bin/env python3
"""Compiles the C# examples of a guide exactly as the guide shows them.

    doc_snippet_compile.py <mcs> <work dir> <markdown file> <source .cs>...

Every ```csharp block of the Markdown file becomes a source file of its own,
compiled by Mono's C# compiler into one library together with the given
sources (the binding, and for Unity's guide a stand-in of UnityEngine), with
unsafe code allowed and warnings as errors. Exits non-zero, with the
compiler's messages, when a block does not build or the file has none.
"""
import os
import re
import subprocess
import sys


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    mcs, work, markdown = sys.argv[1:4]
    sources = sys.argv[4:]
    with open(markdown, encoding="utf-8") as f:
        blocks = re.findall(r"^```csharp\n(.*?)^```$", f.read(), re.S | re.M)
    if not blocks:
        sys.exit("doc_snippet_compile: %s shows no C# example" % markdown)
    os.makedirs(work, exist_ok=True)
    snippets = []
    for i, block in enumerate(blocks, 1):
        path = os.path.join(work, "snippet%d.cs" % i)
        with open(path, "w", encoding="utf-8") as f:
            f.write(block)
        snippets.append(path)
    command = [mcs, "-nologo", "-target:library", "-unsafe", "-warnaserror+",
               "-out:" + os.path.join(work, "Snippets.dll")] + sources + snippets
    print("$ " + " ".join(command), flush=True)
    if subprocess.run(command).returncode != 0:
        sys.exit("doc_snippet_compile: an example of %s does not build as shown" % os.path.basename(markdown))
    print("doc_snippet_compile: %d example(s) of %s build as shown" % (len(blocks), os.path.basename(markdown)))


if __name__ == "__main__":
    main()
