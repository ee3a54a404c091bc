#!/usr/bin/env bash
# Runs one Windows program under Wine in a build tree's own prefix, and makes that prefix
# first if it is not there yet. ctest uses it as the cross-compiling emulator; the scripts
# use it too.
#   usage: wine-run.sh --prefix DIR program.exe [args...]
set -euo pipefail

if [ "${1:-}" != --prefix ] || [ $# -lt 3 ]; then
    echo "usage: $0 --prefix DIR program.exe [args...]" >&2
    exit 2
fi
prefix=$(realpath -m "$2")
shift 2

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
# Keep the Mono and Gecko installers from starting while the prefix is made.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# wine64 runs 64-bit programs itself and hands 32-bit ones to the 32-bit loader; the plain
# wine wrapper would push everything through the 32-bit loader once wine32 is installed.
loader=/usr/lib/wine/wine64

# A 32-bit program needs 32-bit x86 code to run here (natively or through qemu-i386, which
# scripts/install-deps.sh sets up). Where it cannot, say so and answer 77, which the tests
# take as "skipped"; CI must run them all, so there it is a failure.
skipped=77
is_32bit_program() {  # a PE file whose header names the i386 machine, 0x14c
    local header
    [ -f "$1" ] && [ "$(head -c 2 "$1")" = MZ ] || return 1
    header=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
    [ -n "$header" ] && [ "$(od -An -tx2 -j $((header + 4)) -N 2 "$1" | tr -d ' ')" = 014c ]
}
if is_32bit_program "$1" && ! "$(dirname "$0")/check-32bit.sh"; then
    echo "wine-run: cannot run the 32-bit program $1 on this machine." >&2
    [ "${CI:-}" = true ] && exit 1
    exit "$skipped"
fi

mkdir -p "$(dirname "$prefix")"
(
    # Several tests may start at once on a fresh tree: one of them makes the prefix.
    flock 9
    if [ ! -f "$prefix/.setup-prefix-ready" ]; then
        rm -rf "$prefix"
        "$loader" wineboot -i >/dev/null 2>&1
        # The null graphics driver: windows exist and take messages without an X server.
        # SETUP_WINE_GRAPHICS=x11 makes a prefix that shows them on $DISPLAY instead.
        "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics \
            /d "${SETUP_WINE_GRAPHICS:-null}" /f >/dev/null 2>&1
        /usr/lib/wine/wineserver -w
        touch "$prefix/.setup-prefix-ready"
    fi
) 9>"$prefix.lock"

exec "$loader" "$@"
