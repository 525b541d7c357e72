#!/usr/bin/python3
"""update_vs_raw: the updater's whole update of a large database into two folders, against a
plain program that does the same protocol work, side by side in one run under Wine.

    bench/run_update_bench.py BUILD_DIR [--program-build DIR] [--runs N] [--size-mib M]

BUILD_DIR is a Windows build (cmake/mingw-w64.cmake) whose index URL is
http://127.0.0.1:28461/Software_Update/Tessfetch/ZAVFile.asp (bench/update_bench.py says what the
two sides are). The plain program does what the updater does on the network: the index GET, a
HEAD of the database, the full GET with 64 KiB reads, then the copies. The sides alternate, each
run starting from two folders that hold an old copy.

One more run of the program, not timed, goes with Wine's relay trace of user32.PostMessageA and
SendMessageA, which lists every message that the program posted or sent, with its parameters; the
messages to the dialog during the download (ProgressMessage, phase 1) are counted from it.

Prints the median and spread of each side, the message counts, and as its last line
"update_vs_raw: R", R being the program's median over the raw median.
"""
import argparse
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import update_bench  # noqa: E402
from update_bench import MIB, OLD_TIME, UpdateBench  # noqa: E402

RELAY_FUNCTIONS = "user32.PostMessageA;user32.SendMessageA"


def count_messages(bench, body_digest):
    """Runs the program once under the relay trace; returns the ProgressMessages posted with
    phase 1 (the download), all worker messages posted (ProgressMessage and AlertMessage),
    and the questions sent. The driver's own presses (WM_COMMAND) are not among them."""
    bench.fill_folders(b"old database", OLD_TIME)
    env = dict(bench.env)
    env["WINEDEBUG"] = "+relay"
    bench.run_program(env=env)
    bench.check_folders(body_digest, "counting run")
    call = re.compile(r"Call user32\.(PostMessageA|SendMessageA)\(([0-9a-fA-F]+),"
                      r"([0-9a-fA-F]+),([0-9a-fA-F]+),([0-9a-fA-F]+)\)")
    download = posted = sent = 0
    for line in bench.last_stderr.splitlines():
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    update_bench.add_build_arguments(parser)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--size-mib", type=int, default=64)
    options = parser.parse_args()

    size = options.size_mib * MIB
    body = os.urandom(size)
    bench = UpdateBench(options.build_dir, options.program_build)
    try:
        bench.start()
        # The relay trace of the counting run shows these two calls only.
        subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude",
                        "/t", "REG_SZ", "/d", RELAY_FUNCTIONS, "/f"], env=bench.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        program, raw, boxes = update_bench.measure_update(bench, body, options.runs)
        download, posted, sent = count_messages(bench, update_bench.digest(body))
    finally:
        bench.stop()

    ratio = update_bench.print_update_figures(options.size_mib, program, raw, boxes, "raw")
    print(f"window messages posted by the worker during the download (ProgressMessage, phase 1): "
          f"{download}; worker messages posted in the whole run: {posted}; questions sent: {sent}")
    print(f"update_vs_raw: {ratio:.2f}")
    return 0 if ratio <= 1.5 else 1


if __name__ == "__main__":
    sys.exit(main())
