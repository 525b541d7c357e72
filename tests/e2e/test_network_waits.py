"""A server that takes the connection and never answers: the run gives up on it within the
limit of a silent transfer, and a Cancel ends the process at once even while the worker is
blocked on it."""
import os
import sys
import time

import pytest

from harness import IDCANCEL, IDOK
from resource_ids import IDS_CAPTION, IDS_SERVER_UNAVAILABLE
from test_update import OLD_TIME, answer_yes, assert_untouched, old_database
import update_server

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from holding_server import HoldingServer  # noqa: E402

# A transfer from which nothing arrives gives up after 60 s; the run must show its box well
# within this.
SILENT_SERVER_LIMIT = 100
# From the press of Cancel to the end of the process.
CANCEL_LIMIT = 3


@pytest.fixture
def silent_server():
    """Listens where the update index is and never answers."""
    server = HoldingServer(port=update_server.PORT).start(bind_timeout=45.0)
    yield server
    server.stop()


def test_silent_index_server_ends_with_server_unavailable(case, silent_server, strings):
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    yes_at = time.monotonic()
    answer_yes(case, strings)
    box = case.wait_box(timeout_ms=SILENT_SERVER_LIMIT * 1000)
    took = time.monotonic() - yes_at
    case.screenshot("server-unavailable")
    print(f"silent server: box {took:.1f} s after the Yes")
    assert box["caption"] == strings[IDS_CAPTION]
    assert box["text"] == strings[IDS_SERVER_UNAVAILABLE]
    assert took < SILENT_SERVER_LIMIT
    assert silent_server.connections >= 1
    case.press("box", IDOK)
    assert case.wait_exit() == 3
    assert_untouched(install, old_database("install"))
    assert case.work_folder_files() is None


def test_cancel_while_blocked_on_a_silent_server(case, silent_server, strings):
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    case.wait_window("dialog")
    # The worker is waiting for the server's answer, in a call that only the end of the
    # process interrupts.
    deadline = time.monotonic() + 20
    while silent_server.connections == 0 and time.monotonic() < deadline:
        time.sleep(0.05)
    assert silent_server.connections >= 1
    time.sleep(1.0)
    case.screenshot("waiting")
    pressed_at = time.monotonic()
    case.press("dialog", IDCANCEL)
    exit_code = case.wait_exit(timeout=30)
    took = time.monotonic() - pressed_at
    print(f"cancel: process gone {took:.2f} s after the press")
    assert exit_code == 2
    assert took < CANCEL_LIMIT
    assert [w for w in case.windows() if w["kind"] in ("box", "dialog")] == []
    assert_untouched(install, old_database("install"))
    assert case.work_folder_files() is None
