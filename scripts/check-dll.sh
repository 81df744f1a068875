#!/usr/bin/env bash
# Checks a built LumoGameSDK.dll's outer face: exactly the five exports of
# src/sdk/LumoGameSDK.def, imports of Windows system DLLs only (WinHTTP not
# among them: the login loads it on demand), stripped, and the symbol files
# beside it its own (scripts/check_symbols.py). Usage: scripts/check-dll.sh <dll>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dll=$1

exports=$(llvm-readobj --coff-exports "$dll" | sed -n 's/^ *Name: *//p' | sort | paste -sd' ')
expected=$(sed -n 's/^ \+\(lumo[A-Za-z]*\)$/\1/p' "$root/src/sdk/LumoGameSDK.def" | sort | paste -sd' ')
if [ "$exports" != "$expected" ]; then
  echo "check-dll: $dll exports [$exports], expected [$expected]" >&2
  exit 1
fi
# A system DLL is one the MinGW sysroot has an import library for; the
# compiler's runtime DLLs (libstdc++, libgcc, winpthread) have none.
sysroot_lib=/usr/x86_64-w64-mingw32/lib
for name in $(llvm-readobj --coff-imports "$dll" | sed -n 's/^ *Name: *\(.*\)\.dll$/\1/Ip'); do
  lower=$(echo "$name" | tr '[:upper:]' '[:lower:]')
  if [ ! -f "$sysroot_lib/lib$lower.a" ]; then
    echo "check-dll: $dll imports $name.dll, which is not a Windows system DLL" >&2
    exit 1
  fi
done
if llvm-readobj --coff-imports "$dll" | grep -qi 'Name: *winhttp\.dll'; then
  echo "check-dll: $dll imports winhttp.dll, which the login loads on demand" >&2
  exit 1
fi
python3 "$root/scripts/check_symbols.py" "$dll"
echo "check-dll: $dll exports, imports and symbols checked"
