"""https from end to end, against a TLS server with an authority made for the test."""
import os
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "demo"))
import demo_tls  # noqa: E402

from loopback_http import Resource
from resource_ids import IDS_COMPLETED
from test_silent import logged, read_log
from test_update import (BACKUP, OLD_TIME, PRIMARY, SERVER_TIME, answer_yes, assert_installed,
                         database, finish_with_box, old_database)
from update_server import INDEX_PATH, UpdateServer


@pytest.fixture
def tls(case):
    paths = demo_tls.make_certificates(os.path.join(case.root, "tls"))
    server = UpdateServer(port=0, tls=(paths["certificate"], paths["key"])).start()
    server.authority = "Z:" + paths["authority"].replace("/", "\\")
    yield server
    server.stop()


def update(case, strings, body):
    """Through to the success box, the first box after the question: none asked about a
    certificate."""
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
    assert_installed(install, body)


def test_an_update_over_https_reached_by_a_redirect_up_from_http(case, server, tls, strings):
    demo_tls.trust_in_prefix(case.env, case.install_helper("trust_root.exe"), tls.authority,
                             case.run_as)
    body = database(64 * 1024, seed=24)
    tls.add_file(PRIMARY, body, SERVER_TIME)
    tls.set_index(tls.url(PRIMARY), tls.url(BACKUP))
    server.add(INDEX_PATH, Resource(status=301, headers=[("Location", tls.url(INDEX_PATH))]))
    update(case, strings, body)
    assert len(server.requests_for(INDEX_PATH)) == len(tls.requests_for(INDEX_PATH)) == 1
    assert [r["method"] for r in tls.requests_for(PRIMARY)] == ["HEAD", "GET"]


def test_an_untrusted_primary_falls_to_the_http_backup(case, server, tls, strings):
    body = database(32 * 1024, seed=25)
    tls.add_file(PRIMARY, body, SERVER_TIME)
    server.add_file(BACKUP, body, SERVER_TIME)
    server.set_index(tls.url(PRIMARY), server.url(BACKUP))
    update(case, strings, body)
    assert tls.requests_for(PRIMARY) == []  # refused in the handshake, before any request
    assert [r["method"] for r in server.requests_for(BACKUP)] == ["HEAD", "GET"]
    assert logged(read_log(case), f'The query of "{tls.url(PRIMARY)}" failed: GET gave no answer '
                  "(could not send the request securely: the server's certificate comes from an "
                  "authority that the system does not trust: error 12045")
