#!/usr/bin/env bash
# Builds everything a second time with Clang and LLD (warnings as errors for
# the library), without running the tests, and checks that the Clang-built
# DLL keeps its outer face: exactly the five exports, and imports of Windows
# system DLLs only, WinHTTP not among them; and that it is stripped, with the
# PDB beside it that its debug directory names (same GUID and age). Usage: scripts/build-clang.sh <build-dir>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/clang-mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_WERROR=ON
cmake --build "$build" -j "$(nproc)"

dll=$build/bin/LumoGameSDK.dll
exports=$(llvm-readobj --coff-exports "$dll" | sed -n 's/^ *Name: *//p' | sort | paste -sd' ')
expected=$(sed -n 's/^ \+\(lumo[A-Za-z]*\)$/\1/p' "$root/src/sdk/LumoGameSDK.def" | sort | paste -sd' ')
if [ "$exports" != "$expected" ]; then
  echo "build-clang: $dll exports [$exports], expected [$expected]" >&2
  exit 1
fi
# A system DLL is one the MinGW sysroot has an import library for; the
# compiler's runtime DLLs (libstdc++, libgcc, winpthread) have none.
sysroot_lib=/usr/x86_64-w64-mingw32/lib
for name in $(llvm-readobj --coff-imports "$dll" | sed -n 's/^ *Name: *\(.*\)\.dll$/\1/Ip'); do
  lower=$(echo "$name" | tr '[:upper:]' '[:lower:]')
  if [ ! -f "$sysroot_lib/lib$lower.a" ]; then
    echo "build-clang: $dll imports $name.dll, which is not a Windows system DLL" >&2
    exit 1
  fi
done
# WinHTTP is loaded by the login from the system folder, never imported.
if llvm-readobj --coff-imports "$dll" | grep -qi 'Name: *winhttp\.dll'; then
  echo "build-clang: $dll imports winhttp.dll, which the login loads on demand" >&2
  exit 1
fi
python3 "$root/scripts/check_symbols.py" "$dll"
echo "build-clang: $dll exports, imports and symbols checked"
