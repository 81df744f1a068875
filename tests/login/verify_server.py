#!/usr/bin/env python3
"""Local HTTPS stand-in for the login verify endpoint, for tests only.

Listens on 127.0.0.1 on a port the system picks and writes that port to
--port-file once it accepts connections. Every GET (any path) is answered
with the current answer, status and body bytes exactly as set, and its raw
request path is recorded. The test drives it over the same TLS connection
type the library uses:

  POST /__control/answer?status=N   body = the bytes of the next answers
  GET  /__control/last              JSON: {"count", "path", "query"}
                                    count: GETs answered so far
                                    path:  raw path of the last GET
                                    query: last GET's query, percent-decoded
                                           as UTF-8 ({key: [values]})
  POST /__control/reset             answer 200 with an empty body, count 0

Ends on SIGTERM/SIGINT.
"""
import argparse
import json
import os
import signal
import ssl
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.status = 200
        self.body = b""
        self.count = 0
        self.path = ""


STATE = State()


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
                last = {"count": STATE.count, "path": STATE.path}
            try:
                last["query"] = decode_query(last["path"])
            except (ValueError, UnicodeDecodeError) as e:
                last["query_error"] = str(e)
            self._send(200, json.dumps(last).encode("utf-8"))
            return
        with STATE.lock:
            STATE.count += 1
            STATE.path = self.path
            status, body = STATE.status, STATE.body
        self._send(status, body)

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
            self._send(204, b"")
        else:
            self._send(404, b"")


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # Clients that refuse the certificate are expected (a test checks
        # exactly that); one line instead of a traceback.
        print("connection from %s ended: %s" % (client_address, sys.exc_info()[1]),
              file=sys.stderr)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)

    server = Server(("127.0.0.1", 0), Handler)
    # The handshake runs on first read, in the handler thread, so a stalled
    # client cannot hold up the accept loop.
    server.socket = context.wrap_socket(server.socket, server_side=True,
                                        do_handshake_on_connect=False)

    def stop(signum, frame):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    # Written atomically: a reader never sees a half-written port.
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % server.server_address[1])
    os.replace(tmp, args.port_file)

    server.serve_forever()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
