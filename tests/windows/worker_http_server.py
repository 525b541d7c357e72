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
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from loopback_http import LoopbackServer, Resource, wrapper_main  # noqa: E402

LAST_MODIFIED = "Wed, 09 Mar 2022 14:25:36 GMT"
# Large enough for many progress callbacks (one every 2,560 bytes), small enough to be quick.
DATABASE = bytes((i * 7 + i // 251) % 256 for i in range(40000))


def index_text(server, primary):
    return ("; update index\r\n[Other]\r\nPrimary=http://127.0.0.1:1/never\r\n"
            "[ZAVFile]\r\nPrimary=%s\r\nBackup=%s\r\n"
            % (server.url(primary), server.url("/files/backup/Tolvar32.bdb"))).encode("ascii")


def request_log(server):
    """The requests so far, but for those of the log itself."""
    lines = ["%s\t%s" % (r["path"], r["agent"] or "") for r in server.requests
             if r["path"] != "/log"]
    return "".join(line + "\n" for line in lines).encode("ascii", "replace")


def make_server():
    server = LoopbackServer()
    # The index names the server's own port, known once it listens.
    server.add("/Software_Update/Tessfetch/ZAVFile.asp", Resource(
        content_type="text/plain",
        make_body=lambda _: index_text(server, "/files/primary/Tolvar32.bdb")))
    server.add("/backup-only/ZAVFile.asp", Resource(
        content_type="text/plain",
        make_body=lambda _: index_text(server, "/files/missing/Tolvar32.bdb")))
    for path in ("/files/primary/Tolvar32.bdb", "/files/backup/Tolvar32.bdb"):
        server.add_file(path, DATABASE, LAST_MODIFIED)
    server.add("/log", Resource(content_type="text/plain",
                                make_body=lambda _: request_log(server)))
    return server


if __name__ == "__main__":
    sys.exit(wrapper_main({"MIVETRAK_WORKER_HTTP_PORT": make_server()}, __doc__))
