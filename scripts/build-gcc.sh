#!/usr/bin/env bash
# Builds everything a second time with GCC (MinGW-w64, GNU ld; warnings as
# errors for the library), without running the tests: the library stays
# portable across compilers. The shipped DLL is Clang's (see docs/building.md);
# this one is checked for the same outer face (scripts/check-dll.sh), with its
# DWARF symbols in LumoGameSDK.dll.debug for gdb.
# Usage: scripts/build-gcc.sh <build-dir>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_WERROR=ON
cmake --build "$build" -j "$(nproc)"
"$root/scripts/check-dll.sh" "$build/bin/LumoGameSDK.dll" "$build/bin/lumo-devhost.exe" "$build/bin/lumo-hostcheck.exe"
# The symbol check on GCC's DWARF file, also against one of another build.
python3 "$root/tests/package/check_symbols_test.py" "$root/scripts/check_symbols.py" "$build/bin" llvm-readobj
