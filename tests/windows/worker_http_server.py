#!/usr/bin/python3
"""Loopback update server for the worker's Windows integration test.

Usage: worker_http_server.py COMMAND [ARGS...]
Starts an HTTP server on 127.0.0.1 (an ephemeral port), runs COMMAND with the port in
MIVETRAK_WORKER_HTTP_PORT, stops the server and exits with COMMAND's exit code.

Served:
  /Software_Update/Tessfetch/ZAVFile.asp  index naming a working primary and backup URL
  /backup-only/ZAVFile.asp                index whose primary URL answers 404
  /files/primary/Tolvar32.bdb, /files/backup/Tolvar32.bdb   the database
  /log                                    one line per request so far: path, tab, user agent
"""
import http.server
import os
import subprocess
import sys
import threading

LAST_MODIFIED = "Wed, 09 Mar 2022 14:25:36 GMT"
# Large enough for many progress callbacks (one every 2,560 bytes), small enough to be quick.
DATABASE = bytes((i * 7 + i // 251) % 256 for i in range(40000))

_log = []
_log_lock = threading.Lock()


def index_text(port, primary):
    base = "http://127.0.0.1:%d" % port
    return ("; update index\r\n[Other]\r\nPrimary=http://127.0.0.1:1/never\r\n"
            "[ZAVFile]\r\nPrimary=%s%s\r\nBackup=%s/files/backup/Tolvar32.bdb\r\n"
            % (base, primary, base)).encode("ascii")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_body(self, status, body, content_type, last_modified=None):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        if last_modified:
            self.send_header("Last-Modified", last_modified)
        self.end_headers()
        try:
            self.wfile.write(body)
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            # A remote query reads the headers only and closes the request.
            self.close_connection = True

    def do_GET(self):
        port = self.server.server_address[1]
        path = self.path
        if path != "/log":
            with _log_lock:
                _log.append("%s\t%s" % (path, self.headers.get("User-Agent", "")))
        if path == "/Software_Update/Tessfetch/ZAVFile.asp":
            self.send_body(200, index_text(port, "/files/primary/Tolvar32.bdb"), "text/plain")
        elif path == "/backup-only/ZAVFile.asp":
            self.send_body(200, index_text(port, "/files/missing/Tolvar32.bdb"), "text/plain")
        elif path in ("/files/primary/Tolvar32.bdb", "/files/backup/Tolvar32.bdb"):
            self.send_body(200, DATABASE, "application/octet-stream", LAST_MODIFIED)
        elif path == "/log":
            with _log_lock:
                text = "".join(line + "\n" for line in _log)
            self.send_body(200, text.encode("ascii", "replace"), "text/plain")
        else:
            self.send_body(404, b"not here", "text/plain")


def main():
    if len(sys.argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    env = dict(os.environ)
    env["MIVETRAK_WORKER_HTTP_PORT"] = str(server.server_address[1])
    try:
        return subprocess.call(sys.argv[1:], env=env)
    finally:
        server.shutdown()
        server.server_close()


if __name__ == "__main__":
    sys.exit(main())
