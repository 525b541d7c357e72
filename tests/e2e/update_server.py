"""The update server of the end-to-end tests: the shared loopback server (tests/support/
loopback_http.py) on the port that the test build's index URL names, serving the update index
(INI text naming a primary and a backup URL of the database) beside the database files. Each test
scripts its faults: an index status other than 200, an index body of its own or one sent slowly,
files that answer 404, lack a header, end one byte short or crawl."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from loopback_http import LoopbackServer, Resource  # noqa: E402

INDEX_PATH = "/Software_Update/Tessfetch/ZAVFile.asp"
PORT = 28461


class UpdateServer(LoopbackServer):
    def __init__(self, port=PORT, tls=None):
        super().__init__(port=port, protocol="HTTP/1.0", tls=tls)
        # Until a test sets an index, the index path answers 404.
        self._index = self.add(INDEX_PATH, Resource(status=404, content_type="text/plain"))

    def set_index(self, primary, backup, status=200, padding=0, statement=None):
        """The index text; statement adds the lines of the maker's signed release statement (as
        tools/sign_database.py statement_lines gives them), padding that many bytes of comment
        lines after the keys."""
        text = f"[ZAVFile]\r\nPrimary={primary}\r\nBackup={backup}\r\n"
        if statement is not None:
            text += statement
        while padding > 0:
            line = "; " + "-" * min(60, max(0, padding - 4)) + "\r\n"
            text += line
            padding -= len(line)
        self.index_body = text.encode("ascii")
        self.index_status = status

    # The index as the tests change it: its body, its status and the rate it is sent at.
    @property
    def index_body(self):
        return self._index.body

    @index_body.setter
    def index_body(self, body):
        self._index.body = body
        self._index.status = 200

    @property
    def index_status(self):
        return self._index.status

    @index_status.setter
    def index_status(self, status):
        self._index.status = status

    @property
    def index_rate(self):
        return self._index.rate

    @index_rate.setter
    def index_rate(self, rate):
        self._index.rate = rate

    def start(self, bind_timeout=45.0):
        """Binds 127.0.0.1:PORT, waiting a while if another run still holds it."""
        return super().start(bind_timeout)
