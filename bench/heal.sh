#!/usr/bin/env bash
# Healing from a copy (-b): the repair of BENCH_HEAL_FILES damaged 1 MiB files
# (the check that finds them included, and without it: the repair's time less
# that of a plain check of the same damaged tree) against cp copying the same
# files from the same copy, alone and followed by a sync (a repaired file is
# flushed to disk before it takes its place), and the check of the healed
# (clean) tree with -b and without it. The runs are interleaved, warm;
# the medians of their wall times are quoted. Prints a Markdown table and the
# targets: the repair at no less than 0.9 of cp's rate, the clean checks
# within noise of each other.
#
# Every timed run starts alike: nothing waiting to be written, and (as root)
# the caches dropped and both trees read into them again, so that each run
# finds them cached and takes its new pages from memory the machine has used
# before (a virtual machine whose host backs a page only when it is first
# touched would otherwise charge that to whichever run came first). The
# bytes each repair kept are moved aside, not deleted, until the end: a
# thousand files deleted in the archive's folders just before it would slow
# the making of new files there (ext4 passes over recently freed inodes),
# which cp, copying into a folder of its own, would not meet.
#
#   bash bench/heal.sh
#
# Settings (environment):
#   BENCH_HEAL_FILES  1 MiB files in the archive (default 1000)
#   BENCH_HEAL_DIR    where the archive, its copy and cp's target are made (default /tmp/sumvane-bench-heal)
#   BENCH_REPS        runs of each; the median is quoted (default 5)
#   BENCH_SUMVANE     the sumvane binary (default: build/sumvane of this tree)
#
# Exit code 0 when every run did what it should (met or not met targets do
# not change it).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
FILES=${BENCH_HEAL_FILES:-1000}
DIR=${BENCH_HEAL_DIR:-/tmp/sumvane-bench-heal}
REPS=${BENCH_REPS:-5}
SUMVANE=${BENCH_SUMVANE:-$ROOT/build/sumvane}

die() { printf 'bench: %s\n' "$*" >&2; exit 1; }
[[ $FILES =~ ^[0-9]+$ && $FILES -gt 0 && $REPS =~ ^[0-9]+$ && $REPS -gt 0 ]] || die "files and runs must be above 0"
[ -x "$SUMVANE" ] || die "no program at $SUMVANE (build it, or set BENCH_SUMVANE)"
command -v python3 >/dev/null || die "python3 is needed to write and damage the files"

ARCHIVE=$DIR/archive COPY=$DIR/copy CPTARGET=$DIR/cp-target LOGS=$DIR/logs ASIDE=$DIR/kept-aside
rm -rf "$DIR"
mkdir -p "$ARCHIVE" "$LOGS" "$ASIDE"
python3 - "$ARCHIVE" "$FILES" <<'PY'
import os, sys
root, files = sys.argv[1], int(sys.argv[2])
for i in range(files):
    folder = os.path.join(root, "d%02d" % (i % 10))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%05d.bin" % i), "wb") as f:
        f.write(os.urandom(1 << 20))
PY
"$SUMVANE" -f"$ARCHIVE" -r -c -o"$LOGS" >/dev/null 2>&1 || die "the build of the archive failed"
cp -a "$ARCHIVE" "$COPY"

# One byte of every file changed, its date kept: damage as a failing disk makes it.
damage() {
  python3 - "$ARCHIVE" <<'PY'
import os, sys
for folder, _, names in os.walk(sys.argv[1]):
    if ".sumvane-replaced" in folder:
        continue
    for name in names:
        if not name.endswith(".bin"):
            continue
        path = os.path.join(folder, name)
        st = os.stat(path)
        with open(path, "r+b") as f:
            f.seek(12345)
            b = f.read(1)
            f.seek(12345)
            f.write(bytes([b[0] ^ 0xFF]))
        os.utime(path, ns=(st.st_atime_ns, st.st_mtime_ns))
PY
}
now() { date +%s.%N; }
settle() {
  sync
  if [ "$(id -u)" -eq 0 ]; then
    echo 3 >/proc/sys/vm/drop_caches
    find "$ARCHIVE" "$COPY" -path "$ARCHIVE/.sumvane-replaced" -prune -o -type f -exec cat {} + >/dev/null
  fi
}
[ "$(id -u)" -eq 0 ] || echo "bench: not root: the caches are not dropped and read again before each run" >&2
heal_times=() cp_times=() cp_sync_times=() clean_b_times=() clean_times=() damaged_times=()
for rep in $(seq "$REPS"); do
  damage
  if [ -d "$ARCHIVE/.sumvane-replaced" ]; then mv "$ARCHIVE/.sumvane-replaced" "$ASIDE/$rep"; fi
  # The same damaged tree checked without -b: what of the repair's time is
  # the check's.
  settle
  start=$(now)
  status=0
  "$SUMVANE" -f"$ARCHIVE" -r -v -o"$LOGS" >/dev/null 2>&1 || status=$?
  damaged_times+=("$(echo "$(now) - $start" | bc)")
  [ "$status" -eq 1 ] || die "the check of the damaged tree ended with $status, not 1"
  settle
  start=$(now)
  status=0
  "$SUMVANE" -f"$ARCHIVE" -r -v -b"$COPY" -o"$LOGS" >/dev/null 2>&1 || status=$?
  heal_times+=("$(echo "$(now) - $start" | bc)")
  [ "$status" -eq 1 ] || die "the repair run ended with $status, not 1 (damage found)"
  repaired=$(cat "$LOGS"/* | iconv -f UTF-16LE -t UTF-8 | grep -c ' - Repaired from ' || true)
  [ "$repaired" -eq "$FILES" ] || die "$repaired of $FILES files were repaired"

  rm -rf "$CPTARGET"
  settle
  start=$(now)
  cp -a "$COPY" "$CPTARGET"
  cp_times+=("$(echo "$(now) - $start" | bc)")
  # A repair's file is on disk when it takes its place: cp's, after a sync.
  rm -rf "$CPTARGET"
  settle
  start=$(now)
  cp -a "$COPY" "$CPTARGET"
  sync
  cp_sync_times+=("$(echo "$(now) - $start" | bc)")

  settle
  start=$(now)
  "$SUMVANE" -f"$ARCHIVE" -r -v -b"$COPY" -o"$LOGS" >/dev/null 2>&1 || die "the healed tree did not check clean with -b"
  clean_b_times+=("$(echo "$(now) - $start" | bc)")
  settle
  start=$(now)
  "$SUMVANE" -f"$ARCHIVE" -r -v -o"$LOGS" >/dev/null 2>&1 || die "the healed tree did not check clean"
  clean_times+=("$(echo "$(now) - $start" | bc)")
done

rm -rf "$ASIDE"

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
heal=$(median "${heal_times[@]}") cpm=$(median "${cp_times[@]}") cps=$(median "${cp_sync_times[@]}")
clean_b=$(median "${clean_b_times[@]}") clean=$(median "${clean_times[@]}") damaged=$(median "${damaged_times[@]}")
cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')
printf '\n%s files of 1 MiB, %s runs each, interleaved; %s, %s cores\n\n' "$FILES" "$REPS" "$cpu" "$(nproc)"
printf '| run | median s |\n|---|---|\n'
printf '| repair of every file (-v -b, the check included) | %s |\n| check of the damaged tree, no -b | %s |\n' "$heal" "$damaged"
printf '| cp -a of the copy | %s |\n| cp -a of the copy, then sync | %s |\n' "$cpm" "$cps"
printf '| check of the healed tree, -b | %s |\n| check of the healed tree, no -b | %s |\n\n' "$clean_b" "$clean"
awk -v h="$heal" -v c="$cpm" -v s="$cps" -v b="$clean_b" -v n="$clean" -v d="$damaged" 'BEGIN {
  printf "repair rate / cp rate: %.2f; / the rate of cp then sync: %.2f (target: at least 0.90)\n", c / h, s / h
  if (h > d) printf "the repair less its check: / cp rate %.2f; / cp then sync %.2f\n", c / (h - d), s / (h - d)
  printf "clean check with -b / without: %.2f\n", b / n }'
