#!/usr/bin/python3
"""update_vs_raw: the updater's whole update of a large database into two folders, against a
plain program that does the same protocol work, side by side in one run under Wine.

    bench/run_update_bench.py BUILD_DIR [--runs N] [--size-mib M]

BUILD_DIR is a Windows build (cmake/mingw-w64.cmake) whose index URL is
http://127.0.0.1:28461/Software_Update/Tessfetch/ZAVFile.asp. The script starts a loopback update
server, a copy of the build's Wine prefix and Xvfb, then alternates the two sides:

- program: update_bench_driver starts Mivetrak.exe with the two folders, presses Yes on its
  question and OK on the success box at once; the time runs from the Yes to the process's exit.
- raw: update_raw fetches the index, asks for the database's headers (closing the request with
  the body unread), downloads it with 64 KiB reads and copies it into both folders; it times its
  own work from the index request to the last copy (its process start and exit are not counted).

One more run of the program, not timed, goes with Wine's relay trace of user32.PostMessageA and
SendMessageA, which lists every message that the program posted or sent, with its parameters; the
messages to the dialog during the download (ProgressMessage, phase 1) are counted from it.

Prints the median and spread of each side, the message counts, and as its last line
"update_vs_raw: R", R being the program's median over the raw median.
"""
import argparse
import hashlib
import os
import re
import shutil
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import wineprefix  # noqa: E402
import update_server  # noqa: E402
from xvfb import Xvfb  # noqa: E402

DATABASE = "Tolvar32.bdb"
DATABASE_PATH = "/bench/" + DATABASE
SERVER_TIME = 1767225600          # 2026-01-01 00:00:00 UTC
OLD_TIME = 978307200              # 2001-01-01 00:00:00 UTC
FOLDERS = ("inst1", "inst2")
BENCH_DIR = "bench"
PROGRAMS = ("Mivetrak.exe", "Mivetrak.rsl", "update_raw.exe", "update_bench_driver.exe")
RELAY_FUNCTIONS = "user32.PostMessageA;user32.SendMessageA"


def win(*parts):
    return "C:\\" + "\\".join(parts)


class Bench:
    def __init__(self, build_dir, size_mib):
        self.build_dir = os.path.abspath(build_dir)
        self.bin_dir = os.path.join(self.build_dir, "bin")
        for name in PROGRAMS:
            if not os.path.isfile(os.path.join(self.bin_dir, name)):
                raise SystemExit(f"{name} is missing from {self.bin_dir}")
        self.root = os.path.join(self.build_dir, "bench-update")
        self.display = None
        self.size = size_mib * 1024 * 1024
        self.xvfb = None
        self.server = None
        self.prefix = None
        self.env = None
        self.program_boxes = set()  # texts of the boxes that ended the program's runs

    # -- set-up and tear-down ------------------------------------------------------------------
    def start(self):
        try:
            self.xvfb = Xvfb()
        except RuntimeError as error:
            raise SystemExit(str(error))
        self.display = self.xvfb.display

        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        self.prefix = wineprefix.clone_prefix(self.build_dir, os.path.join(self.root, "prefix"))
        self.env = wineprefix.wine_env(self.prefix, self.display)
        self.drive_c = os.path.join(self.prefix, "drive_c")
        bench_dir = os.path.join(self.drive_c, BENCH_DIR)
        os.makedirs(bench_dir)
        for name in PROGRAMS:
            shutil.copy2(os.path.join(self.bin_dir, name), bench_dir)
        for folder in FOLDERS:
            os.makedirs(os.path.join(self.drive_c, folder))
        # One wineserver for the whole run, so that no side pays for starting it.
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)
        # The relay trace of the counting run shows these two calls only.
        subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude",
                        "/t", "REG_SZ", "/d", RELAY_FUNCTIONS, "/f"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

        self.body = os.urandom(self.size)
        self.digest = hashlib.sha256(self.body).hexdigest()
        self.server = update_server.UpdateServer().start()
        url = self.server.url(DATABASE_PATH)
        self.server.add_file(DATABASE_PATH, self.body, SERVER_TIME)
        self.server.set_index(url, url)

    def stop(self):
        if self.server:
            self.server.stop()
        if self.prefix:
            wineprefix.stop_wineserver(self.prefix)
        if self.xvfb:
            self.xvfb.stop()
        shutil.rmtree(self.root, ignore_errors=True)

    # -- one run of each side ------------------------------------------------------------------
    def reset_folders(self):
        """Each folder holds an old copy, so that the program finds both in need of the update
        and a run that installs nothing cannot pass the check that follows it."""
        for folder in FOLDERS:
            path = os.path.join(self.drive_c, folder, DATABASE)
            with open(path, "wb") as f:
                f.write(b"old database")
            os.utime(path, (OLD_TIME, OLD_TIME))

    def check_folders(self, side):
        for folder in FOLDERS:
            path = os.path.join(self.drive_c, folder, DATABASE)
            with open(path, "rb") as f:
                if hashlib.sha256(f.read()).hexdigest() != self.digest:
                    raise SystemExit(f"{side}: {folder}\\{DATABASE} is not the server's file")

    def run_wine(self, args, env=None, timeout=600):
        done = subprocess.run(["wine", *args], env=env or self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=timeout)
        return done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")

    def program_args(self):
        return [win(BENCH_DIR, "update_bench_driver.exe"), win(BENCH_DIR, "Mivetrak.exe"),
                *[win(folder) for folder in FOLDERS]]

    def run_program(self):
        self.reset_folders()
        out, _ = self.run_wine(self.program_args())
        match = re.search(r"program_seconds=([\d.]+) exit=(\d+) boxes=(\d+) dialog_seen=(\d)", out)
        if not match:
            raise SystemExit(f"program: no result from the driver: {out.strip()}")
        seconds, exit_code, boxes, dialog = float(match[1]), int(match[2]), int(match[3]), \
            int(match[4])
        if exit_code != 0 or boxes != 1 or dialog != 1:
            raise SystemExit(f"program: the update did not succeed: {out.strip()}")
        self.check_folders("program")
        self.program_boxes.add(out.split("last_box=", 1)[1].strip())
        return seconds

    def run_raw(self):
        self.reset_folders()
        work_file = win("users", "Public", "update_raw.tmp")
        out, _ = self.run_wine([win(BENCH_DIR, "update_raw.exe"), self.server.url(
            update_server.INDEX_PATH), work_file, *[win(folder) for folder in FOLDERS]])
        match = re.search(r"raw_seconds=([\d.]+) bytes=(\d+)", out)
        if not match or int(match[2]) != self.size:
            raise SystemExit(f"raw: the plain update did not succeed: {out.strip()}")
        self.check_folders("raw")
        return float(match[1])

    def count_messages(self):
        """Runs the program once under the relay trace; returns the ProgressMessages posted with
        phase 1 (the download), all worker messages posted (ProgressMessage and AlertMessage),
        and the questions sent. The driver's own presses (WM_COMMAND) are not among them."""
        self.reset_folders()
        env = dict(self.env)
        env["WINEDEBUG"] = "+relay"
        _, err = self.run_wine(self.program_args(), env=env)
        self.check_folders("counting run")
        call = re.compile(r"Call user32\.(PostMessageA|SendMessageA)\(([0-9a-fA-F]+),"
                          r"([0-9a-fA-F]+),([0-9a-fA-F]+),([0-9a-fA-F]+)\)")
        download = posted = sent = 0
        for line in err.splitlines():
            match = call.search(line)
            if not match:
                continue
            message, wparam = int(match[3], 16), int(match[4], 16)
            if message not in (0x401, 0x402):
                continue
            if match[1] == "PostMessageA":
                posted += 1
                if message == 0x401 and wparam == 1:
                    download += 1
            else:
                sent += 1
        return download, posted, sent


def spread(values):
    return f"median {statistics.median(values):.3f} s, min {min(values):.3f} s, " \
           f"max {max(values):.3f} s over {len(values)} runs"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--size-mib", type=int, default=64)
    options = parser.parse_args()

    bench = Bench(options.build_dir, options.size_mib)
    try:
        bench.start()
        # Warm-up: the first run of each side fills the system's caches.
        bench.run_program()
        bench.run_raw()
        program, raw = [], []
        for _ in range(options.runs):
            program.append(bench.run_program())
            raw.append(bench.run_raw())
        download, posted, sent = bench.count_messages()
    finally:
        bench.stop()

    print(f"database: {options.size_mib} MiB into {len(FOLDERS)} folders, loopback HTTP")
    print(f"program (Yes to exit):          {spread(program)}")
    print(f"raw (index request to last copy): {spread(raw)}")
    print(f"box that ended the program's runs: {' | '.join(sorted(bench.program_boxes))}")
    print(f"program runs: {', '.join(f'{s:.3f}' for s in program)}")
    print(f"raw runs:     {', '.join(f'{s:.3f}' for s in raw)}")
    print(f"window messages posted by the worker during the download (ProgressMessage, phase 1): "
          f"{download}; worker messages posted in the whole run: {posted}; questions sent: {sent}")
    # Both sides of one pair ran back to back, under the same load from the rest of the machine.
    paired = [p / r for p, r in zip(program, raw)]
    print(f"ratio per pair: median {statistics.median(paired):.2f}, min {min(paired):.2f}, "
          f"max {max(paired):.2f}")
    ratio = statistics.median(program) / statistics.median(raw)
    print(f"update_vs_raw: {ratio:.2f}")
    return 0 if ratio <= 1.5 else 1


if __name__ == "__main__":
    sys.exit(main())
