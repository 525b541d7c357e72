"""The demo's update server: the shared loopback server (tests/support/loopback_http.py) on
127.0.0.1:28461, serving the update index at /Software_Update/Tessfetch/ZAVFile.asp, which names
a primary and a backup URL of the drive database (or, given one, the index that
tools/sign_database.py index made for it, with the maker's signed release statement), and the
database itself: a generated sample file with a fixed Last-Modified time, sent at a moderate rate
so that the progress bar can be watched.
Given a certificate and its key (demo_tls.py makes them), it serves all of it over https instead.

Run alone:  python3 demo/update_server.py   (serves until Ctrl+C, without a statement)
"""
import hashlib
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "support"))
from loopback_http import HOST, LoopbackServer, Resource  # noqa: E402

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


class DemoServer(LoopbackServer):
    def __init__(self, port=PORT, rate=RATE, index=None, tls=None):
        super().__init__(port=port, protocol="HTTP/1.0",
                         log=lambda line: sys.stderr.write(f"  server: {line}\n"), tls=tls)
        self.database = sample_database()
        if index is None:
            index = (f"[ZAVFile]\r\nPrimary={self.url(PRIMARY_PATH)}\r\n"
                     f"Backup={self.url(BACKUP_PATH)}\r\n")
        self.add(INDEX_PATH, Resource(index.encode("ascii"), content_type="text/plain"))
        for path in (PRIMARY_PATH, BACKUP_PATH):
            self.add_file(path, self.database, LAST_MODIFIED, rate=rate)


if __name__ == "__main__":
    demo = DemoServer().start()
    print(f"serving the update index at {demo.url(INDEX_PATH)}")
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        demo.stop()
