#!/usr/bin/env bash
# Speed and memory benchmark: sumvane against md5sum, rhash and hashdeep on the
# same files, in the same run, with the same (warm) page-cache state.
#
#   bash bench/run.sh
#
# Settings (environment):
#   BENCH_LARGE_MIB  size of the large file in MiB            (default 2048)
#   BENCH_FILES      number of files in the small-file tree    (default 2000)
#   BENCH_REPS       timed runs per command; the median is shown (default 3)
#   BENCH_DIR        parent of the scratch folder               (default /tmp)
#   BENCH_KEEP=1     keep the scratch folder afterwards
#
# Scratch data (the large file, the tree, outputs, logs) lives in one folder
# made under BENCH_DIR and is removed on exit unless BENCH_KEEP=1.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$ROOT/build-bench"
SUMVANE="$BUILD/sumvane"
LARGE_MIB=${BENCH_LARGE_MIB:-2048}
NFILES=${BENCH_FILES:-2000}
REPS=${BENCH_REPS:-3}
PARENT=${BENCH_DIR:-/tmp}

note() { printf '%s\n' "$*" >&2; }
die() { note "bench: $*"; exit 1; }

is_root() { [ "$(id -u)" -eq 0 ]; }

apt_install() {
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq "$@" >/dev/null 2>&1 ||
    { apt-get update -qq >/dev/null 2>&1 && apt-get install -y -qq "$@" >/dev/null 2>&1; }
}

# --- tools -------------------------------------------------------------------

if [ ! -x "$SUMVANE" ]; then
  note "Building a Release sumvane in $BUILD ..."
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSUMVANE_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j2 >/dev/null
fi
[ -x "$SUMVANE" ] || die "no sumvane binary at $SUMVANE"
command -v md5sum >/dev/null || die "md5sum is required"

declare -A PKG_OF=([rhash]=rhash [hashdeep]=hashdeep)
HAVE_RHASH=0 HAVE_HASHDEEP=0
for peer in rhash hashdeep; do
  if ! command -v "$peer" >/dev/null; then
    if is_root; then
      note "Installing $peer ..."
      apt_install "${PKG_OF[$peer]}" || note "note: could not install $peer; it is skipped"
    else
      note "note: $peer is not installed and this is not root; it is skipped"
    fi
  fi
done
command -v rhash >/dev/null && HAVE_RHASH=1
command -v hashdeep >/dev/null && HAVE_HASHDEEP=1

HAVE_TIME=0
if [ ! -x /usr/bin/time ] && is_root; then
  note "Installing time ..."
  apt_install time || true
fi
if [ -x /usr/bin/time ]; then
  HAVE_TIME=1
else
  note "note: /usr/bin/time is missing; max RSS is not measured"
fi

# --- scratch data ------------------------------------------------------------

SCRATCH=$(mktemp -d "$PARENT/sumvane-bench.XXXXXX")
cleanup() {
  if [ "${BENCH_KEEP:-0}" = 1 ]; then note "Scratch kept in $SCRATCH"; else rm -rf "$SCRATCH"; fi
}
trap cleanup EXIT

BIGDIR="$SCRATCH/large"
TREE="$SCRATCH/tree"
OUT="$SCRATCH/out"
LOGDIR="$SCRATCH/log"
mkdir -p "$BIGDIR" "$TREE" "$OUT" "$LOGDIR"
BIG="$BIGDIR/large.bin"

note "Writing a ${LARGE_MIB} MiB file of pseudo-random data ..."
# AES-CTR keystream: incompressible and much faster than /dev/urandom.
if command -v openssl >/dev/null; then
  openssl enc -aes-128-ctr -nosalt -K 000102030405060708090a0b0c0d0e0f -iv 0 \
    -in /dev/zero 2>/dev/null | head -c "$((LARGE_MIB * 1024 * 1024))" >"$BIG" || true
fi
if [ "$(stat -c %s "$BIG")" -ne "$((LARGE_MIB * 1024 * 1024))" ]; then
  head -c "$((LARGE_MIB * 1024 * 1024))" /dev/urandom >"$BIG"
fi

note "Writing a tree of $NFILES files of mixed sizes ..."
# Sizes (fixed seed): 50% 0-4 KiB, 35% 4-64 KiB, 13% 64 KiB-1 MiB, 2% 1-4 MiB,
# spread over 10 folders with 5 subfolders each.
# (RANDOM is read in this shell only: a subshell would reseed it.)
RANDOM=20261207
for ((i = 0; i < NFILES; i++)); do
  bucket=$((RANDOM % 100))
  r=$(((RANDOM << 15) | RANDOM))
  if ((bucket < 50)); then size=$((r % 4096))
  elif ((bucket < 85)); then size=$((4096 + r % 61440))
  elif ((bucket < 98)); then size=$((65536 + r % 983040))
  else size=$((1048576 + r % 3145728))
  fi
  dir="$TREE/d$((i % 10))/s$((i / 10 % 5))"
  [ -d "$dir" ] || mkdir -p "$dir"
  head -c "$size" /dev/urandom >"$dir/f$(printf '%05d' "$i").dat"
done
TREE_BYTES=$(find "$TREE" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
TREE_FILES=$(find "$TREE" -type f | wc -l)

note "Flushing and warming the page cache ..."
sync
cat "$BIG" >/dev/null
find "$TREE" -type f -print0 | xargs -0 cat >/dev/null

# --- measuring ---------------------------------------------------------------

declare -A WALL RSS CPU   # label -> space-separated samples (wall s, KiB, user+sys s)
ORDER=()

# run_once LABEL CMD...: one timed run; stdout goes to $OUT/LABEL.out.
run_once() {
  local label=$1; shift
  local out="$OUT/$label.out" t0 t1 rc=0
  [[ " ${ORDER[*]-} " == *" $label "* ]] || ORDER+=("$label")
  t0=$(date +%s%N)
  if [ "$HAVE_TIME" = 1 ]; then
    /usr/bin/time -f '%M %U %S' -o "$OUT/rss" "$@" >"$out" 2>"$OUT/err" || rc=$?
  else
    "$@" >"$out" 2>"$OUT/err" || rc=$?
  fi
  t1=$(date +%s%N)
  if [ "$rc" -ne 0 ]; then
    cat "$OUT/err" >&2
    die "'$label' exited with $rc"
  fi
  WALL[$label]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f", (b - a) / 1e9}') "
  if [ "$HAVE_TIME" = 1 ]; then
    RSS[$label]+="$(tail -n 1 "$OUT/rss" | awk '{print $1}') "
    CPU[$label]+="$(tail -n 1 "$OUT/rss" | awk '{printf "%.2f", $2 + $3}') "
  else
    RSS[$label]+="0 "
    CPU[$label]+="0 "
  fi
}

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

SUMMARY="$TREE/Sumvane.md5"
SAVED_SUMMARY="$SCRATCH/Sumvane.md5.saved"
MD5LIST="$SCRATCH/tree.md5sum"

note "Measuring ($REPS runs of each command, interleaved) ..."
for ((rep = 1; rep <= REPS; rep++)); do
  # (1) one large file
  run_once large.sumvane "$SUMVANE" "-n$BIG" -c "-o$LOGDIR"
  run_once large.md5sum md5sum "$BIG"
  if [ "$HAVE_RHASH" = 1 ]; then run_once large.rhash rhash --md5 "$BIG"; fi
  if [ "$HAVE_HASHDEEP" = 1 ]; then run_once large.hashdeep hashdeep -c md5 "$BIG"; fi

  # (2) the small-file tree; every tool sees the same files (the summary that
  # sumvane writes into the tree is moved out after each of its runs)
  rm -f "$SUMMARY"
  run_once tree.sumvane "$SUMVANE" "-f$TREE" -r -c "-o$LOGDIR"
  mv "$SUMMARY" "$SAVED_SUMMARY"
  run_once tree.md5sum bash -o pipefail -c 'find "$1" -type f -print0 | xargs -0 md5sum' _ "$TREE"
  if [ "$HAVE_RHASH" = 1 ]; then run_once tree.rhash rhash --md5 -r "$TREE"; fi
  if [ "$HAVE_HASHDEEP" = 1 ]; then run_once tree.hashdeep hashdeep -c md5 -r "$TREE"; fi
done

# (3) verifying the tree against what was recorded above
cp "$OUT/tree.md5sum.out" "$MD5LIST"
cp "$SAVED_SUMMARY" "$SUMMARY"
for ((rep = 1; rep <= REPS; rep++)); do
  run_once verify.sumvane "$SUMVANE" "-f$TREE" -r -v "-o$LOGDIR"
  run_once verify.md5sum md5sum -c "$MD5LIST"
done

# --- correctness -------------------------------------------------------------

CHECKS=()
want=$(awk '{print tolower($1)}' "$OUT/large.md5sum.out")
got=$(tr -d '\r\n' <"$BIG.md5" | tr 'A-F' 'a-f')
[ "$got" = "$want" ] || die "large file: sumvane wrote '$got', md5sum says '$want'"
CHECKS+=("large file: sumvane's $BIG.md5 equals md5sum's digest ($want)")

# Summary lines are 'DIGEST path' + CR LF; compare them with md5sum's list.
tr -d '\r' <"$SAVED_SUMMARY" |
  awk '{d = tolower(substr($0, 1, 32)); p = substr($0, 34); print d "  " p}' | sort >"$SCRATCH/a"
sort "$MD5LIST" >"$SCRATCH/b"
cmp -s "$SCRATCH/a" "$SCRATCH/b" || die "tree: sumvane's summary differs from md5sum's list"
CHECKS+=("tree: sumvane's Sumvane.md5 lists the same $TREE_FILES digests and paths as md5sum")
[ -z "$(ls -A "$LOGDIR")" ] || die "sumvane left a problem log in $LOGDIR"
CHECKS+=("verify: every sumvane and md5sum -c run exited 0; sumvane logged no problem")

# --- report --------------------------------------------------------------------

mib() { awk -v b="$1" 'BEGIN {printf "%.1f", b / 1048576}'; }
LARGE_BYTES=$(stat -c %s "$BIG")

print_section() {
  local title=$1 bytes=$2; shift 2
  printf '\n%s\n' "$title"
  printf '  %-28s %9s %7s %10s %12s   %s\n' "command" "median s" "MiB/s" "CPU s" "max RSS MiB" "wall runs (s)"
  local label cmd m r c
  for label in "${ORDER[@]}"; do
    [[ $label == "$1".* ]] || continue
    cmd=${CMD_TEXT[$label]}
    m=$(printf '%s' "${WALL[$label]}" | median)
    r=$(printf '%s' "${RSS[$label]}" | median)
    c=$(printf '%s' "${CPU[$label]}" | median)
    if [ "$HAVE_TIME" = 1 ]; then r=$(awk -v k="$r" 'BEGIN {printf "%.1f", k / 1024}'); else r="n/a" c="n/a"; fi
    printf '  %-28s %9.3f %7.0f %10s %12s   %s\n' "$cmd" "$m" \
      "$(awk -v b="$bytes" -v s="$m" 'BEGIN {print (s > 0) ? b / 1048576 / s : 0}')" "$c" "$r" "${WALL[$label]% }"
  done
}

declare -A CMD_TEXT=(
  [large.sumvane]="sumvane -n<file> -c"
  [large.md5sum]="md5sum <file>"
  [large.rhash]="rhash --md5 <file>"
  [large.hashdeep]="hashdeep -c md5 <file>"
  [tree.sumvane]="sumvane -f<tree> -r -c"
  [tree.md5sum]="find | xargs -0 md5sum"
  [tree.rhash]="rhash --md5 -r <tree>"
  [tree.hashdeep]="hashdeep -c md5 -r <tree>"
  [verify.sumvane]="sumvane -f<tree> -r -v"
  [verify.md5sum]="md5sum -c <list>"
)

echo
echo "Sumvane benchmark  $(date '+%Y-%m-%d %H:%M')  $(nproc) cores  $(uname -sr)"
echo "sumvane $SUMVANE; $(md5sum --version | head -n 1)$([ "$HAVE_RHASH" = 1 ] && printf '; %s' "$(rhash --version)")$([ "$HAVE_HASHDEEP" = 1 ] && printf '; hashdeep %s' "$(hashdeep -V)")"
echo "Warm page cache; median of $REPS runs. Wall time from the shell; CPU s (user+sys, all threads"
echo "and child processes) and max RSS (largest single process) from /usr/bin/time %U %S %M."
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
print_section "(1) one large file: $(mib "$LARGE_BYTES") MiB" "$LARGE_BYTES" large
print_section "(2) small-file tree: $TREE_FILES files, $(mib "$TREE_BYTES") MiB" "$TREE_BYTES" tree
print_section "(3) verifying the tree: $TREE_FILES files, $(mib "$TREE_BYTES") MiB" "$TREE_BYTES" verify
[ "$HAVE_RHASH" = 1 ] || echo "  (rhash skipped: not installed)"
[ "$HAVE_HASHDEEP" = 1 ] || echo "  (hashdeep skipped: not installed)"
echo
echo "Correctness:"
for c in "${CHECKS[@]}"; do echo "  ok: $c"; done
