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
stage_start=$start
stage_done() { echo "-- $(( $(date +%s) - stage_start )) s"; stage_start=$(date +%s); }

build_native() {
    cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMIVETRAK_SANITIZE=ON >/dev/null \
        && cmake --build build/native -j2
}
run_native() {
    (cd build/native && ctest -j2 --output-on-failure --output-junit "$PWD/../../$results/native.xml")
}

if [ $only_native -eq 1 ]; then
    echo "== native unit tests (ASan/UBSan)"
    { build_native && run_native; } || status=1
    echo "test command wall time: $(( $(date +%s) - start )) s"
    /usr/bin/python3 scripts/summarize_results.py "$results" native || status=1
    exit $status
fi

# Work started in the background, each in a process group of its own, so that a test run cut
# short stops it as well.
templates_pid=
native_pid=
trap 'for pid in $templates_pid $native_pid; do kill -TERM -- -"$pid" 2>/dev/null; done' EXIT
trap 'exit 130' INT TERM

echo "== Windows build"
# The Wine template prefixes that the tests copy are made meanwhile: that is mostly waiting.
mkdir -p build/win
setsid /usr/bin/python3 tests/support/wineprefix.py templates build/win >build/wine-templates.log 2>&1 &
templates_pid=$!
win_built=0
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
      -DCMAKE_BUILD_TYPE=Release \
      -DMIVETRAK_INDEX_URL=http://127.0.0.1:28461/Software_Update/Tessfetch/ZAVFile.asp >/dev/null \
    && cmake --build build/win -j2 && win_built=1 || status=1
# Should this have failed, the tests try again themselves and say why.
wait $templates_pid || echo "making the Wine template prefixes failed: build/wine-templates.log"
templates_pid=
stage_done

# The tests under Wine spend most of their time waiting for windows, servers and timeouts. The
# native build, which only needs processor time, uses what they leave: it runs at the idle
# priority, so that it never holds up a test whose timing is measured.
native_log=build/native-build.log
idle=(chrt --idle 0)
"${idle[@]}" true 2>/dev/null || idle=(nice -n 19)
setsid "${idle[@]}" bash -c "$(declare -f build_native); build_native" >"$native_log" 2>&1 &
native_pid=$!

echo "== Windows integration tests and end-to-end tests under Wine (the native build goes on meanwhile)"
# Two at a time: each test has a Wine prefix, a scratch folder and an X display of its own, the
# Windows tests listen on ports that the system picks, and each part of the end-to-end suite has
# a loopback interface of its own (tests/e2e/run_e2e.sh).
if [ $win_built -eq 1 ]; then
    (cd build/win && MIVETRAK_RESULTS="$PWD/../../$results" ctest -j2 --output-on-failure) \
        || status=1
fi
stage_done

echo "== native unit tests (ASan/UBSan)"
native_built=0
wait $native_pid && native_built=1
native_pid=
cat "$native_log"
if [ $native_built -eq 1 ]; then
    run_native || status=1
else
    status=1
fi
stage_done

echo "== fuzz targets of the parsers of network input (ASan/UBSan)"
tests/fuzz/run_fuzzers.sh 20 "$results/fuzz.xml" || status=1
stage_done

echo "test command wall time: $(( $(date +%s) - start )) s"
# The summary's "N passed, N failed" is the last line printed.
/usr/bin/python3 scripts/summarize_results.py "$results" || status=1
exit $status
