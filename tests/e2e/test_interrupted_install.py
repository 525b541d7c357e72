"""A run killed while it installs a large database, and the next run: the folder it was
working on is put back in order at start, and the update then finishes everywhere."""
import glob
import os
import signal
import time

from harness import DATABASE
from resource_ids import IDS_COMPLETED
from test_update import (OLD_TIME, answer_yes, assert_installed, database,
                         finish_with_box, old_database, serve)

SIDE_PATTERN = "Tolvar32new*.tmp"
BACKUP_PATTERN = "Tolvar32tmp*.tmp"


def _wait_for(path_pattern, process, timeout):
    """Polls for a file matching the pattern as fast as the disk answers; returns its path."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and process.poll() is None:
        found = glob.glob(path_pattern)
        if found:
            return found[0]
    return None


def test_kill_during_installation_then_the_next_run_repairs(case, server, strings):
    body = database(48 * 1024 * 1024, seed=20)
    serve(server, body)
    names = [r"C:\Sites\First", r"C:\Sites\Second", r"C:\Sites\Third", r"C:\Sites\Fourth"]
    folders = [case.make_folder(n, old_database(n), OLD_TIME) for n in names]

    case.start(*names)
    answer_yes(case, strings)
    # The new copy of the second folder appears while it is written: the first folder is done,
    # the others still hold their old database.
    side = _wait_for(os.path.join(folders[1], SIDE_PATTERN), case.process, 120)
    assert side, "the installation into the second folder was never seen"
    os.kill(case.process.pid, signal.SIGKILL)
    case.process.wait(timeout=20)
    case.screenshot("killed")
    left = {os.path.basename(f): sorted(os.listdir(f)) for f in folders}
    print(f"left by the killed run: {left}")
    for folder in folders:
        present = os.listdir(folder)
        # A complete database, or (between the two renames) both complete copies beside it.
        assert DATABASE in present or (glob.glob(os.path.join(folder, SIDE_PATTERN)) and
                                       glob.glob(os.path.join(folder, BACKUP_PATTERN))), present

    case.start(*names)
    answer_yes(case, strings)
    finish_with_box(case, strings, IDS_COMPLETED, "repaired-and-updated", 0)
    for folder in folders:
        assert_installed(folder, body)
        assert sorted(os.listdir(folder)) == [DATABASE], os.listdir(folder)
    # Nothing is left of either run in the work folder: no journal, no download.
    assert case.work_folder_files() is None, case.work_folder_files()
