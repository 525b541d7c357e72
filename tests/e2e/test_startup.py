"""Start-up as a user sees it: the boxes before the update, their texts from the built library,
the answers, the exit codes and the folders that the program finds by itself."""
import os
import shutil

from harness import DATABASE, IDNO, IDOK, IDYES, APP_PATHS_KEY
from resource_ids import (IDS_CAPTION, IDS_CONFIRM, IDS_NO_FOLDER, IDS_STARTUP_FAILED,
                          IDS_UP_TO_DATE)

OLD_TIME = 1262304000  # 2010-01-01 00:00:00 UTC


def test_missing_library_shows_system_text_captioned_error(case, probe):
    os.remove(os.path.join(case.app_dir, "Mivetrak.rsl"))
    case.make_folder(r"C:\Install", b"old", OLD_TIME)
    case.start(r"C:\Install")
    box = case.wait_box(caption="Error")
    case.screenshot("error-box")
    assert box["caption"] == "Error"
    assert case.box_icon(box) == "information"
    assert box["text"].strip() == probe["file_not_found"].strip()
    assert box["text"].strip() != ""
    assert box["buttons"] == [IDOK]
    case.press("box", IDOK)
    assert case.wait_exit() == 1


def test_planted_library_in_the_current_folder_and_on_the_path_is_ignored(case, probe, strings,
                                                                          build_dir):
    planted = os.path.join(build_dir, "bin", "Planted.rsl")
    for folder in (r"C:\Work", r"C:\OnPath"):
        shutil.copy2(planted, os.path.join(case.make_folder(folder), "Mivetrak.rsl"))
    case.make_folder(r"C:\Install", b"old", OLD_TIME)

    # The program's own library beside it: its texts, not the stranger's.
    case.start(r"C:\Install", cwd=r"C:\Work", wine_path=r"C:\OnPath")
    box = case.wait_box()
    case.screenshot("own-texts")
    assert box["caption"] == strings[IDS_CAPTION]
    assert box["text"] == strings[IDS_CONFIRM]
    case.press("box", IDNO)
    assert case.wait_exit() == 2

    # Without its own library the program says so rather than take a stranger's.
    os.remove(os.path.join(case.app_dir, "Mivetrak.rsl"))
    case.start(r"C:\Install", cwd=r"C:\Work", wine_path=r"C:\OnPath")
    box = case.wait_box()
    case.screenshot("no-library")
    assert box["caption"] == "Error"
    assert box["text"].strip() == probe["file_not_found"].strip()
    case.press("box", IDOK)
    assert case.wait_exit() == 1


def test_no_folder_found(case, strings):
    case.start()
    box = case.wait_box()
    case.screenshot("box-no-folder")
    assert box["caption"] == strings[IDS_CAPTION]
    assert box["text"] == strings[IDS_NO_FOLDER]
    assert box["buttons"] == [IDOK]
    assert case.box_icon(box) == "exclamation"
    case.press("box", IDOK)
    assert case.wait_exit() == 1
    assert case.work_folder_files() is None


def test_bad_argument_alone(case, strings):
    # A shared-files folder with a database exists, yet a bad argument alone ends the start-up
    # before any discovery.
    case.make_folder(r"C:\Program Files\Orvanta\Shared Files", b"old", OLD_TIME)
    case.start(r"C:\No\Such\Folder")
    box = case.wait_box()
    case.screenshot("box-startup-failed")
    assert box["caption"] == strings[IDS_CAPTION]
    assert box["text"] == strings[IDS_STARTUP_FAILED]
    assert box["buttons"] == [IDOK]
    assert case.box_icon(box) == "exclamation"
    case.press("box", IDOK)
    assert case.wait_exit() == 1


def test_fullwidth_name_is_not_taken_for_its_look_alike(case, strings):
    """A folder named with a fullwidth I (U+FF29) cannot be spelt in the ANSI code page. Its
    best-fit form is C:\\Install, which exists: the run must not ask to update that folder,
    and ends as for any bad argument alone."""
    case.make_folder(r"C:\Install", b"old", OLD_TIME)
    case.make_folder("C:\\\uff29nstall", b"old", OLD_TIME)
    case.start("C:\\\uff29nstall")
    box = case.wait_box()
    assert box["text"] == strings[IDS_STARTUP_FAILED]
    case.press("box", IDOK)
    assert case.wait_exit() == 1


def test_bad_argument_beside_good_folder_is_dropped(case, strings):
    case.make_folder(r"C:\Install", b"old", OLD_TIME)
    case.start(r"C:\No\Such\Folder", r"C:\Install")
    box = case.wait_box()
    case.screenshot("question")
    assert box["text"] == strings[IDS_CONFIRM]
    case.press("box", IDNO)
    assert case.wait_exit() == 2


def test_answer_no_exits_2_and_leaves_no_work_folder(case, strings):
    install = case.make_folder(r"C:\Install", b"old", OLD_TIME)
    case.start(r"C:\Install")
    box = case.wait_box()
    case.screenshot("question")
    assert box["caption"] == strings[IDS_CAPTION]
    assert box["text"] == strings[IDS_CONFIRM]
    assert sorted(box["buttons"]) == [IDYES, IDNO]
    assert case.box_icon(box) == "information"
    # The work folder exists while the question is open and is gone after the answer No.
    assert case.work_folder_files() == []
    case.press("box", IDNO)
    assert case.wait_exit() == 2
    assert case.work_folder_files() is None
    with open(os.path.join(install, DATABASE), "rb") as f:
        assert f.read() == b"old"


def test_folder_without_database_is_dropped_unless_forced(case, strings):
    case.make_folder(r"C:\Empty")
    case.start(r"C:\Empty")
    box = case.wait_box()
    case.screenshot("box-no-folder")
    assert box["text"] == strings[IDS_NO_FOLDER]
    case.press("box", IDOK)
    assert case.wait_exit() == 1

    for force in ("f", "/F", "-f"):
        case.start(r"C:\Empty", force)
        box = case.wait_box()
        assert box["text"] == strings[IDS_CONFIRM], force
        case.press("box", IDNO)
        assert case.wait_exit() == 2, force


def test_shared_files_folder_is_discovered(case, strings):
    case.make_folder(r"C:\Program Files\Orvanta\Shared Files", b"old", OLD_TIME)
    case.start()
    box = case.wait_box()
    case.screenshot("question")
    assert box["text"] == strings[IDS_CONFIRM]
    case.press("box", IDNO)
    assert case.wait_exit() == 2


def test_sibling_application_folder_is_discovered(case, strings):
    case.make_folder(r"C:\Tellyra", b"old", OLD_TIME)
    case.reg_add(APP_PATHS_KEY, None, r"C:\Tellyra\Tellyra.exe")
    case.start()
    box = case.wait_box()
    case.screenshot("question")
    assert box["text"] == strings[IDS_CONFIRM]
    case.press("box", IDNO)
    assert case.wait_exit() == 2


def test_yes_runs_the_update(case, server, strings):
    # The index names a database that is not newer than the installed one, so the run ends
    # with the up-to-date notice and changes nothing.
    server.add_file("/db/Tolvar32.bdb", b"server copy", OLD_TIME)
    server.set_index(server.url("/db/Tolvar32.bdb"), server.url("/db/Tolvar32.bdb"))
    install = case.make_folder(r"C:\Install", b"old", OLD_TIME)
    case.start(r"C:\Install")
    box = case.wait_box()
    case.screenshot("question")
    assert box["text"] == strings[IDS_CONFIRM]
    case.press("box", IDYES)
    box = case.wait_box(timeout_ms=30000)
    case.screenshot("up-to-date")
    assert box["text"] == strings[IDS_UP_TO_DATE]
    case.press("box", IDOK)
    assert case.wait_exit() == 0
    with open(os.path.join(install, DATABASE), "rb") as f:
        assert f.read() == b"old"
    assert len(server.requests_for("/db/Tolvar32.bdb")) == 1


def test_leading_slash_or_hyphen_is_dropped_from_a_folder(case, strings):
    case.make_folder(r"C:\Install", b"old", OLD_TIME)
    for argument in (r"/C:\Install", r"-C:\Install"):
        case.start(argument)
        box = case.wait_box()
        assert box["text"] == strings[IDS_CONFIRM], argument
        case.press("box", IDNO)
        assert case.wait_exit() == 2, argument
    case.screenshot("question")
