"""Adds up the JUnit-style result files of every test level and prints the closing line."""
import glob
import os
import sys
import xml.etree.ElementTree as ET


def count(path):
    root = ET.parse(path).getroot()
    suites = [root] if root.tag == "testsuite" else root.findall("testsuite")
    total = failed = skipped = 0
    for s in suites:
        total += int(s.get("tests", 0))
        failed += int(s.get("failures", 0)) + int(s.get("errors", 0))
        skipped += int(s.get("skipped", 0)) + int(s.get("disabled", 0))
    return total, failed, skipped


LEVELS = ("native", "fuzz", "windows", "e2e")


def main(results, wanted):
    """wanted: the levels that ran (all of them when empty)."""
    levels = {"native": ("native unit", [os.path.join(results, "native.xml")]),
              "fuzz": ("fuzz", [os.path.join(results, "fuzz.xml")]),
              "windows": ("windows integration",
                          sorted(glob.glob(os.path.join(results, "windows", "*.xml")))),
              # The end-to-end suite runs in parts, each with its own result file.
              "e2e": ("end to end", sorted(glob.glob(os.path.join(results, "e2e", "*.xml"))))}
    levels = dict(levels[key] for key in (wanted or LEVELS))
    passed_all = failed_all = skipped_all = 0
    for level, files in levels.items():
        files = [f for f in files if os.path.exists(f)]
        t = f = s = 0
        for path in files:
            a, b, c = count(path)
            t, f, s = t + a, f + b, s + c
        print(f"{level}: {t - f - s} passed, {f} failed, {s} skipped")
        passed_all += t - f - s
        failed_all += f
        skipped_all += s
    print(f"{passed_all} passed, {failed_all} failed" + (f", {skipped_all} skipped" if skipped_all else ""))
    return 1 if failed_all or passed_all == 0 else 0


if __name__ == "__main__":
    if len(sys.argv) < 2 or any(level not in LEVELS for level in sys.argv[2:]):
        sys.exit(f"usage: summarize_results.py RESULTS [{' | '.join(LEVELS)}]...")
    sys.exit(main(sys.argv[1], sys.argv[2:]))
