#!/usr/bin/env bash
# Runs setup.exe for real on an add-on folder (the bundled sample by default) against a
# sample host game, and tells step by step what its user sees.
#
#   scripts/run-sample.sh [--cancel] [--host-missing] [ADD-ON FOLDER]
#
# The host game is laid out in a throwaway Wine prefix (build/sample/wineprefix) the way its
# own installation leaves it: the App Paths key of its program with "Path", the maker's key
# with "version", the host folder with its program file and an "addgames" folder. Its names
# come from the add-on folder's setup.isc. Every box is answered with OK (--cancel: the
# confirmation with Cancel); --host-missing leaves the host game out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

cancel=""
host=yes
addon=$root/examples/sample-addon
for argument in "$@"; do
    case $argument in
        --cancel) cancel=--cancel ;;
        --host-missing) host=no ;;
        -*) echo "usage: $0 [--cancel] [--host-missing] [ADD-ON FOLDER]" >&2; exit 2 ;;
        *) addon=$(cd "$argument" && pwd) ;;
    esac
done
if [ ! -f "$addon/setup.isc" ]; then
    echo "run-sample: $addon has no setup.isc" >&2
    exit 2
fi

"$root/scripts/install-deps.sh"
echo "Building setup.exe ..."
cmake --preset win64 >/dev/null
cmake --build --preset win64 >/dev/null
build=$root/build/win64
program=$build/setup.exe

# A COMMON value of the add-on's script (the last one wins, as with the profile reader).
common_value() {
    tr -d '\r' <"$addon/setup.isc" | awk -F= -v key="$1" '
        /^\[/ { section = toupper($0) }
        section == "[COMMON]" && $1 == key { sub(/^[^=]*=/, ""); value = $0 }
        END { print value }'
}
product=$(common_value ProductName)
firm=$(common_value FirmName)
program_exe=$(common_value ProgramExe)

prefix=$root/build/sample/wineprefix
wine() { "$root/scripts/wine-run.sh" --prefix "$prefix" "$@"; }
rm -rf "$prefix" "$prefix.lock"
echo "Making a throwaway Wine prefix in ${prefix#$root/} ..."
wine "$build/tests/prefix_warmup.exe"

host_folder='C:\Program Files\Zorvane'
host_unix=$prefix/drive_c/Program\ Files/Zorvane
if [ $host = yes ]; then
    echo "Installing the sample host game: $host_folder\\$program_exe, version 1.50"
    mkdir -p "$host_unix/addgames"
    printf 'MZ sample host program\n' >"$host_unix/$program_exe"
    wine reg add "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\$program_exe" \
        /v Path /d "$host_folder" /f >/dev/null
    wine reg add "HKLM\\Software\\$firm\\$product" /v version /d 150 /f >/dev/null
else
    echo "No host game in this prefix."
fi

echo
status=0
wine "$build/tests/drive_setup.exe" "$program" "$addon" $cancel || status=$?

if [ -d "$host_unix/addgames/Quintaro" ]; then
    echo
    echo "Installed in $host_folder\\addgames\\Quintaro:"
    (cd "$host_unix/addgames/Quintaro" && find . -type f -printf '  %-40P %10s bytes\n' | sort)
fi
WINEPREFIX=$prefix /usr/lib/wine/wineserver -w
exit "$status"
