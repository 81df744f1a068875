#!/usr/bin/env bash
# Fault-and-load harness: bursts through a fast and a busy host, two games
# bursting into one launcher channel, a hung host, payments racing shutdown,
# host restarts, the exports inside a plugin's DllMain; prints one table of
# figures, each beside its goal, and exits non-zero when one misses it.
# Takes a few minutes. Usage: scripts/soak.sh [--race-runs N] [--restarts N]
#        [--only bursts|shared|hung|races|restarts|loaderlock]
set -euo pipefail
source "$(dirname "$0")/lib/on-error.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LUMO_SOAK_BUILD:-$root/build-soak}
mkdir -p "$build"
build=$(cd "$build" && pwd)

"$root/scripts/install-deps.sh"
source "$root/scripts/lib/verify-build.sh"
configure_with_verify_server "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)" --target lumo_soak

"$root/scripts/wine-session.sh" "$build/wineprefix" \
  bash -c 'cd "$1" && shift && wine lumo_soak.exe "$@"' _ "$build/bin" "$@"
