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

mkdir -p "$(dirname "$prefix")"
(
    # Several tests may start at once on a fresh tree: one of them makes the prefix.
    flock 9
    if [ ! -f "$prefix/.setup-prefix-ready" ]; then
        rm -rf "$prefix"
        "$loader" wineboot -i >/dev/null 2>&1
        # The null graphics driver: windows exist and take messages without an X server.
        "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
        /usr/lib/wine/wineserver -w
        touch "$prefix/.setup-prefix-ready"
    fi
) 9>"$prefix.lock"

exec "$loader" "$@"
