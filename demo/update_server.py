"""The demo's update server, on the loopback interface only.

It serves the update index at /Software_Update/Tessfetch/ZAVFile.asp, naming a primary and a
backup URL of the drive database, and the database itself: a generated sample file with a
Content-Length and a fixed Last-Modified time. The body goes out at a moderate rate so that the
progress bar can be watched.

Run alone:  python3 demo/update_server.py   (serves until Ctrl+C)
"""
import email.utils
import hashlib
import http.server
import sys
import threading
import time

HOST = "127.0.0.1"
PORT = 28461
INDEX_PATH = "/Software_Update/Tessfetch/ZAVFile.asp"
PRIMARY_PATH = "/primary/Tolvar32.bdb"
BACKUP_PATH = "/backup/Tolvar32.bdb"
LAST_MODIFIED = 1717236000  # 2024-06-01 10:00:00 UTC
SIZE = 768 * 1024
RATE = 512 * 1024  # bytes per second


def sample_database(size=SIZE):
    """A deterministic sample: a header line and pseudo-random records."""
    header = b"TOLVAR32 DRIVE DATABASE - DEMO SAMPLE\r\n"
    out = bytearray(header)
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(counter.to_bytes(8, "little")).digest()
        counter += 1
    return bytes(out[:size])


def index_text(host=HOST, port=PORT):
    return (f"[ZAVFile]\r\nPrimary=http://{host}:{port}{PRIMARY_PATH}\r\n"
            f"Backup=http://{host}:{port}{BACKUP_PATH}\r\n").encode("ascii")


class DemoServer:
    def __init__(self, host=HOST, port=PORT, rate=RATE):
        self.database = sample_database()
        self.index = index_text(host, port)
        self.rate = rate
        self.stopping = threading.Event()
        self.httpd = _Server((host, port), _handler(self))
        self.thread = threading.Thread(target=self.httpd.serve_forever,
                                       kwargs={"poll_interval": 0.1}, daemon=True)

    def start(self):
        self.thread.start()
        return self

    def stop(self):
        self.stopping.set()
        self.httpd.shutdown()
        self.httpd.server_close()


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        pass  # a client that stops reading (a header-only query) is not an error


def _handler(server):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def log_message(self, fmt, *args):
            sys.stderr.write("  server: %s\n" % (fmt % args))

        def do_GET(self):
            if self.path == INDEX_PATH:
                self._reply(server.index, "text/plain")
            elif self.path in (PRIMARY_PATH, BACKUP_PATH):
                self._reply(server.database, "application/octet-stream", LAST_MODIFIED,
                            server.rate)
            else:
                self._reply(b"not found\r\n", "text/plain", status=404)

        def _reply(self, body, kind, last_modified=None, rate=None, status=200):
            self.send_response(status)
            self.send_header("Content-Type", kind)
            self.send_header("Content-Length", str(len(body)))
            if last_modified is not None:
                self.send_header("Last-Modified",
                                 email.utils.formatdate(last_modified, usegmt=True))
            self.end_headers()
            if not rate:
                self.wfile.write(body)
                return
            chunk = max(1, rate // 20)
            start = time.monotonic()
            for sent in range(0, len(body), chunk):
                if server.stopping.is_set():
                    return
                self.wfile.write(body[sent:sent + chunk])
                delay = start + (sent + chunk) / rate - time.monotonic()
                if delay > 0:
                    server.stopping.wait(delay)

    return Handler


if __name__ == "__main__":
    demo = DemoServer().start()
    print(f"serving the update index at http://{HOST}:{PORT}{INDEX_PATH}")
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        demo.stop()
