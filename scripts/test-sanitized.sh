#!/usr/bin/env bash
# Builds the Linux program and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ and runs the whole ctest
# suite there: the end-to-end cases drive the sanitized program. Any
# sanitizer report fails the run, even one from a run whose test passed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-linux-deps.sh

# Without the check of an object's dynamic type (vptr): the runtime tells
# a sound object from a dead one by writing its memory into a pipe, and the
# cases that run the program with its table of descriptors full on purpose
# (a limit of 16 open files) leave it none. There it calls sound objects
# invalid: 16 of 80 low-limit checks of a 23-level tree failed so, none of
# 320 without it. A dead object is still found, by AddressSanitizer.
flags="-fsanitize=address,undefined -fno-sanitize=vptr -fno-sanitize-recover=all -fno-omit-frame-pointer"
# clang: GCC's runtime writes undefined-behaviour reports to standard error
# only, never to the report files below. Unoptimized, with line tables for
# the reports: it builds in half the time, and the suite spends its time in
# system calls, not in our code. Configured each time, so that a tree
# configured with other flags takes these.
cmake -S . -B build-asan -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build build-asan -j"${JOBS:-2}"

# Reports go to files as well as failing their process, with an exit code no
# test expects from the program.
reports="$(pwd)/build-asan/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="log_path=$reports/asan:exitcode=86:detect_leaks=1"
export UBSAN_OPTIONS="log_path=$reports/ubsan:exitcode=86:print_stacktrace=1:halt_on_error=1"

echo "== Linux suite, sanitized (address, undefined) =="
# Some tests use fixed names in the temporary folder: a private one keeps
# them apart from any other run on the machine.
scratch="$(mktemp -d "${TMPDIR:-/tmp}/sumvane-asan.XXXXXX")"
# Cases run as an unprivileged user must reach their folders below it, and
# write their reports.
chmod 755 "$scratch"
chmod 1777 "$reports"
status=0
(cd build-asan && TMPDIR="$scratch" ctest --output-on-failure -j"${JOBS:-2}") || status=1
rm -rf "$scratch"
if [ -n "$(ls -A "$reports")" ]; then
  echo "sanitizer reports: $(ls "$reports" | wc -l) (the first three follow; all are in $reports)"
  for report in $(ls "$reports" | head -n 3); do
    echo "--- $report"
    head -n 60 "$reports/$report"
  done
  status=1
fi
echo "sanitized suite: $([ "$status" -eq 0 ] && echo "passed, no sanitizer report" || echo FAILED)"
exit "$status"
