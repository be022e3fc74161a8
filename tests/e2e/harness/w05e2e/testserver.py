"""A local HTTP(S) server for the fetchunpack end-to-end tests, bound to 127.0.0.1 only.

Each path is served by a named behaviour: a fixed body, an error status, a failure that goes
away after some requests, a connection that breaks off or stalls. Every request is recorded.
"""

import http.server
import socket
import ssl
import struct
import threading
import time


class Route:
    """What a path answers: `kind` names the behaviour, `body` the bytes it sends."""

    def __init__(self, kind, body=b"", status=200, failures=0, location="", headers=()):
        self.kind = kind
        self.body = body
        self.status = status
        self.failures = failures  # for "flaky": requests answered with `status` before the body
        self.location = location
        self.headers = headers  # for "raw": the only headers sent, as (name, value) pairs


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, format, *args):  # keep the test output readable
        pass

    def do_GET(self):
        server = self.server
        with server.lock:
            server.requests.append((self.path, dict(self.headers.items())))
            count = sum(1 for path, _ in server.requests if path == self.path)
        route = server.routes.get(self.path)
        if route is None:
            self._send(404, b"<html>not found</html>")
        elif route.kind == "body":
            self._send(200, route.body)
        elif route.kind == "status":
            self._send(route.status, b"<html>error page</html>")
        elif route.kind == "flaky":
            if count <= route.failures:
                self._send(route.status, b"<html>try again</html>")
            else:
                self._send(200, route.body)
        elif route.kind == "redirect":
            self.send_response(302)
            self.send_header("Location", route.location)
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif route.kind == "drop":
            self._start(200, len(route.body))
            self.wfile.write(route.body[: len(route.body) // 3])
            self.wfile.flush()
            # The connection closes with most of the announced body missing.
        elif route.kind == "reset":
            self._start(200, len(route.body))
            self.wfile.write(route.body[: len(route.body) // 3])
            self.wfile.flush()
            sock = self.connection
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.rfile.close()
            self.wfile.close()
            sock.close()
        elif route.kind == "raw":
            # Exactly the status, headers and body given: no length unless a header says one,
            # and the connection closes after the body.
            self.send_response(route.status)
            for name, value in route.headers:
                self.send_header(name, value)
            self.end_headers()
            self.wfile.write(route.body)
        elif route.kind == "stall":
            self._start(200, len(route.body))
            self.wfile.write(route.body[:1])
            self.wfile.flush()
            deadline = time.monotonic() + 30
            while time.monotonic() < deadline and not server.stopping.is_set():
                time.sleep(0.05)
        else:
            raise ValueError(route.kind)

    def _start(self, status, length):
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(length))
        self.end_headers()

    def _send(self, status, body):
        self._start(status, len(body))
        self.wfile.write(body)


class TestServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, routes=None, tls_cert=None, tls_key=None):
        super().__init__(("127.0.0.1", 0), _Handler)
        self.routes = dict(routes or {})
        self.requests = []
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.scheme = "http"
        if tls_cert:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(tls_cert, tls_key)
            self.socket = context.wrap_socket(self.socket, server_side=True)
            self.scheme = "https"
        self._thread = threading.Thread(target=self.serve_forever, daemon=True)

    def handle_error(self, request, client_address):  # TLS refusals and resets are expected
        pass

    @property
    def base(self):
        return f"{self.scheme}://127.0.0.1:{self.server_address[1]}"

    def count(self, path):
        with self.lock:
            return sum(1 for p, _ in self.requests if p == path)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self.stopping.set()
        self.shutdown()
        self.server_close()


def closed_port():
    """A port on 127.0.0.1 on which nothing listens."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]
