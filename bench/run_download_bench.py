#!/usr/bin/python3
"""download_vs_raw: the download of a 20 MiB body by InternetSession::DownloadFile against a
plain 64 KiB InternetReadFile loop, side by side in one run under Wine. Builds nothing.

    bench/run_download_bench.py BUILD_DIR [--runs N] [--size-mib M]

BUILD_DIR is a Windows build (cmake/mingw-w64.cmake) holding bin/download_vs_raw.exe (one
configured with -DMIVETRAK_BENCHMARKS=ON). The
script starts a loopback server that answers GET /big with the body, its Content-Length and a
Last-Modified header, a copy of the build's Wine prefix, and runs the benchmark, which prints
each run, the medians and spreads and, as its last line, "download_vs_raw: R" (R = median
throughput of DownloadFile / median of the raw loop).
"""
import argparse
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import wineprefix  # noqa: E402
from loopback_http import LoopbackServer  # noqa: E402


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build_dir")
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--size-mib", type=int, default=20)
    args = parser.parse_args()

    build = os.path.abspath(args.build_dir)
    exe = os.path.join(build, "bin", "download_vs_raw.exe")
    if not os.path.exists(exe):
        raise SystemExit(f"{exe} is missing: configure the build with "
                         "-DMIVETRAK_BENCHMARKS=ON (bench/README.md)")
    work = os.path.join(build, "bench-runs", "download_vs_raw")
    shutil.rmtree(work, ignore_errors=True)
    prefix = wineprefix.clone_prefix(build, os.path.join(work, "prefix"))
    files = os.path.join(work, "files")
    os.makedirs(files)
    env = wineprefix.wine_env(prefix)
    env.pop("DISPLAY", None)
    size = args.size_mib * 1024 * 1024
    body = bytes(range(256)) * (size // 256) + bytes(size % 256)
    server = LoopbackServer()
    server.add_file("/big", body, "Wed, 09 Mar 2022 14:25:36 GMT")
    try:
        server.start()
        command = [os.path.join(ROOT, "scripts", "wine-run.sh"), exe, str(server.port),
                   windows_path(files), str(args.runs)]
        status = subprocess.call(command, env=env, cwd=work)
    finally:
        server.stop()
        wineprefix.stop_wineserver(prefix)
    if status == 0:
        shutil.rmtree(work, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
