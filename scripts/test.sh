#!/usr/bin/env bash
# Builds everything and runs every test under Wine. Exits non-zero on any
# failure. Usage: scripts/test.sh [build-dir]   (default: build)
# The tests run against the DLL that ships: the Clang/LLD build (CodeView
# PDB). GCC builds everything a second time (checked, not tested again), and
# the input parsers are fuzzed briefly. Each step prints a heading with the
# time since the start; the compilers' output goes to <build-dir>/logs/ and
# is shown only when a step fails. About 30 minutes on 2 cores from a clean
# clone, most of it compiling.
# While working on one part: LUMO_TEST_ONLY=<ctest regex> scripts/test.sh
# builds only the tested tree and runs only the matching test programs.
set -euo pipefail
source "$(dirname "$0")/lib/on-error.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mkdir -p "$build/logs"
build=$(cd "$build" && pwd)
logs=$build/logs

started=$SECONDS
summary=()
clock() { printf '%d:%02d' $(($1 / 60)) $(($1 % 60)); }

# step <title> <log name> <command...>: runs the command with its output in
# logs/<log name>.log, prints the heading and how long it took; on failure
# the end of the log.
step() {
  local title=$1 log=$logs/$2.log t0=$SECONDS; shift 2
  printf '\n=== [%s] %s\n' "$(clock $((t0 - started)))" "$title"
  echo "    (output: $log)"
  if ! "$@" >"$log" 2>&1; then
    tail -n 60 "$log"
    printf '\n=== FAILED after %s: %s (whole output: %s)\n' "$(clock $((SECONDS - started)))" "$title" "$log"
    exit 1
  fi
  summary+=("$(printf '%6s  %s' "$(clock $((SECONDS - t0)))" "$title")")
}

step "Checking the build tools, Wine and Mono (installs what is missing)" deps \
  "$root/scripts/install-deps.sh"

source "$root/scripts/lib/verify-build.sh"
step "Starting the local verify server and configuring the Clang/LLD build (the shipped DLL)" configure \
  configure_with_verify_server "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_WERROR=ON
step "Building the library, tools, tests and benchmarks with Clang/LLD" build \
  cmake --build "$build" -j "$(nproc)"
step "Checking the tested DLL (exports, imports, stripped, PDB matches) and the tools' imports" check-dll \
  "$root/scripts/check-dll.sh" "$build/bin/LumoGameSDK.dll" "$build/bin/lumo-devhost.exe" "$build/bin/lumo-hostcheck.exe"

only=()
if [ -n "${LUMO_TEST_ONLY:-}" ]; then
  only=(-R "$LUMO_TEST_ONLY")
else
  step "Building everything with GCC too (portability; checked, not tested again)" build-gcc \
    "$root/scripts/build-gcc.sh" "$build-gcc"
  step "Fuzzing the input parsers natively under ASan/UBSan" fuzz \
    "$root/scripts/fuzz.sh" "$build-fuzz"
fi

t0=$SECONDS
printf '\n=== [%s] Running the tests under Wine (ctest output follows)\n' "$(clock $((t0 - started)))"
set +e
"$root/scripts/wine-session.sh" "$build/wineprefix" \
  ctest --test-dir "$build" --output-on-failure "${only[@]}" 2>&1 | tee "$logs/ctest.log"
rc=${PIPESTATUS[0]}
set -e
summary+=("$(printf '%6s  %s' "$(clock $((SECONDS - t0)))" "Running the tests under Wine")")

printf '\n=== [%s] %s\n' "$(clock $((SECONDS - started)))" "$([ "$rc" = 0 ] && echo "All steps passed" || echo "Tests FAILED")"
printf '%s\n' "${summary[@]}"
exit "$rc"
