#!/usr/bin/env bash
# Builds everything and runs every test under Wine. Exits non-zero on any
# failure. Usage: scripts/test.sh [build-dir]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mkdir -p "$build"
build=$(cd "$build" && pwd)

"$root/scripts/install-deps.sh"

# --- Login verify endpoint ---------------------------------------------------
# The library's verify host is fixed at build time, so the local HTTPS server
# starts before configuring and the build points at localhost:<port>. Its
# test CA is trusted only in this build's Wine prefix. The EXIT trap stops
# the server and removes the CA however the run ends.
verify_state=$build/verify-server
"$root/scripts/verify-server.sh" stop "$verify_state"  # leftovers of an interrupted run
trap '"$root/scripts/verify-server.sh" stop "$verify_state"' EXIT
trap 'exit 130' INT TERM
verify_port=$("$root/scripts/verify-server.sh" start "$verify_state" "$build/wineprefix")
verify_args=(-DLUMO_VERIFY_HOST="localhost:$verify_port")
# -----------------------------------------------------------------------------

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_WERROR=ON "${verify_args[@]}"
cmake --build "$build" -j "$(nproc)"
"$root/scripts/build-clang.sh" "$build-clang"  # Clang too: built and checked, not tested again
"$root/scripts/fuzz.sh" "$build-fuzz"          # input parsers natively, under ASan/UBSan

"$root/scripts/wine-session.sh" "$build/wineprefix" \
  ctest --test-dir "$build" --output-on-failure
