# Sourced by every script a user runs: a command that fails under set -e
# prints what failed, where and with which status before the script exits,
# so no step ends silently (a failure inside a command substitution too,
# since errtrace carries the trap into it).
set -o errtrace
trap 'lumo_status=$?; printf "%s: FAILED (status %d) at line %d: %s\n" "${0##*/}" "$lumo_status" "$LINENO" "$BASH_COMMAND" >&2; exit "$lumo_status"' ERR
