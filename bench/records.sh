#!/usr/bin/env bash
# The record of each file's size and date beside a summary (Sumvane.md5.dates):
# its size at BENCH_RECORD_FILES entries, and the check of that tree with the
# record and without it (removed, so that the summary's own date decides), the
# two interleaved, warm, with the medians of their wall times and the largest
# resident set of each. Prints a Markdown table, then the targets: at most 24
# bytes an entry, the two checks at most 10 % apart, each within 64 MiB.
#
#   bash bench/records.sh
#
# Settings (environment):
#   BENCH_RECORD_FILES  100-byte files in the tree, over 1,000 folders (default 1000000)
#   BENCH_RECORD_DIR    where the tree is kept from run to run (default /tmp/sumvane-bench-records);
#                       a run reuses it when its marker (BENCH_RECORD_DIR.files) says it holds that many files
#   BENCH_REPS          runs of each check; the median is quoted (default 5)
#   BENCH_SUMVANE       the sumvane binary (default: build/sumvane of this tree)
#
# Exit code 0 when every run succeeded (met or not met targets do not change it).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
FILES=${BENCH_RECORD_FILES:-1000000}
TREE=${BENCH_RECORD_DIR:-/tmp/sumvane-bench-records}
REPS=${BENCH_REPS:-5}
SUMVANE=${BENCH_SUMVANE:-$ROOT/build/sumvane}
FOLDERS=1000

die() { printf 'bench: %s\n' "$*" >&2; exit 1; }
[[ $FILES =~ ^[0-9]+$ && $FILES -gt 0 && $REPS =~ ^[0-9]+$ && $REPS -gt 0 ]] || die "files and runs must be above 0"
[ -x "$SUMVANE" ] || die "no program at $SUMVANE (build it, or set BENCH_SUMVANE)"
[ -x /usr/bin/time ] || die "/usr/bin/time is needed (Debian: apt-get install time)"
command -v python3 >/dev/null || die "python3 is needed to write the tree"

# --- the tree: written once, kept --------------------------------------------
MARK="$TREE.files"  # beside the tree, so that it is no file of it
if [ "$(cat "$MARK" 2>/dev/null)" != "$FILES" ]; then
  printf 'Writing %s files of 100 bytes into %s ...\n' "$FILES" "$TREE" >&2
  rm -rf "$TREE"
  python3 - "$TREE" "$FILES" "$FOLDERS" <<'PY'
import os, sys
root, files, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for d in range(folders):
    os.makedirs(os.path.join(root, "d%04d" % d), exist_ok=True)
for n in range(files):
    with open(os.path.join(root, "d%04d" % (n % folders), "f%07d" % n), "wb") as f:
        f.write(("file %d " % n).encode().ljust(100, b"."))
PY
  printf '%s\n' "$FILES" >"$MARK"
fi

SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
LOGS="$SCRATCH/log"
mkdir -p "$LOGS"

# One timed run: wall seconds and max RSS in KiB into $SCRATCH/last.
timed() {
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$SCRATCH/rss" "$@" >/dev/null 2>"$SCRATCH/err" || {
    cat "$SCRATCH/err" >&2; die "failed: $*"; }
  end=$(date +%s.%N)
  printf '%s %s\n' "$(echo "$end - $start" | bc)" "$(tail -1 "$SCRATCH/rss")" >"$SCRATCH/last"
}

printf 'Building the summary and its record ...\n' >&2
timed "$SUMVANE" -f"$TREE" -r -c -o"$LOGS"
read -r BUILD_S BUILD_KIB <"$SCRATCH/last"
RECORD_BYTES=$(stat -c %s "$TREE/Sumvane.md5.dates")
SUMMARY_BYTES=$(stat -c %s "$TREE/Sumvane.md5")
cp -p "$TREE/Sumvane.md5.dates" "$SCRATCH/dates"

# Warm: every file and the summary read once, untimed.
"$SUMVANE" -f"$TREE" -r -v -o"$LOGS" >/dev/null 2>&1 || die "the first check found a problem"

: >"$SCRATCH/with"; : >"$SCRATCH/without"
for ((round = 0; round < REPS; round++)); do
  for kind in with without; do
    # Alternate which goes first, so that a change in the machine's load
    # falls on both alike.
    [ $((round % 2)) -eq 1 ] && kind=$([ "$kind" = with ] && echo without || echo with)
    if [ "$kind" = with ]; then cp -p "$SCRATCH/dates" "$TREE/Sumvane.md5.dates"; else rm -f "$TREE/Sumvane.md5.dates"; fi
    timed "$SUMVANE" -f"$TREE" -r -v -o"$LOGS"
    cat "$SCRATCH/last" >>"$SCRATCH/$kind"
  done
done
cp -p "$SCRATCH/dates" "$TREE/Sumvane.md5.dates"
# Once each, for their memory: the check that walks the tree too and would
# write a rewrite with its record, and a check in slices.
timed "$SUMVANE" -f"$TREE" -r -avc -o"$LOGS"
read -r AVC_S AVC_KIB <"$SCRATCH/last"
timed "$SUMVANE" -f"$TREE" -v -t1h -o"$LOGS"
read -r SLICE_S SLICE_KIB <"$SCRATCH/last"
rm -f "$TREE/Sumvane.md5.place"

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
WITH_S=$(cut -d' ' -f1 "$SCRATCH/with" | median)
WITHOUT_S=$(cut -d' ' -f1 "$SCRATCH/without" | median)
WITH_KIB=$(cut -d' ' -f2 "$SCRATCH/with" | sort -n | tail -1)
WITHOUT_KIB=$(cut -d' ' -f2 "$SCRATCH/without" | sort -n | tail -1)

CPU=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
printf '\n%s files, %s runs of each check, %s (%s cores)\n\n' "$FILES" "$REPS" "$CPU" "$(getconf _NPROCESSORS_ONLN)"
printf '| case | median s | max RSS MiB |\n|---|---|---|\n'
printf '| build (-r -c), one run | %.2f | %.1f |\n' "$BUILD_S" "$(echo "$BUILD_KIB / 1024" | bc -l)"
printf '| check (-r -v) with the record | %.2f | %.1f |\n' "$WITH_S" "$(echo "$WITH_KIB / 1024" | bc -l)"
printf '| check (-r -v) without it | %.2f | %.1f |\n' "$WITHOUT_S" "$(echo "$WITHOUT_KIB / 1024" | bc -l)"
printf '| check walking the tree (-r -avc), one run | %.2f | %.1f |\n' "$AVC_S" "$(echo "$AVC_KIB / 1024" | bc -l)"
printf '| check in slices (-v -t1h), one run | %.2f | %.1f |\n' "$SLICE_S" "$(echo "$SLICE_KIB / 1024" | bc -l)"
printf '\nSumvane.md5: %s bytes; Sumvane.md5.dates: %s bytes\n\n' "$SUMMARY_BYTES" "$RECORD_BYTES"

verdict() { if [ "$1" = 1 ]; then echo met; else echo "NOT met"; fi; }
PER=$(echo "$RECORD_BYTES / $FILES" | bc -l)
APART=$(echo "($WITH_S - $WITHOUT_S) / $WITHOUT_S * 100" | bc -l)
printf -- '- record size: %.2f bytes an entry (at most 24): %s\n' "$PER" "$(verdict "$(echo "$PER <= 24" | bc -l)")"
printf -- '- check with the record against without: %+.1f %% (at most 10 %% apart): %s\n' "$APART" \
  "$(verdict "$(echo "$APART <= 10 && $APART >= -10" | bc -l)")"
MOST_KIB=$(printf '%s\n' "$BUILD_KIB" "$WITH_KIB" "$WITHOUT_KIB" "$AVC_KIB" "$SLICE_KIB" | sort -n | tail -1)
printf -- '- memory of the build and every check (at most 64 MiB): %.1f MiB: %s\n' "$(echo "$MOST_KIB / 1024" | bc -l)" \
  "$(verdict "$(echo "$MOST_KIB <= 65536" | bc -l)")"
