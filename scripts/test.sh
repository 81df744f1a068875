#!/usr/bin/env bash
# Builds everything and runs every test under Wine. Exits non-zero on any
# failure. Usage: scripts/test.sh [build-dir]   (default: build)
# While working on one part: LUMO_TEST_ONLY=<ctest regex> scripts/test.sh
# builds only the GCC tree and runs only the matching test programs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mkdir -p "$build"
build=$(cd "$build" && pwd)

"$root/scripts/install-deps.sh"

source "$root/scripts/lib/verify-build.sh"
configure_with_verify_server "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_WERROR=ON
cmake --build "$build" -j "$(nproc)"
only=()
if [ -n "${LUMO_TEST_ONLY:-}" ]; then
  only=(-R "$LUMO_TEST_ONLY")
else
  "$root/scripts/build-clang.sh" "$build-clang"  # Clang too: built and checked, not tested again
  "$root/scripts/fuzz.sh" "$build-fuzz"          # input parsers natively, under ASan/UBSan
fi

"$root/scripts/wine-session.sh" "$build/wineprefix" \
  ctest --test-dir "$build" --output-on-failure "${only[@]}"
