"""A scriptable update server on the loopback interface for the end-to-end tests.

It serves the update index (INI text naming a primary and a backup URL of the database) and the
database files, each with a Content-Length and a Last-Modified header. Each test scripts its
faults: an index status other than 200, a file that answers 404, a body one byte short of its
Content-Length, a body throttled to a given rate. Every request is recorded.
"""
import email.utils
import http.server
import socket
import threading
import time

INDEX_PATH = "/Software_Update/Tessfetch/ZAVFile.asp"
HOST = "127.0.0.1"
PORT = 28461


class ServedFile:
    """One file on the server and how it is to be served."""

    def __init__(self, body, last_modified, status=200, short_by=0, rate=None, omit=()):
        self.body = body
        self.omit = set(omit)               # response headers left out, e.g. "Last-Modified"
        self.last_modified = last_modified  # seconds since the epoch, whole seconds
        self.status = status
        self.short_by = short_by            # bytes left out of the body (the length is not)
        self.rate = rate                    # bytes per second, or None for full speed
        self.throttle_from = 1              # first request (1-based) that is throttled


class UpdateServer:
    def __init__(self, host=HOST, port=PORT):
        self.host = host
        self.port = port
        self.index_status = 200
        self.index_body = None
        self.index_rate = None  # bytes per second, or None for full speed
        self.files = {}
        self.requests = []
        self._counts = {}
        self._lock = threading.Lock()
        self._stopping = threading.Event()
        self._httpd = None
        self._thread = None

    # -- scripting ---------------------------------------------------------------------------
    def url(self, path):
        return f"http://{self.host}:{self.port}{path}"

    def add_file(self, path, body, last_modified, **options):
        self.files[path] = ServedFile(body, last_modified, **options)
        return self.files[path]

    def set_index(self, primary, backup, status=200, padding=0):
        """The index text; padding adds that many bytes of comment lines after the keys."""
        self.index_status = status
        text = f"[ZAVFile]\r\nPrimary={primary}\r\nBackup={backup}\r\n"
        while padding > 0:
            line = "; " + "-" * min(60, max(0, padding - 4)) + "\r\n"
            text += line
            padding -= len(line)
        self.index_body = text.encode("ascii")

    def requests_for(self, path):
        with self._lock:
            return [r for r in self.requests if r["path"] == path]

    # -- running -----------------------------------------------------------------------------
    def start(self, bind_timeout=45.0):
        """Binds 127.0.0.1:PORT (waiting a while if another run holds it) and serves."""
        handler = _make_handler(self)
        deadline = time.monotonic() + bind_timeout
        while True:
            try:
                self._httpd = _Server((self.host, self.port), handler)
                break
            except OSError as error:
                if time.monotonic() >= deadline:
                    raise RuntimeError(
                        f"cannot bind {self.host}:{self.port} for the update server: {error}")
                time.sleep(0.25)
        self._thread = threading.Thread(target=self._httpd.serve_forever,
                                        kwargs={"poll_interval": 0.05}, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self._stopping.set()
        if self._httpd:
            self._httpd.shutdown()
            self._httpd.server_close()
            self._thread.join(timeout=5)
            self._httpd = None

    def _record(self, handler):
        with self._lock:
            count = self._counts.get(handler.path, 0) + 1
            self._counts[handler.path] = count
            self.requests.append({"method": handler.command, "path": handler.path,
                                  "agent": handler.headers.get("User-Agent"),
                                  "time": time.monotonic(), "count": count})
            return count


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 16

    def handle_error(self, request, client_address):
        # Clients close transfers early on purpose (a query reads headers only, a cancelled
        # download stops); a broken connection is not a server fault.
        pass


def _make_handler(server):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def log_message(self, fmt, *args):
            pass

        def do_GET(self):
            count = server._record(self)
            if self.path == INDEX_PATH:
                self._send_index()
                return
            served = server.files.get(self.path)
            if served is None:
                self._send_status(404)
                return
            self._send_file(served, count)

        def _send_status(self, status):
            body = f"status {status}\r\n".encode("ascii")
            self.send_response(status)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def _send_index(self):
            if server.index_status != 200 or server.index_body is None:
                self._send_status(server.index_status if server.index_status != 200 else 404)
                return
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(server.index_body)))
            self.end_headers()
            if server.index_rate:
                self._write_throttled(server.index_body, server.index_rate)
            else:
                self.wfile.write(server.index_body)

        def _send_file(self, served, count):
            if served.status != 200:
                self._send_status(served.status)
                return
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            if "Content-Length" not in served.omit:
                self.send_header("Content-Length", str(len(served.body)))
            if "Last-Modified" not in served.omit:
                self.send_header("Last-Modified",
                                 email.utils.formatdate(served.last_modified, usegmt=True))
            self.end_headers()
            body = served.body[:len(served.body) - served.short_by]
            if served.rate and count >= served.throttle_from:
                self._write_throttled(body, served.rate)
            else:
                self.wfile.write(body)
            self.wfile.flush()
            if served.short_by:
                # End the connection so that the client sees the body end early.
                self.connection.shutdown(socket.SHUT_RDWR)

        def _write_throttled(self, body, rate):
            chunk = max(1, rate // 20)
            start = time.monotonic()
            sent = 0
            while sent < len(body) and not server._stopping.is_set():
                self.wfile.write(body[sent:sent + chunk])
                self.wfile.flush()
                sent += chunk
                delay = start + sent / rate - time.monotonic()
                if delay > 0:
                    server._stopping.wait(delay)

    return Handler
