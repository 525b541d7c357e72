"""The whole job as a user sees it: the question, the progress dialog, the boxes, the exit code,
and what ends up on disk, against the loopback update server."""
import glob
import gzip
import os
import random
import shutil
import socket
import subprocess
import sys
import time

import pytest

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")
sys.path.insert(0, TOOLS)
import sign_database  # noqa: E402  (tools/sign_database.py, the maker's signing tool)

from harness import (APP_PATHS_KEY, DATABASE, IDCANCEL, IDOK, IDYES, PROGRAM, HarnessError,
                     parse_lines, wait_until)
from loopback_http import LoopbackServer, Resource
from resource_ids import (IDS_CAPTION, IDS_COMPLETED, IDS_CONFIRM, IDS_DOWNLOAD_FAILED,
                          IDS_FILE_BUSY, IDS_INSTALL_FAILED, IDS_PHASE_CHECK, IDS_PHASE_DOWNLOAD,
                          IDS_PHASE_INSTALL, IDS_SERVER_UNAVAILABLE, IDS_STATUS_PREFIX,
                          IDS_UP_TO_DATE)

SERVER_TIME = 1709618828  # 2024-03-05 06:07:08 UTC, the server's Last-Modified
OLD_TIME = 1262304000     # 2010-01-01 00:00:00 UTC, the installed copies
PRIMARY = "/primary/Tolvar32.bdb"
BACKUP = "/backup/Tolvar32.bdb"
AGENT = "Orvanta File Update"


def database(size, seed=1):
    return random.Random(seed).randbytes(size)


def old_database(tag):
    return f"old database of {tag}\r\n".encode("ascii") * 8


def read(path):
    with open(path, "rb") as f:
        return f.read()


def assert_installed(folder, body):
    path = os.path.join(folder, DATABASE)
    assert read(path) == body, f"{path} differs from the server's file"
    assert int(os.stat(path).st_mtime) == SERVER_TIME, f"{path} lacks the server's time"
    assert glob.glob(os.path.join(folder, "Tolvar32tmp*.tmp")) == []


def assert_untouched(folder, body):
    path = os.path.join(folder, DATABASE)
    assert read(path) == body, f"{path} was changed"
    assert int(os.stat(path).st_mtime) == OLD_TIME, f"{path} got a new time"
    assert glob.glob(os.path.join(folder, "Tolvar32tmp*.tmp")) == []


def status_phrase(strings, phase_id):
    return f"{strings[IDS_STATUS_PREFIX]} {strings[phase_id]} ..."


def serve(server, body, path=PRIMARY, backup=BACKUP, **options):
    served = server.add_file(path, body, SERVER_TIME, **options)
    server.set_index(server.url(path), server.url(backup))
    return served


def answer_yes(case, strings):
    box = case.wait_box()
    assert box["text"] == strings[IDS_CONFIRM]
    case.screenshot("question")
    case.press("box", IDYES)


def finish_with_box(case, strings, string_id, step, exit_code):
    """Waits for the run's closing box, checks its text, presses OK and checks the exit code."""
    box = case.wait_box(timeout_ms=30000)
    case.screenshot(step)
    assert box["caption"] == strings[IDS_CAPTION]
    assert box["text"] == strings[string_id], box
    assert box["buttons"] == [IDOK]
    # Only the success notice carries the information icon; every alert the exclamation mark.
    assert case.box_icon(box) == ("information" if string_id == IDS_COMPLETED else "exclamation")
    case.press("box", IDOK)
    assert case.wait_exit() == exit_code
    return box


def assert_work_folder_clean(case):
    # The temporary download is deleted, and the empty work folder goes with it.
    assert case.work_folder_files() is None, case.work_folder_files()


def test_update_installs_everywhere_and_second_run_is_up_to_date(case, server, strings):
    body = database(150 * 1024)
    serve(server, body)
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    shared = case.make_folder(r"C:\Program Files\Orvanta\Shared Files", old_database("shared"),
                              OLD_TIME)
    sibling = case.make_folder(r"C:\Tools\Tellyra", old_database("sibling"), OLD_TIME)
    case.reg_add(APP_PATHS_KEY, None, r"C:\Tools\Tellyra\Tellyra.exe")

    case.start(r"C:\Install")
    answer_yes(case, strings)
    box = case.wait_box(timeout_ms=30000)
    case.screenshot("success")
    assert box["text"] == strings[IDS_COMPLETED]
    # The success box belongs to a dialog that shows the whole bar.
    dialogs = [w for w in case.windows() if w["kind"] == "dialog"]
    assert len(dialogs) == 1 and dialogs[0]["caption"] == strings[IDS_CAPTION]
    assert dialogs[0]["position"] == 100 and dialogs[0]["percent"] == "100%"
    case.press("box", IDOK)
    assert case.wait_exit() == 0

    for folder in (install, shared, sibling):
        assert_installed(folder, body)
    assert_work_folder_clean(case)
    # One query (headers only) and one download, however many folders there are; the server
    # sends the database's body once.
    assert [r["method"] for r in server.requests_for(PRIMARY)] == ["HEAD", "GET"]
    assert server.body_bytes(PRIMARY) == len(body)
    index_requests = server.requests_for("/Software_Update/Tessfetch/ZAVFile.asp")
    assert len(index_requests) == 1 and index_requests[0]["agent"] == AGENT

    case.start(r"C:\Install")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_UP_TO_DATE, "up-to-date", 0)
    for folder in (install, shared, sibling):
        assert_installed(folder, body)
    # The second run only asked, and was sent no more of the body.
    assert [r["method"] for r in server.requests_for(PRIMARY)] == ["HEAD", "GET", "HEAD"]
    assert server.body_bytes(PRIMARY) == len(body)


def test_both_program_files_and_the_32_bit_app_paths_entry_in_one_run(case, server, strings):
    # As a 32-bit installer on 64-bit Windows leaves things: the shared files under
    # "Program Files (x86)" and the sibling registered in the 32-bit registry view only; a 64-bit
    # installer's shared files under the native folder beside them.
    body = database(48 * 1024, seed=17)
    serve(server, body)
    x86 = case.make_folder(r"C:\Program Files (x86)\Orvanta\Shared Files", old_database("x86"),
                           OLD_TIME)
    native = case.make_folder(r"C:\Program Files\Orvanta\Shared Files",
                              old_database("native"), OLD_TIME)
    sibling = case.make_folder(r"C:\Tools32\Tellyra", old_database("sibling"), OLD_TIME)
    case.split_app_paths_views()
    case.reg_add(APP_PATHS_KEY, None, r"C:\Tools32\Tellyra\Tellyra.exe", view=32)
    assert case.reg_has_key(APP_PATHS_KEY, 32)
    assert not case.reg_has_key(APP_PATHS_KEY, 64)

    case.start()
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
    for folder in (x86, native, sibling):
        assert_installed(folder, body)
    assert_work_folder_clean(case)
    assert len(server.requests_for(PRIMARY)) == 2  # one query, one download


def _runs_with_marker(case):
    """How many runs of the program with the restart marker the case's user has going."""
    done = subprocess.run(["pgrep", "-c", "-u", case.user, "-f", "Mivetrak.exe /agreed-elevated"],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return int(done.stdout.decode().strip() or 0)


def test_folder_beyond_the_users_rights_restarts_the_program_with_rights_once(user_case, server,
                                                                             strings):
    case = user_case
    body = database(16 * 1024, seed=18)
    serve(server, body)
    # As Program Files is for a standard user on Windows: readable, not writable.
    shared = case.make_folder(r"C:\Program Files (x86)\Orvanta\Shared Files",
                              old_database("shared"), OLD_TIME, users_own=False)
    case.start()
    answer_yes(case, strings)
    # This run checks and downloads with the user's rights, finds the folder beyond them, closes
    # its dialog without a box and starts again with rights. The run with rights asks nothing;
    # under Wine it has no more rights than the user, so the installation into the folder fails
    # there, and this run ends with its exit code.
    box = case.wait_box(timeout_ms=30000)
    case.screenshot("install-failed")
    assert box["text"] == strings[IDS_INSTALL_FAILED]
    assert _runs_with_marker(case) == 1
    case.press("box", IDOK)
    assert case.wait_exit() == 4
    assert_untouched(shared, old_database("shared"))
    assert_work_folder_clean(case)
    # Each run's query and download.
    assert len(server.requests_for(PRIMARY)) == 4


def test_folder_without_database_gets_one_only_when_forced(case, server, strings):
    body = database(40 * 1024, seed=2)
    serve(server, body)
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    shared = case.make_folder(r"C:\Program Files\Orvanta\Shared Files")

    case.start(r"C:\Install")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_COMPLETED, "success-unforced", 0)
    assert_installed(install, body)
    assert os.listdir(shared) == []

    # Forced, the empty shared folder takes part; the command-line folder is up to date now.
    case.start(r"C:\Install", "F")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_COMPLETED, "success-forced", 0)
    assert_installed(install, body)
    assert_installed(shared, body)
    assert_work_folder_clean(case)


def test_backup_name_skips_a_leftover_and_a_full_work_folder_stays(case, server, strings):
    body = database(24 * 1024, seed=10)
    serve(server, body)
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    leftover = os.path.join(install, "Tolvar32tmp0.tmp")
    with open(leftover, "wb") as f:
        f.write(b"left from an earlier run")
    # An earlier run's index goes; a file that is not the updater's stays, and the folder too.
    os.makedirs(case.work_folder)
    for name, content in (("keep.txt", b"not the updater's"), ("zav.tmp", b"[ZAVFile]\r\n")):
        with open(os.path.join(case.work_folder, name), "wb") as f:
            f.write(content)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
    path = os.path.join(install, DATABASE)
    assert read(path) == body and int(os.stat(path).st_mtime) == SERVER_TIME
    assert sorted(os.listdir(install)) == [DATABASE, "Tolvar32tmp0.tmp"]
    assert read(leftover) == b"left from an earlier run"
    assert case.work_folder_files() == ["keep.txt"]


@pytest.mark.parametrize("fault", ["status-404", "status-500", "no-section", "neither-url"])
def test_index_unusable(case, server, strings, fault):
    serve(server, database(1024))
    if fault == "no-section":
        server.index_body = ("[Other]\r\nPrimary=%s\r\n" % server.url(PRIMARY)).encode()
    elif fault == "neither-url":
        server.set_index(server.url("/gone/Tolvar32.bdb"), server.url("/gone/too/Tolvar32.bdb"))
    else:
        server.index_status = int(fault[-3:])
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_SERVER_UNAVAILABLE, "server-unavailable", 3)
    assert_untouched(install, old_database("install"))
    assert server.requests_for(PRIMARY) == []
    if fault == "neither-url":
        # Each is asked with HEAD and, as that gives no usable answer, once more with GET.
        for path in ("/gone/Tolvar32.bdb", "/gone/too/Tolvar32.bdb"):
            assert [r["method"] for r in server.requests_for(path)] == ["HEAD", "GET"]


def _closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@pytest.mark.parametrize("failure", ["status-404", "refused", "ftp-scheme", "no-last-modified",
                                     "no-content-length", "garbage-last-modified"])
def test_primary_failing_backup_answers(case, server, strings, failure):
    body = database(30 * 1024, seed=3)
    server.add_file(BACKUP, body, SERVER_TIME)
    primary = server.url(PRIMARY)  # not served: 404
    if failure == "refused":
        primary = f"http://127.0.0.1:{_closed_port()}{PRIMARY}"
    elif failure == "ftp-scheme":
        # Only http answers the query about the file, whatever listens there.
        primary = f"ftp://127.0.0.1:{_closed_port()}{PRIMARY}"
    elif failure.startswith("no-"):
        header = {"no-last-modified": "Last-Modified", "no-content-length": "Content-Length"}
        server.add_file(PRIMARY, database(30 * 1024, seed=30), SERVER_TIME + 60,
                        omit=[header[failure]])
    elif failure == "garbage-last-modified":
        server.add_file(PRIMARY, database(30 * 1024, seed=30), "garbage")
    server.set_index(primary, server.url(BACKUP))
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
    assert_installed(install, body)
    assert [r["method"] for r in server.requests_for(BACKUP)] == ["HEAD", "GET"]
    if failure not in ("refused", "ftp-scheme"):
        # The answer to HEAD is no use, and neither is the GET that follows it.
        assert [r["method"] for r in server.requests_for(PRIMARY)] == ["HEAD", "GET"]


def test_redirect_loop_on_the_primary_and_a_moved_backup(case, server, strings):
    """A primary that redirects to itself for good costs each of its requests eleven answers,
    not the run; the backup, moved to another port, is followed there and gives the update."""
    body = database(30 * 1024, seed=5)
    mirror = LoopbackServer().start()
    try:
        mirror.add_file(BACKUP, body, SERVER_TIME)
        # A relative Location, which the Internet library hands over as the server sent it.
        server.add(PRIMARY, Resource(status=302, headers=[("Location", "Tolvar32.bdb")]))
        server.add(BACKUP, Resource(status=301, headers=[("Location", mirror.url(BACKUP))]))
        server.set_index(server.url(PRIMARY), server.url(BACKUP))
        install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
        case.start(r"C:\Install")
        answer_yes(case, strings)
        answered_at = time.monotonic()
        case.wait_box(timeout_ms=30000)
        seconds = time.monotonic() - answered_at
        assert seconds < 10, f"the closing box came {seconds:.2f} s after the answer"
        finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
        assert_installed(install, body)
        # HEAD, then GET: each the first request and ten redirects followed; the eleventh
        # answer ends it.
        assert [r["method"] for r in server.requests_for(PRIMARY)] == ["HEAD"] * 11 + ["GET"] * 11
        assert [r["method"] for r in server.requests_for(BACKUP)] == ["HEAD", "GET"]
        assert [r["method"] for r in mirror.requests_for(BACKUP)] == ["HEAD", "GET"]
        assert mirror.body_bytes(BACKUP) == len(body)
    finally:
        mirror.stop()


def test_garbage_dates_on_both_urls(case, server, strings):
    """A Last-Modified that is no date, on both URLs, is no answer from either: the program
    reports the server unavailable at once rather than crashing in the Internet library."""
    server.add_file(PRIMARY, database(1024), "garbage")
    server.add_file(BACKUP, database(1024), "garbage")
    server.set_index(server.url(PRIMARY), server.url(BACKUP))
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    answered_at = time.monotonic()
    case.wait_box(timeout_ms=30000)
    seconds = time.monotonic() - answered_at
    assert seconds < 5, f"the box came {seconds:.2f} s after the answer"
    finish_with_box(case, strings, IDS_SERVER_UNAVAILABLE, "server-unavailable", 3)
    assert_untouched(install, old_database("install"))
    # Each URL is asked with HEAD and, as that gives no usable answer, once more with GET.
    assert [r["method"] for r in server.requests_for(PRIMARY)] == ["HEAD", "GET"]
    assert [r["method"] for r in server.requests_for(BACKUP)] == ["HEAD", "GET"]


def test_download_one_byte_short(case, server, strings):
    serve(server, database(64 * 1024, seed=4), short_by=1)
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    shared = case.make_folder(r"C:\Program Files\Orvanta\Shared Files", old_database("shared"),
                              OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_DOWNLOAD_FAILED, "download-failed", 3)
    assert_untouched(install, old_database("install"))
    assert_untouched(shared, old_database("shared"))
    assert_work_folder_clean(case)


def _hold(case, windows_path, readable=False):
    """Holds a file open from another Wine process until released: sharing nothing, or, when
    readable, letting others read but not rename it."""
    exe = case.install_helper("hold_file.exe")
    marker = case.linux_path(r"C:\e2e\held.marker")
    mode = ["--readable"] if readable else []
    holder = case.start_helper(exe, *mode, windows_path, r"C:\e2e\held.marker", "60")
    if not wait_until(lambda: os.path.exists(marker) or holder.poll() is not None, 20):
        raise HarnessError("the file holder did not start")
    if holder.poll() is not None:
        raise HarnessError(f"the file holder ended with {holder.returncode}")

    def release():
        os.remove(marker)
        holder.wait(timeout=20)
    return release


def test_locked_database_question_cancel(case, server, strings):
    serve(server, database(20 * 1024, seed=5))
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    release = _hold(case, r"C:\Install\Tolvar32.bdb")
    case.start(r"C:\Install")
    answer_yes(case, strings)
    box = case.wait_box(timeout_ms=30000)
    case.screenshot("file-busy")
    assert box["caption"] == strings[IDS_CAPTION]
    assert box["text"] == strings[IDS_FILE_BUSY]
    assert sorted(box["buttons"]) == [IDOK, IDCANCEL]
    assert case.box_icon(box) == "exclamation"
    case.press("box", IDCANCEL)
    assert case.wait_exit() == 2
    release()
    assert_untouched(install, old_database("install"))
    assert len(server.requests_for(PRIMARY)) == 1  # asked, never downloaded


def test_locked_database_question_ok_after_release(case, server, strings):
    body = database(20 * 1024, seed=6)
    serve(server, body)
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    release = _hold(case, r"C:\Install\Tolvar32.bdb")
    case.start(r"C:\Install")
    answer_yes(case, strings)
    box = case.wait_box(timeout_ms=30000)
    assert box["text"] == strings[IDS_FILE_BUSY]
    # OK while the file is still held: the program tries again and asks again.
    case.press("box", IDOK)
    case.wait_gone("box", timeout_ms=3000)
    again = case.wait_box(timeout_ms=10000)
    case.screenshot("file-busy-again")
    assert again["text"] == strings[IDS_FILE_BUSY]
    assert again["hwnd"] != box["hwnd"]
    assert case.running()
    release()
    case.press("box", IDOK)
    finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
    assert_installed(install, body)
    assert_work_folder_clean(case)


def _wait_for_download_phase(case, strings, timeout=30):
    phrase = status_phrase(strings, IDS_PHASE_DOWNLOAD)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        dialog = case.wait_window("dialog", timeout_ms=int(timeout * 1000))
        if dialog["status"] == phrase and dialog["position"] > 20:
            return dialog
        time.sleep(0.1)
    raise HarnessError("the dialog never showed the download under way")


@pytest.mark.parametrize("how", ["cancel-button", "close-command"])
def test_cancel_during_slow_download(case, server, strings, how):
    served = serve(server, database(2 * 1024 * 1024, seed=7), rate=96 * 1024)
    served.throttle_from = 2  # the query reads headers only; the download crawls
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    shared = case.make_folder(r"C:\Program Files\Orvanta\Shared Files", old_database("shared"),
                              OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    dialog = _wait_for_download_phase(case, strings)
    case.screenshot("downloading")
    assert 20 < dialog["position"] < 90

    pressed_at = time.monotonic()
    if how == "cancel-button":
        case.press("dialog", IDCANCEL)
    else:
        case.close_window("dialog")
    gone, lines = case.wait_gone("dialog", timeout_ms=1500)
    assert gone, f"the dialog stayed after Cancel: {lines}"
    assert case.wait_exit(timeout=15) == 2
    case.screenshot("after-cancel")
    assert time.monotonic() - pressed_at < 10
    assert [w for w in case.windows() if w["kind"] == "box"] == []
    assert_untouched(install, old_database("install"))
    assert_untouched(shared, old_database("shared"))
    assert_work_folder_clean(case)


def test_cancel_while_the_password_prompt_is_up(case, server, strings):
    """The primary asks for a login, and the system's password prompt comes up beside the
    progress dialog. Cancel on the dialog ends the run within 3 s, the prompt with it."""
    server.add(PRIMARY, Resource(status=401, headers=[("WWW-Authenticate",
                                                       'Basic realm="updates"')]))
    server.add_file(BACKUP, database(1024), SERVER_TIME)
    server.set_index(server.url(PRIMARY), server.url(BACKUP))
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)

    def prompts():
        return [w for w in case.windows() if w["caption"] == "Authentication Required"]
    assert wait_until(lambda: prompts() != [], 20), "no password prompt came up"
    case.screenshot("password-prompt")
    pressed_at = time.monotonic()
    case.press("dialog", IDCANCEL)
    assert case.wait_exit(timeout=15) == 2
    seconds = time.monotonic() - pressed_at
    assert seconds < 3, f"the run ended {seconds:.2f} s after Cancel"
    assert prompts() == []
    assert_untouched(install, old_database("install"))
    assert_work_folder_clean(case)


def test_second_start_during_a_slow_download_leaves_the_first_run_alone(case, server, strings):
    body = database(1024 * 1024, seed=19)
    served = serve(server, body, rate=160 * 1024)
    served.throttle_from = 2
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    _wait_for_download_phase(case, strings)
    download = os.path.join(case.work_folder, DATABASE)
    size_before = os.path.getsize(download)

    second = case.start_another(r"C:\Install")
    assert second.wait(timeout=30) == 1
    case.screenshot("after-second-start")
    # It asked nothing and touched nothing: the first run's download goes on growing.
    assert [w for w in case.windows() if w["kind"] == "box"] == []
    assert case.running()
    assert wait_until(lambda: os.path.getsize(download) > size_before, 10)
    dialog = case.wait_window("dialog")
    assert dialog["status"] == status_phrase(strings, IDS_PHASE_DOWNLOAD)

    finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
    assert_installed(install, body)
    assert_work_folder_clean(case)
    assert len(server.requests_for(PRIMARY)) == 2  # the first run's query and download only
    assert len(server.requests_for("/Software_Update/Tessfetch/ZAVFile.asp")) == 1


def test_progress_readings_during_slow_download(case, server, strings):
    body = database(480 * 1024, seed=8)
    served = serve(server, body, rate=128 * 1024)
    served.throttle_from = 2
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    watcher = subprocess.Popen(case.driver.command("watch", "--interval", 40, timeout_ms=60000),
                               env=case.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        _wait_for_download_phase(case, strings)
        case.screenshot("downloading")
        finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
        out, _ = watcher.communicate(timeout=30)
    finally:
        if watcher.poll() is None:
            watcher.kill()
            watcher.wait()
    readings = [line["reading"] for line in parse_lines(out.decode("utf-8", "replace"))
                if "reading" in line]
    assert readings, "the watcher saw no dialog"
    bands = {status_phrase(strings, IDS_PHASE_CHECK): (0, 20),
             status_phrase(strings, IDS_PHASE_DOWNLOAD): (20, 90),
             status_phrase(strings, IDS_PHASE_INSTALL): (90, 100)}
    for r in readings:
        if r["percent"]:
            # The bar is read before the label, and the dialog may move on a step or two in
            # between.
            assert r["percent"].endswith("%"), r
            assert 0 <= int(r["percent"][:-1]) - r["position"] <= 2, r
        if r["status"]:
            assert r["status"] in bands, r
            low, high = bands[r["status"]]
            # The last phrase stays when the bar reaches 100 at the end.
            assert low <= r["position"] <= high or r["position"] == 100, r
    downloading = [r for r in readings if r["status"] == status_phrase(strings, IDS_PHASE_DOWNLOAD)]
    positions = sorted({r["position"] for r in downloading})
    assert all(20 <= p <= 90 for p in positions), positions
    inside = [p for p in positions if 20 < p < 90]
    assert len(inside) >= 3, f"too few readings during the download: {positions}"
    assert readings[-1]["position"] == 100 and readings[-1]["percent"] == "100%"
    assert_installed(install, body)


@pytest.mark.skipif(os.geteuid() != 0, reason="mounting a tmpfs needs root")
def test_copy_fails_for_lack_of_space_in_second_of_three(case, server, strings):
    body = database(256 * 1024, seed=9)
    serve(server, body)
    first = case.make_folder(r"C:\Sites\First", old_database("first"), OLD_TIME)
    try:
        second = case.mount_tmpfs(r"C:\Sites\Second", "64k")
    except subprocess.CalledProcessError as error:
        pytest.skip(f"cannot mount a tmpfs here: {error.stderr.decode(errors='replace')}")
    case.put_database(second, old_database("second"), OLD_TIME)
    third = case.make_folder(r"C:\Sites\Third", old_database("third"), OLD_TIME)
    case.start(r"C:\Sites\First", r"C:\Sites\Second", r"C:\Sites\Third")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_INSTALL_FAILED, "install-failed", 4)
    assert_installed(first, body)
    assert_untouched(second, old_database("second"))
    assert sorted(os.listdir(second)) == [DATABASE]
    assert_untouched(third, old_database("third"))
    assert_work_folder_clean(case)


def test_folder_named_twice_and_found_again(case, server, strings):
    body = database(32 * 1024, seed=11)
    serve(server, body)
    shared = case.make_folder(r"C:\Program Files\Orvanta\Shared Files", old_database("shared"),
                              OLD_TIME)
    # The same folder with and without its final backslash, and found again by discovery.
    case.start(r"C:\Program Files\Orvanta\Shared Files",
               "C:\\Program Files\\Orvanta\\Shared Files\\")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
    assert_installed(shared, body)
    assert sorted(os.listdir(shared)) == [DATABASE]
    assert_work_folder_clean(case)


def test_cancel_while_the_index_is_fetched(case, server, strings):
    # The index transfer cannot be stopped; the dialog must still close at once, and the
    # process ends soon after, before anything else is downloaded.
    server.add_file(PRIMARY, database(16 * 1024, seed=12), SERVER_TIME)
    server.set_index(server.url(PRIMARY), server.url(BACKUP), padding=3000)
    server.index_rate = 1000
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    dialog = case.wait_window("dialog")
    case.screenshot("checking")
    assert dialog["status"] in ("", status_phrase(strings, IDS_PHASE_CHECK))
    assert dialog["position"] <= 20
    case.press("dialog", IDCANCEL)
    gone, lines = case.wait_gone("dialog", timeout_ms=1500)
    assert gone, f"the dialog stayed after Cancel: {lines}"
    assert case.wait_exit(timeout=20) == 2
    assert len(server.requests_for("/Software_Update/Tessfetch/ZAVFile.asp")) == 1
    assert server.requests_for(PRIMARY) == []
    assert_untouched(install, old_database("install"))
    # The index being written was deleted as the run ended without its worker. Wine keeps a
    # deleted file's name until its last handle (the worker's) closes with the process, so the
    # work folder, empty by then, may stay until the next run.
    assert case.work_folder_files() in (None, []), case.work_folder_files()


def test_local_copy_newer_than_the_server_is_left_alone(case, server, strings):
    serve(server, database(8 * 1024, seed=13))
    newer = SERVER_TIME + 86400
    install = case.make_folder(r"C:\Install", old_database("install"), newer)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_UP_TO_DATE, "up-to-date", 0)
    path = os.path.join(install, DATABASE)
    assert read(path) == old_database("install") and int(os.stat(path).st_mtime) == newer
    assert len(server.requests_for(PRIMARY)) == 1  # asked, not downloaded


def test_sibling_application_in_a_drive_root(case, server, strings):
    # App Paths naming the program directly in C:\ makes the drive's root an installation
    # folder.
    body = database(12 * 1024, seed=14)
    serve(server, body)
    root = case.drive_c
    case.put_database(root, old_database("root"), OLD_TIME)
    case.reg_add(APP_PATHS_KEY, None, r"C:\Tellyra.exe")
    case.start()
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
    assert_installed(root, body)


@pytest.mark.parametrize("answer", ["cancel", "ok-after-release"])
def test_database_in_use_at_installation_time(case, server, strings, answer):
    # The second folder's database can be read (so the check passes) but not renamed aside.
    body = database(20 * 1024, seed=15)
    serve(server, body)
    first = case.make_folder(r"C:\Sites\First", old_database("first"), OLD_TIME)
    second = case.make_folder(r"C:\Sites\Second", old_database("second"), OLD_TIME)
    release = _hold(case, r"C:\Sites\Second\Tolvar32.bdb", readable=True)
    case.start(r"C:\Sites\First", r"C:\Sites\Second")
    answer_yes(case, strings)
    box = case.wait_box(timeout_ms=30000)
    case.screenshot("file-busy")
    assert box["text"] == strings[IDS_FILE_BUSY]
    assert sorted(box["buttons"]) == [IDOK, IDCANCEL]
    # Asked before anything in the second folder changed; the first is done already.
    assert_installed(first, body)
    assert_untouched(second, old_database("second"))
    if answer == "cancel":
        case.press("box", IDCANCEL)
        assert case.wait_exit() == 2
        release()
        assert_installed(first, body)
        assert_untouched(second, old_database("second"))
        # The declined download does not outlive the program.
        assert_work_folder_clean(case)
    else:
        release()
        case.press("box", IDOK)
        finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
        assert_installed(first, body)
        assert_installed(second, body)
        assert_work_folder_clean(case)


def test_folder_with_accented_name(case, server, strings):
    # Paths travel as text of the system's ANSI code page, from the command line to the copy.
    body = database(8 * 1024, seed=16)
    serve(server, body)
    install = case.make_folder("C:\\Données\\Café", old_database("install"), OLD_TIME)
    case.start("C:\\Données\\Café")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
    assert_installed(install, body)


def test_read_only_old_copy_leaves_no_backup_behind(case, server, strings):
    body = database(8 * 1024, seed=17)
    serve(server, body)
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    # Wine shows a file without write permission as read-only.
    os.chmod(os.path.join(install, DATABASE), 0o444)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
    assert_installed(install, body)
    assert sorted(os.listdir(install)) == [DATABASE]


def test_directory_named_as_the_database_in_the_shared_files_folder(case, server, strings):
    """A directory by the database's name holds no database: the shared-files folder drops out
    and the folder named beside it gets its update."""
    body = database(8 * 1024, seed=18)
    serve(server, body)
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    shared = case.make_folder(r"C:\Program Files\Orvanta\Shared Files")
    os.makedirs(os.path.join(shared, DATABASE))
    case.start(r"C:\Install")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
    assert_installed(install, body)
    assert os.listdir(shared) == [DATABASE]
    assert os.path.isdir(os.path.join(shared, DATABASE))


def sign_and_use_a_keyed_program(case, body, released=SERVER_TIME):
    """Puts the build's keyed program (bin/signed/, built with the public key of the build's
    signing/private.pem) in the case's place of the program, and returns the index's lines of
    the statement that the maker's tool signs for body with that private key."""
    shutil.copy2(os.path.join(case.build_dir, "bin", "signed", PROGRAM), case.app_dir)
    return sign_database.statement_lines(
        os.path.join(case.build_dir, "signing", "private.pem"), body, released)


def test_a_program_with_a_key_installs_a_signed_database(case, server, strings):
    body = database(300 * 1024, seed=20)
    statement = sign_and_use_a_keyed_program(case, body)
    # The server's own time is forged: the statement's is stamped, and no query is sent.
    server.add_file(PRIMARY, body, SERVER_TIME + 1000000)
    server.set_index(server.url(PRIMARY), server.url(BACKUP), statement=statement)
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_COMPLETED, "success", 0)
    assert_installed(install, body)
    assert [r["method"] for r in server.requests_for(PRIMARY)] == ["GET"]
    assert_work_folder_clean(case)


def test_a_program_with_a_key_installs_nothing_when_one_byte_differs(case, server, strings):
    body = database(300 * 1024, seed=21)
    statement = sign_and_use_a_keyed_program(case, body)
    changed = bytearray(body)
    changed[len(body) // 2] ^= 0x01
    server.add_file(PRIMARY, bytes(changed), SERVER_TIME)
    server.set_index(server.url(PRIMARY), server.url(BACKUP), statement=statement)
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_DOWNLOAD_FAILED, "download-failed", 3)
    assert_untouched(install, old_database("install"))
    # The primary's bytes do not do, and the backup serves none.
    assert [r["method"] for r in server.requests_for(PRIMARY)] == ["GET"]
    assert [r["method"] for r in server.requests_for(BACKUP)] == ["GET"]
    assert_work_folder_clean(case)


def test_a_database_served_encoded_is_not_installed(case, server, strings):
    """Static servers send a compressed file with Content-Encoding: gzip; the program never asks
    for an encoding, and such bytes are not the database, whatever their length."""
    body = database(64 * 1024, seed=22)
    packed = gzip.compress(body)
    server.add_file(PRIMARY, packed, SERVER_TIME, headers=[("Content-Encoding", "gzip")])
    server.set_index(server.url(PRIMARY), server.url(BACKUP))
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    case.start(r"C:\Install")
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_SERVER_UNAVAILABLE, "encoded", 3)
    assert_untouched(install, old_database("install"))
    assert_work_folder_clean(case)
