#!/usr/bin/env bash
# Configures and builds the Linux program and its tests into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-linux-deps.sh
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build -j"$(nproc)"
