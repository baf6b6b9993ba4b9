#!/usr/bin/env bash
# Speed and memory benchmark: sumvane (one hashing thread and the default)
# against md5sum, rhash and hashdeep and against the one-core MD5 limit of this
# machine, all in one run with the commands interleaved. Prints a Markdown
# table of medians, the ratios that sumvane's targets are stated in, and
# whether each target was met.
#
#   bash bench/run.sh
#
# Settings (environment):
#   BENCH_LARGE_MIB    size of the large file in MiB                     (default 2048)
#   BENCH_SMALL_FILES  4 KiB files in the small tree and the mixed tree  (default 20000)
#   BENCH_MEDIUM_FILES 1 MiB files added to the mixed tree               (default 2000)
#   BENCH_FOLDERS      folders each tree spreads its files over          (default 200)
#   BENCH_REPS         runs of every command; the median is quoted       (default 5)
#   BENCH_MD5_SECONDS  length of one run of the MD5 limit                (default 3)
#   BENCH_COLD=0       leave out the cold-cache runs
#   BENCH_SUMVANE      the sumvane binary to measure (default: build this tree in build-bench/)
#   BENCH_DIR          parent of the scratch folder                       (default /tmp)
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
REPS=${BENCH_REPS:-5}
MD5_SECONDS=${BENCH_MD5_SECONDS:-3}
WANT_COLD=${BENCH_COLD:-1}
PARENT=${BENCH_DIR:-/tmp}
SMALL_BYTES=4096
MEDIUM_BYTES=1048576

note() { printf '%s\n' "$*" >&2; }
die() { note "bench: $*"; exit 1; }
is_root() { [ "$(id -u)" -eq 0 ]; }
for v in LARGE_MIB SMALL_FILES MEDIUM_FILES FOLDERS REPS MD5_SECONDS; do
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

if [ -n "${BENCH_SUMVANE:-}" ]; then
  SUMVANE=$BENCH_SUMVANE
else
  # Always brought up to date, so the binary measured is the one this tree builds.
  SUMVANE="$BUILD/sumvane"
  if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    note "Configuring a Release build in $BUILD ..."
    gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
    cmake -S "$ROOT" -B "$BUILD" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DSUMVANE_TESTS=OFF >/dev/null
  fi
  note "Building sumvane in $BUILD ..."
  cmake --build "$BUILD" -j2 >/dev/null
fi
[ -x "$SUMVANE" ] || die "no sumvane binary at $SUMVANE"
command -v md5sum >/dev/null || die "md5sum is required"
command -v openssl >/dev/null || die "openssl is required (MD5 limit and test data)"

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

TOOLS=(sumvane-1 sumvane md5sum)
[ "$HAVE_RHASH" = 1 ] && TOOLS+=(rhash)
[ "$HAVE_HASHDEEP" = 1 ] && TOOLS+=(hashdeep)

# --- scratch data ------------------------------------------------------------

LARGE_BYTES=$((LARGE_MIB * 1048576))
TREE_BYTES=$((SMALL_FILES * SMALL_BYTES))
MIXED_BYTES=$((TREE_BYTES + MEDIUM_FILES * MEDIUM_BYTES))
mkdir -p "$PARENT"
need_kib=$(((LARGE_BYTES + TREE_BYTES + MIXED_BYTES) / 1024 * 11 / 10 + 4 * (2 * SMALL_FILES + MEDIUM_FILES)))
have_kib=$(df -Pk "$PARENT" | awk 'NR == 2 {print $4}')
((have_kib >= need_kib)) || die "$PARENT has $((have_kib / 1024)) MiB free; the data needs about $((need_kib / 1024)) MiB (set BENCH_DIR)"

SCRATCH=$(mktemp -d "$PARENT/sumvane-bench.XXXXXX")
cleanup() {
  if [ "${BENCH_KEEP:-0}" = 1 ]; then note "Scratch kept in $SCRATCH"; else rm -rf "$SCRATCH"; fi
}
trap cleanup EXIT

BIG="$SCRATCH/large/large.bin"
SMALL="$SCRATCH/small"
MIXED="$SCRATCH/mixed"
OUT="$SCRATCH/out"
LOGDIR="$SCRATCH/log"
mkdir -p "$SCRATCH/large" "$SMALL" "$MIXED" "$OUT" "$LOGDIR"

# AES-CTR keystream: incompressible, reproducible and much faster than
# /dev/urandom. The reader stops it early, so its SIGPIPE is expected.
keystream() {
  openssl enc -aes-128-ctr -nosalt -K 000102030405060708090a0b0c0d0e0f -iv "$1" \
    -in /dev/zero 2>/dev/null || true
}

# make_tree DIR SMALL MEDIUM: SMALL files of 4 KiB and MEDIUM of 1 MiB, dealt
# round-robin over FOLDERS folders, contents cut from the keystream on stdin.
make_tree() {
  perl -e '
    use strict;
    my ($dir, $folders, $small, $medium, $sb, $mb) = @ARGV;
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
    put(sprintf("%s/d%03d/s%05d.dat", $dir, $_ % $folders, $_), $sb) for 0 .. $small - 1;
    put(sprintf("%s/d%03d/m%04d.dat", $dir, $_ % $folders, $_), $mb) for 0 .. $medium - 1;
  ' "$1" "$FOLDERS" "$2" "$3" "$SMALL_BYTES" "$MEDIUM_BYTES"
}

note "Writing a $LARGE_MIB MiB file, $SMALL_FILES x 4 KiB files and a mixed tree (+ $MEDIUM_FILES x 1 MiB) ..."
keystream 0 | head -c "$LARGE_BYTES" >"$BIG"
[ "$(stat -c %s "$BIG")" -eq "$LARGE_BYTES" ] || die "could not write $BIG"
keystream 1 | make_tree "$SMALL" "$SMALL_FILES" 0
keystream 2 | make_tree "$MIXED" "$SMALL_FILES" "$MEDIUM_FILES"
sync

# md5sum's digests are the reference every sumvane run is checked against.
md5list() { find "$1" -type f -print0 | xargs -0 md5sum; }
note "Computing the reference digests with md5sum ..."
REF_LARGE=$(md5sum "$BIG" | awk '{print toupper($1)}')
md5list "$SMALL" | sort >"$SCRATCH/small.ref"
md5list "$MIXED" | sort >"$SCRATCH/mixed.ref"
[ "$(wc -l <"$SCRATCH/small.ref")" -eq "$SMALL_FILES" ] || die "the small tree is incomplete"
[ "$(wc -l <"$SCRATCH/mixed.ref")" -eq "$((SMALL_FILES + MEDIUM_FILES))" ] || die "the mixed tree is incomplete"

# --- cold runs: only when the page cache can really be dropped -----------------

drop_caches() { sync && echo 3 >/proc/sys/vm/drop_caches; }
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
LIMIT_WALL="" LIMIT_CPU=""  # MD5 limit samples, MiB/s by wall clock and by CPU time

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

# measure CASE TOOL REP: one run of TOOL on the data of CASE (large.warm,
# large.cold, small, mixed). Sumvane's summary or companion is moved out after
# each run (and checked at the end), so every tool hashes the same files.
measure() {
  local case=$1 tool=$2 rep=$3 target label="$1.$2"
  case $case in
    large.*) target=$BIG ;;
    small) target=$SMALL ;;
    mixed) target=$MIXED ;;
  esac
  local threads=(env -u SUMVANE_THREADS)
  [ "$tool" = sumvane-1 ] && threads=(env SUMVANE_THREADS=1)
  [ "$case" = large.cold ] && drop_caches
  case $tool:$case in
    sumvane*:large.*)
      run_once "$label" "${threads[@]}" "$SUMVANE" "-n$target" -c "-o$LOGDIR"
      mv "$target.md5" "$OUT/$label.$rep.md5" ;;
    sumvane*)
      run_once "$label" "${threads[@]}" "$SUMVANE" "-f$target" -r -c "-o$LOGDIR"
      mv "$target/Sumvane.md5" "$OUT/$label.$rep.md5" ;;
    md5sum:large.*) run_once "$label" md5sum "$target" ;;
    md5sum:*) run_once "$label" bash -o pipefail -c 'find "$1" -type f -print0 | xargs -0 md5sum' _ "$target" ;;
    rhash:large.*) run_once "$label" rhash --md5 "$target" ;;
    rhash:*) run_once "$label" rhash --md5 -r "$target" ;;
    hashdeep:large.*) run_once "$label" hashdeep -c md5 "$target" ;;
    hashdeep:*) run_once "$label" hashdeep -c md5 -r "$target" ;;
  esac
}

warm() {
  cat "$BIG" >/dev/null
  find "$SMALL" "$MIXED" -type f -print0 | xargs -0 cat >/dev/null
}

CASES=(large.warm small mixed)
[ "$COLD" = 1 ] && CASES+=(large.cold)
LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)
note "Measuring: $REPS rounds of every command, interleaved ..."
for ((rep = 1; rep <= REPS; rep++)); do
  note "  round $rep of $REPS"
  md5_limit
  warm
  for case in "${CASES[@]}"; do
    # Each round starts with another tool, so none always runs first.
    for ((k = 0; k < ${#TOOLS[@]}; k++)); do
      measure "$case" "${TOOLS[(k + rep - 1) % ${#TOOLS[@]}]}" "$rep"
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

# Summary lines are '<32 upper-case digits> <path>' + CR LF; rewritten in
# md5sum's form, a summary must list exactly md5sum's digests and paths.
for tree in small mixed; do
  n=0
  for f in "$OUT/$tree".sumvane*.md5; do
    LC_ALL=C awk -v f="$(basename "$f")" '
      substr($0, 1, 32) !~ /^[0-9A-F]+$/ || substr($0, 33, 1) != " " || length($0) < 35 || !/\r$/ {
        print f ": bad line " NR ": " $0 > "/dev/stderr"; bad = 1; exit }
      {print tolower(substr($0, 1, 32)) "  " substr($0, 34, length($0) - 34)}
      END {exit bad}' "$f" | sort >"$SCRATCH/got" || die "$tree: $(basename "$f") is not a valid summary"
    cmp -s "$SCRATCH/got" "$SCRATCH/$tree.ref" ||
      die "$tree: $(basename "$f") differs from md5sum's list: $(diff "$SCRATCH/got" "$SCRATCH/$tree.ref" | head -n 4 | tr '\n' ' ')"
    n=$((n + 1))
  done
  CHECKS+=("$tree tree: all $n sumvane summaries list md5sum's $(wc -l <"$SCRATCH/$tree.ref") digests and paths")
done
[ -z "$(ls -A "$LOGDIR")" ] || die "sumvane wrote a problem log in $LOGDIR: $(ls "$LOGDIR")"
CHECKS+=("every run exited with 0; sumvane wrote no problem log")

# --- report --------------------------------------------------------------------

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
maximum() { tr ' ' '\n' | grep -v '^$' | sort -g | tail -n 1; }
wall() { printf '%s' "${WALL[$1]-}" | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (a > 0 && b > 0) printf "%.2f", a / b; else print "n/a"}'; }
# verdict VALUE OP BOUND
verdict() {
  [ "$1" = n/a ] && { echo "not measured"; return; }
  awk -v v="$1" -v op="$2" -v b="$3" 'BEGIN {
    ok = (op == ">=") ? v >= b : (op == ">") ? v > b : v <= b
    print ok ? "met" : "NOT met" }'
}

THREADS_DEFAULT=$(getconf _NPROCESSORS_ONLN)
declare -A TOOL_TEXT=(
  [sumvane-1]="sumvane, SUMVANE_THREADS=1"
  [sumvane]="sumvane, default threads ($THREADS_DEFAULT)"
  [md5sum]="md5sum"
  [rhash]="rhash"
  [hashdeep]="hashdeep"
)
declare -A CASE_TEXT=(
  [large.warm]="1 file of $LARGE_MIB MiB, warm"
  [large.cold]="1 file of $LARGE_MIB MiB, cold"
  [small]="$SMALL_FILES files of 4 KiB in $FOLDERS folders"
  [mixed]="mixed: $SMALL_FILES x 4 KiB + $MEDIUM_FILES x 1 MiB"
)
declare -A CASE_BYTES=([large.warm]=$LARGE_BYTES [large.cold]=$LARGE_BYTES [small]=$TREE_BYTES [mixed]=$MIXED_BYTES)
declare -A CASE_FILES=([large.warm]=1 [large.cold]=1 [small]=$SMALL_FILES [mixed]=$((SMALL_FILES + MEDIUM_FILES)))

LIMIT=$(printf '%s' "$LIMIT_WALL" | median)
cpu_model=$(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)

echo
echo "### bench/run.sh, $(date '+%Y-%m-%d %H:%M')"
echo
echo "Machine: $(nproc) online CPUs (${cpu_model:-unknown CPU}), $(awk '/^MemTotal:/ {printf "%.1f", $2 / 1048576}' /proc/meminfo) GiB memory, $(uname -sr);"
echo "scratch on $(df -P "$SCRATCH" | awk 'NR == 2 {print $1}') ($(stat -f -c %T "$SCRATCH")). Load average $LOAD_START at the start, $LOAD_END at the end."
echo "Tools: sumvane ($SUMVANE, banner: $(head -n 1 "$OUT/large.warm.sumvane.out" | tr -d '\r')); $(md5sum --version | head -n 1)$([ "$HAVE_RHASH" = 1 ] && printf '; %s' "$(rhash --version)"; true)$([ "$HAVE_HASHDEEP" = 1 ] && printf '; hashdeep %s' "$(hashdeep -V)"; true); $(openssl version | cut -d' ' -f1-2)."
echo "Median of $REPS interleaved runs; wall time from the shell. CPU s = user + system of all threads and"
echo "child processes, max RSS = the highest of the $REPS runs (/usr/bin/time %U %S %M). x md5sum = md5sum's median / this one."
[ "$COLD" = 1 ] || echo "Cold runs skipped: $COLD_WHY."
[ "$HAVE_RHASH" = 1 ] || echo "rhash skipped: not installed."
[ "$HAVE_HASHDEEP" = 1 ] || echo "hashdeep skipped: not installed."
echo
echo "| case | command | median s | MiB/s | files/s | x md5sum | CPU s | max RSS MiB |"
echo "|---|---|---:|---:|---:|---:|---:|---:|"
printf '| MD5 limit, one core | openssl speed -evp md5 -bytes 16384 | | %.0f | | | | |\n' "$LIMIT"
for case in "${CASES[@]}"; do
  ref=$(wall "$case.md5sum")
  for tool in "${TOOLS[@]}"; do
    label="$case.$tool"
    m=$(wall "$label")
    cpu="n/a" rss="n/a"
    if [ "$HAVE_TIME" = 1 ]; then
      cpu=$(printf '%s' "${CPU[$label]}" | median | awk '{printf "%.2f", $1}')
      rss=$(awk -v k="$(printf '%s' "${RSS[$label]}" | maximum)" 'BEGIN {printf "%.1f", k / 1024}')
    fi
    awk -v c="${CASE_TEXT[$case]}" -v t="${TOOL_TEXT[$tool]}" -v m="$m" -v b="${CASE_BYTES[$case]}" \
      -v n="${CASE_FILES[$case]}" -v r="$ref" -v cpu="$cpu" -v rss="$rss" 'BEGIN {
        printf "| %s | %s | %.3f | %.0f | %s | %.2f | %s | %s |\n", c, t, m, b / 1048576 / m,
          (n > 1) ? sprintf("%.0f", n / m) : "", r / m, cpu, rss }'
  done
done

# Targets, each a ratio of two medians of this run.
echo
echo "| target | wanted | measured | |"
echo "|---|---:|---:|---|"
target() { printf '| %s | %s %s | %s | %s |\n' "$1" "$2" "$3" "$4" "$(verdict "$4" "$2" "$3")"; }
target "1 large file warm, sumvane (default threads) / one-core MD5 limit" ">=" 0.97 \
  "$(ratio "$(awk -v b="$LARGE_BYTES" -v s="$(wall large.warm.sumvane)" 'BEGIN {print b / 1048576 / s}')" "$LIMIT")"
if [ "$COLD" = 1 ]; then
  target "1 large file cold, sumvane (default threads) / md5sum" ">=" 1.40 \
    "$(ratio "$(wall large.cold.md5sum)" "$(wall large.cold.sumvane)")"
else
  target "1 large file cold, sumvane (default threads) / md5sum" ">=" 1.40 n/a
fi
target "$SMALL_FILES small files, sumvane 1 thread / md5sum (files per second)" ">=" 1.30 \
  "$(ratio "$(wall small.md5sum)" "$(wall small.sumvane-1)")"
target "mixed tree, sumvane default threads / sumvane 1 thread" ">=" 1.70 \
  "$(ratio "$(wall mixed.sumvane-1)" "$(wall mixed.sumvane)")"
target "mixed tree, sumvane default threads / hashdeep" ">" 1.00 \
  "$([ "$HAVE_HASHDEEP" = 1 ] && ratio "$(wall mixed.hashdeep)" "$(wall mixed.sumvane)" || echo n/a)"
if [ "$HAVE_TIME" = 1 ]; then
  worst=0 worst_label=""
  for case in "${CASES[@]}"; do
    for tool in sumvane-1 sumvane; do
      k=$(printf '%s' "${RSS[$case.$tool]}" | maximum)
      ((k > worst)) && worst=$k worst_label="${CASE_TEXT[$case]}, ${TOOL_TEXT[$tool]}"
    done
  done
  target "highest max RSS of any sumvane run, MiB ($worst_label)" "<=" 64 \
    "$(awk -v k="$worst" 'BEGIN {printf "%.1f", k / 1024}')"
else
  target "highest max RSS of any sumvane run, MiB" "<=" 64 n/a
fi
[ "$(nproc)" -eq 2 ] || echo "(The targets are set for a 2-core machine; this one has $(nproc) online CPUs.)"

echo
echo '```'
echo "Commands: sumvane -n<file> -c -o<scratch> / sumvane -f<tree> -r -c -o<scratch>, with SUMVANE_THREADS=1"
echo "or without SUMVANE_THREADS; md5sum <file> / find <tree> -type f -print0 | xargs -0 md5sum;"
echo "rhash --md5 [-r]; hashdeep -c md5 [-r] (its default threads); openssl speed -mr -elapsed."
[ "$HAVE_TIME" = 1 ] && echo "The MD5 limit by CPU time instead of wall clock: $(printf '%s' "$LIMIT_CPU" | median | awk '{printf "%.0f", $1}') MiB/s (median)."
echo
echo "Wall time of each run (s), in run order:"
echo "  md5limit MiB/s: ${LIMIT_WALL% }"
for case in "${CASES[@]}"; do
  for tool in "${TOOLS[@]}"; do printf '  %-20s %s\n' "$case.$tool:" "${WALL[$case.$tool]% }"; done
done
echo
echo "Correctness:"
for c in "${CHECKS[@]}"; do echo "  ok: $c"; done
echo '```'
