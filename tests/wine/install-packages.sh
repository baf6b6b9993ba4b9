#!/usr/bin/env bash
# Installs what building the Windows program and testing it under Wine needs:
# the MinGW-w64 cross compilers, Wine with 32-bit support, Xvfb, the X
# tools the Windows end-to-end cases drive windows with, ImageMagick's
# import, which keeps a screenshot of the progress dialog, and icoutils,
# whose wrestool and icotool read the resources of the shipped programs, and
# nsis, whose makensis makes the installer.
# Idempotent: does nothing when everything is already there. Not root, it
# installs through sudo (Debian packages).
set -euo pipefail

have_all() {
    command -v x86_64-w64-mingw32-g++-posix >/dev/null &&
        command -v i686-w64-mingw32-g++-posix >/dev/null &&
        command -v x86_64-w64-mingw32-windres >/dev/null &&
        command -v i686-w64-mingw32-windres >/dev/null &&
        command -v i686-w64-mingw32-objdump >/dev/null &&
        command -v x86_64-w64-mingw32-objdump >/dev/null &&
        command -v wine >/dev/null && command -v wineserver >/dev/null &&
        [ -x /usr/lib/wine/wine64 ] && [ -x /usr/lib/wine/wineserver64 ] &&
        command -v Xvfb >/dev/null && command -v xdotool >/dev/null &&
        command -v xwininfo >/dev/null && command -v xclip >/dev/null &&
        [ -x /usr/bin/import ] && command -v wrestool >/dev/null && command -v icotool >/dev/null &&
        command -v chmcmd >/dev/null && command -v makensis >/dev/null
}
have_wine32() {
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'
}

if have_all && have_wine32; then
    exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "install-packages.sh: missing packages, not root and no sudo; cannot install" >&2
        exit 1
    fi
    as_root=(sudo)
fi

# wine32 is an i386 package: without it a 32-bit .exe prints nothing and
# exits 0, which would pass every 32-bit test without running one.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
fi
# A mirror caught mid-sync fails one index now and then; the lists that did
# arrive are enough when the packages needed are in them, which the install
# itself tells.
for try in 1 2 3; do
    "${as_root[@]}" apt-get update -qq && break
    echo "apt-get update failed (try $try of 3)" >&2
    [ "$try" -lt 3 ] && sleep 20
done
packages=(mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    wine wine64 xvfb xdotool x11-utils xclip fp-utils imagemagick icoutils nsis)
# sudo keeps no variable of the caller's: the front end is set for apt-get itself.
install_packages() {
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}
# The i386 libraries must be of the very versions of the amd64 ones already
# installed; when their index could not be had, wine32 cannot be installed.
# The rest is then installed alone: the suite runs the x86_64 build and says
# that the i686 one was not run, and why (wine-env.sh).
if ! install_packages "${packages[@]}" wine32:i386; then
    echo "install-packages.sh: wine32:i386 cannot be installed here; installing the rest without it" >&2
    install_packages "${packages[@]}" || true
fi

have_all || { echo "install-packages.sh: packages still missing after install" >&2; exit 1; }
