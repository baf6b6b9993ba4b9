#!/usr/bin/env bash
# Installs what the Linux build and its tests need when it is missing.
set -euo pipefail

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v ninja >/dev/null || need+=(ninja-build)
command -v md5sum >/dev/null || need+=(coreutils)
[ -f /usr/include/openssl/evp.h ] || need+=(libssl-dev)
[ -f /usr/src/googletest/CMakeLists.txt ] || [ -f /usr/include/gtest/gtest.h ] || need+=(googletest libgtest-dev)
[ -f /usr/include/pty.h ] || need+=(libc6-dev)

if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq "${need[@]}"
fi
