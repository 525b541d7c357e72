#!/usr/bin/python3
"""Loopback HTTP and FTP servers for the Internet transfer's Windows integration tests.

Usage: net_servers.py COMMAND [ARGS...]
Starts an HTTP server and an FTP server on 127.0.0.1 (ephemeral ports), runs COMMAND with
their ports in MIVETRAK_NET_HTTP_PORT and MIVETRAK_NET_FTP_PORT, stops both and exits with
COMMAND's exit code.

HTTP (GET; POST and post answer the same):
  /files/db.bin    200, Content-Length, Last-Modified "Wed, 09 Mar 2022 14:25:36 GMT", body
                   of DB_SIZE bytes: byte i is (i * 7 + i // 251) % 256
  /files/empty     200, Content-Length 0, Last-Modified
  /files/nolm      200, Content-Length, no Last-Modified
  /files/badlen    200, Content-Length "12abc" (no body), Last-Modified
  /files/cut       200, Content-Length DB_SIZE, only CUT_SIZE bytes sent, then the connection
                   is closed
  /                200, "root"
  /agent           200, the request's User-Agent as the body
  /auth            401 with a Basic challenge
  anything else    404
FTP (active or passive): anonymous, read-only: /pub/db.bin (the same bytes as /files/db.bin);
  user "tess", password "fetch": /private/db.bin (the same bytes).
"""
import http.server
import logging
import os
import shutil
import socketserver
import subprocess
import sys
import tempfile
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

DB_SIZE = 300000
CUT_SIZE = 30000
LAST_MODIFIED = "Wed, 09 Mar 2022 14:25:36 GMT"
DATABASE = bytes((i * 7 + i // 251) % 256 for i in range(DB_SIZE))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, status, body=b"", length=None, last_modified=None, extra=()):
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)) if length is None else length)
        if last_modified:
            self.send_header("Last-Modified", last_modified)
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        try:
            self.wfile.write(body)
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            # A remote query reads the headers only and closes the request.
            self.close_connection = True

    def do_GET(self):
        path = self.path
        if path == "/files/db.bin":
            self.answer(200, DATABASE, last_modified=LAST_MODIFIED)
        elif path == "/files/empty":
            self.answer(200, b"", last_modified=LAST_MODIFIED)
        elif path == "/files/nolm":
            self.answer(200, DATABASE[:1000])
        elif path == "/files/badlen":
            self.answer(200, b"", length="12abc", last_modified=LAST_MODIFIED)
            self.close_connection = True
        elif path == "/files/cut":
            self.answer(200, DATABASE[:CUT_SIZE], length=str(DB_SIZE),
                        last_modified=LAST_MODIFIED)
            self.close_connection = True
        elif path == "/":
            self.answer(200, b"root")
        elif path == "/agent":
            self.answer(200, self.headers.get("User-Agent", "").encode("latin-1"))
        elif path == "/auth":
            self.answer(401, b"login first", extra=[("WWW-Authenticate", 'Basic realm="net"')])
        else:
            self.answer(404, b"not here")

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0") or "0")
        if length:
            self.rfile.read(length)
        self.do_GET()

    # The method is sent as the caller spelled it; a lower-case "post" arrives as such.
    do_post = do_POST


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


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


def main():
    http_server = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=http_server.serve_forever, daemon=True).start()
    root = tempfile.mkdtemp(prefix="mivetrak-ftp-")
    ftp_server = start_ftp(root)
    env = dict(os.environ)
    env["MIVETRAK_NET_HTTP_PORT"] = str(http_server.server_address[1])
    env["MIVETRAK_NET_FTP_PORT"] = str(ftp_server.address[1])
    try:
        return subprocess.call(sys.argv[1:], env=env)
    finally:
        http_server.shutdown()
        ftp_server.close_all()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
