#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, when missing, and
# nothing else: installed packages are never upgraded. A missing package
# whose siblings (binaries of the same source package) are installed is
# installed in their version, as apt would otherwise upgrade them to match;
# when that version is no longer in the archive, it stops and says which
# packages an install would upgrade (LUMO_DEPS_ALLOW_UPGRADE=1 lets it).
# Usage: install-deps.sh [extra packages...]
set -euo pipefail
source "$(dirname "$0")/lib/on-error.sh"
packages=(cmake make g++-mingw-w64-x86-64-posix wine wine64 xvfb x11-utils
          nlohmann-json3-dev googletest libasio-dev python3 openssl ca-certificates curl
          clang lld-16 llvm libclang-rt-14-dev mono-mcs mono-runtime "$@")
# Every look-up reads its whole output before it is searched: a reader that
# stops at the first match would kill the writer (SIGPIPE) and, under
# pipefail, fail the script.
installed=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package} ${source:Package} ${Version}\n' 2>/dev/null || true)
missing=()
for p in "${packages[@]}"; do
  awk -v p="$p" '$1 == "ii" && $2 == p { found = 1 } END { exit !found }' <<<"$installed" || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0

echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update
wanted=()
for p in "${missing[@]}"; do
  if ! info=$(apt-cache show --no-all-versions "$p" 2>/dev/null) || [ -z "$info" ]; then
    echo "install-deps: apt knows no package named $p (after apt-get update); is this Debian 12 with its main archive?" >&2
    exit 1
  fi
  src=$(awk '/^Source: / { print $2; exit }' <<<"$info")
  src=${src:-$p}
  have=$(awk -v s="$src" '$1 == "ii" && $3 == s { print $4; exit }' <<<"$installed")
  versions=$(apt-cache madison "$p" | awk -F'|' '{ gsub(/ /, "", $2); print $2 }')
  if [ -n "$have" ] && grep -qxF "$have" <<<"$versions"; then
    wanted+=("$p=$have")
  else
    wanted+=("$p")
  fi
done
simulated=$(apt-get -s install --no-install-recommends "${wanted[@]}")
upgrades=$(sed -n 's/^Inst \([^ ]*\) \[.*/\1/p' <<<"$simulated" | paste -sd' ')
if [ -n "$upgrades" ] && [ "${LUMO_DEPS_ALLOW_UPGRADE:-0}" != 1 ]; then
  echo "install-deps: installing ${wanted[*]} would upgrade these installed packages: $upgrades" >&2
  echo "install-deps: upgrade them yourself (apt-get install $upgrades), or rerun with LUMO_DEPS_ALLOW_UPGRADE=1" >&2
  exit 1
fi
apt-get install -y --no-install-recommends "${wanted[@]}"
