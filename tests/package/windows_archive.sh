#!/usr/bin/env bash
# The Windows release archive: packs Sumvane-<version>-win32.zip with CPack
# from the i686 build (which takes the x86_64 program from the x86_64 build)
# and checks that it holds, in one folder, exactly Sumvane.exe, Sumvane64.exe,
# SumvaneW.exe, README.txt, Install.txt and sumvane-alerts.yml; that the
# programs are the very files the suite built and tested; that they are static programs of their
# architecture, SumvaneW.exe one of the window subsystem, the i686 ones
# large-address-aware, each with the project's
# version in its version block; that both are stripped and name their debug
# files, which lie beside the archive and hold their debug sections and
# symbols; that each carries its application manifest (common controls 6,
# per-monitor DPI awareness, Windows 7 to 11, asInvoker) and an icon group
# of 16, 32, 48 and 256 pixels, the last PNG-compressed; and that the texts
# have Windows line ends.
#
# Usage: tests/package/windows_archive.sh WIN32_BUILD WIN64_BUILD
set -uo pipefail
cd "$(dirname "$0")/../.."
win32="$(realpath -m "$1")"
win64="$(realpath -m "$2")"

source tests/package/checks.sh

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win32/CMakeCache.txt")"
folder="Sumvane-$version-win32"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/sumvane-zip.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

# cpack runs from the build, as a release is made; the archive goes to the
# scratch folder.
if ! (cd "$win32" && cpack -G ZIP -B "$scratch/out") >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log"
    fail "cpack could not pack the archive"
    finish "Windows release archive" ", 0 skipped"
fi
archive="$scratch/out/$folder.zip"
if [ ! -f "$archive" ]; then
    fail "no $folder.zip; cpack made: $(ls "$scratch/out")"
    finish "Windows release archive" ", 0 skipped"
fi
echo "$folder.zip: $(stat -c %s "$archive") bytes"

entries="$(cd "$scratch" && cmake -E tar tf "$archive" | grep -v '/$' | sort)"
expected="$folder/Install.txt
$folder/README.txt
$folder/Sumvane.exe
$folder/Sumvane64.exe
$folder/SumvaneW.exe
$folder/sumvane-alerts.yml"
[ "$entries" = "$expected" ] || fail "the archive holds:"$'\n'"$entries"
mkdir -p "$scratch/unpacked"
(cd "$scratch/unpacked" && cmake -E tar xf "$archive") || fail "cannot unpack the archive"
unpacked="$scratch/unpacked/$folder"

cmp -s "$unpacked/Sumvane.exe" "$win32/Sumvane.exe" || fail "Sumvane.exe is not the i686 build's Sumvane.exe"
cmp -s "$unpacked/Sumvane64.exe" "$win64/Sumvane.exe" || fail "Sumvane64.exe is not the x86_64 build's Sumvane.exe"
cmp -s "$unpacked/SumvaneW.exe" "$win32/SumvaneW.exe" || fail "SumvaneW.exe is not the i686 build's SumvaneW.exe"

# headers PROGRAM ARCH FORMAT: a program of that format that needs no MinGW
# DLL beside it.
headers() {
    local dump
    dump="$("$2-w64-mingw32-objdump" -p "$1" 2>&1)"
    grep -q "file format $3" <<<"$dump" || fail "$(basename "$1") is not $3: $(grep 'file format' <<<"$dump")"
    ! grep -E 'DLL Name: lib' <<<"$dump" || fail "$(basename "$1") needs MinGW DLLs"
    [ "$2" != i686 ] || grep -q 'large address aware' <<<"$dump" || fail "$(basename "$1") is not large-address-aware"
}
headers "$unpacked/Sumvane.exe" i686 pei-i386
headers "$unpacked/Sumvane64.exe" x86_64 pei-x86-64
headers "$unpacked/SumvaneW.exe" i686 pei-i386
# The subsystem: 3 (console) for the programs of the prompt, 2 (window) for
# the context-menu entry's, which the system starts without a console.
subsystem() { "$2-w64-mingw32-objdump" -p "$1" | sed -nE 's/^Subsystem[[:space:]]+0*([0-9]+).*/\1/p'; }
[ "$(subsystem "$unpacked/Sumvane.exe" i686)" = 3 ] || fail "Sumvane.exe is not a console program"
[ "$(subsystem "$unpacked/Sumvane64.exe" x86_64)" = 3 ] || fail "Sumvane64.exe is not a console program"
[ "$(subsystem "$unpacked/SumvaneW.exe" i686)" = 2 ] || fail "SumvaneW.exe is not a window program"

# version_block PROGRAM: the file and product versions of its version block,
# the numbers of the fixed part (after its signature 0xFEEF04BD) and the
# FileVersion and ProductVersion texts, each must be the project's.
version_block() {
    local offset numbers name texts
    name="$(basename "$1")"
    offset="$(LC_ALL=C grep -obUaP '\xBD\x04\xEF\xFE' "$1" | head -n 1 | cut -d: -f1)"
    if [ -z "$offset" ]; then
        fail "$name has no version block"
        return
    fi
    # Four 32-bit words after the signature and the structure version: file
    # version high and low, product version high and low; each word holds
    # two numbers, the first in its high half.
    read -r -a numbers <<<"$(od -An -tu2 -j $((offset + 8)) -N 16 "$1")"
    [ "${numbers[1]}.${numbers[0]}.${numbers[3]}.${numbers[2]}" = "$version" ] ||
        fail "$name: file version ${numbers[1]}.${numbers[0]}.${numbers[3]}.${numbers[2]}, the project's is $version"
    [ "${numbers[5]}.${numbers[4]}.${numbers[7]}.${numbers[6]}" = "$version" ] ||
        fail "$name: product version ${numbers[5]}.${numbers[4]}.${numbers[7]}.${numbers[6]}, the project's is $version"
    texts="$(strings -a -el "$1")"
    for text in FileVersion ProductVersion; do
        [ "$(grep -x -A1 "$text" <<<"$texts" | sed -n 2p)" = "$version" ] ||
            fail "$name: $text is '$(grep -x -A1 "$text" <<<"$texts" | sed -n 2p)', the project's is $version"
    done
}
version_block "$unpacked/Sumvane.exe"
version_block "$unpacked/Sumvane64.exe"
version_block "$unpacked/SumvaneW.exe"

# stripped PROGRAM ARCH DEBUG_FILE: no debug sections and no symbols in the
# program; its .gnu_debuglink names the file of that name beside the
# archive, with that file's checksum (the link objcopy makes for that very
# file is the one the program holds); the file has the debug information
# and the symbols.
stripped() {
    local program="$1" arch="$2" name="$3" base debug
    base="$(basename "$program")"
    debug="$scratch/out/$name"
    # Whole outputs first: grep -q would end a pipe early, which pipefail
    # counts as a failure.
    local sections symbols
    sections="$("$arch-w64-mingw32-objdump" -h "$program")"
    symbols="$("$arch-w64-mingw32-nm" "$program" 2>&1)"
    ! grep -q ' \.debug_' <<<"$sections" || fail "$base carries debug sections"
    grep -q 'no symbols' <<<"$symbols" || fail "$base carries symbols"
    if [ ! -f "$debug" ]; then
        fail "no $name beside the archive; there are: $(ls "$scratch/out")"
        return
    fi
    sections="$("$arch-w64-mingw32-objdump" -h "$debug")"
    symbols="$("$arch-w64-mingw32-nm" "$debug")"
    grep -q ' \.debug_info ' <<<"$sections" || fail "$name holds no debug information"
    grep -q 'ZN11ChecksumApp16applyCommandLineEv$' <<<"$symbols" || fail "$name holds no symbols"
    cp "$program" "$scratch/relinked"
    "$arch-w64-mingw32-objcopy" --remove-section .gnu_debuglink --add-gnu-debuglink="$debug" "$scratch/relinked" &&
        "$arch-w64-mingw32-objcopy" --dump-section .gnu_debuglink="$scratch/link.wanted" "$scratch/relinked" \
            "$scratch/discarded" &&
        "$arch-w64-mingw32-objcopy" --dump-section .gnu_debuglink="$scratch/link.held" "$program" "$scratch/discarded" ||
        fail "$base: cannot read its .gnu_debuglink"
    cmp -s "$scratch/link.wanted" "$scratch/link.held" || fail "$base does not link to $name as it is"
}
stripped "$unpacked/Sumvane.exe" i686 Sumvane.exe.debug
stripped "$unpacked/Sumvane64.exe" x86_64 Sumvane64.exe.debug
stripped "$unpacked/SumvaneW.exe" i686 SumvaneW.exe.debug

# manifest PROGRAM: the application manifest, resource 24/1, read back from
# the program and checked element by element.
manifest() {
    local base problems
    base="$(basename "$1")"
    problems="$(wrestool -x --raw --type=24 --name=1 "$1" 2>/dev/null | python3 -c '
import sys, xml.etree.ElementTree as tree
version = sys.argv[1]
v1, v3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
compatibility = "{urn:schemas-microsoft-com:compatibility.v1}"
try:
    root = tree.fromstring(sys.stdin.buffer.read())
except tree.ParseError as error:
    sys.exit("no well-formed manifest: %s" % error)
said = []
def want(found, what):
    if not found: said.append("no " + what)
own = root.find(v1 + "assemblyIdentity")
want(own is not None and own.get("version") == version, "assemblyIdentity of version " + version)
want(any(a.get("name") == "Microsoft.Windows.Common-Controls" and a.get("version") == "6.0.0.0"
         for a in root.iter(v1 + "assemblyIdentity")), "dependency on the common controls 6.0.0.0")
levels = [e.get("level") for e in root.iter(v3 + "requestedExecutionLevel")]
want(levels == ["asInvoker"], "requestedExecutionLevel asInvoker (found %s)" % levels)
systems = {e.get("Id") for e in root.iter(compatibility + "supportedOS")}
for name, guid in [("7", "35138b9a-5d96-4fbd-8e2d-a2440225f93a"), ("8", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38"),
                   ("8.1", "1f676c76-80e1-4239-95bb-83d0f6d0da78"), ("10 and 11", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a")]:
    want("{" + guid + "}" in systems, "supportedOS Windows " + name)
aware = [e.text for e in root.iter("{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware")]
awareness = [e.text for e in root.iter("{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness")]
want(aware == ["true/pm"], "dpiAware true/pm (found %s)" % aware)
want(len(awareness) == 1 and awareness[0].split(",")[0].strip() == "PerMonitorV2",
     "dpiAwareness PerMonitorV2 (found %s)" % awareness)
print("; ".join(said))
' "$version" 2>&1)"
    [ -z "$problems" ] || fail "$base manifest: $problems"
}
manifest "$unpacked/Sumvane.exe"
manifest "$unpacked/Sumvane64.exe"
manifest "$unpacked/SumvaneW.exe"

# icons PROGRAM: the icon group SUMVANE has the four sizes, and the 256
# pixel image is a PNG of that size.
icons() {
    local base sizes name head pngs=0
    base="$(basename "$1")"
    wrestool -x --type=14 --name=SUMVANE "$1" >"$scratch/group.ico" 2>/dev/null
    sizes="$(icotool -l "$scratch/group.ico" 2>/dev/null | sed -E 's/.*--width=([0-9]+) --height=([0-9]+).*/\1x\2/' |
        tr '\n' ' ')"
    [ "$sizes" = "16x16 32x32 48x48 256x256 " ] || fail "$base icon sizes: '$sizes'"
    for name in $(wrestool -l --type=3 "$1" | sed -E 's/.*--name=([0-9]+) .*/\1/'); do
        # The signature, then IHDR's width and height.
        head="$(wrestool -x --raw --type=3 --name="$name" "$1" | head -c 24 | od -An -tx1 | tr -d ' \n')"
        [ "$head" = 89504e470d0a1a0a0000000d494844520000010000000100 ] && pngs=$((pngs + 1))
    done
    [ "$pngs" = 1 ] || fail "$base: $pngs PNG images of 256 x 256 pixels, not one"
}
icons "$unpacked/Sumvane.exe"
icons "$unpacked/Sumvane64.exe"
icons "$unpacked/SumvaneW.exe"

# The texts: the README as it is with Windows line ends, and the note on
# installing, which names the version and the two commands of the entry.
sed 's/$/\r/' README.md | cmp -s - "$unpacked/README.txt" || fail "README.txt is not README.md with CR LF line ends"
install_text="$unpacked/Install.txt"
! grep -qv $'\r$' "$install_text" || fail "Install.txt has lines without CR LF"
head -n 1 "$install_text" | grep -q "^Sumvane $version for Windows"$'\r$' || fail "Install.txt does not name version $version"
for command in "Sumvane.exe -i" "Sumvane.exe -u"; do
    grep -q "^ *$command"$'\r$' "$install_text" || fail "Install.txt does not give the command $command"
done
# The alert rules as the project's, with Windows line ends; promtool reads them so.
sed 's/$/\r/' resources/prometheus/sumvane-alerts.yml | cmp -s - "$unpacked/sumvane-alerts.yml" ||
    fail "sumvane-alerts.yml is not resources/prometheus/sumvane-alerts.yml with CR LF line ends"
if command -v promtool >/dev/null; then
    promtool check rules "$unpacked/sumvane-alerts.yml" >"$scratch/promtool.log" 2>&1 ||
        fail "promtool check rules sumvane-alerts.yml: $(cat "$scratch/promtool.log")"
fi
finish "Windows release archive" ", 0 skipped"
