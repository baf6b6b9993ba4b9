#!/usr/bin/env bash
# Installs what the Linux build, its tests, the Debian package, the sanitized
# build and the fuzz targets need when it is missing.
set -euo pipefail

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v ninja >/dev/null || need+=(ninja-build)
command -v md5sum >/dev/null || need+=(coreutils)
[ -f /usr/include/openssl/evp.h ] || need+=(libssl-dev)
[ -f /usr/src/googletest/CMakeLists.txt ] || [ -f /usr/include/gtest/gtest.h ] || need+=(googletest libgtest-dev)
[ -f /usr/include/pty.h ] || need+=(libc6-dev)
# The manual page (pandoc makes it), its checks (man, groff, mandoc) and the
# Debian package (dpkg-shlibdeps finds its library packages, with file).
command -v pandoc >/dev/null || need+=(pandoc)
command -v man >/dev/null || need+=(man-db)
command -v groff >/dev/null || need+=(groff-base)
command -v mandoc >/dev/null || need+=(mandoc)
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
command -v file >/dev/null || need+=(file)
# The sanitized build and the fuzz targets: clang and its sanitizer and
# libFuzzer runtimes.
command -v clang++ >/dev/null || need+=(clang)
runtime="$(clang++ -print-runtime-dir 2>/dev/null || true)"
{ [ -f "$runtime/libclang_rt.asan-x86_64.a" ] && [ -f "$runtime/libclang_rt.fuzzer-x86_64.a" ]; } ||
  need+=(libclang-rt-dev)

if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq "${need[@]}"
fi
