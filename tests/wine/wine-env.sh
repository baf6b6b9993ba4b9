# Sourced by the Wine test scripts: a private X display and Wine prefix for
# one run, and their clean-up. Sets DISPLAY, WINEPREFIX, WINEDEBUG and
# WINEDLLOVERRIDES; `wine_env_cleanup` ends exactly what `wine_env_start`
# started. Every Wine call goes through $WINE_ENV_WINE and
# $WINE_ENV_SERVER, which `wine_env_detect` chooses.

WINE_ENV_XVFB_PID=""
WINE_ENV_KEEPER_PID=""
WINE_ENV_ROOT=""
WINE_ENV_32BIT=""
WINE_ENV_NO_32BIT_REASON=""
WINE_ENV_WINE=wine
WINE_ENV_SERVER=wineserver

# wine_env_detect: whether this machine runs 32-bit programs, and so which
# launcher every Wine call uses. Sets WINE_ENV_32BIT (1 or 0) and, when 0,
# WINE_ENV_NO_32BIT_REASON (one line). Exports SUMVANE_WINE_LOADER for the
# end-to-end driver. SUMVANE_WINE_64BIT_ONLY=1 takes the 64-bit-only path
# on any machine.
wine_env_detect() {
    local loader=/lib/i386-linux-gnu/ld-linux.so.2 said
    if [ "${SUMVANE_WINE_64BIT_ONLY:-0}" = 1 ]; then
        WINE_ENV_32BIT=0
        WINE_ENV_NO_32BIT_REASON="SUMVANE_WINE_64BIT_ONLY=1 forces the 64-bit-only path"
    elif ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
        # Without wine32 a 32-bit program prints nothing and exits 0: it
        # would pass every test without running one.
        WINE_ENV_32BIT=0
        WINE_ENV_NO_32BIT_REASON="wine32:i386 is not installed (tests/wine/install-packages.sh says why)"
    elif said="$("$loader" --version 2>&1 </dev/null)"; then
        WINE_ENV_32BIT=1
    else
        WINE_ENV_32BIT=0
        said="$(printf '%s\n' "$said" | head -n 1)"
        WINE_ENV_NO_32BIT_REASON="this machine cannot run 32-bit programs ($loader: ${said##*: })"
    fi
    if [ "$WINE_ENV_32BIT" = 1 ]; then
        WINE_ENV_WINE=wine
        WINE_ENV_SERVER=wineserver
    else
        # Debian's `wine` starts the 32-bit loader first, which fails here
        # for every prefix; the 64-bit loader and server work directly.
        # Wine starts its own child processes through WINELOADER.
        WINE_ENV_WINE=/usr/lib/wine/wine64
        WINE_ENV_SERVER=/usr/lib/wine/wineserver64
        export WINELOADER="$WINE_ENV_WINE" WINESERVER="$WINE_ENV_SERVER"
    fi
    export SUMVANE_WINE_LOADER="$WINE_ENV_WINE"
}

# wine_run TIMEOUT_SECONDS ARGS...: one Wine call, bounded, with no input.
wine_run() {
    local limit="$1"
    shift
    timeout --kill-after=5 "$limit" "$WINE_ENV_WINE" "$@" </dev/null
}

# wine_env_start [KEEP_DESKTOP_EXE]: the display, a fresh prefix and its
# server; with the keep_desktop.exe helper, also a client that holds the
# Wine desktop open until the end of the run.
wine_env_start() {
    local keeper="${1:-}"
    WINE_ENV_ROOT="$(mktemp -d "${TMPDIR:-/tmp}/sumvane-wine.XXXXXX")"
    export WINEPREFIX="$WINE_ENV_ROOT/prefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    unset WINEARCH  # a 64-bit prefix runs both the i686 and the x86_64 build

    # The display comes first: the first Wine process of a prefix fixes its
    # display driver, and message boxes and dialogs fail at once without one.
    local fifo="$WINE_ENV_ROOT/displayfd"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >"$WINE_ENV_ROOT/xvfb.log" 2>&1 &
    WINE_ENV_XVFB_PID=$!
    local number=""
    read -r -t 20 number <"$fifo" || true
    rm -f "$fifo"
    if [ -z "$number" ]; then
        echo "wine-env: Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$number"

    timeout 120 "$WINE_ENV_WINE" wineboot -i </dev/null >"$WINE_ENV_ROOT/wineboot.log" 2>&1 || {
        echo "wine-env: wineboot failed" >&2
        return 1
    }
    # Wine links the desktop to the home folder it found at creation; the
    # logs of the run belong inside the private prefix instead.
    local desktop
    for desktop in "$WINEPREFIX"/drive_c/users/*/Desktop; do
        case "$desktop" in */Public/*) continue ;; esac
        if [ -L "$desktop" ]; then
            rm -f "$desktop"
            mkdir -p "$desktop"
        fi
    done
    # Keep one server for the whole run instead of one per process.
    "$WINE_ENV_SERVER" -p
    # Without a window manager every hidden window would cost 2 s; a crash
    # must fail its test, not wait in a dialog.
    wine_run 60 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wine_run 60 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    if [ -n "$keeper" ]; then
        # Wine closes an unused desktop a few seconds after its last program
        # ends; a program starting meanwhile may get no window at all.
        local ready="$WINE_ENV_ROOT/desktop-kept"
        "$WINE_ENV_WINE" "$keeper" "Z:${ready//\//\\}" </dev/null >"$WINE_ENV_ROOT/keep_desktop.log" 2>&1 &
        WINE_ENV_KEEPER_PID=$!
        local tick
        for tick in $(seq 600); do
            [ -f "$ready" ] && break
            sleep 0.1
        done
        if [ ! -f "$ready" ]; then
            echo "wine-env: $keeper did not attach to the desktop" >&2
            return 1
        fi
    fi
    return 0
}

wine_env_cleanup() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        timeout 30 "$WINE_ENV_SERVER" -k >/dev/null 2>&1 || true
        timeout 30 "$WINE_ENV_SERVER" -w >/dev/null 2>&1 || true
    fi
    if [ -n "$WINE_ENV_KEEPER_PID" ]; then
        kill "$WINE_ENV_KEEPER_PID" 2>/dev/null || true
        wait "$WINE_ENV_KEEPER_PID" 2>/dev/null || true
        WINE_ENV_KEEPER_PID=""
    fi
    if [ -n "$WINE_ENV_XVFB_PID" ]; then
        kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        WINE_ENV_XVFB_PID=""
    fi
    if [ -n "$WINE_ENV_ROOT" ]; then
        rm -rf "$WINE_ENV_ROOT"
        WINE_ENV_ROOT=""
    fi
}

# Fails when 32-bit Wine is missing: a 32-bit .exe then prints nothing and
# exits 0, which would pass every 32-bit test without running any.
wine_env_check_32bit() {
    local exe="$1"
    local output
    output="$(wine_run 120 "$exe" --gtest_list_tests 2>/dev/null | head -n 1)"
    if [ -z "$output" ]; then
        echo "wine-env: $exe printed nothing under Wine (for a 32-bit program: is wine32 installed?)" >&2
        return 1
    fi
}
