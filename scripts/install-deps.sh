#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, when missing, and
# nothing else: installed packages are never upgraded. A missing package
# whose siblings (binaries of the same source package) are installed is
# installed in their version, as apt would otherwise upgrade them to match;
# when that version is no longer in the archive, it stops and says which
# packages an install would upgrade (LUMO_DEPS_ALLOW_UPGRADE=1 lets it).
# Usage: install-deps.sh [extra packages...]
set -euo pipefail
packages=(cmake make g++-mingw-w64-x86-64-posix wine wine64 xvfb x11-utils
          nlohmann-json3-dev googletest libasio-dev python3 openssl ca-certificates curl
          clang lld-16 llvm libclang-rt-14-dev mono-mcs mono-runtime "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0

echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update
wanted=()
for p in "${missing[@]}"; do
  src=$(apt-cache show --no-all-versions "$p" 2>/dev/null | sed -n 's/^Source: \([^ ]*\).*/\1/p' | head -n1)
  src=${src:-$p}
  have=$(dpkg-query -W -f='${db:Status-Abbrev} ${source:Package} ${Version}\n' 2>/dev/null |
         awk -v s="$src" '$1 == "ii" && $2 == s { print $3; exit }')
  if [ -n "$have" ] && apt-cache madison "$p" | awk -F'|' '{ gsub(/ /, "", $2); print $2 }' | grep -qxF "$have"; then
    wanted+=("$p=$have")
  else
    wanted+=("$p")
  fi
done
upgrades=$(apt-get -s install --no-install-recommends "${wanted[@]}" | sed -n 's/^Inst \([^ ]*\) \[.*/\1/p' | paste -sd' ')
if [ -n "$upgrades" ] && [ "${LUMO_DEPS_ALLOW_UPGRADE:-0}" != 1 ]; then
  echo "install-deps: installing ${wanted[*]} would upgrade these installed packages: $upgrades" >&2
  echo "install-deps: upgrade them yourself (apt-get install $upgrades), or rerun with LUMO_DEPS_ALLOW_UPGRADE=1" >&2
  exit 1
fi
apt-get install -y --no-install-recommends "${wanted[@]}"
