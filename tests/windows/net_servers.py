#!/usr/bin/python3
"""Loopback HTTP and FTP servers for the Internet transfer's Windows integration tests.

Usage: net_servers.py COMMAND [ARGS...]
Starts an HTTP server and an FTP server on 127.0.0.1 (ephemeral ports), runs COMMAND with
their ports in MIVETRAK_NET_HTTP_PORT and MIVETRAK_NET_FTP_PORT, stops both and exits with
COMMAND's exit code.

HTTP (GET; POST and post answer the same; HEAD gets GET's headers, unless said otherwise):
  /files/db.bin    200, Content-Length, Last-Modified "Wed, 09 Mar 2022 14:25:36 GMT", body
                   of DB_SIZE bytes: byte i is (i * 7 + i // 251) % 256
  /files/asked     the same, for the test of what a query asks of the server
  /files/nohead    the same to GET; HEAD answers 405
  /files/headnolen the same to GET; HEAD answers 200 without Content-Length
  /files/empty     200, Content-Length 0, Last-Modified
  /files/nolm      200, Content-Length, no Last-Modified
  /files/badlen    200, Content-Length "12abc" (no body), Last-Modified
  /files/cut       200, Content-Length DB_SIZE, only CUT_SIZE bytes sent, then the connection
                   is closed
  /                200, "root"
  /agent           200, the request's User-Agent as the body
  /auth            401 with a Basic challenge
  /requests        one line per request so far but for its own: method, path, body bytes sent
  anything else    404
FTP (active or passive): anonymous, read-only: /pub/db.bin (the same bytes as /files/db.bin);
  user "tess", password "fetch": /private/db.bin (the same bytes).
HTTPS, in MIVETRAK_NET_TLS_PORT: /files/db.bin as above, with a certificate for 127.0.0.1 from an
  authority made for the run, which the run's prefix is made to trust first.
Servers that make a client wait, each on a port of its own:
  MIVETRAK_NET_SILENT_PORT   accepts every connection and never sends a byte
  MIVETRAK_NET_STALL_PORT    answers 200 with Content-Length 100000, sends 1000 bytes of the
                             body, then nothing more
  MIVETRAK_NET_BACKLOG_PORT  listens with a full queue and never accepts: a connect to it does
                             not complete
"""
import logging
import os
import shutil
import socket
import sys
import tempfile
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "demo"))
import demo_tls  # noqa: E402
from holding_server import HoldingServer  # noqa: E402
from loopback_http import LoopbackServer, Resource, run_with_ports  # noqa: E402

DB_SIZE = 300000
CUT_SIZE = 30000
LAST_MODIFIED = "Wed, 09 Mar 2022 14:25:36 GMT"
DATABASE = bytes((i * 7 + i // 251) % 256 for i in range(DB_SIZE))


def make_http_server():
    server = LoopbackServer()
    server.add_file("/files/db.bin", DATABASE, LAST_MODIFIED)
    server.add_file("/files/asked", DATABASE, LAST_MODIFIED)
    server.add_file("/files/nohead", DATABASE, LAST_MODIFIED, head_status=405,
                    headers=[("Allow", "GET")])
    server.add_file("/files/headnolen", DATABASE, LAST_MODIFIED, head_omit=["Content-Length"])
    server.add_file("/files/empty", b"", LAST_MODIFIED)
    server.add_file("/files/nolm", DATABASE[:1000], None)
    server.add_file("/files/badlen", b"", LAST_MODIFIED, length="12abc")
    server.add_file("/files/cut", DATABASE, LAST_MODIFIED, short_by=DB_SIZE - CUT_SIZE)
    server.add_file("/", b"root", None)
    server.add("/agent", Resource(
        make_body=lambda request: request.headers.get("User-Agent", "").encode("latin-1")))
    server.add("/auth", Resource(b"login first", status=401,
                                 headers=[("WWW-Authenticate", 'Basic realm="net"')]))
    server.add("/requests", Resource(content_type="text/plain",
                                     make_body=lambda _: request_lines(server)))
    return server


def start_trusted_tls(folder):
    paths = demo_tls.make_certificates(folder, authority="Mivetrak test authority")
    tool = os.path.join(os.environ["MIVETRAK_BUILD_DIR"], "bin", "trust_root.exe")
    demo_tls.trust_in_prefix(os.environ, tool, "Z:" + paths["authority"].replace("/", "\\"))
    server = LoopbackServer(tls=(paths["certificate"], paths["key"]))
    server.add_file("/files/db.bin", DATABASE, LAST_MODIFIED)
    return server.start()


def request_lines(server):
    lines = ["%s %s %d\n" % (r["method"], r["path"], r["sent"]) for r in server.requests
             if r["path"] != "/requests"]
    return "".join(lines).encode("ascii", "replace")


def start_ftp(root):
    os.makedirs(os.path.join(root, "anonymous", "pub"))
    os.makedirs(os.path.join(root, "tess", "private"))
    for path in (os.path.join(root, "anonymous", "pub", "db.bin"),
                 os.path.join(root, "tess", "private", "db.bin")):
        with open(path, "wb") as f:
            f.write(DATABASE)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(os.path.join(root, "anonymous"), perm="elr")
    authorizer.add_user("tess", "fetch", os.path.join(root, "tess"), perm="elr")
    handler = type("Handler", (FTPHandler,), {})
    handler.authorizer = authorizer
    handler.passive_ports = None
    handler.auth_failed_timeout = 0.1
    logger = logging.getLogger("pyftpdlib")
    logger.addHandler(logging.NullHandler())
    logger.propagate = False
    server = FTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, kwargs={"timeout": 0.2, "handle_exit": False},
                              daemon=True)
    thread.start()
    return server


class WaitingServers:
    """The silent, the stalling and the never-accepting server."""

    STALL_HEAD = b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n"

    def __init__(self):
        self._silent = HoldingServer().start()
        self._stall = HoldingServer(answer=self._stall_answer).start()
        self.silent_port = self._silent.port
        self.stall_port = self._stall.port
        self._queue = []
        self.backlog_port = self._full_backlog()

    @classmethod
    def _stall_answer(cls, connection):
        connection.recv(65536)
        connection.sendall(cls.STALL_HEAD + b"s" * 1000)

    def _full_backlog(self):
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(0)
        port = listener.getsockname()[1]
        self._queue.append(listener)
        # Connections that are never accepted fill the queue; later connects get no answer.
        for _ in range(3):
            filler = socket.socket()
            filler.setblocking(False)
            try:
                filler.connect(("127.0.0.1", port))
            except BlockingIOError:
                pass
            self._queue.append(filler)
        time.sleep(0.2)
        return port

    def stop(self):
        self._silent.stop()
        self._stall.stop()
        for sock in self._queue:
            sock.close()


def main():
    http_server = make_http_server().start()
    root = tempfile.mkdtemp(prefix="mivetrak-ftp-")
    ftp_server = start_ftp(root)
    waiting = WaitingServers()
    tls_server = start_trusted_tls(os.path.join(root, "tls"))
    try:
        return run_with_ports(sys.argv[1:], {"MIVETRAK_NET_HTTP_PORT": http_server.port,
                                             "MIVETRAK_NET_TLS_PORT": tls_server.port,
                                             "MIVETRAK_NET_FTP_PORT": ftp_server.address[1],
                                             "MIVETRAK_NET_SILENT_PORT": waiting.silent_port,
                                             "MIVETRAK_NET_STALL_PORT": waiting.stall_port,
                                             "MIVETRAK_NET_BACKLOG_PORT": waiting.backlog_port})
    finally:
        waiting.stop()
        tls_server.stop()
        http_server.stop()
        ftp_server.close_all()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
