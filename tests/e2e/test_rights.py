"""What a standard user's runs may and may not do: a run with every copy current writes nothing
anywhere, and a work folder that is a link is never written through."""
import os

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


def test_a_work_folder_that_is_a_link_is_not_used(case, server, strings):
    serve(server, database(8 * 1024, seed=32))
    install = case.make_folder(r"C:\Install", old_database("install"))
    victim = case.make_folder(r"C:\Victim", old_database("victim"))
    # Made by someone who wants the run's files written, and its clean-up done, elsewhere.
    os.symlink(victim, case.work_folder)

    case.start(r"C:\Install")
    box = case.wait_box()
    case.screenshot("work-folder-link")
    assert box["caption"] == strings[IDS_CAPTION]
    assert box["text"] == strings[IDS_STARTUP_FAILED]
    case.press("box", IDOK)
    assert case.wait_exit() == 1
    assert open(os.path.join(install, DATABASE), "rb").read() == old_database("install")
    assert open(os.path.join(victim, DATABASE), "rb").read() == old_database("victim")
    assert os.path.islink(case.work_folder)
    assert logged(read_log(case), "nothing is written through it")
