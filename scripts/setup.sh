#!/usr/bin/env bash
# Installs once, from Debian's packages and only what is missing, what the
# project's commands need; not root, it installs through sudo.
# scripts/build-linux.sh installs nothing itself.
#   scripts/setup.sh demo   the Linux build: compiler, CMake, Ninja, OpenSSL,
#                           GoogleTest and pandoc (for the manual page)
#   scripts/setup.sh        all of that and what the tests need: clang and
#                           its sanitizer and fuzzer runtimes, the package and
#                           manual-page checkers, and, unless
#                           SUMVANE_SKIP_WINDOWS=1, MinGW-w64, Wine and Xvfb
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-test}" in
demo)
  bash scripts/install-linux-deps.sh build
  ;;
test)
  bash scripts/install-linux-deps.sh
  if [ "${SUMVANE_SKIP_WINDOWS:-0}" != 1 ]; then
    bash tests/wine/install-packages.sh
  fi
  ;;
*)
  echo "usage: scripts/setup.sh [demo | test]" >&2
  exit 2
  ;;
esac
