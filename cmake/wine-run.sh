#!/bin/sh
# Runs a Windows program under Wine with the project's own prefix.
# The session script (scripts/wine-session.sh) exports WINEPREFIX and DISPLAY;
# these defaults only make a single test runnable by hand.
: "${WINEPREFIX:=$(pwd)/wineprefix}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG
exec wine "$@"
