#!/usr/bin/env bash
# Builds the libFuzzer targets of this folder with clang into build-fuzz/
# and runs each for a bounded time from its seed corpus (corpus/<target>).
# Any finding (a crash, a sanitizer report, a broken property, a leak, an
# input that takes over 10 s) fails the run and is shown with its input.
# SUMVANE_FUZZ_SECONDS (default 30) is the time given to each target.
set -uo pipefail
cd "$(dirname "$0")/../.."
seconds="${SUMVANE_FUZZ_SECONDS:-30}"
targets=(summary_parse command_line text_round_trip md5_lanes)

bash scripts/install-linux-deps.sh || exit 1
if [ ! -f build-fuzz/CMakeCache.txt ]; then
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DSUMVANE_FUZZ=ON -DSUMVANE_TESTS=OFF >/dev/null || exit 1
fi
cmake --build build-fuzz -j"${JOBS:-2}" --target "${targets[@]/#/fuzz_}" || exit 1

scratch="$(mktemp -d "${TMPDIR:-/tmp}/sumvane-fuzz.XXXXXX")"
failed=0
for target in "${targets[@]}"; do
    echo "== Fuzz $target ($seconds s) =="
    log="$scratch/$target.log"
    mkdir -p "$scratch/$target"
    # New inputs go to the scratch corpus (the first folder); the seeds in
    # the repository stay as they are.
    "build-fuzz/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
        -artifact_prefix="$scratch/$target-" "$scratch/$target" "tests/fuzz/corpus/$target" >"$log" 2>&1
    status=$?
    runs="$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log")"
    if [ "$status" -eq 0 ] && [ -n "$runs" ]; then
        echo "fuzz $target: $runs inputs in $seconds s, no finding"
        continue
    fi
    failed=1
    echo "fuzz $target: FINDING (exit status $status)"
    grep -aE -A30 'ERROR:|runtime error|deadly signal' "$log" | head -n 60
    for artifact in "$scratch/$target"-*; do
        [ -f "$artifact" ] || continue
        echo "input $artifact:"
        od -An -tx1 "$artifact" | head -n 20
    done
done
if [ "$failed" -eq 0 ]; then
    rm -rf "$scratch"
else
    echo "fuzz logs and inputs kept in $scratch"
fi
exit "$failed"
