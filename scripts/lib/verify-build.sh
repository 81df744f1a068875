# Sourced by scripts that build against the local verify server.
# configure_with_verify_server <build-dir> [cmake args...]
#   The library's verify host is fixed at build time, so the local HTTPS
#   server starts before configuring and the build points at
#   localhost:<port>. Its test CA is trusted only in this build's Wine
#   prefix. The EXIT trap stops the server and removes the CA however the
#   run ends.
configure_with_verify_server() {
  local build=$1; shift
  verify_state=$build/verify-server
  "$root/scripts/verify-server.sh" stop "$verify_state"  # leftovers of an interrupted run
  trap '"$root/scripts/verify-server.sh" stop "$verify_state"' EXIT
  trap 'exit 130' INT TERM
  local port
  port=$("$root/scripts/verify-server.sh" start "$verify_state" "$build/wineprefix")
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DLUMO_VERIFY_HOST="localhost:$port" "$@"
}
