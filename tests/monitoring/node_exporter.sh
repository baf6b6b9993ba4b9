#!/usr/bin/env bash
# The files -m and -j write, read by the real readers: Debian's
# prometheus-node-exporter, started here on a free loopback port with its
# textfile collector on a folder of our own, scraped (curl) after a clean
# check and after a check that finds damage; promtool check metrics on every
# metrics file written, one of them for a folder whose name holds quotes,
# backslashes, a line end and bytes that are not UTF-8; jq on every line of
# every JSON report. Exits 77, saying what is missing, without those tools.
#
# Usage: tests/monitoring/node_exporter.sh PROGRAM
set -uo pipefail
program="$(realpath "$1")"
exporter=/usr/bin/prometheus-node-exporter

missing=()
[ -x "$exporter" ] || missing+=("prometheus-node-exporter (package prometheus-node-exporter)")
command -v promtool >/dev/null || missing+=("promtool (package prometheus)")
command -v jq >/dev/null || missing+=("jq (package jq)")
command -v curl >/dev/null || missing+=("curl (package curl)")
if [ ${#missing[@]} -gt 0 ]; then
    echo "node_exporter: skipped: missing ${missing[*]}; scripts/install-linux-deps.sh installs them"
    exit 77
fi

source "$(dirname "$0")/../package/checks.sh"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/sumvane-node-exporter.XXXXXX")"
exporter_pid=
cleanup() {
    if [ -n "$exporter_pid" ]; then
        kill "$exporter_pid" 2>/dev/null
        wait "$exporter_pid" 2>/dev/null
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

textfiles="$scratch/textfile"
mkdir -p "$textfiles" "$scratch/logs"
# node_exporter runs as its own user (Debian's: prometheus), never as the
# root the checks run as: what it cannot read is a scrape error. Run as root,
# it is started so here; the files are written as root.
as_exporter=()
if [ "$(id -u)" -eq 0 ]; then
    exporter_user=prometheus
    id "$exporter_user" >/dev/null 2>&1 || exporter_user=nobody
    as_exporter=(runuser -u "$exporter_user" --)
    chmod 755 "$scratch" "$textfiles"
fi

# A port nobody listens on: node_exporter is started on one at random until
# it answers, or ends because another process holds it.
port=
for try in 1 2 3 4 5 6 7 8; do
    candidate=$((20000 + RANDOM % 40000))
    "${as_exporter[@]}" "$exporter" --web.listen-address="127.0.0.1:$candidate" --collector.disable-defaults --collector.textfile \
        --collector.textfile.directory="$textfiles" >"$scratch/exporter.log" 2>&1 &
    exporter_pid=$!
    for wait in $(seq 50); do
        if curl -sf "http://127.0.0.1:$candidate/metrics" >/dev/null; then port=$candidate; break 2; fi
        kill -0 "$exporter_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$exporter_pid" 2>/dev/null
    wait "$exporter_pid" 2>/dev/null
    exporter_pid=
done
if [ -z "$port" ]; then
    echo "node_exporter did not start:"
    cat "$scratch/exporter.log"
    fail "node_exporter on a loopback port"
    finish "node_exporter"
fi
echo "== node_exporter on 127.0.0.1:$port, textfile folder $textfiles =="

scrape() { curl -sf "http://127.0.0.1:$port/metrics" >"$scratch/scrape.txt" || fail "scrape of /metrics"; }
# expect_sample LINE: the scrape holds that sample line exactly.
expect_sample() { grep -qxF -- "$1" "$scratch/scrape.txt" || fail "not scraped: $1"; }
# run EXIT_CODE ARGS...: the program with those arguments ends with that code.
run() {
    local expected="$1"
    shift
    "$program" "$@" -o"$scratch/logs" >"$scratch/out.txt" 2>"$scratch/err.txt"
    local code=$?
    [ "$code" -eq "$expected" ] || fail "exit code $code, not $expected: $* ($(cat "$scratch/err.txt"))"
}
# The JSON report: every line an object jq reads, the last one the run's.
check_json() {
    local lines objects
    lines="$(wc -l <"$1")"
    objects="$(jq -s 'map(select(type == "object")) | length' <"$1")" || { fail "jq cannot read $1"; return; }
    [ "$lines" -gt 0 ] && [ "$objects" = "$lines" ] || fail "$1: $lines lines, $objects objects jq read"
    [ "$(tail -n 1 "$1" | jq -r .kind)" = run ] || fail "$1: the last object is not the run's"
}
check_metrics() { promtool check metrics <"$1" >"$scratch/lint.txt" 2>&1 || fail "promtool check metrics $1: $(cat "$scratch/lint.txt")"; }

photos="$scratch/photos"
mkdir -p "$photos/sub"
printf 'photo a' >"$photos/a.jpg"
printf 'photo b' >"$photos/sub/b.jpg"
printf 'photo c' >"$photos/sub/c.jpg"
prom="$textfiles/sumvane_photos.prom"
folder="folder=\"$photos\""

run 0 -f"$photos" -r -c -m"$prom" -j"$scratch/build.json"
run 0 -f"$photos" -v -m"$prom" -j"$scratch/clean.json"
check_metrics "$prom"
check_json "$scratch/build.json"
check_json "$scratch/clean.json"
scrape
expect_sample "sumvane_last_run_success{$folder} 1"
expect_sample "sumvane_files_checked{$folder} 3"
expect_sample "sumvane_recorded_files{$folder} 3"
expect_sample "sumvane_problems{$folder,kind=\"damaged\"} 0"
expect_sample "node_textfile_scrape_error 0"
last_success="$(sed -n "s/^sumvane_last_success_timestamp_seconds{[^}]*} //p" "$scratch/scrape.txt")"
# node_exporter gives numbers in its own notation: 1.7963e+09 for seconds.
[ -n "$last_success" ] && awk -v t="$last_success" -v now="$(date +%s)" 'BEGIN { exit !(t > now - 60 && t <= now + 1) }' ||
    fail "the last success is not now: '$last_success'"
grep -q '^node_textfile_mtime_seconds{file="\([^"]*/\)\?sumvane_photos.prom"} ' "$scratch/scrape.txt" ||
    fail "no node_textfile_mtime_seconds for sumvane_photos.prom"

# Damage: the bytes change, the date does not.
touch -r "$photos/sub/b.jpg" "$scratch/date"
printf 'photo B' >"$photos/sub/b.jpg"
touch -r "$scratch/date" "$photos/sub/b.jpg"
run 1 -f"$photos" -v -m"$prom" -j"$scratch/damaged.json"
check_metrics "$prom"
check_json "$scratch/damaged.json"
[ "$(jq -r 'select(.kind == "damaged") | .path' <"$scratch/damaged.json")" = "$photos/sub/b.jpg" ] ||
    fail "the JSON report does not name the damaged file"
scrape
expect_sample "sumvane_last_run_success{$folder} 0"
expect_sample "sumvane_problems{$folder,kind=\"damaged\"} 1"
expect_sample "sumvane_problems{$folder,kind=\"missing\"} 0"
expect_sample "node_textfile_scrape_error 0"
grep -qxF "sumvane_last_success_timestamp_seconds{$folder} $last_success" "$scratch/scrape.txt" ||
    fail "the last success was not kept ($last_success)"

# A name with everything the format escapes, and bytes that are not UTF-8.
# A summary line cannot hold a line end: its file is "Unable to Write".
odd="$scratch/$(printf 'say "cheese" \\ back\nslash\377\376')"
mkdir -p "$odd"
printf 'odd' >"$odd/o.txt"
run 1 -f"$odd" -c -m"$textfiles/sumvane_odd.prom" -j"$scratch/odd.json"
check_metrics "$textfiles/sumvane_odd.prom"
check_json "$scratch/odd.json"
label="$(printf '%s' "$scratch/" | sed 's/\\/\\\\/g')say \\\"cheese\\\" \\\\ back\\nslash\\\\xff\\\\xfe"
grep -qF "sumvane_last_run_success{folder=\"$label\"} 0" "$textfiles/sumvane_odd.prom" ||
    fail "the odd folder's label is not escaped as the format says: $(grep last_run_success "$textfiles/sumvane_odd.prom")"
[ "$(jq -r 'select(.kind == "unwritable") | .path' <"$scratch/odd.json")" = \
  "$(printf '%s' "$scratch/say \"cheese\" \\ back")"$'\n'"slash\\xff\\xfe/o.txt" ] ||
    fail "the JSON report does not name the odd folder's file as the terminal shows it"
scrape
expect_sample "sumvane_problems{folder=\"$label\",kind=\"unwritable\"} 1"
expect_sample "sumvane_last_run_success{$folder} 0"
expect_sample "node_textfile_scrape_error 0"

finish "node_exporter"
