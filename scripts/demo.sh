#!/usr/bin/env bash
# Builds the program, makes a small demo tree under build/demo, records it,
# verifies it, changes it, and verifies it again with a rewrite.
set -euo pipefail
cd "$(dirname "$0")/.."

# The set-up and the build print a lot, and take minutes the first time:
# one line for each here, their whole output in a file.
mkdir -p build
output=build/demo-output.log
: >"$output"
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

# An absolute folder, as a real check needs: the summary records the paths
# as the folder is given.
demo="$(pwd)/build/demo"
rm -rf "$demo"
mkdir -p "$demo/tree/letters" "$demo/tree/photos/2026" "$demo/tree/.cache" "$demo/logs"
printf 'Dear reader,\r\nthe archive is intact.\r\n' > "$demo/tree/letters/reader.txt"
printf 'minutes of the meeting\n' > "$demo/tree/letters/minutes.txt"
head -c 300000 /dev/urandom > "$demo/tree/photos/2026/harbour.raw"
: > "$demo/tree/empty.dat"
printf 'not recorded: dot folders are skipped\n' > "$demo/tree/.cache/state"
sumvane=build/sumvane

run() {
  echo; echo "\$ sumvane $*"
  local rc=0
  "$sumvane" "$@" || rc=$?
  echo "(exit code $rc)"
}

run "-f$demo/tree" -r -c "-o$demo/logs"
echo; echo "--- $demo/tree/Sumvane.md5"; cat "$demo/tree/Sumvane.md5"
run "-f$demo/tree" -r -v "-o$demo/logs"

echo; echo "Changing letters/minutes.txt and removing empty.dat ..."
printf 'minutes of the meeting, amended\n' > "$demo/tree/letters/minutes.txt"
rm "$demo/tree/empty.dat"
run "-f$demo/tree" -vc "-o$demo/logs"
for log in "$demo"/logs/*.txt; do
  echo; echo "--- $log (UTF-16LE, shown as UTF-8)"; iconv -f UTF-16LE -t UTF-8 "$log"
done
echo; echo "--- $demo/tree/Sumvane.md5X (the tree as it is now)"; cat "$demo/tree/Sumvane.md5X"
