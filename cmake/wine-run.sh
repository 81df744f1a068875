#!/bin/sh
# Runs a Windows program under Wine with the project's own prefix. CTest
# starts every test program through it; scripts/wine-session.sh provides
# WINEPREFIX and DISPLAY for the whole run. Without them, say so instead of
# quietly making a second prefix in the test's working folder.
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set; run through scripts/wine-session.sh <build>/wineprefix" >&2
  exit 125
fi
: "${WINEDEBUG:=-all}"
export WINEDEBUG
exec wine "$@"
