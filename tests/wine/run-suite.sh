#!/usr/bin/env bash
# The Windows test suite under Wine: builds Sumvane.exe and the unit tests
# for i686 and x86_64 with MinGW-w64, checks the i686 program's headers and
# the release archive (tests/package/windows_archive.sh),
# runs both unit-test programs under Wine (they then test the Win32
# backend), then the end-to-end suite (the Linux-native driver) against the
# i686 Sumvane.exe, then makes the installer and installs, uses and removes
# it (tests/package/windows_installer.sh). On a machine that cannot run 32-bit programs the i686
# runs are skipped, saying why, and the end-to-end suite drives the x86_64
# Sumvane.exe instead. Prints each suite's counts and a closing
# "N passed, N failed, N skipped" line. The unit tests compare the MD5 lanes
# with OpenSSL's digests, which the Linux build's openssl_digests writes.
# The end-to-end suite leaves screenshots of the progress dialog (with its
# Cancel button) and of the -z box in <that build>/artefacts/, at 96 DPI and,
# the two cases run once more, at 144 DPI.
#
# Environment: SUMVANE_LINUX_BUILD (default build) holds the Linux build
# whose sumvane_e2e_tests drives the end-to-end cases; JOBS (default 2);
# SUMVANE_WINE_64BIT_ONLY=1 takes the 64-bit-only path on any machine.
set -uo pipefail
cd "$(dirname "$0")/../.."
root="$(pwd)"
jobs="${JOBS:-2}"
linux_build="$(realpath -m "${SUMVANE_LINUX_BUILD:-build}")"

bash tests/wine/install-packages.sh || exit 1
source tests/wine/wine-env.sh
wine_env_detect
if [ "$WINE_ENV_32BIT" = 1 ]; then
    echo "== Wine: 32-bit programs run here; both builds are tested =="
else
    echo "== Wine: 64-bit only: $WINE_ENV_NO_32BIT_REASON =="
fi

# build_windows ARCH DIR [CMAKE_ARGUMENT...]: configures DIR when it has no
# cache or when arguments are given, then builds it.
build_windows() {
    local arch="$1" dir="$2"
    shift 2
    echo "== Windows build ($arch) =="
    if [ ! -f "$dir/CMakeCache.txt" ] || [ $# -gt 0 ]; then
        cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-w64-mingw32.cmake" \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$dir.configure.log" 2>&1 ||
            { cat "$dir.configure.log"; return 1; }
    fi
    cmake --build "$dir" -j"$jobs" || return 1
}
# The i686 build packs the release archive, with the x86_64 program.
build_windows i686 build-win32 -DSUMVANE_WIN64_BUILD="$root/build-win64" || exit 1
build_windows x86_64 build-win64 || exit 1
echo "== Linux end-to-end driver and OpenSSL's digests =="
if [ ! -f "$linux_build/CMakeCache.txt" ]; then
    cmake -S . -B "$linux_build" -G Ninja >/dev/null || exit 1
fi
cmake --build "$linux_build" -j"$jobs" --target sumvane sumvane_e2e_tests sumvane_openssl_digests || exit 1

total_passed=0
total_failed=0
total_skipped=0
suites_failed=0

# The i686 program must stay large-address-aware (1 GiB views fail without
# it) and static (no MinGW DLLs beside it), whether or not it can run here.
echo "== i686 Sumvane.exe headers =="
headers="$(i686-w64-mingw32-objdump -p build-win32/Sumvane.exe 2>&1)"
mingw_dlls="$(grep -E 'DLL Name: lib' <<<"$headers")"
if grep -q 'file format pei-i386' <<<"$headers" && grep -q 'large address aware' <<<"$headers" &&
    [ -z "$mingw_dlls" ]; then
    echo "i686 Sumvane.exe headers: 1 passed, 0 failed, 0 skipped (PE32, large-address-aware, no MinGW DLLs)"
    total_passed=$((total_passed + 1))
else
    echo "i686 Sumvane.exe headers: not a static, large-address-aware PE32 program"
    grep -E 'file format|Characteristics|large address|DLL Name' <<<"$headers"
    echo "i686 Sumvane.exe headers: 0 passed, 1 failed, 0 skipped"
    total_failed=$((total_failed + 1))
    suites_failed=$((suites_failed + 1))
fi

# The release archive holds the programs checked above and tested below.
echo "== Windows release archive =="
if bash tests/package/windows_archive.sh build-win32 build-win64; then
    total_passed=$((total_passed + 1))
else
    total_failed=$((total_failed + 1))
    suites_failed=$((suites_failed + 1))
fi

# The build the end-to-end suite drives, with its helper programs: the
# 32-bit one where it can run, as shipped.
if [ "$WINE_ENV_32BIT" = 1 ]; then
    e2e_arch=i686
    e2e_build="$root/build-win32"
else
    e2e_arch=x86_64
    e2e_build="$root/build-win64"
fi

trap wine_env_cleanup EXIT
echo "== Wine environment =="
wine_env_start "$e2e_build/tests/keep_desktop.exe" || exit 1
echo "display $DISPLAY, prefix $WINEPREFIX, launcher $WINE_ENV_WINE"

# count_of LOG WORD: the number in gtest's "[  WORD  ] N test(s)" summary.
count_of() {
    local number
    number="$(grep -aE "^\[ *$2 *\] [0-9]+ tests?[,.]" "$1" | tail -n 1 | sed -E 's/^\[[^]]*\] ([0-9]+).*/\1/')"
    echo "${number:-0}"
}

# run_gtest NAME LOG COMMAND...: runs one gtest program, prints its counts.
run_gtest() {
    local name="$1" log="$2"
    shift 2
    echo "== $name =="
    "$@" >"$log" 2>&1
    local status=$?
    local passed failed skipped
    passed="$(count_of "$log" PASSED)"
    failed="$(count_of "$log" FAILED)"
    skipped="$(count_of "$log" SKIPPED)"
    grep -aE '^\[  (FAILED|SKIPPED) +\] [^0-9]' "$log" | sort -u
    if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
        # A crash or a time-out: no summary to count, but not a pass.
        echo "$name ended with status $status before its summary"
        tail -n 30 "$log"
        failed=$((failed + 1))
    elif [ "$failed" -ne 0 ]; then
        grep -aB2 -A20 'Failure$' "$log" | head -n 200
    fi
    if [ "$passed" -eq 0 ] && [ "$failed" -eq 0 ]; then
        echo "$name ran no test"
        failed=$((failed + 1))
    fi
    echo "$name: $passed passed, $failed failed, $skipped skipped"
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
    [ "$failed" -eq 0 ] || suites_failed=$((suites_failed + 1))
}

# skip_suite NAME: a suite that cannot run on this machine, counted as one
# skipped entry with the reason.
skip_suite() {
    echo "== $1 =="
    echo "$1: skipped (the whole suite, counted as one): $WINE_ENV_NO_32BIT_REASON"
    total_skipped=$((total_skipped + 1))
}

logs="$(mktemp -d "${TMPDIR:-/tmp}/sumvane-wine-logs.XXXXXX")"
"$linux_build/tests/openssl_digests" "$logs/openssl-digests.txt" || { echo "openssl_digests failed"; exit 1; }
# Wine hands the variable to the Windows program as it is: a Windows path.
export SUMVANE_OPENSSL_DIGESTS="Z:${logs//\//\\}\\openssl-digests.txt"
for arch in win32 win64; do
    exe="$root/build-$arch/tests/sumvane_unit_tests.exe"
    if [ "$arch" = win32 ] && [ "$WINE_ENV_32BIT" != 1 ]; then
        skip_suite "Wine unit tests ($arch)"
        continue
    fi
    if ! wine_env_check_32bit "$exe"; then
        echo "wine unit tests ($arch): cannot run"
        total_failed=$((total_failed + 1))
        suites_failed=$((suites_failed + 1))
        continue
    fi
    run_gtest "Wine unit tests ($arch)" "$logs/unit-$arch.log" \
        timeout --kill-after=10 900 "$WINE_ENV_WINE" "$exe" </dev/null
done

desktop="$(ls -d "$WINEPREFIX"/drive_c/users/*/Desktop 2>/dev/null | grep -v '/Public/' | head -n 1)"
desktop="$(readlink -f "$desktop")"
echo "desktop $desktop"
if [ "$e2e_arch" != i686 ]; then
    skip_suite "Wine end-to-end tests (i686 Sumvane.exe)"
fi
artefacts="$e2e_build/artefacts"
rm -rf "$artefacts"
mkdir -p "$artefacts/96dpi" "$artefacts/144dpi"
# e2e NAME LOG SCREENSHOTS [GTEST_ARGUMENT...]: the end-to-end suite against
# the chosen Sumvane.exe, its screenshots going to SCREENSHOTS.
e2e() {
    local name="$1" log="$2" shots="$3"
    shift 3
    run_gtest "$name" "$log" \
        env SUMVANE_WINE=1 SUMVANE_EXE="$e2e_build/Sumvane.exe" SUMVANE_WINE_DESKTOP="$desktop" \
        SUMVANE_LINUX_EXE="$linux_build/sumvane" SUMVANE_SCREENSHOTS="$shots" \
        timeout --kill-after=10 1800 "$linux_build/tests/sumvane_e2e_tests" "$@" </dev/null
}
e2e "Wine end-to-end tests ($e2e_arch Sumvane.exe)" "$logs/e2e.log" "$artefacts/96dpi"
# The windows as a screen of 144 DPI (150 %) shows them; the programs read
# the setting when they start.
wine_run 60 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
e2e "Wine end-to-end tests at 144 DPI (the windows photographed)" "$logs/e2e-144.log" "$artefacts/144dpi" \
    --gtest_filter='*ProgressDialogShowsAnAmpersand*:*HashToClipboardShowsTheDigits*'
wine_run 60 reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1
for shot in "$artefacts"/*/*.png; do
    [ -s "$shot" ] && echo "screenshot: $shot"
done

# The installer, made from the builds tested above, installed, used and
# removed in this prefix (a 32-bit program: skipped, saying why, where none
# can run).
installer_status=0
bash tests/package/windows_installer.sh build-win32 || installer_status=$?
case "$installer_status" in
0) total_passed=$((total_passed + 1)) ;;
77) total_skipped=$((total_skipped + 1)) ;;
*)
    total_failed=$((total_failed + 1))
    suites_failed=$((suites_failed + 1))
    ;;
esac

rm -rf "$logs"
echo "== Windows suites under Wine =="
echo "$total_passed passed, $total_failed failed, $total_skipped skipped"
[ "$suites_failed" -eq 0 ]
