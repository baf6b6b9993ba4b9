#!/usr/bin/env bash
# Configures and builds the Linux program and its tests into build/. Installs
# nothing: scripts/setup.sh does that, once.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v cmake >/dev/null; then
  echo "build-linux.sh: cmake is missing; 'bash scripts/setup.sh demo' installs what the build needs" >&2
  exit 1
fi
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build -j"$(nproc)"
