"""https from end to end: an update over TLS from a server whose authority the machine trusts, and
a primary whose certificate it does not trust, which counts as a server that cannot be reached.
Each authority is made for the test, in its case's folder."""
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
def tls_server(case):
    paths = demo_tls.make_certificates(os.path.join(case.root, "tls"))
    server = UpdateServer(port=0, tls=(paths["certificate"], paths["key"])).start()
    server.authority = "Z:" + paths["authority"].replace("/", "\\")
    yield server
    server.stop()


def methods(server, path):
    return [r["method"] for r in server.requests_for(path)]


def test_an_update_over_https_reached_by_a_redirect_up_from_http(case, server, tls_server,
                                                                 strings):
    demo_tls.trust_in_prefix(case.env, case.install_helper("trust_root.exe"),
                             tls_server.authority, case.run_as)
    body = database(96 * 1024, seed=24)
    for path in (PRIMARY, BACKUP):
        tls_server.add_file(path, body, SERVER_TIME)
    tls_server.set_index(tls_server.url(PRIMARY), tls_server.url(BACKUP))
    # The index URL built in is http; the server sends the program to its https address.
    server.add(INDEX_PATH, Resource(status=301, headers=[("Location", tls_server.url(INDEX_PATH))]))
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
    assert_installed(install, body)
    assert methods(server, INDEX_PATH) == ["GET"]
    assert methods(tls_server, INDEX_PATH) == ["GET"]
    assert methods(tls_server, PRIMARY) == ["HEAD", "GET"]
    assert tls_server.body_bytes(PRIMARY) == len(body)


def test_an_untrusted_certificate_on_the_primary_falls_to_the_backup_without_a_question(
        case, server, tls_server, strings):
    body = database(32 * 1024, seed=25)
    tls_server.add_file(PRIMARY, database(32 * 1024, seed=26), SERVER_TIME + 60)
    server.add_file(BACKUP, body, SERVER_TIME)
    server.set_index(tls_server.url(PRIMARY), server.url(BACKUP))
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    # The next box is the closing one: no question about the certificate came before it.
    finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
    assert_installed(install, body)
    # The connection ended in the handshake: the primary was asked nothing.
    assert methods(tls_server, PRIMARY) == []
    assert methods(server, BACKUP) == ["HEAD", "GET"]
    assert logged(read_log(case), f'The query of "{tls_server.url(PRIMARY)}" failed: GET gave no '
                  "answer (could not send the request securely: the server's certificate comes "
                  "from an authority that the system does not trust: error 12045")
