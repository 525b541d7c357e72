#!/usr/bin/python3
"""Loopback HTTP server for bench/download_vs_raw: GET /big answers 200 with Content-Length,
Last-Modified and a body of SIZE bytes; anything else 404.

    download_bench_server.py SIZE COMMAND [ARGS...]

Runs COMMAND with the server's port in MIVETRAK_BENCH_HTTP_PORT (an ephemeral port on
127.0.0.1) and exits with its exit code.
"""
import http.server
import os
import socketserver
import subprocess
import sys
import threading


def make_handler(body):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_GET(self):
            if self.path != "/big":
                self.send_response(404)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Last-Modified", "Wed, 09 Mar 2022 14:25:36 GMT")
            self.end_headers()
            try:
                self.wfile.write(body)
            except (BrokenPipeError, ConnectionResetError):
                self.close_connection = True

    return Handler


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    size = int(sys.argv[1])
    body = bytes(range(256)) * (size // 256) + bytes(size % 256)
    server = Server(("127.0.0.1", 0), make_handler(body))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    env = dict(os.environ)
    env["MIVETRAK_BENCH_HTTP_PORT"] = str(server.server_address[1])
    try:
        return subprocess.call(sys.argv[2:], env=env)
    finally:
        server.shutdown()


if __name__ == "__main__":
    sys.exit(main())
