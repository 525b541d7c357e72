#!/usr/bin/python3
"""signature_overhead_vs_hash: what the check of the maker's release statement adds to a whole
update of a 64 MiB database into two folders, against what the system's SHA-256 alone takes over
the same number of bytes, side by side in one run under Wine.

    bench/run_signature_overhead_bench.py BUILD_DIR [--runs N] [--size-mib M]

BUILD_DIR is a Windows build with the benchmarks' programs and the Windows tests (bench/README.md):
it holds the program without a key (bin/Mivetrak.exe), the program with the tests' public key
(bin/signed/Mivetrak.exe) and signature_cost.exe. The index carries the release statement about
the served database, signed with the build's signing/private.pem; the program without a key
ignores it. Each round runs the program without a key, the program with one, and
signature_cost.exe once (the SHA-256 of as many bytes in 64 KiB chunks, in a process of its own),
after one untimed round that fills the system's caches; the programs' times run from the Yes to
the exit.

Prints the figures of each side and as its last line "signature_overhead_vs_hash: R", R being the
keyed program's median less the other's, over the hash's median; exits with 1 when R is above
1.25.
"""
import argparse
import os
import re
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import update_bench  # noqa: E402
from update_bench import DATABASE, MIB, UpdateBench  # noqa: E402

LIMIT = 1.25
HASH_TOOL = "signature_cost.exe"


def hash_seconds(bench, size_mib):
    """One run of signature_cost.exe: the seconds its SHA-256 of size_mib MiB took."""
    out, _ = bench.run_wine([os.path.join(bench.tool_dir, HASH_TOOL), "1", str(size_mib)])
    match = re.search(r"SHA-256 of \d+ MiB in 64 KiB chunks: median ([\d.]+) ms", out)
    if not match:
        raise SystemExit(f"{HASH_TOOL}: no hash time: {out.strip()}")
    return float(match[1]) / 1000


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir", metavar="BUILD_DIR")
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--size-mib", type=int, default=64)
    options = parser.parse_args()
    if not os.path.isfile(os.path.join(options.build_dir, "bin", HASH_TOOL)):
        raise SystemExit(f"{HASH_TOOL} is missing: configure the build with "
                         "-DMIVETRAK_BENCHMARKS=ON (bench/README.md)")

    body = os.urandom(options.size_mib * MIB)
    body_digest = update_bench.digest(body)
    bench = UpdateBench(options.build_dir, name="bench-signature-overhead", keyed=True)
    keyless, keyed, hashing = [], [], []
    try:
        bench.start()
        bench.use_database(bench.serve_database("/bench/" + DATABASE, body), bench.sign(body))

        def update(with_key):
            bench.fill_folders(b"old database", update_bench.OLD_TIME)
            seconds, _ = bench.run_program(keyed=with_key)
            bench.check_folders(body_digest, "program with a key" if with_key else "program")
            return seconds

        update(False)
        update(True)
        hash_seconds(bench, options.size_mib)
        for _ in range(options.runs):
            keyless.append(update(False))
            keyed.append(update(True))
            hashing.append(hash_seconds(bench, options.size_mib))
    finally:
        bench.stop()

    print(f"database: {options.size_mib} MiB into {len(update_bench.FOLDERS)} folders, "
          "loopback HTTP")
    print(f"program without a key (Yes to exit): {update_bench.spread(keyless)}")
    print(f"program with a key (Yes to exit):    {update_bench.spread(keyed)}")
    print(f"system's SHA-256 alone:              {update_bench.spread(hashing)}")
    # Both updates of a round ran back to back, under the same load from the rest of the machine.
    added = [k - p for k, p in zip(keyed, keyless)]
    print(f"added by the key, per round: median {statistics.median(added) * 1000:.0f} ms, "
          f"min {min(added) * 1000:.0f} ms, max {max(added) * 1000:.0f} ms")
    hash_median = statistics.median(hashing)
    ratio = (statistics.median(keyed) - statistics.median(keyless)) / hash_median
    print(f"signature_overhead_vs_hash: {ratio:.2f}")
    return 0 if ratio <= LIMIT else 1


if __name__ == "__main__":
    sys.exit(main())
