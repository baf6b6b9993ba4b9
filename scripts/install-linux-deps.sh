#!/usr/bin/env bash
# Installs, when missing, what the Linux build needs and, unless called
# with "build", what its tests, the Debian package, the sanitized build and
# the fuzz targets need as well. Not root, it installs through sudo.
set -euo pipefail

scope="${1:-all}"
need=()
# The build: the program, its tests and its manual page (pandoc makes it).
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v ninja >/dev/null || need+=(ninja-build)
command -v md5sum >/dev/null || need+=(coreutils)
[ -f /usr/include/openssl/evp.h ] || need+=(libssl-dev)
[ -f /usr/src/googletest/CMakeLists.txt ] || [ -f /usr/include/gtest/gtest.h ] || need+=(googletest libgtest-dev)
[ -f /usr/include/pty.h ] || need+=(libc6-dev)
command -v pandoc >/dev/null || need+=(pandoc)
# The JSON report's library, header-only (the Windows builds use it too).
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
if [ "$scope" != build ]; then
  # The manual page's checks (man, groff, mandoc) and the Debian package
  # (dpkg-shlibdeps finds its library packages, with file).
  command -v man >/dev/null || need+=(man-db)
  command -v groff >/dev/null || need+=(groff-base)
  command -v mandoc >/dev/null || need+=(mandoc)
  command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
  command -v file >/dev/null || need+=(file)
  # The package's systemd units are checked with systemd-analyze verify.
  command -v systemd-analyze >/dev/null || need+=(systemd)
  # The metrics and the JSON report are read by the real readers: node_exporter's
  # textfile collector, promtool (in Debian's prometheus package) and jq.
  command -v prometheus-node-exporter >/dev/null || need+=(prometheus-node-exporter)
  command -v promtool >/dev/null || need+=(prometheus)
  command -v jq >/dev/null || need+=(jq)
  # The sanitized build and the fuzz targets: clang and its sanitizer and
  # libFuzzer runtimes.
  command -v clang++ >/dev/null || need+=(clang)
  runtime="$(clang++ -print-runtime-dir 2>/dev/null || true)"
  { [ -f "$runtime/libclang_rt.asan-x86_64.a" ] && [ -f "$runtime/libclang_rt.fuzzer-x86_64.a" ]; } ||
    need+=(libclang-rt-dev)
fi

if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "install-linux-deps.sh: not root and no sudo; cannot install ${need[*]}" >&2; exit 1; }
    as_root=(sudo)
  fi
  # sudo keeps no variable of the caller's: the front end is set for apt-get itself.
  # A mirror caught mid-sync fails one index now and then; the lists that did
  # arrive are enough when the packages needed are in them, which the install
  # itself tells.
  for try in 1 2 3; do
      "${as_root[@]}" apt-get update -qq && break
      echo "apt-get update failed (try $try of 3)" >&2
      [ "$try" -lt 3 ] && sleep 20
  done
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi
