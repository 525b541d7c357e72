"""Unattended runs: silent mode (/s) updates with no window ever shown and leaves its story in
Mivetrak.log in the temporary folder; /? shows how to use the program."""
import os
import re
import shutil

from harness import IDOK
from resource_ids import IDS_CAPTION, IDS_USAGE
from test_update import (OLD_TIME, assert_installed, assert_untouched,
                         assert_work_folder_clean, database, old_database, serve)
from update_server import INDEX_PATH

LOG = "Mivetrak.log"
# Local date and time to the millisecond, the process id, one sentence, a CR LF.
LINE = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} pid \d+: \S.*$")


def run_silently(case, *args, timeout=60):
    """Starts a silent run and watches the screen until it has ended; returns its exit code and
    whatever window appeared meanwhile (None when none did)."""
    case.start("/s", *args)
    rc, lines = case.driver.run_while(case.process, "wait", "any", timeout_ms=timeout * 1000,
                                      grace=0.5)
    window = None if rc is None else lines
    return case.wait_exit(timeout=timeout), window


def read_log(case):
    """The log's lines, checked for their form; a copy is kept beside the screenshots."""
    path = os.path.join(case.temp_dir, LOG)
    with open(path, "rb") as f:
        data = f.read()
    assert data.endswith(b"\r\n"), data[-80:]
    text = data.decode("ascii")
    lines = text[:-2].split("\r\n")
    for line in lines:
        assert LINE.match(line), line
    shutil.copy2(path, os.path.join(case.screenshot_dir, f"{case.name}-{LOG}"))
    return lines


def logged(lines, part):
    return any(part in line for line in lines)


def test_silent_run_updates_two_folders_without_any_window(case, server):
    body = database(64 * 1024, seed=21)
    serve(server, body)
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)
    shared = case.make_folder(r"C:\Program Files\Orvanta\Shared Files", old_database("shared"),
                              OLD_TIME)

    exit_code, window = run_silently(case, r"C:\Install")
    assert window is None, window
    assert exit_code == 0
    for folder in (install, shared):
        assert_installed(folder, body)
    assert_work_folder_clean(case)

    lines = read_log(case)
    assert "starts in silent mode. Its command line: " in lines[0]
    assert len({line.split(": ", 1)[0].split(" pid ")[1] for line in lines}) == 1
    # The native tests hold every line of such a run; here, that the real one writes them.
    for folder in (r"C:\Install", r"C:\Program Files\Orvanta\Shared Files"):
        assert logged(lines, f"Renamed {folder}\\Tolvar32new0.tmp to {folder}\\Tolvar32.bdb: "
                             "the new database is in place."), folder
    assert lines[-1].endswith("The run ends with exit code 0: done, or nothing to do.")


def test_silent_run_against_a_missing_index_logs_the_status(case, server):
    # The server has no index: its URL answers 404.
    install = case.make_folder(r"C:\Install", old_database("install"), OLD_TIME)

    exit_code, window = run_silently(case, r"C:\Install")
    assert window is None, window
    assert exit_code == 3
    assert_untouched(install, old_database("install"))
    assert_work_folder_clean(case)

    lines = read_log(case)
    assert logged(lines, f"The download of \"{server.url(INDEX_PATH)}\" failed: the server "
                         "answered HTTP status 404."), lines
    assert lines[-1].endswith("The run ends with exit code 3: the update was not obtained.")


def test_usage_is_shown_in_a_box(case, strings):
    case.start("/?")
    box = case.wait_box()
    case.screenshot("usage")
    assert box["caption"] == strings[IDS_CAPTION]
    assert box["text"] == strings[IDS_USAGE]
    case.press("box", IDOK)
    assert case.wait_exit() == 0
