"""What the benchmarks of a whole run of the updater share: a copy of the build's Wine prefix with
the programs and two installation folders in it, Xvfb, the loopback update server on the port of
the build's index URL, and one run of each side:

- the program: update_bench_driver starts Mivetrak.exe with the two folders, presses Yes on its
  question and OK on every box that follows at once; the time runs from the Yes to the process's
  exit;
- the plain program: update_raw does the protocol work and the copies as directly as WinInet and
  kernel32 allow and times its own work from the index request to the last copy (its process
  start and exit are not counted).

The tools (update_bench_driver.exe, update_raw.exe) and the Wine prefix come from BUILD_DIR; the
program (Mivetrak.exe, Mivetrak.rsl) comes from BUILD_DIR too, or from another build given as
program_build, so that two builds of the program can be measured with the same tools. Every
build's index URL must be http://127.0.0.1:28461/Software_Update/Tessfetch/ZAVFile.asp.

With keyed set, the prefix also holds BUILD_DIR's program built with a public key
(bin/signed/Mivetrak.exe beside the same Mivetrak.rsl) in a folder of its own, and the index
carries the release statement about the served database, signed with the build's
signing/private.pem; a program without a key ignores those lines.
"""
import hashlib
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import sign_database  # noqa: E402
import wineprefix  # noqa: E402
import update_server  # noqa: E402
from xvfb import Xvfb  # noqa: E402

DATABASE = "Tolvar32.bdb"
SERVER_TIME = 1767225600          # 2026-01-01 00:00:00 UTC
OLD_TIME = 978307200              # 2001-01-01 00:00:00 UTC
FOLDERS = ("inst1", "inst2")
BENCH_DIR = "bench"
KEYED_DIR = "bench\\keyed"
PROGRAM_FILES = ("Mivetrak.exe", "Mivetrak.rsl")
TOOL_FILES = ("update_raw.exe", "update_bench_driver.exe")
MIB = 1024 * 1024


def win(*parts):
    return "C:\\" + "\\".join(parts)


def digest(data):
    return hashlib.sha256(data).hexdigest()


def spread(values):
    return f"median {statistics.median(values):.3f} s, min {min(values):.3f} s, " \
           f"max {max(values):.3f} s over {len(values)} runs"


def add_build_arguments(parser):
    parser.add_argument("build_dir", help="Windows build with the benchmark tools")
    parser.add_argument("--program-build", metavar="DIR",
                        help="another Windows build whose bin/ holds the Mivetrak.exe and "
                             "Mivetrak.rsl to measure (default: BUILD_DIR's)")


class UpdateBench:
    def __init__(self, build_dir, program_build=None, name="bench-update", keyed=False):
        self.build_dir = os.path.abspath(build_dir)
        self.tool_dir = os.path.join(self.build_dir, "bin")
        self.program_dir = os.path.join(os.path.abspath(program_build or build_dir), "bin")
        self.keyed_program = os.path.join(self.tool_dir, "signed", PROGRAM_FILES[0]) \
            if keyed else None
        self.signing_key = os.path.join(self.build_dir, "signing", "private.pem")
        for folder, names in ((self.program_dir, PROGRAM_FILES), (self.tool_dir, TOOL_FILES)):
            for file_name in names:
                if not os.path.isfile(os.path.join(folder, file_name)):
                    raise SystemExit(f"{file_name} is missing from {folder}: configure the "
                                     "build with -DMIVETRAK_BENCHMARKS=ON (bench/README.md)")
        for path in (self.keyed_program, self.signing_key) if keyed else ():
            if not os.path.isfile(path):
                raise SystemExit(f"{path} is missing: the keyed program needs a build with the "
                                 "Windows tests")
        self.root = os.path.join(self.build_dir, name)
        self.xvfb = None
        self.server = None
        self.prefix = None
        self.env = None
        self.drive_c = None
        self.last_stderr = ""  # Wine's error output of the last run of the program

    # -- set-up and tear-down ------------------------------------------------------------------
    def start(self):
        try:
            self.xvfb = Xvfb()
        except RuntimeError as error:
            raise SystemExit(str(error))
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        self.prefix = wineprefix.clone_prefix(self.build_dir, os.path.join(self.root, "prefix"))
        self.env = wineprefix.wine_env(self.prefix, self.xvfb.display)
        self.drive_c = os.path.join(self.prefix, "drive_c")
        bench_dir = os.path.join(self.drive_c, BENCH_DIR)
        os.makedirs(bench_dir)
        for name in PROGRAM_FILES:
            shutil.copy2(os.path.join(self.program_dir, name), bench_dir)
        for name in TOOL_FILES:
            shutil.copy2(os.path.join(self.tool_dir, name), bench_dir)
        if self.keyed_program:
            keyed_dir = os.path.join(self.drive_c, *KEYED_DIR.split("\\"))
            os.makedirs(keyed_dir)
            shutil.copy2(self.keyed_program, keyed_dir)
            shutil.copy2(os.path.join(self.program_dir, PROGRAM_FILES[1]), keyed_dir)
        for folder in FOLDERS:
            os.makedirs(os.path.join(self.drive_c, folder))
        # One wineserver for the whole run, and the prefix's own services started by a first
        # program, so that no side pays for starting them.
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)
        subprocess.run(["wine", "reg", "query", r"HKCU\Software\Wine"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        self.server = update_server.UpdateServer().start()

    def stop(self):
        if self.server:
            self.server.stop()
        if self.prefix:
            wineprefix.stop_wineserver(self.prefix)
        if self.xvfb:
            self.xvfb.stop()
        shutil.rmtree(self.root, ignore_errors=True)

    # -- the server and the folders ------------------------------------------------------------
    def serve_database(self, path, body):
        """Serves body at path with the server's time; returns its URL."""
        self.server.add_file(path, body, SERVER_TIME)
        return self.server.url(path)

    def use_database(self, url, statement=None):
        """Makes the index name url as both the primary and the backup URL, with the maker's
        signed statement when one is given."""
        self.server.set_index(url, url, statement=statement)

    def sign(self, body):
        """The index's statement lines about body, signed with the build's signing key."""
        return sign_database.statement_lines(self.signing_key, body, SERVER_TIME)

    def fill_folders(self, content, mtime):
        """Each folder holds a database with this content and last-write time."""
        for folder in FOLDERS:
            path = os.path.join(self.drive_c, folder, DATABASE)
            with open(path, "wb") as f:
                f.write(content)
            os.utime(path, (mtime, mtime))

    def check_folders(self, expected_digest, side):
        for folder in FOLDERS:
            with open(os.path.join(self.drive_c, folder, DATABASE), "rb") as f:
                if digest(f.read()) != expected_digest:
                    raise SystemExit(f"{side}: {folder}\\{DATABASE} is not what it should be")

    # -- one run of each side ------------------------------------------------------------------
    def run_wine(self, args, env=None, timeout=600):
        """Runs a Windows program to its end; returns its output and Wine's error output. Both
        go through files, not pipes: a service of the prefix that Wine starts on the way would
        hold a pipe open long after the program has ended."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            subprocess.run(["wine", *args], env=env or self.env, stdout=out, stderr=err,
                           timeout=timeout)
            out.seek(0)
            err.seek(0)
            return out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace")

    def program_args(self, keyed=False):
        return [win(BENCH_DIR, "update_bench_driver.exe"),
                win(KEYED_DIR if keyed else BENCH_DIR, "Mivetrak.exe"),
                *[win(folder) for folder in FOLDERS]]

    def run_program(self, env=None, keyed=False):
        """One run of the program (the one with a key when keyed) to its end with exit code 0 and
        one box after the question; returns the seconds from the Yes to the exit and the text of
        that box."""
        out, err = self.run_wine(self.program_args(keyed), env=env)
        match = re.search(r"program_seconds=([\d.]+) exit=(\d+) boxes=(\d+) dialog_seen=(\d)", out)
        if not match:
            raise SystemExit(f"program: no result from the driver: {out.strip()}")
        exit_code, boxes, dialog = int(match[2]), int(match[3]), int(match[4])
        if exit_code != 0 or boxes != 1 or dialog != 1:
            raise SystemExit(f"program: the run did not end well: {out.strip()}")
        self.last_stderr = err
        return float(match[1]), out.split("last_box=", 1)[1].strip()

    def run_raw(self, size, options=()):
        """One run of the plain program with the given options; returns its seconds."""
        work_file = win("users", "Public", "update_raw.tmp")
        out, _ = self.run_wine([win(BENCH_DIR, "update_raw.exe"), *options,
                                self.server.url(update_server.INDEX_PATH), work_file,
                                *[win(folder) for folder in FOLDERS]])
        match = re.search(r"raw_seconds=([\d.]+) bytes=(\d+)", out)
        if not match or int(match[2]) != size:
            raise SystemExit(f"raw: the plain update did not succeed: {out.strip()}")
        return float(match[1])


def measure_update(bench, body, runs, raw_options=(), keyed_seconds=None):
    """Alternates whole updates of body into the two folders, each from an old copy: the
    program's and the plain program's (with raw_options), after one untimed run of each that
    fills the system's caches. Returns the seconds of each side, in order, and the texts of the
    boxes that ended the program's runs. Given a list as keyed_seconds (and a bench made with
    keyed), the program with a key runs too, after the program without one, and its seconds go
    there."""
    body_digest = digest(body)
    statement = bench.sign(body) if keyed_seconds is not None else None
    bench.use_database(bench.serve_database("/bench/" + DATABASE, body), statement)
    boxes = set()

    def program_run(keyed=False):
        bench.fill_folders(b"old database", OLD_TIME)
        seconds, box = bench.run_program(keyed=keyed)
        bench.check_folders(body_digest, "program with a key" if keyed else "program")
        boxes.add(box)
        return seconds

    def raw_run():
        bench.fill_folders(b"old database", OLD_TIME)
        seconds = bench.run_raw(len(body), raw_options)
        bench.check_folders(body_digest, "raw")
        return seconds

    program_run()
    if keyed_seconds is not None:
        program_run(keyed=True)
    raw_run()
    program, raw = [], []
    for _ in range(runs):
        program.append(program_run())
        if keyed_seconds is not None:
            keyed_seconds.append(program_run(keyed=True))
        raw.append(raw_run())
    return program, raw, boxes


def print_update_figures(size_mib, program, raw, boxes, raw_name):
    """The figures of an update benchmark, but for its last line; returns the ratio of the
    medians, program over plain program."""
    print(f"database: {size_mib} MiB into {len(FOLDERS)} folders, loopback HTTP")
    print(f"program (Yes to exit):             {spread(program)}")
    print(f"{raw_name + ' (index request to last copy):':35s}{spread(raw)}")
    print(f"box that ended the program's runs: {' | '.join(sorted(boxes))}")
    print(f"program runs: {', '.join(f'{s:.3f}' for s in program)}")
    print(f"{raw_name} runs: {', '.join(f'{s:.3f}' for s in raw)}")
    # Both sides of one pair ran back to back, under the same load from the rest of the machine.
    paired = [p / r for p, r in zip(program, raw)]
    print(f"ratio per pair: median {statistics.median(paired):.2f}, min {min(paired):.2f}, "
          f"max {max(paired):.2f}")
    return statistics.median(program) / statistics.median(raw)
