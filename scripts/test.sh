#!/usr/bin/env bash
# Runs every test of the project: native unit tests (also under AddressSanitizer and UBSan),
# the fuzz targets of the parsers of network input (20 s each), Windows integration tests under
# Wine, and end-to-end tests of the whole program under Wine in Xvfb. Ends with a line
# "N passed, N failed" and a non-zero exit code on any failure.
#
#   scripts/test.sh            every test
#   scripts/test.sh --native   the native unit tests alone, for everyday work
set -u
cd "$(dirname "$0")/.."

only_native=0
case "${1:-}" in
    "") ;;
    --native) only_native=1 ;;
    *) echo "usage: scripts/test.sh [--native]" >&2; exit 2 ;;
esac

scripts/install-deps.sh || { echo "could not install the build and test tools"; exit 1; }

results=build/test-results
rm -rf "$results"
mkdir -p "$results/windows" "$results/e2e"
status=0
start=$(date +%s)

echo "== native unit tests (ASan/UBSan)"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMIVETRAK_SANITIZE=ON >/dev/null \
    && cmake --build build/native -j2 \
    && (cd build/native && ctest -j2 --output-on-failure --output-junit "$PWD/../../$results/native.xml") \
    || status=1

if [ $only_native -eq 1 ]; then
    echo "test command wall time: $(( $(date +%s) - start )) s"
    /usr/bin/python3 scripts/summarize_results.py "$results" native || status=1
    exit $status
fi

echo "== fuzz targets of the parsers of network input (ASan/UBSan)"
tests/fuzz/run_fuzzers.sh 20 "$results/fuzz.xml" || status=1

echo "== Windows build, integration tests and end-to-end tests under Wine"
# Two at a time: each test has a Wine prefix, a scratch folder and an X display of its own, the
# Windows tests listen on ports that the system picks, and each part of the end-to-end suite has
# a loopback interface of its own (tests/e2e/run_e2e.sh).
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
      -DCMAKE_BUILD_TYPE=Release \
      -DMIVETRAK_INDEX_URL=http://127.0.0.1:28461/Software_Update/Tessfetch/ZAVFile.asp >/dev/null \
    && cmake --build build/win -j2 \
    && (cd build/win && MIVETRAK_RESULTS="$PWD/../../$results" ctest -j2 --output-on-failure) \
    || status=1

echo "test command wall time: $(( $(date +%s) - start )) s"
# The summary's "N passed, N failed" is the last line printed.
/usr/bin/python3 scripts/summarize_results.py "$results" || status=1
exit $status
