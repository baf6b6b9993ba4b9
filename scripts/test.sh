#!/usr/bin/env bash
# Builds and runs every test: the Linux suite, the same suite sanitized,
# the fuzz targets, then the Windows builds (i686 and x86_64) under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build-linux.sh
echo "== Linux suite =="
# Some tests use fixed names in the temporary folder: a private one keeps
# them apart from any other run on the machine.
scratch="$(mktemp -d "${TMPDIR:-/tmp}/sumvane-test.XXXXXX")"
(cd build && TMPDIR="$scratch" ctest --output-on-failure -j"$(nproc)")
rm -rf "$scratch"

# The same suite with AddressSanitizer and UndefinedBehaviorSanitizer.
bash scripts/test-sanitized.sh
# The fuzz targets, each for a bounded time (SUMVANE_FUZZ_SECONDS).
bash tests/fuzz/run.sh

if [ -f tests/wine/run-suite.sh ] && [ "${SUMVANE_SKIP_WINDOWS:-0}" != 1 ]; then
  bash tests/wine/run-suite.sh
fi
