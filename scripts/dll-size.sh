#!/usr/bin/env bash
# Builds LumoGameSDK.dll the way the README's DLL-only build does (Clang/LLD, no build
# type given, so Release; stripped, symbols beside it) and prints where its
# bytes come from, read from the linker map, and its size against the
# 512 KiB goal. Exits 1 when the DLL is over the goal.
# Usage: scripts/dll-size.sh [build-dir]   (default: build-size)
set -euo pipefail
source "$(dirname "$0")/lib/on-error.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-size}

"$root/scripts/install-deps.sh"
echo "dll-size: configuring and building LumoGameSDK in $build (a few minutes the first time)" >&2
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/clang-mingw-w64-x86_64.cmake" \
      -DLUMO_BUILD_TESTS=OFF -DLUMO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 2 --target LumoGameSDK >/dev/null
python3 "$root/scripts/dll_size.py" "$build/src/LumoGameSDK.map" "$build/bin/LumoGameSDK.dll"
