#!/usr/bin/env bash
# Builds the libFuzzer targets of the parsers of network input with clang, under AddressSanitizer
# and UBSan, and runs each from its seed corpus for a fixed time. A crash, a sanitizer report, a
# broken invariant or a hang fails the run. Writes a JUnit-style result, one case per target, and
# exits non-zero on any failure.
#
#   tests/fuzz/run_fuzzers.sh [seconds per target, default 20] [result file]
#
# The targets run side by side, as many at a time as the machine has cores (MIVETRAK_FUZZ_JOBS
# sets another number).
#
# The corpus grown during a run stays in the build folder; only the seeds live in the tree.
set -u
cd "$(dirname "$0")/../.."

seconds=${1:-20}
result=${2:-build/test-results/fuzz.xml}
build=build/fuzz
targets=(split_url http_status http_date index_file)
jobs=${MIVETRAK_FUZZ_JOBS:-$(nproc)}
[ "$jobs" -ge 1 ] 2>/dev/null || jobs=1

# Long enough for every limit a target can cross: the 1023-byte path of a URL, the 259-byte
# value of an index line; dates and numbers are short.
max_len() {
    case $1 in
        split_url) echo 2048 ;;
        index_file) echo 4096 ;;
        *) echo 64 ;;
    esac
}

xml_escape() { tr -cd '[:print:]\n' | sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g; s/"/\&quot;/g'; }

mkdir -p "$(dirname "$result")"
cases=""
failures=0

if ! { cmake -S tests/fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null && cmake --build "$build" -j2 >/dev/null; }; then
    echo "fuzz targets: build failed"
    cat >"$result" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="fuzz" tests="1" failures="1">
  <testcase classname="fuzz" name="build"><failure message="the fuzz targets did not build"/></testcase>
</testsuite>
EOF
    exit 1
fi

# Runs one target for the time given and leaves its outcome in $build/$target.outcome: the line
# to print, then its JUnit case.
run_target() {
    local target=$1
    local work="$build/corpus/$target"
    local log="$build/$target.log"
    local outcome="$build/$target.outcome"
    rm -rf "$work" "$outcome"
    mkdir -p "$work" "$build/artifacts"
    local dict=()
    [ -f "tests/fuzz/$target.dict" ] && dict=(-dict="tests/fuzz/$target.dict")

    # New inputs go to the first folder; the seeds are only read.
    UBSAN_OPTIONS=print_stacktrace=1 "$build/${target}_fuzzer" \
        -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "${dict[@]}" "$work" "tests/fuzz/corpus/$target" >"$log" 2>&1
    local code=$?

    local runs corpus coverage summary
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    # libFuzzer's own count of the corpus it holds, written "inputs/size".
    corpus=$(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -1 | cut -d' ' -f2)
    corpus=${corpus:-0/0b}
    coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    summary="${runs:-0} runs in $seconds s, corpus ${corpus%%/*} inputs of ${corpus#*/}"
    summary+=", coverage ${coverage:-0}"

    if [ $code -eq 0 ] && ! grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|invariant failed' "$log"; then
        {
            echo "fuzz $target: passed, $summary"
            echo "  <testcase classname=\"fuzz\" name=\"$target\" time=\"$seconds\"><system-out>$summary</system-out></testcase>"
        } >"$outcome"
    else
        local report artifact message
        report=$(grep -m1 -E 'ERROR:|runtime error:|invariant failed|Test unit written' "$log")
        artifact=$(sed -n 's/.*Test unit written to \([^ ]*\).*/\1/p' "$log" | tail -1)
        message=$(printf '%s; input %s' "${report:-exit $code}" "${artifact:-none}" | xml_escape)
        {
            echo "fuzz $target: FAILED (exit $code), $summary"
            echo "  <testcase classname=\"fuzz\" name=\"$target\" time=\"$seconds\"><failure message=\"$message\"/></testcase>"
            echo "  ${report:-see $log}"
            [ -n "$artifact" ] && echo "  input: $artifact"
        } >"$outcome"
    fi
}

# Each target is single-threaded and runs for a fixed time: as many run at once as there are
# cores, which changes nothing of what each one does in its time.
for ((i = 0; i < ${#targets[@]}; i += jobs)); do
    for target in "${targets[@]:i:jobs}"; do
        run_target "$target" &
    done
    wait
done

for target in "${targets[@]}"; do
    outcome="$build/$target.outcome"
    if [ ! -f "$outcome" ]; then
        failures=$((failures + 1))
        echo "fuzz $target: FAILED, no outcome (see $build/$target.log)"
        cases+="  <testcase classname=\"fuzz\" name=\"$target\" time=\"$seconds\"><failure message=\"no outcome\"/></testcase>"$'\n'
        continue
    fi
    sed -n 1p "$outcome"
    sed -n '3,$p' "$outcome"
    cases+="$(sed -n 2p "$outcome")"$'\n'
    grep -q '<failure' <(sed -n 2p "$outcome") && failures=$((failures + 1))
done

cat >"$result" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="fuzz" tests="${#targets[@]}" failures="$failures">
${cases}</testsuite>
EOF
[ $failures -eq 0 ]
