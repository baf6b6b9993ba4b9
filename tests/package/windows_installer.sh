#!/usr/bin/env bash
# The Windows installer as a user meets it, under Wine: makes
# Sumvane-<version>-setup.exe in the i686 build (makensis), checks that it is
# a 32-bit Windows program, then for each mode, for all users (/S) and for
# the current user (/S /CurrentUser): the silent install lands exactly its
# files (the very programs the suite built, Sumvane64.exe among them on this
# 64-bit prefix), the Start-menu entry for the help, the "Apps & features"
# entry and the context-menu entry as Sumvane.exe -i writes it; the
# installed Sumvane.exe records and checks a folder; the silent uninstall
# named by the entry leaves no file, folder, shortcut or key of them.
#
# Run by tests/wine/run-suite.sh inside its Wine environment (WINEPREFIX,
# DISPLAY). The installer is a 32-bit program: where none can run, the runs
# are skipped, saying why (exit code 77), after it is made and checked.
#
# Usage: tests/package/windows_installer.sh WIN32_BUILD
set -uo pipefail
cd "$(dirname "$0")/../.."
win32="$(realpath -m "$1")"
source tests/package/checks.sh
source tests/wine/wine-env.sh
wine_env_detect

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win32/CMakeCache.txt")"
win64="$(sed -n 's/^SUMVANE_WIN64_BUILD:PATH=//p' "$win32/CMakeCache.txt")"
setup="$win32/Sumvane-$version-setup.exe"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/sumvane-setup.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

echo "== Windows installer: makensis =="
rm -f "$setup"
if ! cmake --build "$win32" --target installer >"$scratch/makensis.log" 2>&1; then
    tail -n 30 "$scratch/makensis.log"
    fail "the installer could not be made"
    finish "Windows installer" ", 0 skipped"
fi
[ -f "$setup" ] || { fail "no $(basename "$setup") in $win32"; finish "Windows installer" ", 0 skipped"; }
echo "$(basename "$setup"): $(stat -c %s "$setup") bytes"
# Whole outputs first: grep -q would end a pipe early, which pipefail
# counts as a failure.
headers="$(i686-w64-mingw32-objdump -p "$setup" 2>&1)"
grep -q 'file format pei-i386' <<<"$headers" || fail "the installer is not a 32-bit Windows program"
[ "$(strings -a -el "$setup" | grep -x -A1 ProductVersion | sed -n 2p)" = "$version" ] ||
    fail "the installer's ProductVersion is not $version"

if [ "$WINE_ENV_32BIT" != 1 ]; then
    echo "Windows installer: skipped (its runs under Wine): the installer is a 32-bit program: $WINE_ENV_NO_32BIT_REASON"
    [ "$failures" -eq 0 ] || finish "Windows installer" ", 0 skipped"
    exit 77
fi
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX/drive_c" ]; then
    fail "no Wine prefix: run this from tests/wine/run-suite.sh"
    finish "Windows installer" ", 0 skipped"
fi
# Wine would add the Start-menu entries to this machine's own menus too.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-},winemenubuilder.exe=d"

# reg_value KEY NAME: the data of a value ("" for the default), or nothing
# with exit code 1 when the key or the value is missing. Always the 64-bit
# view, the one the system's own programs ("Apps & features") read here:
# Wine's reg would otherwise read the 32-bit one.
reg_value() {
    local output
    if [ -z "$2" ]; then
        output="$(wine_run 60 reg query "$1" /ve /reg:64 2>/dev/null)" || return 1
    else
        output="$(wine_run 60 reg query "$1" /v "$2" /reg:64 2>/dev/null)" || return 1
    fi
    output="$(tr -d '\r' <<<"$output" | sed -nE 's/^ +[^ ].*  +REG_[A-Z_]+ +(.*)$/\1/p' | head -n 1)"
    [ -n "$output" ] || return 1
    printf '%s\n' "$output"
}
reg_exists() { wine_run 60 reg query "$1" /reg:64 >/dev/null 2>&1; }

windows_path() { echo "Z:${1//\//\\}"; }
user="$(ls "$WINEPREFIX/drive_c/users" | grep -vx Public | head -n 1)"
expected_files="README.txt
Sumvane.chm
Sumvane.exe
Sumvane64.exe
SumvaneW.exe
Uninstall.exe
sumvane-alerts.yml"
expected_files="$(sort <<<"$expected_files")"

for mode in all current; do
    if [ "$mode" = all ]; then
        options=(/S)
        root=HKLM
        folder_text='C:\Program Files\Sumvane'
        folder="$WINEPREFIX/drive_c/Program Files/Sumvane"
        menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Sumvane"
    else
        options=(/S /CurrentUser)
        root=HKCU
        folder_text="C:\\users\\$user\\AppData\\Local\\Programs\\Sumvane"
        folder="$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/Sumvane"
        menu="$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Sumvane"
    fi
    uninstall_key="$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sumvane"
    verb_key="$root\\Software\\Classes\\*\\shell\\Sumvane"
    verb="\"$folder_text\\SumvaneW.exe\" \"-z%1\""

    echo "== Windows installer: ${options[*]} (for $mode users) =="
    wine_run 300 "$setup" "${options[@]}" >"$scratch/setup.log" 2>&1
    status=$?
    [ "$status" -eq 0 ] || fail "$mode: the silent install exited with $status"
    files="$(cd "$folder" 2>/dev/null && find . -type f | sed 's|^\./||' | sort)"
    [ "$files" = "$expected_files" ] || fail "$mode: $folder holds:"$'\n'"$files"
    cmp -s "$folder/Sumvane.exe" "$win32/Sumvane.exe" || fail "$mode: Sumvane.exe is not the i686 build's"
    cmp -s "$folder/SumvaneW.exe" "$win32/SumvaneW.exe" || fail "$mode: SumvaneW.exe is not the i686 build's"
    cmp -s "$folder/Sumvane64.exe" "$win64/Sumvane.exe" || fail "$mode: Sumvane64.exe is not the x86_64 build's"
    cmp -s "$folder/Sumvane.chm" "$win32/help/Sumvane.chm" || fail "$mode: Sumvane.chm is not the build's help"
    cmp -s "$folder/README.txt" "$win32/package/README.txt" || fail "$mode: README.txt is not the archive's"
    cmp -s "$folder/sumvane-alerts.yml" "$win32/package/sumvane-alerts.yml" || fail "$mode: sumvane-alerts.yml is not the archive's"
    [ -f "$menu/Sumvane Help.lnk" ] || fail "$mode: no Start-menu entry $menu/Sumvane Help.lnk"
    strings -a "$menu/Sumvane Help.lnk" 2>/dev/null | grep -qi 'Sumvane.chm' ||
        strings -a -el "$menu/Sumvane Help.lnk" 2>/dev/null | grep -qi 'Sumvane.chm' ||
        fail "$mode: the Start-menu entry does not lead to Sumvane.chm"

    for pair in "DisplayName=Sumvane" "DisplayVersion=$version" "Publisher=Brackenfold" \
        "InstallLocation=$folder_text" "UninstallString=\"$folder_text\\Uninstall.exe\"" \
        "QuietUninstallString=\"$folder_text\\Uninstall.exe\" /S" "DisplayIcon=$folder_text\\Sumvane.exe" \
        "NoModify=0x1" "NoRepair=0x1"; do
        said="$(reg_value "$uninstall_key" "${pair%%=*}")"
        [ "$said" = "${pair#*=}" ] || fail "$mode: $uninstall_key ${pair%%=*} is '$said', not '${pair#*=}'"
    done
    [ -n "$(reg_value "$uninstall_key" EstimatedSize)" ] || fail "$mode: no EstimatedSize"
    said="$(reg_value "$verb_key\\command" "")"
    [ "$said" = "$verb" ] || fail "$mode: the context-menu entry is '$said', not '$verb'"
    if [ "$mode" = all ]; then
        said="$(reg_value 'HKCR\*\shell\Sumvane\command' "")"
        [ "$said" = "$verb" ] || fail "the context-menu entry for every user is not in HKEY_CLASSES_ROOT: '$said'"
        reg_exists 'HKCU\Software\Classes\*\shell\Sumvane' && fail "the install for all users made a per-user entry"
    else
        reg_exists 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sumvane' &&
            fail "the install for the current user made an entry for all users"
    fi

    # The installed program checks a folder: records it, finds it intact,
    # then finds the change.
    tree="$scratch/tree-$mode"
    logs="$scratch/logs-$mode"
    mkdir -p "$tree/sub" "$logs"
    printf 'first file\n' >"$tree/a.txt"
    printf 'second file\r\n' >"$tree/sub/b.txt"
    digest() { md5sum "$1" | cut -c1-32 | tr a-f A-F; }
    printf '%s %s\r\n%s %s\r\n' "$(digest "$tree/a.txt")" "$(windows_path "$tree")\\a.txt" \
        "$(digest "$tree/sub/b.txt")" "$(windows_path "$tree")\\sub\\b.txt" >"$scratch/expected.md5"
    program="$folder_text\\Sumvane.exe"
    wine_run 120 "$program" "-f$(windows_path "$tree")" -r -c "-o$(windows_path "$logs")" >/dev/null 2>&1
    status=$?
    [ "$status" -eq 0 ] || fail "$mode: the installed Sumvane.exe -c exited with $status"
    cmp -s "$tree/Sumvane.md5" "$scratch/expected.md5" || fail "$mode: the summary written by the installed program is not the expected one"
    wine_run 120 "$program" "-f$(windows_path "$tree")" -r -v "-o$(windows_path "$logs")" >/dev/null 2>&1
    status=$?
    [ "$status" -eq 0 ] || fail "$mode: the installed Sumvane.exe -v of an intact folder exited with $status"
    printf 'changed\n' >"$tree/sub/b.txt"
    wine_run 120 "$program" "-f$(windows_path "$tree")" -r -v "-o$(windows_path "$logs")" >/dev/null 2>&1
    status=$?
    [ "$status" -eq 1 ] || fail "$mode: the installed Sumvane.exe -v after a change exited with $status"
    iconv -f UTF-16LE -t UTF-8 "$logs"/*.txt 2>/dev/null | grep -qF "sub\\b.txt - MD5 Mismatch" ||
        fail "$mode: no mismatch line in the log of the installed program"

    echo "== Windows installer: the silent uninstall (for $mode users) =="
    uninstall="$(reg_value "$uninstall_key" UninstallString)"
    uninstall="${uninstall#\"}"
    uninstall="${uninstall%\"}"
    wine_run 120 "$uninstall" /S >"$scratch/uninstall.log" 2>&1
    status=$?
    [ "$status" -eq 0 ] || fail "$mode: the silent uninstall exited with $status"
    # The uninstaller goes on from a copy of itself in the temporary folder,
    # so that it can delete its own file: wait for it.
    for tick in $(seq 600); do
        [ -e "$folder" ] || [ -e "$menu" ] || break
        sleep 0.1
    done
    [ ! -e "$folder" ] || fail "$mode: the uninstall left $folder: $(ls -A "$folder" 2>&1)"
    [ ! -e "$menu" ] || fail "$mode: the uninstall left $menu"
    reg_exists "$uninstall_key" && fail "$mode: the uninstall left $uninstall_key"
    reg_exists "$verb_key" && fail "$mode: the uninstall left $verb_key"
    reg_exists 'HKCR\*\shell\Sumvane' && fail "$mode: the uninstall left the context-menu entry"
done
finish "Windows installer" ", 0 skipped"
