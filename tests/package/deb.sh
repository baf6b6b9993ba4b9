#!/usr/bin/env bash
# The Debian package as a user meets it: builds it with CPack from a Linux
# build, checks its control fields and its files, installs it with dpkg,
# runs the installed program on a small tree (-c, then -v), renders and lints
# the installed manual page, and removes the package, which must leave
# nothing behind. Under CI as root it installs into the system, where the
# package's dependencies must be met; elsewhere into a scratch root with a
# package database of its own, so a developer's system stays as it was.
# Exits 77, saying why, where dpkg is missing.
#
# Usage: tests/package/deb.sh [BUILD_DIR]   (default: build)
set -uo pipefail
cd "$(dirname "$0")/../.."
build="$(realpath -m "${1:-build}")"

for tool in dpkg dpkg-deb dpkg-query; do
    if ! command -v "$tool" >/dev/null; then
        echo "Debian package: skipped: $tool is missing (not a Debian system)"
        exit 77
    fi
done

source tests/package/checks.sh
cached() { sed -n "s/^$1:STATIC=//p" "$build/CMakeCache.txt"; }

version="$(cached CMAKE_PROJECT_VERSION)"
description="$(cached CMAKE_PROJECT_DESCRIPTION)"
architecture="$(dpkg --print-architecture)"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/sumvane-deb.XXXXXX")"
system_install=0
cleanup() {
    if [ "$system_install" = 1 ] && dpkg-query -W -f='${Status}' sumvane 2>/dev/null | grep -q ' installed$'; then
        dpkg -r sumvane >/dev/null 2>&1
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

echo "== Debian package: cpack =="
if ! cpack -G DEB -B "$scratch/out" --config "$build/CPackConfig.cmake" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log"
    fail "cpack could not build the package"
    finish "Debian package"
fi
deb="$scratch/out/sumvane_${version}_${architecture}.deb"
if [ ! -f "$deb" ]; then
    fail "no $(basename "$deb"); cpack made: $(ls "$scratch/out")"
    finish "Debian package"
fi
echo "$(basename "$deb")"

# Control fields: the project's version and description, and the library
# packages found from the program's links (libssl's among them).
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = sumvane ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), the project's is $version"
[ "$(field Architecture)" = "$architecture" ] || fail "Architecture: $(field Architecture)"
grep -Eq '(^|, )libssl[0-9.]* ' <<<"$(field Depends)" || fail "Depends has no libssl package: $(field Depends)"
grep -Eq '(^|, )libc6 ' <<<"$(field Depends)" || fail "Depends has no libc6: $(field Depends)"
long_description="$(field Description)"
[ "$(head -n 1 <<<"$long_description")" = "$description" ] || fail "short description: $(head -n 1 <<<"$long_description")"
[ "$(wc -l <<<"$long_description")" -ge 3 ] || fail "no long description"
[ -z "$(awk 'length > 80' <<<"$long_description")" ] || fail "description lines over 80 characters"

# The files, and nothing else (no tests, no helpers).
expected_files="./usr/bin/sumvane
./usr/lib/systemd/system/sumvane-check@.service
./usr/lib/systemd/system/sumvane-check@.timer
./usr/lib/systemd/system/sumvane-slice@.service
./usr/lib/systemd/system/sumvane-slice@.timer
./usr/share/doc/sumvane/README.md
./usr/share/doc/sumvane/Sumvane.html
$(for doc in docs/*.md; do echo "./usr/share/doc/sumvane/$doc"; done)
./usr/share/man/man1/sumvane.1
./usr/share/sumvane/prometheus/sumvane-alerts.yml"
expected_files="$(sort <<<"$expected_files")"
files="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sort)"
[ "$files" = "$expected_files" ] || fail "the package holds:"$'\n'"$files"

echo "== Debian package: dpkg -i =="
if [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ] &&
    ! dpkg-query -W -f='${Status}' sumvane 2>/dev/null | grep -q ' installed$'; then
    echo "into the system (CI, as root)"
    root=""
    dpkg_command=(dpkg)
    system_install=1
else
    root="$scratch/root"
    echo "into the scratch root $root (the system's is used only under CI as root, when no sumvane is installed)"
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
    : >"$root/var/lib/dpkg/status"
    # Its database lists no library package, so the dependencies, checked
    # above, cannot be met here.
    dpkg_command=(dpkg --root="$root" --force-not-root --force-depends)
fi
if ! "${dpkg_command[@]}" -i "$deb" >"$scratch/dpkg.log" 2>&1; then
    cat "$scratch/dpkg.log"
    fail "dpkg -i failed"
    finish "Debian package"
fi
installed_status="$(dpkg-query ${root:+--root="$root"} -W -f='${Status}' sumvane 2>/dev/null)"
[ "$installed_status" = "install ok installed" ] || fail "after dpkg -i the package is '$installed_status'"
program="$root/usr/bin/sumvane"
for doc in README.md docs/*.md; do
    cmp -s "$root/usr/share/doc/sumvane/$doc" "$doc" || fail "the installed $doc is not the project's"
done

echo "== Debian package: the installed program =="
tree="$scratch/tree"
logs="$scratch/logs"
mkdir -p "$tree/sub" "$logs"
printf 'first file\n' >"$tree/a.txt"
printf 'second file\r\n' >"$tree/sub/b.txt"
digest() { md5sum "$1" | cut -c1-32 | tr a-f A-F; }
printf '%s %s\r\n%s %s\r\n' "$(digest "$tree/a.txt")" "$tree/a.txt" "$(digest "$tree/sub/b.txt")" "$tree/sub/b.txt" \
    >"$scratch/expected.md5"
run() {
    HOME="$scratch" "$program" "$@" >"$scratch/out.txt" 2>"$scratch/err.txt"
    echo $?
}
[ "$(run "-f$tree" -r -c "-o$logs")" = 0 ] || fail "-c: exit code not 0; $(cat "$scratch/err.txt")"
[ "$(head -n 1 "$scratch/out.txt")" = "Sumvane v$version" ] || fail "banner: $(head -n 1 "$scratch/out.txt")"
cmp -s "$tree/Sumvane.md5" "$scratch/expected.md5" || fail "the summary written by -c is not the expected one"
[ "$(run "-f$tree" -r -v "-o$logs")" = 0 ] || fail "-v: exit code not 0; $(cat "$scratch/err.txt")"
[ -z "$(ls -A "$logs")" ] || fail "-v of an unchanged tree left a log: $(ls -A "$logs")"
printf 'changed\n' >"$tree/sub/b.txt"
[ "$(run "-f$tree" -r -v "-o$logs")" = 1 ] || fail "-v after a change: exit code not 1"
log="$logs/$(tr -d '/' <<<"$tree").txt"
iconv -f UTF-16LE -t UTF-8 "$log" 2>/dev/null | grep -q "$tree/sub/b.txt - MD5 Mismatch" ||
    fail "-v after a change: no mismatch line in $log"

echo "== Debian package: the systemd units =="
# The units as systemd reads them, for the instance of a folder: any warning
# fails, as does a program that is not where the unit names it. The tool
# needs no running systemd (scripts/install-linux-deps.sh installs it); where
# it is missing or cannot run, the check is skipped, saying why.
units="$root/usr/lib/systemd/system"
# Its shell adds -m where node_exporter's textfile folder exists (Debian's
# /var/lib/prometheus/node-exporter by default), the file named by the
# instance: the installed unit's command, as systemd runs it for
# sumvane-<unit>@<tree>, writes sumvane_<tree>.prom into such a folder.
textfiles="$scratch/node-exporter"
mkdir -p "$textfiles"
for unit in check slice; do
    grep -qx "ExecStart=/bin/sh -c '.*' /usr/bin/sumvane -f%f -v .*-o/var/log/sumvane" "$units/sumvane-$unit@.service" ||
        fail "sumvane-$unit@.service does not run /usr/bin/sumvane on its folder: $(grep ExecStart "$units/sumvane-$unit@.service")"
    grep -qx "Environment=SUMVANE_TEXTFILE_FOLDER=/var/lib/prometheus/node-exporter" "$units/sumvane-$unit@.service" ||
        fail "sumvane-$unit@.service does not look for node_exporter's textfile folder"
    command="$(sed -n 's/^ExecStart=//p' "$units/sumvane-$unit@.service" | sed -e 's/\$\$/$/g' -e 's/%i/tree/g' \
        -e "s#%f#$tree#g" -e "s#/usr/bin/sumvane #$root/usr/bin/sumvane #" -e "s#/var/log/sumvane#$logs#" \
        -e 's/${SUMVANE_SLICE_TIME}/4h/')"
    rm -f "$textfiles/sumvane_tree.prom"
    SUMVANE_TEXTFILE_FOLDER="$textfiles" sh -c "$command" >/dev/null 2>&1
    grep -q "^sumvane_last_run_success{folder=\"$tree\"} " "$textfiles/sumvane_tree.prom" 2>/dev/null ||
        fail "sumvane-$unit@tree.service wrote no sumvane_tree.prom where node_exporter's folder is"
done
grep -q -- '-t${SUMVANE_SLICE_TIME}' "$units/sumvane-slice@.service" || fail "sumvane-slice@.service runs no -t"
rules="$root/usr/share/sumvane/prometheus/sumvane-alerts.yml"
cmp -s "$rules" resources/prometheus/sumvane-alerts.yml || fail "the installed alert rules are not the project's"
if command -v promtool >/dev/null; then
    promtool check rules "$rules" >"$scratch/promtool.log" 2>&1 || fail "promtool check rules: $(cat "$scratch/promtool.log")"
else
    echo "promtool check rules: skipped: promtool is missing (scripts/install-linux-deps.sh installs the prometheus package)"
fi
instance="$scratch/units"
mkdir -p "$instance"
printf '[Service]\nType=oneshot\nExecStart=/bin/true\n' >"$instance/probe.service"
if ! command -v systemd-analyze >/dev/null; then
    echo "systemd-analyze verify: skipped: systemd-analyze is missing (scripts/install-linux-deps.sh installs the systemd package)"
elif ! systemd-analyze verify --man=no "$instance/probe.service" >"$scratch/verify.log" 2>&1; then
    # A container without what systemd-analyze needs fails even a unit
    # that holds nothing wrong: nothing can be learnt here.
    echo "systemd-analyze verify: skipped: it cannot run here, failing a unit with nothing wrong: $(head -n 3 "$scratch/verify.log")"
else
    for unit in check slice; do
        for kind in service timer; do
            # systemd-analyze reads a template through an instance of it.
            sed "s#' /usr/bin/sumvane #' $root/usr/bin/sumvane #" "$units/sumvane-$unit@.$kind" \
                >"$instance/sumvane-$unit@srv-photos.$kind"
        done
        if ! systemd-analyze verify --man=no "$instance/sumvane-$unit@srv-photos.service" \
            "$instance/sumvane-$unit@srv-photos.timer" >"$scratch/verify.log" 2>&1 || [ -s "$scratch/verify.log" ]; then
            fail "systemd-analyze verify sumvane-$unit@: $(cat "$scratch/verify.log")"
        fi
    done
fi

echo "== Debian package: the manual page =="
page="$root/usr/share/man/man1/sumvane.1"
if ! command -v man >/dev/null || ! command -v groff >/dev/null; then
    fail "man or groff is missing (scripts/install-linux-deps.sh installs them)"
else
    rendered="$(LC_ALL=C.UTF-8 MANWIDTH=80 MANPAGER=cat PAGER=cat man --warnings -l "$page" 2>"$scratch/man.err")" ||
        fail "man -l failed"
    [ -s "$scratch/man.err" ] && fail "man -l warned: $(cat "$scratch/man.err")"
    for heading in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES "CONTEXT MENU ENTRY" EXAMPLES; do
        grep -qx "$heading" <<<"$rendered" || fail "the manual page has no $heading section"
    done
    grep -q "sumvane - $description" <<<"$rendered" || fail "the NAME line is not the project's description"
    grep -Eq "^ +-f<Folder>$" <<<"$rendered" || fail "OPTIONS does not name -f<Folder>"
    grep -q -- "-f /data" <<<"$rendered" || fail "OPTIONS does not say that -f /data is accepted"
    grep -Eq "^ +Sumvane.md5X$" <<<"$rendered" || fail "FILES does not list Sumvane.md5X"
    grep -Eq "^Sumvane $version " <<<"$rendered" || fail "the footer does not carry version $version"
    groff -t -man -ww -z "$page" >"$scratch/groff.err" 2>&1
    [ -s "$scratch/groff.err" ] && fail "groff -man -ww warned: $(cat "$scratch/groff.err")"
    if command -v mandoc >/dev/null; then
        mandoc -Tlint -W all "$page" >"$scratch/mandoc.err" 2>&1 || fail "mandoc -Tlint: $(cat "$scratch/mandoc.err")"
    else
        fail "mandoc is missing (scripts/install-linux-deps.sh installs it)"
    fi
    if [ -z "$root" ]; then
        # Installed into the system: found by name, as "man sumvane" finds it.
        [ "$(man -w sumvane 2>&1)" = /usr/share/man/man1/sumvane.1 ] || fail "man -w sumvane: $(man -w sumvane 2>&1)"
    fi
fi

echo "== Debian package: dpkg -r =="
if ! "${dpkg_command[@]}" -r sumvane >"$scratch/dpkg.log" 2>&1; then
    cat "$scratch/dpkg.log"
    fail "dpkg -r failed"
fi
system_install=0
removed_status="$(dpkg-query ${root:+--root="$root"} -W -f='${Status}' sumvane 2>/dev/null)"
case "$removed_status" in
"" | *not-installed) ;;
*) fail "after dpkg -r the package is '$removed_status'" ;;
esac
for file in $expected_files usr/share/doc/sumvane usr/share/man/man1/sumvane.1 usr/lib/systemd/system/sumvane-check@.service; do
    [ ! -e "$root/${file#./}" ] || fail "dpkg -r left $root/${file#./}"
done
finish "Debian package"
