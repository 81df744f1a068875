#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, when missing.
# Usage: install-deps.sh [extra packages...]
set -euo pipefail
packages=(cmake make g++-mingw-w64-x86-64-posix wine wine64 xvfb x11-utils
          nlohmann-json3-dev googletest libasio-dev python3 openssl ca-certificates
          clang lld-16 llvm libclang-rt-14-dev mono-mcs mono-runtime "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
