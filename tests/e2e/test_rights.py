"""What a standard user's runs may and may not do: a run with every copy current writes nothing
anywhere, and a work folder that is a link, or that belongs to another account, is never written
through."""
import os

import pytest

from resource_ids import IDS_CAPTION, IDS_STARTUP_FAILED
from test_silent import logged, read_log, run_silently
from test_update import SERVER_TIME, answer_yes, database, old_database, serve
from harness import DATABASE, IDOK


def test_a_standard_users_silent_run_with_every_copy_current_touches_no_folder(user_case,
                                                                               server):
    case = user_case
    body = database(8 * 1024, seed=31)
    serve(server, body)
    # As Program Files is for a standard user on Windows: readable, not writable.
    shared = case.make_folder(r"C:\Program Files (x86)\Orvanta\Shared Files", body, SERVER_TIME,
                              users_own=False)
    os.utime(shared, (SERVER_TIME, SERVER_TIME))

    exit_code, window = run_silently(case)
    assert window is None, window
    assert exit_code == 0
    # Not a file made, renamed or deleted in it: the folder keeps its time.
    assert os.listdir(shared) == [DATABASE]
    assert int(os.stat(shared).st_mtime) == SERVER_TIME
    lines = read_log(case)
    assert logged(lines, "No installation needs the update.")
    assert lines[-1].endswith("The run ends with exit code 0: done, or nothing to do.")


@pytest.mark.parametrize("kind", ["link", "foreign"])
def test_a_work_folder_that_is_not_this_accounts_own_is_not_used(case, server, strings, kind):
    serve(server, database(8 * 1024, seed=32))
    install = case.make_folder(r"C:\Install", old_database("install"))
    victim = case.make_folder(r"C:\Victim", old_database("victim"))
    if kind == "link":
        # Made by someone who wants the run's files written, and its clean-up done, elsewhere.
        os.symlink(victim, case.work_folder)
    else:
        os.makedirs(case.work_folder)
        case.put_database(case.work_folder, b"someone else's")
        os.chown(case.work_folder, 65534, 65534)

    case.start(r"C:\Install")
    box = case.wait_box()
    case.screenshot(f"work-folder-{kind}")
    assert box["caption"] == strings[IDS_CAPTION]
    assert box["text"] == strings[IDS_STARTUP_FAILED]
    case.press("box", IDOK)
    assert case.wait_exit() == 1
    assert open(os.path.join(install, DATABASE), "rb").read() == old_database("install")
    assert open(os.path.join(victim, DATABASE), "rb").read() == old_database("victim")
    if kind == "link":
        assert os.path.islink(case.work_folder)
    else:
        assert os.listdir(case.work_folder) == [DATABASE]
    assert logged(read_log(case), "nothing is written")
