#!/usr/bin/env bash
# Builds the program, makes a small demo tree under build/demo, records it,
# copies it, then damages, edits, adds and moves files in it and checks the
# tree and its copy: what the check tells of each. Everything it makes is
# under build/demo.
set -euo pipefail
cd "$(dirname "$0")/.."

# An absolute folder, as a real check needs: the summary records the paths
# as the folder is given.
demo="$(pwd)/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
# The set-up and the build print a lot, and take minutes the first time:
# one line for each here, their whole output in a file.
output="$demo/setup-and-build.log"
step() {
  local what="$1"
  shift
  printf '%s ... ' "$what"
  if "$@" >>"$output" 2>&1; then
    echo done
  else
    echo failed
    tail -n 20 "$output"
    echo "(the whole output is in $output)"
    exit 1
  fi
}
step "Installing build tools (first run only)" bash scripts/setup.sh demo
step "Building" bash scripts/build-linux.sh
echo "(their whole output is in $output)"

tree="$demo/tree"
copy="$demo/backup"
logs="$demo/logs"
mkdir -p "$tree/letters" "$tree/photos/2026" "$tree/.cache" "$logs"
printf 'Dear reader,\r\nthe archive is intact.\r\n' > "$tree/letters/reader.txt"
printf 'minutes of the meeting\n' > "$tree/letters/minutes.txt"
head -c 300000 /dev/urandom > "$tree/photos/2026/harbour.raw"
head -c 200000 /dev/urandom > "$tree/photos/2026/quay.raw"
: > "$tree/empty.dat"
printf 'not recorded: dot folders are skipped\n' > "$tree/.cache/state"
sumvane="$(pwd)/build/sumvane"

# say TEXT: one line of what the next step does.
say() { echo; echo "== $*"; }
run() {
  echo "\$ sumvane $*"
  local rc=0
  "$sumvane" "$@" || rc=$?
  echo "(exit code $rc)"
}
# show_log FOLDER: the log of the last check of FOLDER, named after it.
show_log() {
  local log="$logs/$(tr -d / <<<"$1").txt"
  echo "--- $log (UTF-16LE, shown as UTF-8)"
  iconv -f UTF-16LE -t UTF-8 "$log"
}

say "Record every file below the tree (dot folders left out) in its summary"
run "-f$tree" -r -c "-o$logs"
echo "--- $tree/Sumvane.md5"; cat "$tree/Sumvane.md5"

say "Check it: nothing changed, so nothing is said and the exit code is 0"
run "-f$tree" -r -v "-o$logs"

say "Copy the tree, summary and all, as a backup would (cp -a)"
cp -a "$tree" "$copy"
echo "\$ cp -a $tree $copy"

say "Damage photos/2026/harbour.raw: one byte changed, its date kept, as decay or a faulty disk does"
touch -r "$tree/photos/2026/harbour.raw" "$demo/date"
printf '\377' | dd of="$tree/photos/2026/harbour.raw" bs=1 seek=1000 conv=notrunc status=none
touch -r "$demo/date" "$tree/photos/2026/harbour.raw"
rm "$demo/date"
say "Edit letters/minutes.txt, as its owner would: its date changes"
printf 'minutes of the meeting, amended\n' > "$tree/letters/minutes.txt"
say "Add letters/answer.txt, and move photos/2026/quay.raw to photos/archive/"
printf 'Dear writer,\r\nthank you.\r\n' > "$tree/letters/answer.txt"
mkdir "$tree/photos/archive"
mv "$tree/photos/2026/quay.raw" "$tree/photos/archive/quay.raw"

say "Check with -a: the damage and the edit told apart, the new file and the moved one named"
run "-f$tree" -r -av "-o$logs"
show_log "$tree"

say "Check the copy: it is read where it is, not at the tree, and is intact"
run "-f$copy" -r -v "-o$logs"
show_log "$copy"
echo
echo "Everything above is in $demo."
