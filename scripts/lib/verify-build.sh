# Sourced by scripts that build against the local verify server.
# configure_with_verify_server <build-dir> [cmake args...]
#   Configures with the toolchain that builds the shipped DLL (Clang/LLD),
#   or with $LUMO_TOOLCHAIN_FILE when set.
#   The library's verify host is fixed at build time, so the local HTTPS
#   server starts before configuring and the build points at
#   localhost:<port>. Its test CA is trusted only in this build's Wine
#   prefix. The EXIT trap stops the server and removes the CA however the
#   run ends.
configure_with_verify_server() {
  local build=$1; shift
  verify_state=$build/verify-server
  # Leftovers of an interrupted run: what still runs in this build's own Wine
  # prefix (a persistent wineserver, which would keep every later wait for
  # the prefix's wineserver waiting, a program that hung), then its verify
  # server and the CA it trusted.
  if [ -f "$build/wineprefix/system.reg" ]; then
    WINEPREFIX=$build/wineprefix wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX=$build/wineprefix timeout 30 wineserver -w >/dev/null 2>&1 || true
  fi
  # Explicit returns: callers may run this inside a condition, where set -e is off.
  "$root/scripts/verify-server.sh" stop "$verify_state" || return 1
  trap '"$root/scripts/verify-server.sh" stop "$verify_state"' EXIT
  trap 'exit 130' INT TERM
  local port
  port=$("$root/scripts/verify-server.sh" start "$verify_state" "$build/wineprefix") || return 1
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="${LUMO_TOOLCHAIN_FILE:-$root/cmake/clang-mingw-w64-x86_64.cmake}" \
        -DLUMO_VERIFY_HOST="localhost:$port" "$@"
}
