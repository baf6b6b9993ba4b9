#!/usr/bin/env bash
# The Windows program under Wine against its own one-stream (CryptoAPI) path
# and against the Linux program, on the trees of bench/run.sh's mixed case:
# 20,000 files of 4 KiB plus 2,000 files of 1 MiB, and the 2,000 files of
# 1 MiB alone. Every command builds the summary (-r -c), warm (each tree read
# once before), in interleaved rounds (one run of each command per round, the
# order rotating), and the report gives medians of wall time and of CPU time
# (the program's process and its children, plus what Wine's server spent
# meanwhile). Then the targets: the lanes at least 3 times as fast as the
# CryptoAPI path on the 1 MiB files (on a processor with AVX2), and the
# Windows program's CPU time on the mixed tree within 2 times the Linux
# program's.
#
# Environment: BENCH_ROUNDS (default 5); BENCH_WIN_BUILD (default
# build-win64; build-win32 for the i686 program where 32-bit programs run);
# SUMVANE_LINUX_BUILD (default build); BENCH_DIR (the trees, default a new
# folder under /tmp, removed at the end).
set -uo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
rounds="${BENCH_ROUNDS:-5}"
win_build="$(realpath -m "${BENCH_WIN_BUILD:-build-win64}")"
linux_build="$(realpath -m "${SUMVANE_LINUX_BUILD:-build}")"
die() { echo "bench/wine.sh: $*" >&2; exit 1; }
[ -x "$linux_build/sumvane" ] || die "no Linux program in $linux_build (cmake --build $linux_build)"
[ -f "$win_build/Sumvane.exe" ] || die "no Sumvane.exe in $win_build (tests/wine/run-suite.sh builds it)"

source tests/wine/wine-env.sh
wine_env_detect
if [ "$WINE_ENV_32BIT" != 1 ] && file "$win_build/Sumvane.exe" | grep -q 'PE32 '; then
    die "$win_build holds the i686 program, and $WINE_ENV_NO_32BIT_REASON"
fi
# A 64-bit program runs under the 64-bit loader itself: Debian's `wine`
# would start it from a 32-bit start.exe, as a process the timing does not
# see.
program_loader="$WINE_ENV_WINE"
if file "$win_build/Sumvane.exe" | grep -q 'PE32+' && [ -x /usr/lib/wine/wine64 ]; then
    program_loader=/usr/lib/wine/wine64
fi
scratch="${BENCH_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/sumvane-bench-wine.XXXXXX")}"
cleanup() {
    wine_env_cleanup
    [ -n "${BENCH_DIR:-}" ] || rm -rf "$scratch"
}
trap cleanup EXIT
wine_env_start "$win_build/tests/keep_desktop.exe" || die "no Wine environment"

# make_files FOLDER COUNT SIZE FOLDERS: COUNT files of SIZE bytes dealt over
# FOLDERS subfolders, incompressible bytes (an AES-CTR keystream).
make_files() {
    local folder="$1" count="$2" size="$3" folders="$4"
    python3 - "$folder" "$count" "$size" "$folders" <<'PY'
import os, sys
folder, count, size, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
for k in range(count):
    sub = os.path.join(folder, "d%03d" % (k % folders))
    os.makedirs(sub, exist_ok=True)
    with open(os.path.join(sub, "f%05d.bin" % k), "wb") as out:
        out.write(os.urandom(size))
PY
}
if [ ! -d "$scratch/mixed" ]; then
    echo "making the trees in $scratch ..."
    make_files "$scratch/mixed" 20000 4096 200
    make_files "$scratch/mixed/large" 2000 1048576 100
    mkdir -p "$scratch/large"
    cp -r "$scratch/mixed/large/." "$scratch/large/"
fi

winpath() { echo "Z:${1//\//\\}"; }
# cpu_of PID: user + system clock ticks of a running process.
cpu_of() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
server_pid="$(pgrep -n -f wineserver -U "$(id -u)" || true)"
ticks="$(getconf CLK_TCK)"

# measure NAME TREE COMMAND...: one timed run; appends "wall cpu" to
# $scratch/NAME.times.
measure() {
    local name="$1" tree="$2"
    shift 2
    rm -f "$tree/Sumvane.md5"
    local before after out
    before="$(cpu_of "$server_pid")"
    /usr/bin/time -f '%e %U %S' -o "$scratch/time.out" "$@" >/dev/null 2>&1 </dev/null
    out="$(tail -n 1 "$scratch/time.out")"
    after="$(cpu_of "$server_pid")"
    [ -s "$tree/Sumvane.md5" ] || die "$name wrote no summary"
    awk -v o="$out" -v s="$((after - before))" -v t="$ticks" \
        'BEGIN { split(o, f, " "); printf "%.3f %.3f\n", f[1], f[2] + f[3] + s / t }' >>"$scratch/$name.times"
}

commands=(lanes cryptoapi linux)
run() {
    local command="$1" tree="$2" name="$1-$(basename "$2")"
    case "$command" in
    lanes) measure "$name" "$tree" "$program_loader" "$win_build/Sumvane.exe" "-f$(winpath "$tree")" -r -c ;;
    cryptoapi) measure "$name" "$tree" env SUMVANE_MD5=cryptoapi "$program_loader" "$win_build/Sumvane.exe" \
        "-f$(winpath "$tree")" -r -c ;;
    linux) measure "$name" "$tree" "$linux_build/sumvane" "-f$tree" -r -c ;;
    esac
}
rm -f "$scratch"/*.times
for tree in "$scratch/large" "$scratch/mixed"; do
    cat $(find "$tree" -type f) >/dev/null  # warm
    for command in "${commands[@]}"; do run "$command" "$tree"; done  # untimed start-up round
    rm -f "$scratch"/*.times
    for round in $(seq "$rounds"); do
        for k in 0 1 2; do run "${commands[$(((round + k) % 3))]}" "$tree"; done
    done
    for command in "${commands[@]}"; do cp "$scratch/$command-$(basename "$tree").times" "$scratch/keep-$command-$(basename "$tree")"; done
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
column_of() { awk -v c="$2" '{ print $c }' "$scratch/keep-$1"; }
cpu_model="$(lscpu | sed -n 's/^Model name: *//p')"
echo
echo "Windows program: $win_build/Sumvane.exe ($(file -b "$win_build/Sumvane.exe" | cut -d, -f1)) under $(wine --version 2>/dev/null || echo Wine)"
echo "CPU: $cpu_model, $(nproc) cores; AVX2: $(grep -qw avx2 /proc/cpuinfo && echo yes || echo no), AVX-512F: $(grep -qw avx512f /proc/cpuinfo && echo yes || echo no); $rounds interleaved rounds, medians"
echo
echo "| command | 2,000 x 1 MiB: wall s | CPU s | mixed tree: wall s | CPU s |"
echo "|---|---|---|---|---|"
declare -A value
for command in "${commands[@]}"; do
    for tree in large mixed; do
        value[$command-$tree-wall]="$(column_of "$command-$tree" 1 | median)"
        value[$command-$tree-cpu]="$(column_of "$command-$tree" 2 | median)"
    done
    case "$command" in
    lanes) label="Sumvane.exe, MD5 lanes (the default)" ;;
    cryptoapi) label="Sumvane.exe, SUMVANE_MD5=cryptoapi" ;;
    linux) label="sumvane (Linux)" ;;
    esac
    echo "| $label | ${value[$command-large-wall]} | ${value[$command-large-cpu]} | ${value[$command-mixed-wall]} | ${value[$command-mixed-cpu]} |"
done
echo
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }'; }
speedup="$(ratio "${value[cryptoapi-large-wall]}" "${value[lanes-large-wall]}")"
cpu="$(ratio "${value[lanes-mixed-cpu]}" "${value[linux-mixed-cpu]}")"
verdict() { awk -v v="$1" -v t="$2" -v d="$3" 'BEGIN { print ((d == "min" && v >= t) || (d == "max" && v <= t)) ? "met" : "NOT met" }'; }
echo "- 2,000 x 1 MiB, the lanes against the CryptoAPI path (wall time): ${speedup}x, target at least 3x: $(verdict "$speedup" 3 min)"
echo "- mixed tree, CPU time of the Windows program against the Linux program's: ${cpu}x, target at most 2x: $(verdict "$cpu" 2 max)"
