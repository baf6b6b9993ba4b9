#!/usr/bin/env bash
# Builds and runs every test: the Linux suite, then the Windows builds
# (i686 and x86_64) under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build-linux.sh
echo "== Linux suite =="
(cd build && ctest --output-on-failure -j"$(nproc)")

if [ -f tests/wine/run-suite.sh ] && [ "${SUMVANE_SKIP_WINDOWS:-0}" != 1 ]; then
  bash tests/wine/run-suite.sh
fi
