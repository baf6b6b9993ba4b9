#!/usr/bin/env bash
# The README's demo command as a newcomer runs it: scripts/demo.sh, whose
# output must show each step with the lines that say what the check found
# (the damage with its date kept, the edit, the new file, the moved one, the
# copy checked where it is) and the log as UTF-8, every exit code as
# expected, and everything it made under build/demo.
#
# Usage: tests/package/demo.sh
set -uo pipefail
cd "$(dirname "$0")/../.."
source tests/package/checks.sh

demo="$(pwd)/build/demo"
tree="$demo/tree"
copy="$demo/backup"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/sumvane-demo.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
# Files changed after this mark, outside the builds, the demo changed.
touch "$scratch/start"
sleep 1

echo "== Demo: bash scripts/demo.sh =="
if ! bash scripts/demo.sh >"$scratch/out.txt" 2>&1; then
    cat "$scratch/out.txt"
    fail "scripts/demo.sh failed"
    finish "Demo"
fi
out="$scratch/out.txt"

# section TITLE: the output from the step line "== TITLE" to the next step.
section() { awk -v title="== $1" 'index($0, title) == 1 { on = 1; print; next } /^== / { on = 0 } on' "$out"; }
# has TEXT WHAT SECTION_TITLE: the section holds a line with TEXT.
has() { section "$3" | grep -qF -- "$1" || fail "$2: no line with '$1' in the step '$3'"; }

record="Record every file below the tree"
has "(exit code 0)" "the build" "$record"
for file in empty.dat letters/minutes.txt letters/reader.txt photos/2026/harbour.raw photos/2026/quay.raw; do
    has " $tree/$file" "the summary shown" "$record"
done
section "$record" | grep -q '\.cache' && fail "the summary shown lists the dot folder"

clean="Check it: nothing changed"
has "(exit code 0)" "the clean check" "$clean"
section "$clean" | grep -q '^\[' && fail "the clean check said something: $(section "$clean" | grep '^\[')"

has "\$ cp -a $tree $copy" "the copy" "Copy the tree"
for step in "Damage photos/2026/harbour.raw: one byte changed, its date kept" "Edit letters/minutes.txt" \
    "Add letters/answer.txt, and move photos/2026/quay.raw"; do
    grep -qF "== $step" "$out" || fail "no step line '$step'"
done

check="Check with -a"
has "(exit code 1)" "the check with -a" "$check"
expected=("$tree/photos/2026/harbour.raw - MD5 Mismatch (" "- Damaged: Date Unchanged"
    "$tree/letters/minutes.txt - MD5 Mismatch (" "$tree/letters/answer.txt - New File"
    "$tree/photos/2026/quay.raw - Moved to $tree/photos/archive/quay.raw"
    "sumvane: 3 problems (1 damaged, 1 edited, 1 moved), 1 new file; log: ")
for text in "${expected[@]}"; do has "$text" "the check with -a" "$check"; done
section "$check" | grep -qE "$tree/photos/2026/harbour.raw - MD5 Mismatch \([0-9A-F]{32} - [0-9A-F]{32}\) - Damaged: Date Unchanged$" ||
    fail "the damaged file's line does not say it was damaged with its date unchanged"
section "$check" | grep -qE "$tree/letters/minutes.txt - MD5 Mismatch \([0-9A-F]{32} - [0-9A-F]{32}\) - Modified [0-9-]{10} [0-9:]{8}$" ||
    fail "the edited file's line does not say it was modified"
# The log, shown as UTF-8, holds the same four lines as standard error.
log_lines="$(section "$check" | sed -n '/^--- .*(UTF-16LE, shown as UTF-8)$/,$p' | grep '^\[')"
[ "$(wc -l <<<"$log_lines")" = 4 ] || fail "the log shown holds not 4 lines: $log_lines"
for text in "${expected[@]:0:5}"; do grep -qF -- "$text" <<<"$log_lines" || fail "the log shown has no '$text'"; done

copied="Check the copy"
has "(exit code 0)" "the check of the copy" "$copied"
has "] $copy - Recorded Under $tree" "the check of the copy" "$copied"
section "$copied" | grep -E '^\[' | grep -v ' - Recorded Under ' && fail "the copy's check found problems"

# Everything it made is under build/demo; nothing of the checkout changed
# but the builds.
changed="$(find . \( -path './build*' -o -path ./.git \) -prune -o -newer "$scratch/start" -print)"
[ -z "$changed" ] || fail "the demo changed files outside build/: $changed"
[ -d "$demo/logs" ] && [ -f "$tree/Sumvane.md5" ] && [ -f "$copy/Sumvane.md5" ] || fail "nothing under $demo"
finish "Demo"
