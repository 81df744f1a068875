#!/usr/bin/env bash
# Checks a built LumoGameSDK.dll's outer face: exactly the five exports of
# src/sdk/LumoGameSDK.def, imports of the system's KnownDLLs and API sets
# only, stripped, and the symbol files beside it its own
# (scripts/check_symbols.py). The programs named after it (the shipped
# lumo-devhost.exe and lumo-hostcheck.exe) get the import check alone, which
# lets them import the SDK's own DLL besides (lumo-hostcheck loads its copy
# beside it, as a game does).
# Usage: scripts/check-dll.sh <dll> [<program>...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dll=$1
shift

exports=$(llvm-readobj --coff-exports "$dll" | sed -n 's/^ *Name: *//p' | sort | paste -sd' ')
expected=$(sed -n 's/^ \+\(lumo[A-Za-z]*\)$/\1/p' "$root/src/sdk/LumoGameSDK.def" | sort | paste -sd' ')
if [ "$exports" != "$expected" ]; then
  echo "check-dll: $dll exports [$exports], expected [$expected]" >&2
  exit 1
fi
# Imports only of what the loader never looks for beside the game: the
# KnownDLLs that Windows 7 to 11 all list (HKLM\SYSTEM\CurrentControlSet\
# Control\Session Manager\KnownDLLs; ntdll is always the system's) and API
# sets (api-ms-win-*, ext-ms-win-*), which the loader resolves itself. Any
# other DLL, even a system one (winmm, winhttp), is searched in the game's
# (or tool's) folder first, where a planted copy would run inside it: the
# library and the tools load those from the system folder at run time instead.
known_dlls=" advapi32 clbcatq comdlg32 difxapi gdi32 imagehlp imm32 kernel32 msctf msvcrt normaliz nsi ntdll ole32
  oleaut32 psapi rpcrt4 sechost setupapi shell32 shlwapi user32 wldap32 ws2_32 "
check_imports() {
  local file=$1 also=${2:-} name lower refused=()
  for name in $(llvm-readobj --coff-imports "$file" | sed -n 's/^ *Name: *\(.*\)\.dll$/\1/Ip'); do
    lower=$(echo "$name" | tr '[:upper:]' '[:lower:]')
    case "$lower" in
      api-ms-win-* | ext-ms-win-* | "$also") continue ;;
    esac
    case "$known_dlls" in
      *[[:space:]]"$lower"[[:space:]]*) continue ;;
    esac
    refused+=("$name.dll")
  done
  if [ ${#refused[@]} -ne 0 ]; then
    echo "check-dll: $file imports ${refused[*]}, not one of the system's KnownDLLs or an API set:" \
         "the loader would look for it in the program's folder first" >&2
    return 1
  fi
}
check_imports "$dll"
for program in "$@"; do
  check_imports "$program" lumogamesdk
done
python3 "$root/scripts/check_symbols.py" "$dll"
echo "check-dll: $dll exports, imports and symbols checked${1:+; imports of $*}"
