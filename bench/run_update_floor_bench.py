#!/usr/bin/python3
"""update_vs_floor: the updater's whole update of a 64 MiB database into two folders, against the
least work that can do it, side by side in one run under Wine.

    bench/run_update_floor_bench.py BUILD_DIR [--program-build DIR] [--runs N] [--size-mib M]
                                    [--flush-copies] [--with-key]

BUILD_DIR is a Windows build (cmake/mingw-w64.cmake) whose index URL is
http://127.0.0.1:28461/Software_Update/Tessfetch/ZAVFile.asp; --program-build measures the
Mivetrak.exe and Mivetrak.rsl of another such build with BUILD_DIR's tools (bench/update_bench.py
says what the two sides are). The floor is update_raw without its HEAD: the index GET, one full
GET of the database with 64 KiB reads into a work file, and a copy into each folder; nothing
else. With --flush-copies it also flushes each copy to the disk, which is the least work that is
safe for a program that flushes its copies before it lets the old database go. The sides
alternate, each run starting from two folders that hold an old copy; the program's time runs from
the Yes to its exit.

Prints the median and spread of each side and as its last line "update_vs_floor: R", R being the
program's median over the floor's median; exits with 1 when R is above 1.3.

With --with-key, each round also runs BUILD_DIR's program built with a public key
(bin/signed/Mivetrak.exe, made by the Windows tests' build), and the index carries the database's
signature made with the build's signing/private.pem, so that the keyed program checks it and the
other ignores it. The last line is then "update_vs_floor: R, with key: K (+P %)", K being the
keyed program's median over the floor's and P what the check adds to the program's median; it
exits with 1 also when P is above 10.
"""
import argparse
import os
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import update_bench  # noqa: E402
from update_bench import MIB, UpdateBench  # noqa: E402

LIMIT = 1.3
KEY_COST_LIMIT = 10.0  # percent of the whole update


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    update_bench.add_build_arguments(parser)
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--size-mib", type=int, default=64)
    parser.add_argument("--flush-copies", action="store_true",
                        help="the floor flushes each copy to the disk")
    parser.add_argument("--with-key", action="store_true",
                        help="also measure the program built with a public key, on a signed "
                             "database")
    options = parser.parse_args()

    body = os.urandom(options.size_mib * MIB)
    floor_options = ["--no-headers"] + (["--flush"] if options.flush_copies else [])
    bench = UpdateBench(options.build_dir, options.program_build, name="bench-update-floor",
                        keyed=options.with_key)
    keyed = [] if options.with_key else None
    try:
        bench.start()
        program, floor, boxes = update_bench.measure_update(bench, body, options.runs,
                                                            floor_options, keyed)
    finally:
        bench.stop()

    print(f"floor: {' '.join(floor_options)}")
    ratio = update_bench.print_update_figures(options.size_mib, program, floor, boxes, "floor")
    if keyed is None:
        print(f"update_vs_floor: {ratio:.2f}")
        return 0 if ratio <= LIMIT else 1

    print(f"program with a key (Yes to exit):  {update_bench.spread(keyed)}")
    print(f"program with a key runs: {', '.join(f'{s:.3f}' for s in keyed)}")
    paired = [k / p for k, p in zip(keyed, program)]
    print(f"with key over without, per pair: median {statistics.median(paired):.3f}, "
          f"min {min(paired):.3f}, max {max(paired):.3f}")
    keyed_ratio = statistics.median(keyed) / statistics.median(floor)
    cost = (statistics.median(keyed) / statistics.median(program) - 1) * 100
    print(f"update_vs_floor: {ratio:.2f}, with key: {keyed_ratio:.2f} ({cost:+.1f} %)")
    return 0 if ratio <= LIMIT and cost <= KEY_COST_LIMIT else 1


if __name__ == "__main__":
    sys.exit(main())
