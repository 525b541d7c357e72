"""Fixtures of the end-to-end suite: the build under test, one Xvfb display for the session, the
texts of the built resource library, a fresh Wine prefix per test and the loopback update server.

The build folder comes from MIVETRAK_BUILD_DIR (default build/win); nothing is built here.

A session may run one part of the suite (tests/e2e/run_e2e.sh names it): MIVETRAK_E2E_NAME gives
it a work folder and a screenshot folder of its own, below e2e-work/ and e2e-screenshots/ of the
build, so that parts can run side by side; "--shard K/N" keeps every N-th of the collected
cases, starting with the K-th, so that the N shards of a file together run each of its cases
once."""
import os
import shutil
import subprocess
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import harness  # noqa: E402
import update_server  # noqa: E402
from resource_ids import STRING_IDS  # noqa: E402
from xvfb import Xvfb  # noqa: E402

REPO = os.path.abspath(os.path.join(HERE, "..", ".."))


def _build_dir():
    build_dir = os.environ.get("MIVETRAK_BUILD_DIR", os.path.join(REPO, "build", "win"))
    return os.path.abspath(build_dir)


def pytest_addoption(parser):
    parser.addoption("--shard", default=None, metavar="K/N",
                     help="run the K-th of N shards of the collected cases (every N-th case)")


def _shard(config):
    value = config.getoption("--shard")
    if value is None:
        return None
    try:
        k, n = (int(v) for v in value.split("/"))
    except ValueError:
        raise pytest.UsageError(f"--shard wants K/N, not {value}")
    if not 1 <= k <= n:
        raise pytest.UsageError(f"--shard {value}: K must be between 1 and N")
    return k, n


def pytest_collection_modifyitems(config, items):
    shard = _shard(config)
    if shard is None:
        return
    k, n = shard
    kept = [item for index, item in enumerate(items) if index % n == k - 1]
    left = [item for index, item in enumerate(items) if index % n != k - 1]
    if left:
        config.hook.pytest_deselected(items=left)
    items[:] = kept


def _session_folder(build_dir, kind):
    """The build's e2e-work or e2e-screenshots folder, or this part's folder below it."""
    path = os.path.join(build_dir, kind)
    name = os.environ.get("MIVETRAK_E2E_NAME")
    return os.path.join(path, name) if name else path


@pytest.fixture(scope="session")
def build_dir():
    build_dir = _build_dir()
    bin_dir = os.path.join(build_dir, "bin")
    missing = [n for n in (harness.PROGRAM, harness.LIBRARY, harness.DRIVER)
               if not os.path.isfile(os.path.join(bin_dir, n))]
    if missing:
        pytest.fail(f"the build at {build_dir} lacks {', '.join(missing)}; build it first")
    return build_dir


@pytest.fixture(scope="session")
def display():
    """One Xvfb for the whole session."""
    try:
        xvfb = Xvfb()
    except RuntimeError as error:
        pytest.fail(str(error))
    with xvfb:
        yield xvfb.display


@pytest.fixture(scope="session")
def screenshot_dir(build_dir):
    path = _session_folder(build_dir, "e2e-screenshots")
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def _unmount_below(path):
    """Unmounts what an interrupted earlier session left mounted in its prefixes."""
    try:
        with open("/proc/mounts") as mounts:
            points = [line.split()[1] for line in mounts]
    except OSError:
        return
    for point in sorted(points, reverse=True):
        point = point.replace("\\040", " ")
        if point.startswith(path + os.sep):
            subprocess.run(["umount", "-l", point], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)


@pytest.fixture(scope="session")
def work_root(build_dir):
    path = _session_folder(build_dir, "e2e-work")
    _unmount_below(path)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path, exist_ok=True)
    return path


@pytest.fixture(scope="session")
def probe(build_dir, display, work_root, screenshot_dir):
    """What the built library and the prefix say: the texts of every string id, the system's
    text for a file that is not found, the temporary folder and Program Files."""
    case = harness.Case(build_dir, display, work_root, "probe",
                        {"temp": r"C:\e2e", "program_files": r"C:\e2e"}, screenshot_dir)
    try:
        library = harness.APP_DIR + "\\" + harness.LIBRARY
        rc, lines = case.driver.run("strings", library, *STRING_IDS)
        if rc != 0 or not lines:
            pytest.fail(f"the UI driver cannot read the strings of {harness.LIBRARY}: {lines}")
        strings = {int(k): v for k, v in lines[0].items()}
        rc, message = case.driver.run("message", 2)
        rc2, paths = case.driver.run("paths")
        if rc != 0 or rc2 != 0 or not message or not paths:
            pytest.fail(f"the UI driver cannot read the system's texts: {message} {paths}")
    finally:
        case.close()
    return {"strings": strings, "file_not_found": message[0]["text"], "paths": paths[0]}


@pytest.fixture
def strings(probe):
    return probe["strings"]


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    setattr(item, "rep_" + report.when, report)


@pytest.fixture
def case(request, build_dir, display, work_root, screenshot_dir, probe):
    name = request.node.name
    for bad in "[]/\\ :":
        name = name.replace(bad, "_")
    test_case = harness.Case(build_dir, display, work_root, name, probe["paths"], screenshot_dir)
    yield test_case
    failed = getattr(request.node, "rep_call", None) is None or request.node.rep_call.failed
    if failed and test_case.running():
        test_case.screenshot("at-failure")
    test_case.close(keep=failed and os.environ.get("MIVETRAK_E2E_KEEP") == "1")


E2E_USER = harness.wineprefix.TEST_USER


@pytest.fixture
def user_case(request, build_dir, display, work_root, screenshot_dir):
    """A case whose Wine programs run as an unprivileged Linux user with a prefix of its own."""
    if os.geteuid() != 0:
        pytest.skip("acting as another Linux user needs root")
    harness.wineprefix.ensure_user(E2E_USER)
    name = request.node.name
    for bad in "[]/\\ :":
        name = name.replace(bad, "_")
    test_case = harness.Case(build_dir, display, work_root, name, None, screenshot_dir,
                             user=E2E_USER)
    yield test_case
    failed = getattr(request.node, "rep_call", None) is None or request.node.rep_call.failed
    if failed and test_case.running():
        test_case.screenshot("at-failure")
    test_case.close(keep=failed and os.environ.get("MIVETRAK_E2E_KEEP") == "1")


@pytest.fixture
def server():
    srv = update_server.UpdateServer().start()
    yield srv
    srv.stop()
