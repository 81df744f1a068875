#!/usr/bin/env bash
# wine-session.sh <prefix-dir> <command...>
# Runs <command> inside one Wine session: a private Xvfb display, the
# project's own Wine prefix and one persistent wineserver. Everything it
# starts is stopped again by PID when the command ends, also on failure,
# and at once when the session is interrupted (INT, TERM, HUP): the
# command's Wine processes are ended with the wineserver, however stuck.
set -euo pipefail

prefix=$1; shift
mkdir -p "$prefix"
export WINEPREFIX=$(cd "$prefix" && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}

xvfb_pid=""
command_pid=""
cleanup() {
  local rc=$?
  trap - EXIT INT TERM HUP
  # The command first, so that it starts nothing more; then every Wine
  # process of the prefix, which also ends what the command had started.
  if [ -n "$command_pid" ] && kill -0 "$command_pid" 2>/dev/null; then
    kill "$command_pid" 2>/dev/null || true
  fi
  wineserver -k >/dev/null 2>&1 || true
  timeout 30 wineserver -w >/dev/null 2>&1 || true
  if [ -n "$command_pid" ]; then
    for _ in $(seq 1 50); do
      kill -0 "$command_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$command_pid" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  exit $rc
}
trap cleanup EXIT
# A signal ends the session now: bash runs a trap only once the foreground
# command has returned, so the command runs in the background and is
# waited for (a wait that a signal interrupts).
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# Xvfb picks a free display number and writes it to fd 3.
displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$displayfile" ] && break
  sleep 0.1
done
if [ ! -s "$displayfile" ]; then echo "Xvfb did not start" >&2; exit 1; fi
export DISPLAY=":$(head -n1 "$displayfile")"
rm -f "$displayfile"

# A fresh prefix is initialised before anything else, with its services'
# output kept away from ours (they would otherwise hold our stdout pipe).
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine-session: initialising Wine prefix $WINEPREFIX" >&2
  wineboot -i </dev/null >/dev/null 2>&1 || true
  wineserver -w
fi
wineserver -p </dev/null >/dev/null 2>&1
# Every program of the session runs inside one Wine virtual desktop, as on a
# Windows desktop: on a bare X server without a window manager Wine waits
# about 2 s for each re-parenting of a shown window, which Windows never does.
if ! grep -q '^"Desktop"="LumoSession"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d LumoSession /f </dev/null >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v LumoSession /d 1600x900 /f </dev/null >/dev/null 2>&1 || true
fi
# Start the prefix's services and the desktop process now, detached from our
# output: started later by the first test program, they would inherit its
# stdout pipe and keep the test runner waiting for end-of-file.
wineboot </dev/null >/dev/null 2>&1 || true
(wine explorer.exe /desktop=LumoSession,1600x900 </dev/null >/dev/null 2>&1 &)
# Only this prefix's desktop counts: another session may run beside this one,
# and a desktop that comes up after our clean-up would keep a wineserver of
# this prefix alive (and a later `wineserver -w` waiting) for ever.
desktop_running() {
  local pid
  for pid in $(pgrep -f 'explorer.exe /desktop' || true); do
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}
for _ in $(seq 1 100); do
  desktop_running && break
  sleep 0.1
done
"$@" <&0 &
command_pid=$!
wait "$command_pid"
