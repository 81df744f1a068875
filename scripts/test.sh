#!/usr/bin/env bash
# Builds everything and runs every test under Wine. Exits non-zero on any
# failure. Usage: scripts/test.sh [build-dir]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}

"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_WERROR=ON
cmake --build "$build" -j "$(nproc)"
"$root/scripts/build-clang.sh" "$build-clang"  # Clang too: built and checked, not tested again

"$root/scripts/wine-session.sh" "$build/wineprefix" \
  ctest --test-dir "$build" --output-on-failure
