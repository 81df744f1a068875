#!/usr/bin/env bash
# Configures, builds and runs the task framework benchmark under Wine in a
# private session. Extra arguments go to the benchmark (--reps N, --bulk N,
# --sparse N, --idle-seconds N). Usage: scripts/bench.sh [args...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LUMO_BENCH_BUILD:-$root/build-bench}

"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DLUMO_BUILD_TESTS=OFF
cmake --build "$build" -j "$(nproc)" --target nbase_bench

"$root/scripts/wine-session.sh" "$build/wineprefix" \
  bash -c 'cd "$1" && shift && wine nbase_bench.exe "$@"' _ "$build/bin" "$@"
