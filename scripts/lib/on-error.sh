# Sourced by each script the README gives a user to run (test, demo, bench,
# soak, fuzz, dll-size, install-deps): a command that fails where set -e
# would end the script prints what failed, where and with which status
# first, so no step ends silently (a failure inside a command substitution
# too: errtrace carries the trap into it). Where a script turned set -e off
# to read a status itself, the trap stays quiet.
set -o errtrace
trap 'lumo_status=$?; if [[ $- == *e* ]]; then printf "%s: FAILED (status %d) at line %d: %s\n" "${0##*/}" "$lumo_status" "$LINENO" "$BASH_COMMAND" >&2; exit "$lumo_status"; fi' ERR
