#!/usr/bin/env bash
# The whole session, end to end: lumo-devhost plays the launcher, the sample
# game loads LumoGameSDK.dll, attaches its window to the host window, logs in
# over HTTPS against a local verify server, asks for a payment window and
# shuts down. Prints the session as it happens, then draws its timeline from
# the session's own logs: the game's thread, the library's sender and receive
# threads, the host and the verify server, every message with time and size
# (<build-dir>/demo-timeline.svg and .png).
# Usage: scripts/demo.sh [build-dir]   (default: build-demo)
set -euo pipefail
source "$(dirname "$0")/lib/on-error.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-demo}
mkdir -p "$build"
build=$(cd "$build" && pwd)
timeline=$build/demo-timeline

say() { printf '\n=== %s\n' "$*"; }

say "Checking the build tools, Wine, curl and rsvg-convert (installs what is missing, upgrades nothing)"
"$root/scripts/install-deps.sh" curl librsvg2-bin

# The verify server runs for the whole demo; the EXIT trap stops it (and
# removes its CA from the demo's Wine prefix) however the demo ends.
verify_state=$build/verify-server
"$root/scripts/verify-server.sh" stop "$verify_state"
trap '"$root/scripts/verify-server.sh" stop "$verify_state"' EXIT
trap 'exit 130' INT TERM
say "Starting the local HTTPS verify server (throw-away CA for localhost, trusted in the demo's Wine prefix only;"
echo "the first run creates that prefix, a minute or two)"
verify_port=$("$root/scripts/verify-server.sh" start "$verify_state" "$build/wineprefix")
echo "verify endpoint: https://localhost:$verify_port/game_login/verify"
# The player the endpoint vouches for.
answer='{"code":0,"data":{"uid":10001,"appid":"lumo-demo","sid":"sess-7f3a","time":1765350000,"utype":1}}'
curl -sS --fail --cacert "$verify_state/ca.crt" -X POST --data-binary "$answer" \
  "https://localhost:$verify_port/__control/answer?status=200" >/dev/null

say "Building LumoGameSDK.dll, lumo-devhost and the sample game (a few minutes the first time)"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/clang-mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_BUILD_TESTS=OFF -DLUMO_BUILD_BENCH=OFF \
      -DLUMO_VERIFY_HOST="localhost:$verify_port" >/dev/null
cmake --build "$build" -j "$(nproc)" --target LumoGameSDK lumo-devhost sample_game >/dev/null
# The library's own log, for the timeline: when each export ran.
printf '[main]\r\nlog=1\r\n' >"$build/bin/LumoGameSDK.ini"
rm -f "$build/bin/sample_game.exe.log"

# Prefixes each line with the seconds since the session started (ms).
stamp() {
  local start=${1/./} line now ms
  while IFS= read -r line; do
    line=${line%$'\r'}
    now=${EPOCHREALTIME/./}
    ms=$(( (now - start) / 1000 ))
    printf '[%3d.%03ds] %s\n' $((ms / 1000)) $((ms % 1000)) "$line"
  done
}

# Inside the Wine session: run the game under the development host and
# report how it ended.
session() {
  local out=$build/demo-session.log
  : >"$out"
  say "Session (lumo-devhost starts the sample game; about 10 s)"
  local start=$EPOCHREALTIME
  echo "$start" >"$build/demo-session.start"
  # The host also greets the game on the game's own channel; the SDK's
  # receive thread logs it to the debugger output, which the devhost shows.
  echo "(The host's greeting shows as '[devhost] debug [IPC recv] ...' and then '[IPC recv] no handler"
  echo " for msg': the library writes messages from the host to the debugger output and handles none"
  echo " of them, by design. The exact bytes of each message the host receives ('--raw' hex lines)"
  echo " go to $out only.)"
  # --raw: the exact bytes of every envelope the host receives, for the
  # timeline's sizes; kept in the log, not shown.
  wine "$build/bin/lumo-devhost.exe" --raw --gameid=42 --token=demo-token-123 --size=1024x600 \
    '--send=IpcMsg_Host_Hello:["hello from the host"]' \
    "$build/bin/sample_game.exe" --uninit-after=3000 2>&1 | stamp "$start" | tee "$out" |
    { grep --line-buffered -v '^\[ *[0-9.]*s\] \[devhost\] raw ' || true; }
  local code
  code=$(sed -n 's/.*\[devhost\] game exited code=//p' "$out" | tail -n1)
  say "Game exited with code ${code:-?}"
  if grep -q '\[game\] lumoGameUninit' "$out"; then
    echo "(the SDK ends the game 3 s after lumoGameUninit; the game itself would have run on)"
  fi
  [ "${code:-1}" = 0 ]
}
export -f session say stamp
export build
"$root/scripts/wine-session.sh" "$build/wineprefix" bash -c session

say "Drawing the session's timeline from demo-session.log, sample_game.exe.log and the verify server"
curl -sS --fail --cacert "$verify_state/ca.crt" "https://localhost:$verify_port/__control/last" \
  >"$build/demo-verify-last.json"
python3 "$root/scripts/session_timeline.py" --session "$build/demo-session.log" \
  --start-epoch "$(cat "$build/demo-session.start")" --sdk-log "$build/bin/sample_game.exe.log" \
  --verify-last "$build/demo-verify-last.json" --answer-bytes "${#answer}" --out "$timeline.svg"
rsvg-convert -o "$timeline.png" "$timeline.svg"
say "Timeline of the session: $timeline.png (and .svg)"
echo "(Under Wine the host window shows only its own background: Wine 8 does not draw a"
echo " window re-parented into another process's window, so the demo draws the session instead.)"
