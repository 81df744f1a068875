#!/usr/bin/env bash
# verify-server.sh start [--port N] <state-dir> [wine-prefix] [--port N]
#   Makes a throw-away test CA, usable only for the loopback names
#   "localhost", 127.0.0.1 and ::1 (name constraints), and a certificate for
#   those three signed by it; starts verify_server.py (beside this script in
#   the SDK package, under tests/login/ in the source tree) on loopback port
#   N, or a free one, on 127.0.0.1 and (where the machine has it) ::1;
#   when a Wine prefix is given, trusts the CA in that prefix's current-user
#   root store (the machine's own trust store is left alone). Prints the
#   port on stdout. The CA is <state-dir>/ca.crt. Build the library against
#   it with -DLUMO_VERIFY_HOST=localhost:<port>, or point a built DLL at it
#   with [dev] verify_host=localhost:<port> (or 127.0.0.1:<port>, or
#   [::1]:<port>) in LumoGameSDK.ini beside the game.
# verify-server.sh stop <state-dir>
#   Stops the server by its PID, removes the CA from the Wine prefix again
#   and deletes <state-dir> with the CA key. Safe to call more than once,
#   after a failed start, or for a state dir that does not exist.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
marker=.lumo-verify-server
if [ -f "$here/verify_server.py" ]; then
  server_py=$here/verify_server.py
else
  server_py=$root/tests/login/verify_server.py
fi

usage() { echo "usage: $0 start [--port N] <state-dir> [wine-prefix] | stop <state-dir>" >&2; exit 2; }

# The registry key under which the prefix keeps a trusted root: its SHA-1.
root_key() {
  echo "HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$(cat "$1/ca.sha1")"
}

# Runs a Wine command in the recorded prefix outside any session and waits
# until its wineserver has written the registry and gone. A session still
# running in the prefix (a game, or a persistent wineserver that an
# interrupted run left behind) keeps the wineserver up: the wait gives up
# after a while, and the change is live in that wineserver's registry,
# written to the prefix's files when it ends.
wine_in_prefix() {
  local prefix=$1; shift
  WINEPREFIX=$prefix WINEDEBUG=-all wine "$@" </dev/null >/dev/null 2>&1 || return 1
  WINEPREFIX=$prefix timeout 60 wineserver -w || true
}

# True when the prefix still trusts the CA of <state-dir>. The registry
# files lag behind a running wineserver (it writes them some seconds after
# a change, or when it ends), so the live registry answers while one runs.
ca_trusted() {
  local dir=$1 prefix=$2
  if WINEPREFIX=$prefix timeout 5 wineserver -w 2>/dev/null; [ $? -eq 124 ]; then
    WINEPREFIX=$prefix WINEDEBUG=-all wine reg query "$(root_key "$dir")" </dev/null >/dev/null 2>&1
  else
    [ -f "$prefix/user.reg" ] && grep -qiF "Certificates\\\\$(cat "$dir/ca.sha1")" "$prefix/user.reg"
  fi
}

# The address 127.0.0.1 is named twice, as an IP address (what the TLS rules
# say a client compares an address with) and as a DNS name (what Wine's
# certificate check compares every server name with).
make_certs() {
  local dir=$1
  cat >"$dir/openssl.cnf" <<'CNF'
[req]
distinguished_name = dn
prompt = no
[dn]
CN = LumoGameSDK verify test CA
[ca_ext]
basicConstraints = critical, CA:TRUE, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
nameConstraints = critical, permitted;DNS:localhost, permitted;DNS:127.0.0.1, permitted;IP:127.0.0.1/255.255.255.255, permitted;IP:::1/ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff
subjectKeyIdentifier = hash
[leaf_ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1, IP:::1, DNS:127.0.0.1
authorityKeyIdentifier = keyid
subjectKeyIdentifier = hash
[localhost_only_ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost
authorityKeyIdentifier = keyid
subjectKeyIdentifier = hash
CNF
  (
    umask 077
    openssl req -x509 -new -newkey rsa:2048 -nodes -days 2 -keyout "$dir/ca.key" \
      -out "$dir/ca.crt" -config "$dir/openssl.cnf" -extensions ca_ext
    openssl req -new -newkey rsa:2048 -nodes -keyout "$dir/server.key" \
      -out "$dir/server.csr" -subj /CN=localhost
    openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.crt" -CAkey "$dir/ca.key" \
      -CAcreateserial -days 2 -out "$dir/server.crt" \
      -extfile "$dir/openssl.cnf" -extensions leaf_ext
    # For the listener whose certificate names localhost alone (asked by
    # address, the name does not match): signed by the CA all the same.
    openssl req -new -newkey rsa:2048 -nodes -keyout "$dir/localhost-only.key" \
      -out "$dir/localhost-only.csr" -subj /CN=localhost
    openssl x509 -req -in "$dir/localhost-only.csr" -CA "$dir/ca.crt" -CAkey "$dir/ca.key" \
      -CAcreateserial -days 2 -out "$dir/localhost-only.crt" \
      -extfile "$dir/openssl.cnf" -extensions localhost_only_ext
    # For the listener whose certificate nobody vouches for: self-signed.
    openssl req -x509 -new -newkey rsa:2048 -nodes -days 2 -keyout "$dir/untrusted.key" \
      -out "$dir/untrusted.crt" -config "$dir/openssl.cnf" -extensions leaf_ext -subj /CN=localhost
  ) >/dev/null 2>&1
  # The key is only needed to sign the one certificate.
  rm -f "$dir/ca.key"
  openssl x509 -in "$dir/ca.crt" -outform DER -out "$dir/ca.der"
  openssl x509 -in "$dir/ca.crt" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g' >"$dir/ca.sha1"
}

trust_in_prefix() {
  local dir=$1 prefix=$2
  if [ ! -f "$prefix/system.reg" ]; then
    echo "verify-server: creating the Wine prefix $prefix (a minute or two)" >&2
    if [ -x "$root/scripts/wine-session.sh" ]; then
      # A new prefix is set up the way every test session expects it.
      "$root/scripts/wine-session.sh" "$prefix" true >/dev/null 2>&1
    else
      mkdir -p "$prefix"
      WINEPREFIX=$(cd "$prefix" && pwd) WINEDEBUG=-all wineboot -i </dev/null >/dev/null 2>&1 || true
      WINEPREFIX=$(cd "$prefix" && pwd) wineserver -w
    fi
  fi
  prefix=$(cd "$prefix" && pwd)
  echo "$prefix" >"$dir/wineprefix"
  # The store entry is a serialised property list: the certificate itself is
  # property 32 (id, flags 1, little-endian length, DER bytes).
  local len hex
  len=$(stat -c %s "$dir/ca.der")
  hex="2000000001000000$(printf '%08x' "$len" | sed -E 's/(..)(..)(..)(..)/\4\3\2\1/')"
  hex+=$(od -An -v -tx1 "$dir/ca.der" | tr -d ' \n')
  wine_in_prefix "$prefix" reg add "$(root_key "$dir")" /v Blob /t REG_BINARY /d "$hex" /f
}

start() {
  local dir=$1 prefix=${2:-} port_args=()
  if [ -n "${3:-}" ]; then port_args=(--port "$3"); fi
  [ -e "$dir" ] && [ ! -f "$dir/$marker" ] && { echo "$dir exists and is not a verify-server state dir" >&2; exit 1; }
  mkdir -p "$dir"
  touch "$dir/$marker"
  make_certs "$dir"
  python3 "$server_py" --cert "$dir/server.crt" --key "$dir/server.key" \
    --untrusted-cert "$dir/untrusted.crt" --untrusted-key "$dir/untrusted.key" \
    --other-name-cert "$dir/localhost-only.crt" --other-name-key "$dir/localhost-only.key" \
    --port-file "$dir/port" "${port_args[@]}" </dev/null >"$dir/server.log" 2>&1 &
  echo $! >"$dir/server.pid"
  local pid=$!
  for _ in $(seq 1 100); do
    [ -s "$dir/port" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$dir/port" ]; then
    echo "verify server did not start:" >&2
    cat "$dir/server.log" >&2
    exit 1
  fi
  if [ -n "$prefix" ]; then
    trust_in_prefix "$dir" "$prefix" || { echo "could not trust the test CA in $prefix" >&2; exit 1; }
  fi
  cat "$dir/port"
}

stop() {
  local dir=$1
  [ -d "$dir" ] || return 0
  [ -f "$dir/$marker" ] || { echo "$dir is not a verify-server state dir" >&2; exit 1; }
  if [ -s "$dir/server.pid" ]; then
    local pid
    pid=$(cat "$dir/server.pid")
    # Only the process this state dir started, and only while it still is
    # that server (the PID could have been reused).
    if grep -qs "verify_server.py" "/proc/$pid/cmdline"; then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 1 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
      done
      kill -9 "$pid" 2>/dev/null || true
    fi
  fi
  if [ -s "$dir/wineprefix" ] && [ -s "$dir/ca.sha1" ]; then
    local prefix
    prefix=$(cat "$dir/wineprefix")
    # A delete that fails may find the key gone already (an interrupted
    # stop deleted it in a wineserver that had not written the files yet):
    # only a CA still trusted afterwards is an error.
    if ca_trusted "$dir" "$prefix"; then
      wine_in_prefix "$prefix" reg delete "$(root_key "$dir")" /f || true
      if ca_trusted "$dir" "$prefix"; then
        echo "could not remove the test CA from $prefix" >&2
        exit 1
      fi
    fi
  fi
  rm -rf "$dir"
}

[ $# -ge 2 ] || usage
case $1 in
  start)
    dir="" prefix="" port=""
    shift
    while [ $# -gt 0 ]; do
      case $1 in
        --port) [ $# -ge 2 ] || usage; port=$2; shift 2 ;;
        --port=*) port=${1#--port=}; shift ;;
        -*) usage ;;
        *) if [ -z "$dir" ]; then dir=$1; elif [ -z "$prefix" ]; then prefix=$1; else usage; fi; shift ;;
      esac
    done
    [ -n "$dir" ] || usage
    [ -z "$port" ] || [[ "$port" =~ ^[0-9]+$ ]] || usage
    start "$dir" "$prefix" "$port" ;;
  stop) [ $# -eq 2 ] || usage; stop "$2" ;;
  *) usage ;;
esac
