#!/usr/bin/env bash
# Speed and memory benchmark: sumvane (one hashing thread and the default)
# against md5sum (one process, and xargs -P<cores>), rhash and hashdeep, and
# against the MD5 limits of this machine (one core, all cores), all in one
# run with the commands interleaved. Prints a Markdown table of medians, the
# ratios that sumvane's targets are stated in, and whether each target was
# met.
#
#   bash bench/run.sh
#
# Settings (environment):
#   BENCH_LARGE_MIB    size of the large file in MiB                     (default 2048)
#   BENCH_SMALL_FILES  4 KiB files in the small tree and the mixed tree  (default 20000)
#   BENCH_MEDIUM_FILES 1 MiB files added to the mixed tree               (default 2000)
#   BENCH_FOLDERS      folders each tree spreads its files over          (default 200)
#   BENCH_HUGE_FILES   100-byte files of the huge tree; 0 leaves it out  (default 1000000)
#   BENCH_HUGE_DIR     where the huge tree is kept from run to run   (default BENCH_DIR/sumvane-bench-huge)
#   BENCH_WIDE_FILES   empty files in one folder; 0 leaves it out        (default 1000000)
#   BENCH_LONG_FILES   empty files with names of 240 bytes in one folder; 0 leaves it out (default 150000)
#   BENCH_WIDE_DIR     where those two folders are kept from run to run (default BENCH_DIR/sumvane-bench-wide)
#   BENCH_REPS         runs of every command; the median is quoted       (default 5)
#   BENCH_MD5_SECONDS  length of one run of an MD5 limit                 (default 3)
#   BENCH_COLD=0       leave out the cold-cache runs
#   BENCH_LANES=0      leave out the raw rates of the MD5 engines (bench/md5_lanes_rate)
#   BENCH_SUMVANE      the sumvane binary to measure (default: build this tree in build-bench/)
#   BENCH_DIR          parent of the scratch folder                       (default /tmp)
#   BENCH_SEEK_FILES   files of the tree written out of name order, whose read
#                      order's seek distance is measured; 0 leaves it out (default 3000)
#   BENCH_KEEP=1       keep the scratch folder afterwards
#
# Exit code 0 when every run succeeded and every digest check held (met or
# not met targets do not change it), 1 otherwise.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$ROOT/build-bench"
LARGE_MIB=${BENCH_LARGE_MIB:-2048}
SMALL_FILES=${BENCH_SMALL_FILES:-20000}
MEDIUM_FILES=${BENCH_MEDIUM_FILES:-2000}
FOLDERS=${BENCH_FOLDERS:-200}
HUGE_FILES=${BENCH_HUGE_FILES:-1000000}
SEEK_FILES=${BENCH_SEEK_FILES:-3000}
WIDE_FILES=${BENCH_WIDE_FILES:-1000000}
LONG_FILES=${BENCH_LONG_FILES:-150000}
REPS=${BENCH_REPS:-5}
MD5_SECONDS=${BENCH_MD5_SECONDS:-3}
WANT_COLD=${BENCH_COLD:-1}
WANT_LANES=${BENCH_LANES:-1}
PARENT=${BENCH_DIR:-/tmp}
SMALL_BYTES=4096
MEDIUM_BYTES=1048576
HUGE_BYTES=100
HUGE_FOLDERS=1000
HUGE_DIR=${BENCH_HUGE_DIR:-$PARENT/sumvane-bench-huge}
LONG_LENGTH=240
WIDE_DIR=${BENCH_WIDE_DIR:-$PARENT/sumvane-bench-wide}
CORES=$(getconf _NPROCESSORS_ONLN)

note() { printf '%s\n' "$*" >&2; }
die() { note "bench: $*"; exit 1; }
is_root() { [ "$(id -u)" -eq 0 ]; }
for v in LARGE_MIB SMALL_FILES MEDIUM_FILES FOLDERS HUGE_FILES SEEK_FILES WIDE_FILES LONG_FILES REPS MD5_SECONDS; do
  [[ ${!v} =~ ^[0-9]+$ ]] || die "$v must be a whole number, not '${!v}'"
done
((LARGE_MIB > 0 && SMALL_FILES > 0 && FOLDERS > 0 && REPS > 0 && MD5_SECONDS > 0)) ||
  die "sizes, folders, runs and seconds must be above 0"

apt_install() {
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq "$@" >/dev/null 2>&1 ||
    { apt-get update -qq >/dev/null 2>&1 && apt-get install -y -qq "$@" >/dev/null 2>&1; }
}

# --- tools -------------------------------------------------------------------

# Always brought up to date, so what is measured is what this tree builds:
# sumvane (unless BENCH_SUMVANE names another) and the MD5 engines' rate program.
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  note "Configuring a Release build in $BUILD ..."
  gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
  cmake -S "$ROOT" -B "$BUILD" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DSUMVANE_TESTS=OFF >/dev/null
fi
targets=(md5_lanes_rate)
((SEEK_FILES == 0)) || targets+=(seek_distance sumvane_read_log)
[ -n "${BENCH_SUMVANE:-}" ] || targets+=(sumvane)
note "Building ${targets[*]} in $BUILD ..."
cmake --build "$BUILD" -j2 --target "${targets[@]}" >/dev/null
SUMVANE=${BENCH_SUMVANE:-$BUILD/sumvane}
LANES_RATE="$BUILD/bench/md5_lanes_rate"
SEEK_DISTANCE="$BUILD/bench/seek_distance"
READ_LOG_LIBRARY="$BUILD/bench/libsumvane_read_log.so"
[ -x "$SUMVANE" ] || die "no sumvane binary at $SUMVANE"
command -v md5sum >/dev/null || die "md5sum is required"
command -v openssl >/dev/null || die "openssl is required (MD5 limits and test data)"

HAVE_RHASH=0 HAVE_HASHDEEP=0
for peer in rhash hashdeep; do
  if ! command -v "$peer" >/dev/null; then
    if is_root; then
      note "Installing $peer ..."
      apt_install "$peer" || note "note: could not install $peer; it is skipped"
    else
      note "note: $peer is not installed and this is not root; it is skipped"
    fi
  fi
done
command -v rhash >/dev/null && HAVE_RHASH=1
command -v hashdeep >/dev/null && HAVE_HASHDEEP=1

if [ ! -x /usr/bin/time ] && is_root; then
  note "Installing time ..."
  apt_install time || true
fi
HAVE_TIME=0
if [ -x /usr/bin/time ]; then HAVE_TIME=1; else note "note: /usr/bin/time is missing; max RSS is not measured"; fi

PEERS=()
[ "$HAVE_RHASH" = 1 ] && PEERS+=(rhash)
[ "$HAVE_HASHDEEP" = 1 ] && PEERS+=(hashdeep)

# The MD5 engine sumvane hashes with: the one the support library picks on
# this processor (SUMVANE_MD5 included), when the binary has the lanes at all
# (it then reads SUMVANE_MD5); otherwise OpenSSL's one stream.
if grep -qa SUMVANE_MD5 "$SUMVANE"; then
  ENGINE="$("$LANES_RATE" --chosen) (the support library's choice on this processor${SUMVANE_MD5:+, SUMVANE_MD5=$SUMVANE_MD5})"
else
  ENGINE="openssl, one stream per file (this sumvane has no MD5 lanes)"
fi
# Every lane engine this processor runs, for the check of the same bytes.
ENGINES=(openssl)
grep -qw avx2 /proc/cpuinfo && ENGINES+=(avx2 avx2x16)
grep -qw avx512f /proc/cpuinfo && ENGINES+=(avx512)

LANES_TABLE=""
if [ "$WANT_LANES" != 0 ]; then
  note "Measuring the raw rate of each MD5 engine on one core ..."
  LANES_TABLE=$("$LANES_RATE" "$(awk -v s="$MD5_SECONDS" 'BEGIN {print s / 10}')") || die "md5_lanes_rate failed"
fi

# --- scratch data ------------------------------------------------------------

LARGE_BYTES=$((LARGE_MIB * 1048576))
TREE_BYTES=$((SMALL_FILES * SMALL_BYTES))
MIXED_BYTES=$((TREE_BYTES + MEDIUM_FILES * MEDIUM_BYTES))
HUGE_TREE_BYTES=$((HUGE_FILES * HUGE_BYTES))
CHECK_KIB=60000
mkdir -p "$PARENT"
# The huge tree is written once and kept for later runs: removing a million
# files takes far longer than hashing them. Its marker says it is complete.
HUGE="$HUGE_DIR/tree"
HUGE_MARK="$HUGE_FILES files of $HUGE_BYTES bytes in $HUGE_FOLDERS folders, keystream 3"
MAKE_HUGE=0
if ((HUGE_FILES > 0)) && [ "$(cat "$HUGE_DIR/complete" 2>/dev/null)" != "$HUGE_MARK" ]; then MAKE_HUGE=1; fi
# The two wide folders, kept likewise: a folder's names are what a build
# holds at once, so these measure its memory.
WIDE="$WIDE_DIR/wide"
LONG="$WIDE_DIR/long"
WIDE_MARK="$WIDE_FILES empty files in one folder, $LONG_FILES empty files with $LONG_LENGTH-byte names in another"
MAKE_WIDE=0
if ((WIDE_FILES + LONG_FILES > 0)) && [ "$(cat "$WIDE_DIR/complete" 2>/dev/null)" != "$WIDE_MARK" ]; then MAKE_WIDE=1; fi
need_kib=$(((LARGE_BYTES + TREE_BYTES + MIXED_BYTES) / 1024 * 11 / 10 + 4 * (2 * SMALL_FILES + MEDIUM_FILES) +
  5 * HUGE_FILES * MAKE_HUGE + (WIDE_FILES * 32 + LONG_FILES * (LONG_LENGTH + 32)) / 512 * MAKE_WIDE + CHECK_KIB))
have_kib=$(df -Pk "$PARENT" | awk 'NR == 2 {print $4}')
((have_kib >= need_kib)) || die "$PARENT has $((have_kib / 1024)) MiB free; the data needs about $((need_kib / 1024)) MiB (set BENCH_DIR, or a smaller BENCH_HUGE_FILES)"
need_inodes=$((2 * SMALL_FILES + MEDIUM_FILES + (HUGE_FILES + HUGE_FOLDERS) * MAKE_HUGE +
  (WIDE_FILES + LONG_FILES) * MAKE_WIDE + 2 * FOLDERS + 1000))
have_inodes=$(df -Pi "$PARENT" | awk 'NR == 2 {print $4}')
# (Some file systems count no inodes and report 0 or nothing.)
[[ ! $have_inodes =~ ^[0-9]+$ ]] || ((have_inodes == 0 || have_inodes >= need_inodes)) ||
  die "$PARENT has $have_inodes free inodes; the data needs about $need_inodes"

SCRATCH=$(mktemp -d "$PARENT/sumvane-bench.XXXXXX")
cleanup() {
  if [ "${BENCH_KEEP:-0}" = 1 ]; then note "Scratch kept in $SCRATCH"; else rm -rf "$SCRATCH"; fi
}
trap cleanup EXIT

BIG="$SCRATCH/large/large.bin"
SMALL="$SCRATCH/small"
MIXED="$SCRATCH/mixed"
CHECK="$SCRATCH/check"
OUT="$SCRATCH/out"
LOGDIR="$SCRATCH/log"
mkdir -p "$SCRATCH/large" "$SMALL" "$MIXED" "$CHECK" "$OUT" "$LOGDIR"

# AES-CTR keystream: incompressible, reproducible and much faster than
# /dev/urandom. The reader stops it early, so its SIGPIPE is expected.
keystream() {
  openssl enc -aes-128-ctr -nosalt -K 000102030405060708090a0b0c0d0e0f -iv "$1" \
    -in /dev/zero 2>/dev/null || true
}

# make_tree DIR FOLDERS SIZE:COUNT...: COUNT files of SIZE bytes for each
# pair, dealt round-robin over FOLDERS folders, contents cut from the
# keystream on stdin.
make_tree() {
  perl -e '
    use strict;
    my ($dir, $folders, @sets) = @ARGV;
    binmode STDIN;
    sub put {
      my ($path, $size) = @_;
      my ($buf, $got) = ("", 0);
      while ($got < $size) {
        my $n = read(STDIN, $buf, $size - $got, $got);
        die "keystream ended early\n" unless $n;
        $got += $n;
      }
      open(my $fh, ">:raw", $path) or die "$path: $!\n";
      print $fh $buf or die "$path: $!\n";
      close $fh or die "$path: $!\n";
    }
    mkdir sprintf("%s/d%03d", $dir, $_) or die "$dir: $!\n" for 0 .. $folders - 1;
    for my $set (0 .. $#sets) {
      my ($size, $count) = split /:/, $sets[$set];
      put(sprintf("%s/d%03d/%s%06d.dat", $dir, $_ % $folders, chr(ord("a") + $set), $_), $size) for 0 .. $count - 1;
    }
  ' "$@"
}

# make_names DIR COUNT LENGTH LETTER: COUNT empty files in DIR, named LETTER
# and seven digits, filled with "-" to LENGTH bytes.
make_names() {
  mkdir -p "$1"
  perl -e '
    my ($dir, $count, $length, $letter) = @ARGV;
    for my $i (0 .. $count - 1) {
      my $name = sprintf("%s%07d", $letter, $i);
      $name .= "-" x ($length - length $name) if $length > length $name;
      open(my $fh, ">", "$dir/$name") or die "$dir/$name: $!\n";
      close $fh or die "$dir/$name: $!\n";
    }
  ' "$@"
}

note "Writing a $LARGE_MIB MiB file, $SMALL_FILES x 4 KiB files and a mixed tree (+ $MEDIUM_FILES x 1 MiB) ..."
keystream 0 | head -c "$LARGE_BYTES" >"$BIG"
[ "$(stat -c %s "$BIG")" -eq "$LARGE_BYTES" ] || die "could not write $BIG"
keystream 1 | make_tree "$SMALL" "$FOLDERS" "$SMALL_BYTES:$SMALL_FILES"
keystream 2 | make_tree "$MIXED" "$FOLDERS" "$SMALL_BYTES:$SMALL_FILES" "$MEDIUM_BYTES:$MEDIUM_FILES"
if ((MAKE_HUGE)); then
  note "Writing $HUGE_FILES files of $HUGE_BYTES bytes in $HUGE_FOLDERS folders into $HUGE, kept for later runs ..."
  [ ! -e "$HUGE_DIR" ] || rm -rf "$HUGE_DIR"
  mkdir -p "$HUGE"
  keystream 3 | make_tree "$HUGE" "$HUGE_FOLDERS" "$HUGE_BYTES:$HUGE_FILES"
  printf '%s\n' "$HUGE_MARK" >"$HUGE_DIR/complete"
elif ((HUGE_FILES > 0)); then
  note "Using the huge tree kept in $HUGE ($HUGE_MARK)"
  # What an interrupted run may have left there.
  rm -f "$HUGE"/Sumvane.md5*
fi
if ((MAKE_WIDE)); then
  note "Writing $WIDE_MARK into $WIDE_DIR, kept for later runs ..."
  [ ! -e "$WIDE_DIR" ] || rm -rf "$WIDE_DIR"
  ((WIDE_FILES == 0)) || make_names "$WIDE" "$WIDE_FILES" 0 w
  ((LONG_FILES == 0)) || make_names "$LONG" "$LONG_FILES" "$LONG_LENGTH" l
  printf '%s\n' "$WIDE_MARK" >"$WIDE_DIR/complete"
elif ((WIDE_FILES + LONG_FILES > 0)); then
  note "Using the wide folders kept in $WIDE_DIR ($WIDE_MARK)"
  rm -f "$WIDE"/Sumvane.md5* "$LONG"/Sumvane.md5*
fi
# The tree of the check of the same bytes: sizes around the block and
# padding boundaries, and files large enough to be read in pieces.
keystream 4 | make_tree "$CHECK" 7 0:3 1:3 55:3 56:3 63:3 64:3 65:3 119:3 120:3 4095:3 4096:3 65537:5 1048577:4 5000000:3
mkdir "$CHECK/d000/sub" && keystream 5 | make_tree "$CHECK/d000/sub" 2 100:4 300000:2
sync

TREES=(small mixed)
((HUGE_FILES > 0)) && TREES+=(huge)
((WIDE_FILES > 0)) && TREES+=(wide)
((LONG_FILES > 0)) && TREES+=(long)
declare -A TREE_DIR=([small]=$SMALL [mixed]=$MIXED [huge]=$HUGE [wide]=$WIDE [long]=$LONG [check]=$CHECK)

# md5sum's digests are the reference every sumvane run is checked against.
md5list() { find "$1" -type f -print0 | xargs -0 md5sum; }
note "Computing the reference digests with md5sum ..."
REF_LARGE=$(md5sum "$BIG" | awk '{print toupper($1)}')
for tree in "${TREES[@]}" check; do md5list "${TREE_DIR[$tree]}" | sort >"$SCRATCH/$tree.ref"; done
[ "$(wc -l <"$SCRATCH/small.ref")" -eq "$SMALL_FILES" ] || die "the small tree is incomplete"
[ "$(wc -l <"$SCRATCH/mixed.ref")" -eq "$((SMALL_FILES + MEDIUM_FILES))" ] || die "the mixed tree is incomplete"
((HUGE_FILES == 0)) || [ "$(wc -l <"$SCRATCH/huge.ref")" -eq "$HUGE_FILES" ] || die "the huge tree is incomplete"
((WIDE_FILES == 0)) || [ "$(wc -l <"$SCRATCH/wide.ref")" -eq "$WIDE_FILES" ] || die "the wide folder is incomplete"
((LONG_FILES == 0)) || [ "$(wc -l <"$SCRATCH/long.ref")" -eq "$LONG_FILES" ] || die "the folder of long names is incomplete"

# check_summary FILE TREE: a summary's lines are '<32 upper-case digits>
# <path>' + CR LF; rewritten in md5sum's form they must be exactly md5sum's
# list of the tree (same digests, same paths, compared sorted).
check_summary() {
  LC_ALL=C awk -v f="$(basename "$1")" '
    substr($0, 1, 32) !~ /^[0-9A-F]+$/ || substr($0, 33, 1) != " " || length($0) < 35 || !/\r$/ {
      print f ": bad line " NR ": " $0 > "/dev/stderr"; bad = 1; exit }
    {print tolower(substr($0, 1, 32)) "  " substr($0, 34, length($0) - 34)}
    END {exit bad}' "$1" | LC_ALL=C sort >"$SCRATCH/got" || die "$2: $(basename "$1") is not a valid summary"
  LC_ALL=C sort "$SCRATCH/$2.ref" | cmp -s "$SCRATCH/got" - ||
    die "$2: $(basename "$1") differs from md5sum's list: $(diff "$SCRATCH/got" "$SCRATCH/$2.ref" | head -n 4 | tr '\n' ' ')"
}

# The summaries that the verify runs check, made once and kept outside the
# trees (so that no other command meets them there).
note "Making the summaries to verify ..."
for tree in mixed huge; do
  [ -d "${TREE_DIR[$tree]}" ] && [[ " ${TREES[*]} " == *" $tree "* ]] || continue
  "$SUMVANE" "-f${TREE_DIR[$tree]}" -r -c "-o$LOGDIR" >/dev/null 2>&1 || die "sumvane could not build the summary of the $tree tree"
  mv "${TREE_DIR[$tree]}/Sumvane.md5" "$OUT/$tree.summary"
  check_summary "$OUT/$tree.summary" "$tree"
done
# The huge tree's summary in a shuffled order, as a list md5sum wrote over
# the output of find comes: -a sorts it in the walk's order, in passes.
[ -f "$OUT/huge.summary" ] && shuf --random-source=<(yes) "$OUT/huge.summary" >"$OUT/huge.shuffled"

# --- cold runs: only when the page cache can really be dropped -----------------

drop_caches() { sync && echo 3 >/proc/sys/vm/drop_caches; }
# Whether the scratch folder's disk says it rotates: sumvane then reads in
# disk order by itself, and the other way is measured beside it.
rotating_disk() {
  local dev major minor sys
  dev=$(stat -c '%d' "$1") || return 1
  major=$((dev >> 8)) minor=$((dev & 255))
  sys=$(readlink -f "/sys/dev/block/$major:$minor" 2>/dev/null) || return 1
  [ "$(cat "$sys/queue/rotational" 2>/dev/null || cat "$sys/../queue/rotational" 2>/dev/null)" = 1 ]
}
if rotating_disk "$SCRATCH"; then DISK_KIND="says it rotates"; OTHER_ORDER=0; else DISK_KIND="says it does not rotate"; OTHER_ORDER=1; fi
resident_bytes() { fincore -b -n -o RES "$1" 2>/dev/null | awk '{print $1 + 0}'; }
COLD=0 COLD_WHY=""
if [ "$WANT_COLD" = 0 ]; then
  COLD_WHY="BENCH_COLD=0"
elif ! is_root; then
  COLD_WHY="not root, so the page cache cannot be dropped"
elif ! err=$(drop_caches 2>&1); then
  COLD_WHY="writing /proc/sys/vm/drop_caches failed: ${err:-no reason given}"
elif ! command -v fincore >/dev/null; then
  COLD_WHY="fincore (util-linux) is missing, so a dropped cache cannot be confirmed"
else
  cat "$BIG" >/dev/null
  drop_caches
  left=$(resident_bytes "$BIG")
  # tmpfs and some overlays keep file pages whatever is dropped.
  if [ -n "$left" ] && ((left <= LARGE_BYTES / 100)); then
    COLD=1
  else
    COLD_WHY="after dropping the page cache ${left:-?} bytes of the large file were still cached (file system $(stat -f -c %T "$BIG"))"
  fi
fi
[ "$COLD" = 1 ] || note "note: cold runs skipped: $COLD_WHY"

# --- measuring ---------------------------------------------------------------

declare -A WALL RSS CPU   # label -> space-separated samples (wall s, KiB, user+sys s)
LIMIT_WALL="" LIMIT_CPU="" LIMIT_ALL=""  # MD5 limit samples, MiB/s

# run_once LABEL CMD...: one timed run; stdout goes to $OUT/LABEL.out.
run_once() {
  local label=$1; shift
  local out="$OUT/$label.out" t0 t1 rc=0
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
  fi
}

# One run of openssl's MD5 loop over one 16 KiB buffer, on one core. Its
# count of loops and seconds ('+R:count:md5:seconds') goes to standard error.
md5_limit() {
  run_once md5limit openssl speed -mr -elapsed -evp md5 -bytes 16384 -seconds "$MD5_SECONDS"
  local count secs
  read -r count secs < <(awk -F: '$1 == "+R" {print $2, $4}' "$OUT/md5limit.out" "$OUT/err") || true
  [ -n "$count" ] || die "could not read openssl speed's output"
  LIMIT_WALL+="$(awk -v n="$count" -v s="$secs" 'BEGIN {printf "%.1f", n * 16384 / 1048576 / s}') "
  if [ "$HAVE_TIME" = 1 ]; then
    LIMIT_CPU+="$(awk -v n="$count" -v c="$(tail -n 1 "$OUT/rss" | awk '{print $2 + $3}')" \
      'BEGIN {printf "%.1f", (c > 0) ? n * 16384 / 1048576 / c : 0}') "
  fi
}

# The same loop in one process per core at once; the last '+F' line is the
# bytes per second of all of them together.
md5_limit_all() {
  run_once md5limitall openssl speed -mr -elapsed -multi "$CORES" -evp md5 -bytes 16384 -seconds "$MD5_SECONDS"
  local rate
  rate=$(awk -F: '$1 == "+F" && $3 == "md5" {r = $4} END {print r}' "$OUT/md5limitall.out" "$OUT/err")
  [ -n "$rate" ] || die "could not read the output of openssl speed -multi"
  LIMIT_ALL+="$(awk -v r="$rate" 'BEGIN {printf "%.1f", r / 1048576}') "
}

# The commands of each case, in the order of the first round.
case_tools() {
  case $1 in
    large.*) echo sumvane-1 sumvane md5sum "${PEERS[@]}" ;;
    small | mixed) echo sumvane-1 sumvane md5sum md5sum-P "${PEERS[@]}" ;;
    mixed.verify) echo sumvane-1 sumvane md5sum ;;
    mixed.additions) echo sumvane ;;
    mixed.cold.verify) echo sumvane sumvane-order cat-P md5sum-P ;;
    huge | huge.verify | huge.additions | huge.shuffled | huge.slices | wide | long) echo sumvane ;;
  esac
}

# measure CASE TOOL REP: one run of TOOL on the data of CASE (large.warm,
# large.cold, small, mixed, mixed.verify, huge, huge.verify, huge.slices, wide, long). Sumvane's
# summary or companion is moved out after each build (and checked at the
# end), so every tool hashes the same files and sumvane always writes a new
# one; a verify gets the summary made before measuring, and it is taken out
# again afterwards.
measure() {
  local case=$1 tool=$2 rep=$3 target label="$1.$2" tree=${1%%.*}
  case $case in
    large.*) target=$BIG ;;
    *) target=${TREE_DIR[$tree]} ;;
  esac
  local threads=(env -u SUMVANE_THREADS -u SUMVANE_DISK_ORDER)
  [ "$tool" = sumvane-1 ] && threads=(env -u SUMVANE_DISK_ORDER SUMVANE_THREADS=1)
  [ "$tool" = sumvane-order ] && threads=(env -u SUMVANE_THREADS SUMVANE_DISK_ORDER=$OTHER_ORDER)
  [[ $case == *.cold* ]] && drop_caches
  warm "$case"
  case $tool:$case in
    sumvane*:large.*)
      run_once "$label" "${threads[@]}" "$SUMVANE" "-n$target" -c "-o$LOGDIR"
      mv "$target.md5" "$OUT/$label.$rep.md5" ;;
    sumvane:huge.slices)
      # Runs of 5 s each, from a place that is none, until one says the
      # whole summary was covered: each run's time and memory, and how many.
      cp "$OUT/$tree.summary" "$target/Sumvane.md5"
      local runs=0
      until grep -q '^last full round [0-9]' "$target/Sumvane.md5.place" 2>/dev/null; do
        ((runs < 100)) || die "$label: the summary was not covered whole in 100 runs"
        run_once "$label" "$SUMVANE" "-f$target" -v -t5s "-o$LOGDIR"
        runs=$((runs + 1))
      done
      SLICE_RUNS+="$runs "
      rm "$target/Sumvane.md5" "$target/Sumvane.md5.place" ;;
    sumvane:huge.shuffled)
      cp "$OUT/huge.shuffled" "$target/Sumvane.md5"
      run_once "$label" "$SUMVANE" "-f$target" -r -av "-o$LOGDIR"
      rm "$target/Sumvane.md5" ;;
    sumvane*:*.additions)
      # The check that also walks the folder for new files (-a).
      cp "$OUT/$tree.summary" "$target/Sumvane.md5"
      run_once "$label" "${threads[@]}" "$SUMVANE" "-f$target" -r -av "-o$LOGDIR"
      rm "$target/Sumvane.md5" ;;
    sumvane*:*.verify)
      cp "$OUT/$tree.summary" "$target/Sumvane.md5"
      run_once "$label" "${threads[@]}" "$SUMVANE" "-f$target" -r -v "-o$LOGDIR"
      rm "$target/Sumvane.md5" ;;
    sumvane*)
      run_once "$label" "${threads[@]}" "$SUMVANE" "-f$target" -r -c "-o$LOGDIR"
      mv "$target/Sumvane.md5" "$OUT/$label.$rep.md5" ;;
    md5sum:*.verify) run_once "$label" md5sum -c --quiet "$SCRATCH/$tree.ref" ;;
    md5sum:large.*) run_once "$label" md5sum "$target" ;;
    md5sum:*) run_once "$label" bash -o pipefail -c 'find "$1" -type f -print0 | xargs -0 md5sum' _ "$target" ;;
    md5sum-P:*)
      run_once "$label" bash -o pipefail -c 'find "$1" -type f -print0 | xargs -0 -P"$2" -n 500 md5sum' _ "$target" "$CORES" ;;
    cat-P:*)
      run_once "$label" bash -o pipefail -c 'find "$1" -type f -print0 | xargs -0 -P8 -n 500 cat' _ "$target" ;;
    rhash:large.*) run_once "$label" rhash --md5 "$target" ;;
    rhash:*) run_once "$label" rhash --md5 -r "$target" ;;
    hashdeep:large.*) run_once "$label" hashdeep -c md5 "$target" ;;
    hashdeep:*) run_once "$label" hashdeep -c md5 -r "$target" ;;
  esac
}

# Before each run of a warm case, its data read once: the cold cases drop
# every cache, and a machine that gives back memory it finds unused (a
# virtual machine's balloon, DAMON's reclaim) drops pages not read for some
# seconds, so a tree read only at the start of a round would be measured in
# part cold under a warm case's name.
warm() {
  case $1 in
    *.cold*) ;;
    large.*) cat "$BIG" >/dev/null ;;
    wide | long) find "${TREE_DIR[$1]}" >/dev/null ;;  # no bytes: the names and nodes
    *) find "${TREE_DIR[${1%%.*}]}" -type f -print0 | xargs -0 cat >/dev/null ;;
  esac
}

CASES=(large.warm small mixed mixed.verify mixed.additions)
((HUGE_FILES > 0)) && CASES+=(huge huge.verify huge.additions huge.shuffled huge.slices)
((WIDE_FILES > 0)) && CASES+=(wide)
((LONG_FILES > 0)) && CASES+=(long)
SLICE_RUNS=""  # runs each round's huge.slices took to cover the summary whole
[ "$COLD" = 1 ] && CASES+=(large.cold mixed.cold.verify)
LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)
note "Measuring: $REPS rounds of every command, interleaved ..."
for ((rep = 1; rep <= REPS; rep++)); do
  note "  round $rep of $REPS"
  md5_limit
  md5_limit_all
  for case in "${CASES[@]}"; do
    read -r -a tools <<<"$(case_tools "$case")"
    # Each round starts with another tool, so none always runs first.
    for ((k = 0; k < ${#tools[@]}; k++)); do
      measure "$case" "${tools[(k + rep - 1) % ${#tools[@]}]}" "$rep"
    done
  done
done
LOAD_END=$(cut -d' ' -f1-3 /proc/loadavg)

# --- correctness -------------------------------------------------------------

CHECKS=()
# A companion holds exactly the 32 upper-case digits.
n=0
for f in "$OUT"/large.*.sumvane*.md5; do
  [ "$(cat "$f")" = "$REF_LARGE" ] && [ "$(stat -c %s "$f")" -eq 32 ] ||
    die "large file: $(basename "$f") holds '$(head -c 64 "$f")', md5sum says $REF_LARGE"
  n=$((n + 1))
done
CHECKS+=("large file: all $n sumvane companions hold md5sum's digest $REF_LARGE")
for tree in "${TREES[@]}"; do
  n=0
  for f in "$OUT/$tree".sumvane*.md5; do
    check_summary "$f" "$tree"
    n=$((n + 1))
  done
  CHECKS+=("$tree tree: all $n sumvane summaries list md5sum's $(wc -l <"$SCRATCH/$tree.ref") digests and paths")
done
[ -z "$(ls -A "$LOGDIR")" ] || die "sumvane wrote a problem log in $LOGDIR: $(ls "$LOGDIR")"
CHECKS+=("every run exited with 0 (every verify found all files intact); sumvane wrote no problem log")

# --- the same bytes at every setting -----------------------------------------

# The check tree's summary, then (after changing, cutting short and removing
# files) its rewrite and log from -vc, at 1, 2 and 8 threads with every
# engine this processor runs; all must be the same bytes (the logs without
# their timestamps).
note "Checking the same bytes at 1, 2 and 8 threads and every MD5 engine (${ENGINES[*]}) ..."
SAME="$SCRATCH/same"
mkdir -p "$SAME"
SETTINGS=()
for threads in 1 2 8; do for engine in "${ENGINES[@]}"; do SETTINGS+=("$threads.$engine"); done; done
for setting in "${SETTINGS[@]}"; do
  SUMVANE_THREADS=${setting%%.*} SUMVANE_MD5=${setting#*.} "$SUMVANE" "-f$CHECK" -r -c "-o$LOGDIR" >/dev/null 2>&1 ||
    die "the build of the check tree failed at $setting (threads.engine)"
  mv "$CHECK/Sumvane.md5" "$SAME/summary.$setting"
done
check_summary "$SAME/summary.${SETTINGS[0]}" check
find "$CHECK" -name 'c*.dat' -size -200k -print0 | sort -z | head -z -n 3 | xargs -0 -I{} sh -c 'printf CHANGED! | dd of="$1" conv=notrunc status=none' _ {}
find "$CHECK" -name 'n*.dat' -print0 | sort -z | head -z -n 1 | xargs -0 truncate -s -1
find "$CHECK" -name 'l*.dat' -print0 | sort -z | head -z -n 2 | xargs -0 rm
log_text() { iconv -f UTF-16LE -t UTF-8 "$1" | sed 's/^\[[0-9][0-9: -]*\] //'; }
for setting in "${SETTINGS[@]}"; do
  cp "$SAME/summary.${SETTINGS[0]}" "$CHECK/Sumvane.md5"
  mkdir "$SAME/log.$setting"
  rc=0
  SUMVANE_THREADS=${setting%%.*} SUMVANE_MD5=${setting#*.} "$SUMVANE" "-f$CHECK" -r -vc "-o$SAME/log.$setting" >/dev/null 2>&1 || rc=$?
  [ "$rc" -eq 1 ] || die "the verify of the changed check tree exited with $rc at $setting, not 1"
  mv "$CHECK/Sumvane.md5X" "$SAME/rewrite.$setting" 2>/dev/null || die "no rewrite of the check tree's summary at $setting"
  logs=("$SAME/log.$setting"/*.txt)
  [ -f "${logs[0]}" ] || die "no log of the check tree at $setting"
  log_text "${logs[0]}" >"$SAME/logtext.$setting"
  rm "$CHECK/Sumvane.md5"
done
[ "$(wc -l <"$SAME/logtext.${SETTINGS[0]}")" -ge 6 ] ||
  die "the log of the changed check tree has fewer than 6 lines: $(cat "$SAME/logtext.${SETTINGS[0]}")"
DIFFERING=()
for setting in "${SETTINGS[@]:1}"; do
  for kind in summary rewrite logtext; do
    cmp -s "$SAME/$kind.${SETTINGS[0]}" "$SAME/$kind.$setting" || DIFFERING+=("$kind at $setting")
  done
done
if [ ${#DIFFERING[@]} -eq 0 ]; then
  SAME_TEXT="the same in all ${#SETTINGS[@]} settings"
else
  SAME_TEXT="${#DIFFERING[@]} differ from ${SETTINGS[0]}: ${DIFFERING[*]}"
  BENCH_KEEP=1
fi
CHECKS+=("check tree: its summary lists md5sum's digests; summary, rewrite and log (without timestamps) $SAME_TEXT (threads.engine: ${SETTINGS[*]})")

# --- seek distance of the read order -------------------------------------------

# A tree whose files were written in an order unlike their names', read cold
# by sumvane in disk order and in the line's order under the stand-in that
# logs the order of its reads; seek_distance sums the head's jumps between
# the places of the files in each order, and in name order.
SEEK_ROWS=() SEEK_WHY=""
if ((SEEK_FILES == 0)); then
  SEEK_WHY="BENCH_SEEK_FILES=0"
elif [ "$COLD" != 1 ]; then
  SEEK_WHY="the page cache cannot be dropped (${COLD_WHY}), and a tree read from memory is read in the line's order"
else
  note "Measuring the head's travel of the read order on a tree written out of name order ..."
  SEEK="$SCRATCH/seek"
  mkdir -p "$SEEK"
  keystream 6 | perl -e '
    use strict;
    my ($dir, $count) = @ARGV;
    binmode STDIN;
    my @sizes = (4096, 16384, 65536, 300000, 1048576);
    mkdir sprintf("%s/d%02d", $dir, $_) or die "$dir: $!\n" for 0 .. 19;
    my @files = map { [sprintf("%s/d%02d/f%05d.dat", $dir, $_ % 20, $_), $sizes[($_ * 7) % 5]] } 0 .. $count - 1;
    srand(6);
    for (my $i = $#files; $i > 0; --$i) { my $j = int(rand($i + 1)); @files[$i, $j] = @files[$j, $i]; }
    for my $file (@files) {
      my ($path, $size) = @$file;
      my $n = read(STDIN, my $buf, $size);
      die "keystream ended early\n" unless $n == $size;
      open(my $fh, ">:raw", $path) or die "$path: $!\n";
      print $fh $buf or die "$path: $!\n";
      close $fh or die "$path: $!\n";
    }
  ' "$SEEK" "$SEEK_FILES"
  sync
  for order in 1 0; do
    rm -f "$SCRATCH/reads.log"
    drop_caches
    env -u SUMVANE_THREADS LD_PRELOAD="$READ_LOG_LIBRARY" SUMVANE_READ_LOG="$SCRATCH/reads.log" SUMVANE_DISK_ORDER=$order \
      "$SUMVANE" "-f$SEEK" -r -c "-o$LOGDIR" >/dev/null 2>&1 || die "sumvane could not build the summary of the seek tree"
    # Each file's first read or ask of the disk, in the order they came.
    awk -v root="$SEEK/" '($1 == "read" || $1 == "prefetch") && index($2, root) == 1 && !seen[$2]++ {print $2}' \
      "$SCRATCH/reads.log" >"$SCRATCH/order.$order"
    [ "$(wc -l <"$SCRATCH/order.$order")" -eq "$SEEK_FILES" ] || die "the read log of the seek tree does not name every file"
    [ $order = 1 ] && LC_ALL=C awk '{sub(/\r$/, ""); print substr($0, 34)}' "$SEEK/Sumvane.md5" >"$SCRATCH/order.name"
    rm "$SEEK/Sumvane.md5"
  done
  for order in name 1 0; do
    line=$("$SEEK_DISTANCE" "$SCRATCH/order.$order") || die "seek_distance failed on the $order order"
    SEEK_ROWS+=("$order $(awk '{print $2, $4, $10}' <<<"$line")")
  done
fi

# --- report --------------------------------------------------------------------

median() { tr ' ' '\n' | awk NF | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
maximum() { tr ' ' '\n' | awk NF | sort -g | tail -n 1; }
wall() { printf '%s' "${WALL[$1]-}" | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (a > 0 && b > 0) printf "%.2f", a / b; else print "n/a"}'; }
mibps() { awk -v b="$1" -v s="$2" 'BEGIN {if (s > 0) print b / 1048576 / s; else print 0}'; }
# verdict VALUE OP BOUND
verdict() {
  [ "$1" = n/a ] && { echo "not measured"; return; }
  awk -v v="$1" -v op="$2" -v b="$3" 'BEGIN {
    ok = (op == ">=") ? v >= b : (op == ">") ? v > b : v <= b
    print ok ? "met" : "NOT met" }'
}

declare -A TOOL_TEXT=(
  [sumvane-1]="sumvane, SUMVANE_THREADS=1"
  [sumvane]="sumvane, default threads ($CORES)"
  [md5sum]="md5sum"
  [md5sum-P]="xargs -P$CORES md5sum"
  [cat-P]="xargs -P8 cat"
  [sumvane-order]="sumvane, default threads, SUMVANE_DISK_ORDER=$OTHER_ORDER"
  [rhash]="rhash"
  [hashdeep]="hashdeep"
)
declare -A CASE_TEXT=(
  [large.warm]="1 file of $LARGE_MIB MiB, warm"
  [large.cold]="1 file of $LARGE_MIB MiB, cold"
  [mixed.cold.verify]="mixed, verify (-v), cold"
  [small]="$SMALL_FILES files of 4 KiB in $FOLDERS folders"
  [mixed]="mixed: $SMALL_FILES x 4 KiB + $MEDIUM_FILES x 1 MiB"
  [mixed.verify]="mixed, verify (-v)"
  [mixed.additions]="mixed, verify and walk for new files (-av)"
  [huge.additions]="$HUGE_FILES files, verify and walk for new files (-av)"
  [huge.shuffled]="$HUGE_FILES files listed in a shuffled order, verify and walk for new files (-av)"
  [huge]="$HUGE_FILES files of $HUGE_BYTES bytes in $HUGE_FOLDERS folders"
  [huge.verify]="$HUGE_FILES files, verify (-v)"
  [huge.slices]="$HUGE_FILES files, verify in slices of 5 s (-v -t5s), each run"
  [wide]="one folder of $WIDE_FILES empty files"
  [long]="one folder of $LONG_FILES empty files, names of $LONG_LENGTH bytes"
)
declare -A CASE_BYTES=([large.warm]=$LARGE_BYTES [large.cold]=$LARGE_BYTES [small]=$TREE_BYTES [mixed]=$MIXED_BYTES
  [mixed.verify]=$MIXED_BYTES [mixed.additions]=$MIXED_BYTES [mixed.cold.verify]=$MIXED_BYTES [huge]=$HUGE_TREE_BYTES
  [huge.verify]=$HUGE_TREE_BYTES [huge.additions]=$HUGE_TREE_BYTES [huge.shuffled]=$HUGE_TREE_BYTES [huge.slices]=0 [wide]=0 [long]=0)
declare -A CASE_FILES=([large.warm]=1 [large.cold]=1 [small]=$SMALL_FILES [mixed]=$((SMALL_FILES + MEDIUM_FILES))
  [mixed.verify]=$((SMALL_FILES + MEDIUM_FILES)) [mixed.additions]=$((SMALL_FILES + MEDIUM_FILES))
  [mixed.cold.verify]=$((SMALL_FILES + MEDIUM_FILES)) [huge]=$HUGE_FILES [huge.verify]=$HUGE_FILES
  [huge.additions]=$HUGE_FILES [huge.shuffled]=$HUGE_FILES [huge.slices]=1 [wide]=$WIDE_FILES [long]=$LONG_FILES)

LIMIT=$(printf '%s' "$LIMIT_WALL" | median)
LIMIT_ALL_MEDIAN=$(printf '%s' "$LIMIT_ALL" | median)
cpu_model=$(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)
cpu_flags=$(grep -m1 -ow -E 'avx2|avx512f' /proc/cpuinfo | sort -u | paste -sd' ' || true)

echo
echo "### bench/run.sh, $(date '+%Y-%m-%d %H:%M')"
echo
echo "Machine: $CORES online CPUs (${cpu_model:-unknown CPU}; ${cpu_flags:-neither AVX2 nor AVX-512F}), $(awk '/^MemTotal:/ {printf "%.1f", $2 / 1048576}' /proc/meminfo) GiB memory, $(uname -sr);"
echo "scratch on $(df -P "$SCRATCH" | awk 'NR == 2 {print $1}') ($(stat -f -c %T "$SCRATCH"); the disk $DISK_KIND). Load average $LOAD_START at the start, $LOAD_END at the end."
echo "MD5 engine of sumvane: $ENGINE."
echo "Tools: sumvane ($SUMVANE, banner: $(head -n 1 "$OUT/large.warm.sumvane.out" | tr -d '\r')); $(md5sum --version | head -n 1)$([ "$HAVE_RHASH" = 1 ] && printf '; %s' "$(rhash --version)"; true)$([ "$HAVE_HASHDEEP" = 1 ] && printf '; hashdeep %s' "$(hashdeep -V)"; true); $(openssl version | cut -d' ' -f1-2)."
echo "Median of $REPS interleaved runs; wall time from the shell. CPU s = user + system of all threads and"
echo "child processes, max RSS = the highest of the $REPS runs (/usr/bin/time %U %S %M). x md5sum = md5sum's median / this one."
[ "$COLD" = 1 ] || echo "Cold runs skipped: $COLD_WHY."
[ "$HAVE_RHASH" = 1 ] || echo "rhash skipped: not installed."
[ "$HAVE_HASHDEEP" = 1 ] || echo "hashdeep skipped: not installed."
if ((HUGE_FILES > 0)); then
  echo "The huge tree is kept for later runs in $HUGE_DIR$( ((MAKE_HUGE)) || echo " (made by an earlier run)"); rm -rf it when done."
else
  echo "The huge tree left out (BENCH_HUGE_FILES=0)."
fi
if ((WIDE_FILES + LONG_FILES > 0)); then
  echo "The wide folders are kept for later runs in $WIDE_DIR$( ((MAKE_WIDE)) || echo " (made by an earlier run)"); rm -rf it when done."
fi
echo
echo "| case | command | median s | MiB/s | files/s | x md5sum | CPU s | max RSS MiB |"
echo "|---|---|---:|---:|---:|---:|---:|---:|"
printf '| MD5 limit, one core | openssl speed -evp md5 -bytes 16384 | | %.0f | | | | |\n' "$LIMIT"
printf '| MD5 limit, all %s cores | openssl speed -multi %s -evp md5 -bytes 16384 | | %.0f | | | | |\n' "$CORES" "$CORES" "$LIMIT_ALL_MEDIAN"
for case in "${CASES[@]}"; do
  ref=$(wall "$case.md5sum")
  read -r -a tools <<<"$(case_tools "$case")"
  for tool in "${tools[@]}"; do
    label="$case.$tool"
    text=${TOOL_TEXT[$tool]}
    [[ $case == *.verify && $tool == md5sum ]] && text="md5sum -c"
    m=$(wall "$label")
    cpu="n/a" rss="n/a"
    if [ "$HAVE_TIME" = 1 ]; then
      cpu=$(printf '%s' "${CPU[$label]}" | median | awk '{printf "%.2f", $1}')
      rss=$(awk -v k="$(printf '%s' "${RSS[$label]}" | maximum)" 'BEGIN {printf "%.1f", k / 1024}')
    fi
    awk -v c="${CASE_TEXT[$case]}" -v t="$text" -v m="$m" -v b="${CASE_BYTES[$case]}" \
      -v n="${CASE_FILES[$case]}" -v r="$ref" -v cpu="$cpu" -v rss="$rss" 'BEGIN {
        printf "| %s | %s | %.3f | %.0f | %s | %s | %s | %s |\n", c, t, m, b / 1048576 / m,
          (n > 1) ? sprintf("%.0f", n / m) : "", (r > 0) ? sprintf("%.2f", r / m) : "", cpu, rss }'
  done
done

# Targets, each a ratio of two medians of this run.
echo
echo "| target | wanted | measured | |"
echo "|---|---:|---:|---|"
target() { printf '| %s | %s %s | %s | %s |\n' "$1" "$2" "$3" "$4" "$(verdict "$4" "$2" "$3")"; }
target "mixed tree, build, sumvane default threads / one-stream MD5 limit of all $CORES cores" ">=" 2.5 \
  "$(ratio "$(mibps "$MIXED_BYTES" "$(wall mixed.sumvane)")" "$LIMIT_ALL_MEDIAN")"
target "mixed tree, verify, sumvane default threads / one-stream MD5 limit of all $CORES cores" ">=" 2.5 \
  "$(ratio "$(mibps "$MIXED_BYTES" "$(wall mixed.verify.sumvane)")" "$LIMIT_ALL_MEDIAN")"
target "mixed tree, verify with the walk for new files (-r -av) / verify (-r -v), sumvane default threads" "<=" 1.15 \
  "$(ratio "$(wall mixed.additions.sumvane)" "$(wall mixed.verify.sumvane)")"
target "mixed tree, build, sumvane default threads / xargs -P$CORES md5sum" ">=" 3.0 \
  "$(ratio "$(wall mixed.md5sum-P)" "$(wall mixed.sumvane)")"
target "mixed tree, build, sumvane default threads / hashdeep" ">=" 3.0 \
  "$([ "$HAVE_HASHDEEP" = 1 ] && ratio "$(wall mixed.hashdeep)" "$(wall mixed.sumvane)" || echo n/a)"
target "$SMALL_FILES x 4 KiB, sumvane 1 thread / md5sum" ">=" 2.5 \
  "$(ratio "$(wall small.md5sum)" "$(wall small.sumvane-1)")"
target "$SMALL_FILES x 4 KiB, sumvane default threads / xargs -P$CORES md5sum" ">=" 3.0 \
  "$(ratio "$(wall small.md5sum-P)" "$(wall small.sumvane)")"
target "1 file of $LARGE_MIB MiB warm, sumvane default threads / one-core MD5 limit" ">=" 0.97 \
  "$(ratio "$(mibps "$LARGE_BYTES" "$(wall large.warm.sumvane)")" "$LIMIT")"
if [ "$COLD" = 1 ]; then
  target "1 file of $LARGE_MIB MiB cold, sumvane default threads / md5sum" ">=" 1.40 \
    "$(ratio "$(wall large.cold.md5sum)" "$(wall large.cold.sumvane)")"
  target "mixed tree cold, verify, sumvane default threads / xargs -P8 cat (the rate the disk gives 8 readers)" ">=" 0.90 \
    "$(ratio "$(wall mixed.cold.verify.cat-P)" "$(wall mixed.cold.verify.sumvane)")"
else
  target "1 file of $LARGE_MIB MiB cold, sumvane default threads / md5sum" ">=" 1.40 n/a
  target "mixed tree cold, verify, sumvane default threads / xargs -P8 cat (the rate the disk gives 8 readers)" ">=" 0.90 n/a
fi
if [ "$HAVE_TIME" = 1 ]; then
  worst=0 worst_label=""
  for case in "${CASES[@]}"; do
    for tool in sumvane-1 sumvane; do
      [ -n "${RSS[$case.$tool]-}" ] || continue
      k=$(printf '%s' "${RSS[$case.$tool]}" | maximum)
      ((k > worst)) && worst=$k worst_label="${CASE_TEXT[$case]}, ${TOOL_TEXT[$tool]}"
    done
  done
  target "highest max RSS of any sumvane run, MiB ($worst_label)" "<=" 64 \
    "$(awk -v k="$worst" 'BEGIN {printf "%.1f", k / 1024}')"
  # A build holds one folder's names at a time: the widest folder decides.
  for case in wide long; do
    [ -n "${RSS[$case.sumvane]-}" ] || continue
    target "${CASE_TEXT[$case]}, build, max RSS of sumvane, MiB" "<=" 64 \
      "$(awk -v k="$(printf '%s' "${RSS[$case.sumvane]}" | maximum)" 'BEGIN {printf "%.1f", k / 1024}')"
  done
else
  target "highest max RSS of any sumvane run, MiB" "<=" 64 n/a
fi
if ((HUGE_FILES > 0)); then
  # A run of 5 s checks what a whole verify checks in 5 s, less the reading
  # of the summary that every run does once more: one run more than the
  # whole verify's time in slices of 5 s.
  expected=$(awk -v s="$(wall huge.verify.sumvane)" 'BEGIN {e = int(s / 5); if (e < s / 5) e++; print e + 1}')
  target "$HUGE_FILES files in slices of 5 s: runs until covered whole (the whole verify's time / 5 s, rounded up, + 1)" \
    "<=" "$expected" "$(printf '%s' "$SLICE_RUNS" | maximum)"
  target "$HUGE_FILES files in slices of 5 s: highest max RSS of a run, MiB" "<=" 64 \
    "$([ "$HAVE_TIME" = 1 ] && awk -v k="$(printf '%s' "${RSS[huge.slices.sumvane]}" | maximum)" 'BEGIN {printf "%.1f", k / 1024}' || echo n/a)"
  target "$HUGE_FILES files, verify with the walk for new files (-r -av): max RSS, MiB" "<=" 64 \
    "$([ "$HAVE_TIME" = 1 ] && awk -v k="$(printf '%s' "${RSS[huge.additions.sumvane]}" | maximum)" 'BEGIN {printf "%.1f", k / 1024}' || echo n/a)"
  target "$HUGE_FILES files listed in a shuffled order, verify with the walk (-r -av): max RSS, MiB" "<=" 64 \
    "$([ "$HAVE_TIME" = 1 ] && awk -v k="$(printf '%s' "${RSS[huge.shuffled.sumvane]}" | maximum)" 'BEGIN {printf "%.1f", k / 1024}' || echo n/a)"
fi
printf '| summaries, rewrites and logs: the same bytes at 1, 2 and 8 threads and every MD5 engine (%s) | the same | %s | %s |\n' \
  "${ENGINES[*]}" "$SAME_TEXT" "$([ ${#DIFFERING[@]} -eq 0 ] && echo met || echo "NOT met")"
[ "$CORES" -eq 2 ] || echo "(The targets are set for a 2-core machine; this one has $CORES online CPUs.)"

if [ ${#SEEK_ROWS[@]} -gt 0 ]; then
  echo
  echo "The head's travel reading $SEEK_FILES files of 4 KiB to 1 MiB in 20 folders, written in a shuffled order (sum of the jumps"
  echo "between the places read, from FIEMAP; each file read whole at its first read or ask of the disk; read cold):"
  echo
  echo "| read order | files | MiB on the disk | head travel MiB | x name order |"
  echo "|---|---:|---:|---:|---:|"
  name_travel=$(awk '$1 == "name" {print $4}' <<<"$(printf '%s\n' "${SEEK_ROWS[@]}")")
  for row in "${SEEK_ROWS[@]}"; do
    read -r order files mib travel <<<"$row"
    case $order in
      name) text="name order (the summary's)" ;;
      1) text="sumvane, SUMVANE_DISK_ORDER=1 (disk order)" ;;
      0) text="sumvane, SUMVANE_DISK_ORDER=0 (the line's order)" ;;
    esac
    printf '| %s | %s | %s | %s | %s |\n' "$text" "$files" "$mib" "$travel" "$(ratio "$travel" "$name_travel")"
  done
elif [ -n "$SEEK_WHY" ]; then
  echo
  echo "The head's travel of the read order not measured: $SEEK_WHY."
fi

if [ -n "$LANES_TABLE" ]; then
  echo
  echo "$LANES_TABLE"
fi

echo
echo '```'
echo "Commands: sumvane -n<file> -c -o<scratch> / sumvane -f<tree> -r -c|-v -o<scratch>, with SUMVANE_THREADS=1"
echo "(the slices: sumvane -f<tree> -v -t5s -o<scratch>, run again until the place says the summary was covered whole)"
echo "or without SUMVANE_THREADS; md5sum <file> / find <tree> -type f -print0 | xargs -0 md5sum / md5sum -c <list>;"
echo "find <tree> -type f -print0 | xargs -0 -P$CORES -n 500 md5sum; rhash --md5 [-r]; hashdeep -c md5 [-r] (its default"
echo "threads); openssl speed -mr -elapsed [-multi $CORES]."
[ "$HAVE_TIME" = 1 ] && echo "The one-core MD5 limit by CPU time instead of wall clock: $(printf '%s' "$LIMIT_CPU" | median | awk '{printf "%.0f", $1}') MiB/s (median)."
echo
echo "Wall time of each run (s), in run order:"
echo "  md5limit MiB/s: ${LIMIT_WALL% }"
echo "  md5limit, all cores, MiB/s: ${LIMIT_ALL% }"
for case in "${CASES[@]}"; do
  read -r -a tools <<<"$(case_tools "$case")"
  for tool in "${tools[@]}"; do printf '  %-24s %s\n' "$case.$tool:" "${WALL[$case.$tool]% }"; done
done
echo
echo "Correctness:"
for c in "${CHECKS[@]}"; do echo "  ok: $c"; done
echo '```'
