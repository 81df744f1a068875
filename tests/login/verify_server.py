#!/usr/bin/env python3
"""Local HTTPS stand-in for the login verify endpoint, for tests only.

Listens on 127.0.0.1, on --port N or else on a port the system picks, and
writes that port to --port-file once it accepts connections. Every GET (any
path) is answered with the current answer, status and body bytes exactly as
set, and its raw request path is recorded. The test drives it over the same
TLS connection type the library uses:

  POST /__control/answer?status=N   body = the bytes of the next answers
  GET  /__control/last              JSON: {"count", "path", "query",
                                           "tokens", "stalled"}
                                    count:   GETs answered so far
                                    path:    raw path of the last GET
                                    query:   last GET's query, percent-decoded
                                             as UTF-8 ({key: [values]})
                                    tokens:  {token: GETs that carried it}
                                    stalled: connections left without a
                                             TLS handshake
  POST /__control/reset             answer 200 with an empty body, counts 0,
                                    nothing armed
  POST /__control/stall-handshake   the next connection accepted on the main
                                    port gets no TLS handshake: it is held
                                    open, unanswered, until the client leaves
  GET  /__control/info              JSON: {"second_port", "untrusted_port",
                                    "other_name_port", "ipv6"}:
                                    second_port: a second listener
                                    with the same answers and records, on
                                    which nothing is ever stalled (another
                                    origin for redirects, and a way to ask
                                    while a stall is armed);
                                    untrusted_port (0 without
                                    --untrusted-cert): a third one whose
                                    certificate for localhost no trusted
                                    authority signed (self-signed);
                                    other_name_port (0 without
                                    --other-name-cert): a fourth one whose
                                    certificate, from the trusted CA, names
                                    localhost alone (asked as 127.0.0.1, it
                                    names another host);
                                    ipv6: whether the main port also
                                    listens on ::1 (the machine may have no
                                    IPv6 loopback)

A GET whose token is one of these misbehaves the way an attacker on the
network path or a broken endpoint would; every hold ends when the client
leaves, at the latest after HOLD_SECONDS:

  hostile-silent      reads the request, never answers
  hostile-drip        headers (Content-Length 200), then 1 body byte every 5 s
  hostile-huge        Content-Length 50 MB, then that many bytes
  hostile-unannounced 50 MB without a Content-Length, ended by closing
  hostile-short       Content-Length 100000, a valid 100-byte answer, close
  hostile-cut         Content-Length 1000, the same 100 bytes, close
  hostile-redirect    302 to the same path on the second listener (another
                      origin), with the current answer as body
  hostile-slow        the current answer, sound, but only after SLOW_SECONDS

Ends on SIGTERM/SIGINT.
"""
import argparse
import json
import os
import select
import signal
import socket
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


HOLD_SECONDS = 60
HUGE_BYTES = 50 * 1000 * 1000
SLOW_SECONDS = 3


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.status = 200
        self.body = b""
        self.count = 0
        self.path = ""
        self.tokens = {}
        self.stall_next = False
        self.stalled = 0
        self.second_port = 0
        self.untrusted_port = 0
        self.other_name_port = 0
        self.ipv6 = False


STATE = State()


def wait_until_gone(conn, seconds=HOLD_SECONDS):
    """Holds a connection open, reading and dropping whatever arrives, until
    the peer closes it or `seconds` pass. Raw socket reads: no TLS layer."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        ready, _, _ = select.select([conn], [], [], 1.0)
        if not ready:
            continue
        try:
            if not socket.socket.recv(conn, 4096):
                return
        except OSError:
            return


def decode_query(raw_path):
    query = raw_path.split("?", 1)[1] if "?" in raw_path else ""
    result = {}
    # strict: a malformed pair must show up in the test, not vanish.
    for key, value in urllib.parse.parse_qsl(query, keep_blank_values=True,
                                             strict_parsing=bool(query),
                                             encoding="utf-8", errors="strict"):
        result.setdefault(key, []).append(value)
    return result


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):  # keep the test output quiet
        pass

    def _send(self, status, body, content_type="application/json"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.close_connection = True

    def do_GET(self):
        if self.path == "/__control/last":
            with STATE.lock:
                last = {"count": STATE.count, "path": STATE.path,
                        "tokens": dict(STATE.tokens), "stalled": STATE.stalled}
            try:
                last["query"] = decode_query(last["path"])
            except (ValueError, UnicodeDecodeError) as e:
                last["query_error"] = str(e)
            self._send(200, json.dumps(last).encode("utf-8"))
            return
        if self.path == "/__control/info":
            with STATE.lock:
                info = {"second_port": STATE.second_port,
                        "untrusted_port": STATE.untrusted_port,
                        "other_name_port": STATE.other_name_port,
                        "ipv6": STATE.ipv6}
            self._send(200, json.dumps(info).encode("utf-8"))
            return
        try:
            token = decode_query(self.path).get("token", [""])[0]
        except (ValueError, UnicodeDecodeError):
            token = ""
        with STATE.lock:
            STATE.count += 1
            STATE.path = self.path
            STATE.tokens[token] = STATE.tokens.get(token, 0) + 1
            status, body = STATE.status, STATE.body
        hostile = getattr(self, "_hostile_" + token[len("hostile-"):], None) \
            if token.startswith("hostile-") else None
        if hostile is None:
            self._send(status, body)
            return
        self.close_connection = True
        # A client that stops reading must not hold this thread for good.
        self.connection.settimeout(HOLD_SECONDS)
        try:
            hostile(body)
        except OSError:
            pass  # the client left, as it should

    def _headers(self, status, length, extra=()):
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        if length is not None:
            self.send_header("Content-Length", str(length))
        for key, value in extra:
            self.send_header(key, value)
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.flush()

    def _hostile_silent(self, body):
        wait_until_gone(self.connection)

    def _hostile_drip(self, body):
        self._headers(200, 200)
        end = time.monotonic() + HOLD_SECONDS
        while time.monotonic() < end:
            self.wfile.write(b" ")
            self.wfile.flush()
            time.sleep(5)

    def _stream(self, total):
        block = b" " * 65536
        sent = 0
        while sent < total:
            self.wfile.write(block)
            sent += len(block)

    def _hostile_huge(self, body):
        self._headers(200, HUGE_BYTES)
        self._stream(HUGE_BYTES)

    def _hostile_unannounced(self, body):
        self._headers(200, None)
        self._stream(HUGE_BYTES)

    def _cut_short(self, body, announced):
        self._headers(200, announced)
        self.wfile.write(body[:100].ljust(100))
        self.wfile.flush()

    def _hostile_short(self, body):
        self._cut_short(body, 100000)

    def _hostile_cut(self, body):
        self._cut_short(body, 1000)

    def _hostile_slow(self, body):
        time.sleep(SLOW_SECONDS)
        self._headers(200, len(body))
        self.wfile.write(body)
        self.wfile.flush()

    def _hostile_redirect(self, body):
        with STATE.lock:
            second = STATE.second_port
        target = "https://localhost:%d%s" % (
            second, self.path.replace("hostile-redirect", "redirected"))
        self._headers(302, len(body), [("Location", target)])
        self.wfile.write(body)
        self.wfile.flush()

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        data = self.rfile.read(length) if length else b""
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/__control/answer":
            params = urllib.parse.parse_qs(url.query)
            with STATE.lock:
                STATE.status = int(params.get("status", ["200"])[0])
                STATE.body = data
            self._send(204, b"")
        elif url.path == "/__control/reset":
            with STATE.lock:
                STATE.status, STATE.body, STATE.count, STATE.path = 200, b"", 0, ""
                STATE.tokens, STATE.stall_next, STATE.stalled = {}, False, 0
            self._send(204, b"")
        elif url.path == "/__control/stall-handshake":
            with STATE.lock:
                STATE.stall_next = True
            self._send(204, b"")
        else:
            self._send(404, b"")


class Server(ThreadingHTTPServer):
    daemon_threads = True
    may_stall = False

    def finish_request(self, request, client_address):
        if self.may_stall:
            with STATE.lock:
                stall, STATE.stall_next = STATE.stall_next, False
                if stall:
                    STATE.stalled += 1
            if stall:
                wait_until_gone(request)
                return
        super().finish_request(request, client_address)

    def handle_error(self, request, client_address):
        # Clients that refuse the certificate are expected (a test checks
        # exactly that); one line instead of a traceback.
        print("connection from %s ended: %s" % (client_address, sys.exc_info()[1]),
              file=sys.stderr)


class Server6(Server):
    """The main port on the IPv6 loopback, for [::1]:PORT."""
    address_family = socket.AF_INET6


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--port", type=int, default=0,
                        help="fixed port (default: one the system picks)")
    parser.add_argument("--untrusted-cert",
                        help="certificate of a third listener, one no client trusts")
    parser.add_argument("--untrusted-key")
    parser.add_argument("--other-name-cert",
                        help="certificate, from the trusted CA, of a fourth listener; it names localhost alone")
    parser.add_argument("--other-name-key")
    args = parser.parse_args()

    def tls(cert, key):
        made = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        made.load_cert_chain(cert, key)
        return made

    context = tls(args.cert, args.key)

    def listen(port, context=context, address="127.0.0.1", kind=Server):
        server = kind((address, port), Handler)
        # The handshake runs on first read, in the handler thread, so a
        # stalled client cannot hold up the accept loop.
        server.socket = context.wrap_socket(server.socket, server_side=True,
                                            do_handshake_on_connect=False)
        return server

    server = listen(args.port)
    server.may_stall = True
    # The same port on ::1, so that all three loopback names the library
    # accepts for a development login reach the server.
    server6 = None
    try:
        server6 = listen(server.server_address[1], address="::1", kind=Server6)
        server6.may_stall = True
        STATE.ipv6 = True
        threading.Thread(target=server6.serve_forever, daemon=True).start()
    except OSError as e:
        print("verify_server: no listener on [::1]:%d (%s); 127.0.0.1 and localhost answer"
              % (server.server_address[1], e), file=sys.stderr, flush=True)
    second = listen(0)
    STATE.second_port = second.server_address[1]
    second_thread = threading.Thread(target=second.serve_forever, daemon=True)
    second_thread.start()
    untrusted = None
    if args.untrusted_cert:
        untrusted = listen(0, tls(args.untrusted_cert, args.untrusted_key))
        STATE.untrusted_port = untrusted.server_address[1]
        threading.Thread(target=untrusted.serve_forever, daemon=True).start()
    other_name = None
    if args.other_name_cert:
        other_name = listen(0, tls(args.other_name_cert, args.other_name_key))
        STATE.other_name_port = other_name.server_address[1]
        threading.Thread(target=other_name.serve_forever, daemon=True).start()

    def stop(signum, frame):
        def both():
            if untrusted:
                untrusted.shutdown()
            if other_name:
                other_name.shutdown()
            if server6:
                server6.shutdown()
            second.shutdown()
            server.shutdown()
        threading.Thread(target=both, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    # Written atomically: a reader never sees a half-written port.
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % server.server_address[1])
    os.replace(tmp, args.port_file)

    server.serve_forever()
    second_thread.join()
    server.server_close()
    second.server_close()
    if untrusted:
        untrusted.server_close()
    if other_name:
        other_name.server_close()
    if server6:
        server6.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
