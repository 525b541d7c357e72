#!/usr/bin/python3
"""check_scaling: a run that finds every folder up to date, on a 64 MiB database against the same
run on a 20 KB one, side by side in one run under Wine.

    bench/run_check_bench.py BUILD_DIR [--program-build DIR] [--runs N] [--size-mib M]

BUILD_DIR is a Windows build (cmake/mingw-w64.cmake) whose index URL is
http://127.0.0.1:28461/Software_Update/Tessfetch/ZAVFile.asp; --program-build measures the
Mivetrak.exe and Mivetrak.rsl of another such build with BUILD_DIR's tools (see
bench/update_bench.py). The server serves both databases with the same Last-Modified time, and
both installation folders hold a database with that time, so every run ends with the up-to-date
box and installs nothing. The two sizes alternate, the index naming one or the other; each run's
time runs from the Yes to the program's exit. The server counts the body bytes of the large
database that it sends during each of its runs.

Prints the median and spread of each size, the most body bytes that one run of the large database
cost the server, and as its last line "check_scaling: R", R being the large database's median
over the small one's; exits with 1 when R is above 1.5 or a run cost more than 64 KiB of body.
"""
import argparse
import os
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import update_bench  # noqa: E402
from update_bench import DATABASE, MIB, SERVER_TIME, UpdateBench, spread  # noqa: E402

SMALL_SIZE = 20 * 1000
LARGE_PATH = "/bench/large/" + DATABASE
SMALL_PATH = "/bench/small/" + DATABASE
INSTALLED = b"installed database, as new as the server's"
RATIO_LIMIT = 1.5
BODY_LIMIT = 64 * 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    update_bench.add_build_arguments(parser)
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--size-mib", type=int, default=64)
    options = parser.parse_args()

    bench = UpdateBench(options.build_dir, options.program_build, name="bench-check")
    large, small, large_bodies = [], [], []
    boxes = set()
    try:
        bench.start()
        large_url = bench.serve_database(LARGE_PATH, os.urandom(options.size_mib * MIB))
        small_url = bench.serve_database(SMALL_PATH, os.urandom(SMALL_SIZE))
        bench.fill_folders(INSTALLED, SERVER_TIME)
        installed = update_bench.digest(INSTALLED)

        def checked_run(url):
            bench.use_database(url)
            seconds, box = bench.run_program()
            bench.check_folders(installed, "up-to-date run")  # nothing was installed
            boxes.add(box)
            return seconds

        def large_run():
            before = bench.server.body_bytes(LARGE_PATH)
            seconds = checked_run(large_url)
            large_bodies.append(bench.server.body_bytes(LARGE_PATH) - before)
            return seconds

        # Warm-up: the first run of each size fills the system's caches.
        large_run()
        checked_run(small_url)
        for _ in range(options.runs):
            large.append(large_run())
            small.append(checked_run(small_url))
    finally:
        bench.stop()

    print(f"up-to-date runs into {len(update_bench.FOLDERS)} folders, loopback HTTP")
    print(f"{options.size_mib} MiB database (Yes to exit): {spread(large)}")
    print(f"{SMALL_SIZE // 1000} KB database (Yes to exit):  {spread(small)}")
    print(f"box that ended the runs: {' | '.join(sorted(boxes))}")
    print(f"large runs: {', '.join(f'{s:.3f}' for s in large)}")
    print(f"small runs: {', '.join(f'{s:.3f}' for s in small)}")
    print(f"body bytes of the {options.size_mib} MiB database sent per run (warm-up first): "
          f"{', '.join(str(b) for b in large_bodies)}; at most {max(large_bodies)}")
    ratio = statistics.median(large) / statistics.median(small)
    print(f"check_scaling: {ratio:.2f}")
    return 0 if ratio <= RATIO_LIMIT and max(large_bodies) <= BODY_LIMIT else 1


if __name__ == "__main__":
    sys.exit(main())
