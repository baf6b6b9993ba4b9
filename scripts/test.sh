#!/usr/bin/env bash
# Builds and runs every test: the Linux suite, the demo, the Debian package,
# the same suite sanitized, the fuzz targets, then the Windows builds (i686
# and x86_64) under Wine and their release archive.
# Every suite runs even when an earlier one failed; the run fails if any did.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build-linux.sh
failed=()
echo "== Linux suite =="
# Some tests use fixed names in the temporary folder: a private one keeps
# them apart from any other run on the machine.
scratch="$(mktemp -d "${TMPDIR:-/tmp}/sumvane-test.XXXXXX")"
# Cases run as an unprivileged user must reach their folders below it.
chmod 755 "$scratch"
(cd build && TMPDIR="$scratch" ctest --output-on-failure -j"$(nproc)") || failed+=("Linux suite")
rm -rf "$scratch"

# The README's demo, run as a newcomer runs it, each step's findings checked.
echo "== Demo =="
bash tests/package/demo.sh || failed+=("Demo")

# The Debian package, built, installed, run and removed (exit code 77:
# skipped, with the reason printed).
echo "== Debian package =="
package_status=0
bash tests/package/deb.sh build || package_status=$?
[ "$package_status" -eq 0 ] || [ "$package_status" -eq 77 ] || failed+=("Debian package")

# The same suite with AddressSanitizer and UndefinedBehaviorSanitizer.
bash scripts/test-sanitized.sh || failed+=("sanitized suite")
# The fuzz targets, each for a bounded time (SUMVANE_FUZZ_SECONDS).
bash tests/fuzz/run.sh || failed+=("fuzz targets")

if [ "${SUMVANE_SKIP_WINDOWS:-0}" = 1 ]; then
  echo "== Windows suites under Wine: skipped (SUMVANE_SKIP_WINDOWS=1) =="
else
  bash tests/wine/run-suite.sh || failed+=("Windows suites under Wine")
fi

if [ ${#failed[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "No suite failed (what was skipped is listed above)."
