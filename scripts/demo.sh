#!/usr/bin/env bash
# The whole session, end to end: lumo-devhost plays the launcher, the sample
# game loads LumoGameSDK.dll, attaches its window to the host window, logs in
# over HTTPS against a local verify server, asks for a payment window and
# shuts down. Prints the session as it happens and saves a screenshot of the
# host window with the game embedded.
# Usage: scripts/demo.sh [build-dir]   (default: build-demo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-demo}
mkdir -p "$build"
build=$(cd "$build" && pwd)
shot=$build/demo-screenshot.png

"$root/scripts/install-deps.sh" imagemagick curl

say() { printf '\n=== %s\n' "$*"; }

# The verify server runs for the whole demo; the EXIT trap stops it (and
# removes its CA from the demo's Wine prefix) however the demo ends.
verify_state=$build/verify-server
"$root/scripts/verify-server.sh" stop "$verify_state"
trap '"$root/scripts/verify-server.sh" stop "$verify_state"' EXIT
trap 'exit 130' INT TERM
say "Starting the local HTTPS verify server"
verify_port=$("$root/scripts/verify-server.sh" start "$verify_state" "$build/wineprefix")
echo "verify endpoint: https://localhost:$verify_port/game_login/verify"
# The player the endpoint vouches for.
curl -sS --fail --cacert "$verify_state/ca.crt" -X POST --data-binary \
  '{"code":0,"data":{"uid":10001,"appid":"lumo-demo","sid":"sess-7f3a","time":1765350000,"utype":1}}' \
  "https://localhost:$verify_port/__control/answer?status=200" >/dev/null

say "Building LumoGameSDK.dll, lumo-devhost and the sample game"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_BUILD_TESTS=OFF -DLUMO_BUILD_BENCH=OFF \
      -DLUMO_VERIFY_HOST="localhost:$verify_port" >/dev/null
cmake --build "$build" -j "$(nproc)" --target LumoGameSDK lumo-devhost sample_game >/dev/null

# Prefixes each line with the seconds since the session started.
stamp() {
  local start=${EPOCHREALTIME/./} line now ms
  while IFS= read -r line; do
    line=${line%$'\r'}
    now=${EPOCHREALTIME/./}
    ms=$(( (now - start) / 1000 ))
    printf '[%3d.%02ds] %s\n' $((ms / 1000)) $((ms % 1000 / 10)) "$line"
  done
}

# Inside the Wine session: run the game under the development host, take
# the screenshot while the game is embedded, and report how it ended.
session() {
  local out=$build/demo-session.log
  : >"$out"
  say "Session (lumo-devhost starts the sample game)"
  # The host also greets the game on the game's own channel; the SDK's
  # receive thread logs it to the debugger output, which the devhost shows.
  wine "$build/bin/lumo-devhost.exe" --gameid=42 --token=demo-token-123 --size=1024x600 \
    '--send=IpcMsg_Host_Hello:["hello from the host"]' \
    "$build/bin/sample_game.exe" --uninit-after=4000 2>&1 | stamp | tee "$out" &
  local pipeline=$!
  # Screenshot once the payment request has reached the host.
  for _ in $(seq 1 300); do
    grep -q 'recv IpcMsg_GameSDK_ShowPay' "$out" && break
    sleep 0.1
  done
  sleep 1
  local xid
  xid=$(xwininfo -root -tree 2>/dev/null | awk '/"Lumo devhost"/ {print $1; exit}')
  if [ -n "$xid" ]; then
    import -window "$xid" "$shot" 2>/dev/null || import -window root "$shot"
  else
    import -window root "$shot"
  fi
  wait "$pipeline"
  local code
  code=$(sed -n 's/.*\[devhost\] game exited code=//p' "$out" | tail -n1)
  say "Game exited with code ${code:-?}"
  if grep -q '\[game\] lumoGameUninit' "$out"; then
    echo "(the SDK ends the game 3 s after lumoGameUninit; the game itself would have run on)"
  fi
  [ "${code:-1}" = 0 ]
}
export -f session say stamp
export build shot
"$root/scripts/wine-session.sh" "$build/wineprefix" bash -c session

say "Screenshot of the host window with the game embedded: $shot"
