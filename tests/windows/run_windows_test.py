#!/usr/bin/python3
"""Runs one Windows integration test exe under Wine in a fresh copy of the template prefix.

Usage: run_windows_test.py --name NAME --exe EXE --build-dir DIR --bin-dir DIR --hold-file EXE
                           [--wrapper SCRIPT] [--env NAME=VALUE]... [--xvfb] [-- TEST-ARGS...]
See tests/windows/CMakeLists.txt for what the test sees.
"""
import argparse
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import wineprefix  # noqa: E402
from xvfb import Xvfb  # noqa: E402


def windows_path(path):
    """The Wine path of a Unix path: drive Z: is the Unix root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def write_crash_report(xml, name, status):
    """A test exe that ended without its report (a crash, a hang cut short) counts as failed."""
    from xml.sax.saxutils import quoteattr
    message = quoteattr("%s ended with exit code %d and wrote no report" % (name, status))
    with open(xml, "w") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                  '<testsuites tests="1" failures="1" errors="0" name=%s>\n'
                  '  <testsuite name=%s tests="1" failures="1" errors="0" skipped="0">\n'
                  '    <testcase name="RunsToTheEnd" classname=%s>\n'
                  '      <failure message=%s/>\n'
                  '    </testcase>\n'
                  '  </testsuite>\n'
                  '</testsuites>\n' % (quoteattr(name), quoteattr(name), quoteattr(name), message))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--name", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("--hold-file", required=True)
    parser.add_argument("--wrapper")
    parser.add_argument("--env", action="append", default=[], metavar="NAME=VALUE")
    parser.add_argument("--xvfb", action="store_true")
    parser.add_argument("test_args", nargs="*")
    args = parser.parse_args()

    work = os.path.join(os.path.abspath(args.build_dir), "windows-test-runs", args.name)
    shutil.rmtree(work, ignore_errors=True)
    prefix = wineprefix.clone_prefix(args.build_dir, os.path.join(work, "prefix"))
    scratch = os.path.join(work, "scratch")
    os.makedirs(scratch)

    env = wineprefix.wine_env(prefix)
    env.pop("DISPLAY", None)
    env["MIVETRAK_BUILD_DIR"] = os.path.abspath(args.build_dir)
    env["MIVETRAK_TEST_TEMP"] = windows_path(scratch) + "\\"
    env["MIVETRAK_BIN_DIR"] = windows_path(args.bin_dir) + "\\"
    env["MIVETRAK_HOLD_FILE"] = windows_path(args.hold_file)
    for assignment in args.env:
        name, _, value = assignment.partition("=")
        env[name] = value

    command = [os.path.join(ROOT, "scripts", "wine-run.sh"), os.path.abspath(args.exe)]
    results = os.environ.get("MIVETRAK_RESULTS")
    if results:
        os.makedirs(os.path.join(results, "windows"), exist_ok=True)
        xml = os.path.join(results, "windows", args.name + ".xml")
        command.append("--gtest_output=xml:" + windows_path(xml))
    command += args.test_args
    if args.wrapper:
        command = ["/usr/bin/python3", os.path.abspath(args.wrapper)] + command

    xvfb = None
    status = None
    try:
        if args.xvfb:
            xvfb = Xvfb()
            env["DISPLAY"] = xvfb.display
        status = subprocess.call(command, env=env, cwd=scratch)
    finally:
        if status == 0:
            wineprefix.end_prefix(prefix)
        else:
            # The run's folder stays for a look, with the registry as the test left it.
            wineprefix.stop_wineserver(prefix)
        if xvfb is not None:
            xvfb.stop()
    if status != 0 and results and not os.path.exists(xml):
        write_crash_report(xml, args.name, status)
    if status == 0:
        shutil.rmtree(work, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
