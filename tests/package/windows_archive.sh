#!/usr/bin/env bash
# The Windows release archive: packs Sumvane-<version>-win32.zip with CPack
# from the i686 build (which takes the x86_64 program from the x86_64 build)
# and checks that it holds, in one folder, exactly Sumvane.exe, Sumvane64.exe,
# README.txt and Install.txt; that the two programs are the very files the
# suite built and tested; that both are static programs of their
# architecture, Sumvane.exe large-address-aware, each with the project's
# version in its version block; and that the texts have Windows line ends.
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
$folder/Sumvane64.exe"
[ "$entries" = "$expected" ] || fail "the archive holds:"$'\n'"$entries"
mkdir -p "$scratch/unpacked"
(cd "$scratch/unpacked" && cmake -E tar xf "$archive") || fail "cannot unpack the archive"
unpacked="$scratch/unpacked/$folder"

cmp -s "$unpacked/Sumvane.exe" "$win32/Sumvane.exe" || fail "Sumvane.exe is not the i686 build's Sumvane.exe"
cmp -s "$unpacked/Sumvane64.exe" "$win64/Sumvane.exe" || fail "Sumvane64.exe is not the x86_64 build's Sumvane.exe"

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

# The texts: the README as it is with Windows line ends, and the note on
# installing, which names the version and the two commands of the entry.
sed 's/$/\r/' README.md | cmp -s - "$unpacked/README.txt" || fail "README.txt is not README.md with CR LF line ends"
install_text="$unpacked/Install.txt"
! grep -qv $'\r$' "$install_text" || fail "Install.txt has lines without CR LF"
head -n 1 "$install_text" | grep -q "^Sumvane $version for Windows"$'\r$' || fail "Install.txt does not name version $version"
for command in "Sumvane.exe -i" "Sumvane.exe -u"; do
    grep -q "^ *$command"$'\r$' "$install_text" || fail "Install.txt does not give the command $command"
done
finish "Windows release archive" ", 0 skipped"
