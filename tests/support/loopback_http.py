"""The one HTTP server on the loopback interface: the Windows tests, the end-to-end tests, the
benchmarks and the demo all serve their files with it.

A LoopbackServer serves Resources by path. A Resource is a body with its Content-Length and
Last-Modified headers, or a status of its own; either header can be left out or given another
text, more headers can be added, and the body can be cut short (the connection then ends), sent
at a limited rate from a given request on, or made for each request by a function. HEAD gets the
headers that GET would, without the body, unless the resource answers it with a status of its
own or leaves headers out of that answer. A path with nothing on it answers 404. Every request is
recorded with the body bytes sent for it. The server listens on 127.0.0.1 only, on a port of its
own choosing unless it is given one, and speaks TLS when it is given a certificate and its key.

A script that wraps a command in servers (wrapper_main) hands their ports to it through its
environment.
"""
import email.utils
import http.server
import os
import socket
import ssl
import subprocess
import sys
import threading
import time

HOST = "127.0.0.1"
# The body goes out in pieces of this size, so that what was sent can be counted.
_WRITE_PIECE = 256 * 1024


class Resource:
    """One path of the server and how it is served."""

    def __init__(self, body=b"", last_modified=None, status=200,
                 content_type="application/octet-stream", length=None, omit=(), headers=(),
                 short_by=0, rate=None, throttle_from=1, make_body=None, head_status=None,
                 head_omit=()):
        self.body = body
        self.last_modified = last_modified  # seconds since the epoch, or an HTTP date text
        self.status = status
        self.content_type = content_type
        self.length = length                # a Content-Length text other than the body's length
        self.omit = set(omit)               # headers left out, e.g. "Last-Modified"
        self.headers = list(headers)        # more (name, value) pairs
        self.short_by = short_by            # bytes left out of the body (the length is not)
        self.rate = rate                    # bytes per second, or None for full speed
        self.throttle_from = throttle_from  # the first request (1-based) that is throttled
        self.make_body = make_body          # function(request handler) -> body, instead of body
        self.head_status = head_status      # the status that HEAD gets, when not GET's
        self.head_omit = set(head_omit)     # headers left out of the answer to HEAD only


class LoopbackServer:
    """An HTTP server on 127.0.0.1 with its resources and its record of requests.

    protocol is "HTTP/1.1" (connections kept open) or "HTTP/1.0" (one request per connection);
    log, when given, receives a line for every request; tls, (certificate, key) as PEM files."""

    def __init__(self, port=0, protocol="HTTP/1.1", log=None, tls=None):
        self.port = port
        self.tls = tls
        self.protocol = protocol
        self.log = log
        self.resources = {}
        # dicts: method, path, agent, time, count (of requests for the path), sent (body bytes)
        self.requests = []
        self._counts = {}
        self._lock = threading.Lock()
        self._stopping = threading.Event()
        self._httpd = None
        self._thread = None

    # -- scripting ---------------------------------------------------------------------------
    def url(self, path):
        return f"{'https' if self.tls else 'http'}://{HOST}:{self.port}{path}"

    def add(self, path, resource):
        self.resources[path] = resource
        return resource

    def add_file(self, path, body, last_modified, **options):
        """A file: its body with a Content-Length and a Last-Modified header."""
        return self.add(path, Resource(body, last_modified, **options))

    def requests_for(self, path):
        with self._lock:
            return [r for r in self.requests if r["path"] == path]

    # -- running -----------------------------------------------------------------------------
    def start(self, bind_timeout=0.0):
        """Binds 127.0.0.1 and serves. A port that is taken is tried again until bind_timeout
        seconds have passed (another run may still hold a fixed port)."""
        deadline = time.monotonic() + bind_timeout
        while True:
            try:
                self._httpd = _Server((HOST, self.port), _make_handler(self))
                break
            except OSError as error:
                if time.monotonic() >= deadline:
                    raise RuntimeError(f"cannot listen on {HOST}:{self.port}: {error}") from error
                time.sleep(0.25)
        self.port = self._httpd.server_address[1]
        if self.tls:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*self.tls)
            # The handshake is made on the request's thread: a refusal ends that one alone.
            self._httpd.socket = context.wrap_socket(self._httpd.socket, server_side=True,
                                                     do_handshake_on_connect=False)
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

    def body_bytes(self, path):
        """The body bytes sent so far for requests of path."""
        with self._lock:
            return sum(r["sent"] for r in self.requests if r["path"] == path)

    def _record(self, handler):
        """Records a request; returns its record, whose "sent" grows as the body goes out."""
        with self._lock:
            count = self._counts.get(handler.path, 0) + 1
            self._counts[handler.path] = count
            record = {"method": handler.command, "path": handler.path,
                      "agent": handler.headers.get("User-Agent"),
                      "time": time.monotonic(), "count": count, "sent": 0}
            self.requests.append(record)
        if self.log:
            self.log(f"{handler.command} {handler.path}")
        return record

    def _count_sent(self, record, size):
        with self._lock:
            record["sent"] += size


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 16

    def handle_error(self, request, client_address):
        # Clients close transfers early on purpose (a query reads the headers only, a cancelled
        # download stops); a broken connection is not a fault of the server.
        pass


def _make_handler(server):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = server.protocol

        def log_message(self, *args):
            pass

        def do_GET(self):
            self._answer(head=False)

        def do_HEAD(self):
            self._answer(head=True)

        def _answer(self, head):
            record = server._record(self)
            resource = server.resources.get(self.path)
            if resource is None:
                resource = Resource(status=404)
            try:
                self._send(resource, record, head)
            except (BrokenPipeError, ConnectionResetError):
                self.close_connection = True

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0") or "0")
            if length:
                self.rfile.read(length)
            self.do_GET()

        # The method arrives as the client spelled it; a lower-case "post" is still a POST.
        do_post = do_POST

        def _send(self, resource, record, head):
            body = resource.make_body(self) if resource.make_body else resource.body
            status, omit = resource.status, resource.omit
            if head:
                omit = omit | resource.head_omit
                if resource.head_status is not None:
                    status, body = resource.head_status, b""
            if status != 200 and not body:
                body = f"status {status}\r\n".encode("ascii")
            self.send_response(status)
            self.send_header("Content-Type", resource.content_type)
            if "Content-Length" not in omit:
                length = resource.length if resource.length is not None else str(len(body))
                self.send_header("Content-Length", length)
            if resource.last_modified is not None and "Last-Modified" not in omit:
                modified = resource.last_modified
                if not isinstance(modified, str):
                    modified = email.utils.formatdate(modified, usegmt=True)
                self.send_header("Last-Modified", modified)
            for name, value in resource.headers:
                self.send_header(name, value)
            self.end_headers()
            if head:
                self.wfile.flush()
                return
            body = body[:len(body) - resource.short_by]
            if resource.rate and record["count"] >= resource.throttle_from:
                self._write_throttled(body, resource.rate, record)
            else:
                self._write(body, record)
            self.wfile.flush()
            if resource.short_by or resource.length is not None:
                # End the connection, so that the client sees the body end where it did.
                self.close_connection = True
                self.connection.shutdown(socket.SHUT_RDWR)

        def _write(self, body, record):
            """Writes the body in pieces, each counted as it is handed to the socket (so a
            piece that a closed connection refuses still counts: the count is an upper bound)."""
            view = memoryview(body)
            for start in range(0, len(view), _WRITE_PIECE):
                piece = view[start:start + _WRITE_PIECE]
                server._count_sent(record, len(piece))
                self.wfile.write(piece)

        def _write_throttled(self, body, rate, record):
            chunk = max(1, rate // 20)
            start = time.monotonic()
            sent = 0
            while sent < len(body) and not server._stopping.is_set():
                piece = body[sent:sent + chunk]
                server._count_sent(record, len(piece))
                self.wfile.write(piece)
                self.wfile.flush()
                sent += chunk
                delay = start + sent / rate - time.monotonic()
                if delay > 0:
                    server._stopping.wait(delay)

    return Handler


def run_with_ports(command, ports):
    """Runs command with the given ports in its environment ({"NAME": port, ...}); returns the
    command's exit code."""
    env = dict(os.environ)
    env.update({name: str(port) for name, port in ports.items()})
    return subprocess.call(command, env=env)


def wrapper_main(servers, doc):
    """The main of a wrapper script "SCRIPT COMMAND [ARGS...]": starts the servers
    ({"ENV_NAME": server, ...}), runs the command with their ports in those variables, stops the
    servers and gives the command's exit code."""
    if len(sys.argv) < 2:
        sys.stderr.write(doc)
        return 2
    try:
        for server in servers.values():
            server.start()
        return run_with_ports(sys.argv[1:], {name: s.port for name, s in servers.items()})
    finally:
        for server in servers.values():
            server.stop()
