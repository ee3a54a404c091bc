#!/usr/bin/env bash
# Runs setup.exe for real on an add-on folder (the bundled sample by default) against a
# sample host game, and shows what its user sees.
#
#   scripts/run-sample.sh [--cancel] [--host-missing] [--screenshots DIR] [ADD-ON FOLDER]
#
# With a display ($DISPLAY set) setup.exe's windows appear on it and you answer them
# yourself. Without one, or with --screenshots, it runs on a virtual X server of its own
# (Xvfb): every box is answered with OK (--cancel: the confirmation with Cancel), each box's
# caption and text are printed, and screenshots of the boxes and of the progress window are
# saved as PNG files in DIR (default build/sample/screenshots), numbered in order.
#
# The host game is laid out in a throwaway Wine prefix (build/sample/wineprefix) the way its
# own installation leaves it: the App Paths key of its program with "Path", the maker's key
# with "version", the host folder with its program file and an "addgames" folder. Its names
# come from the add-on folder's setup.isc; --host-missing leaves the host game out.
# The bundled sample is run from a copy in build/sample/addon with three large generated
# files added, so that the progress window stays up for a while; your own folder is only read.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage="usage: $0 [--cancel] [--host-missing] [--screenshots DIR] [ADD-ON FOLDER]"

cancel=""
host=yes
addon=""
screenshots=""
while [ $# -gt 0 ]; do
    case $1 in
        --cancel) cancel=--cancel ;;
        --host-missing) host=no ;;
        --screenshots)
            [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
            mkdir -p "$2"
            screenshots=$(cd "$2" && pwd)
            shift
            ;;
        -*) echo "$usage" >&2; exit 2 ;;
        *) addon=$(cd "$1" && pwd) ;;
    esac
    shift
done
if [ -n "$addon" ] && [ ! -f "$addon/setup.isc" ]; then
    echo "run-sample: $addon has no setup.isc" >&2
    exit 2
fi
interactive=no
if [ -n "${DISPLAY:-}" ] && [ -z "$screenshots" ]; then
    interactive=yes
fi
sample=$root/build/sample
[ -n "$screenshots" ] || screenshots=$sample/screenshots

"$root/scripts/install-deps.sh"
# The program is the product, the 32-bit build/win32/setup.exe, where this machine can run
# 32-bit programs (natively or through qemu-i386, which install-deps.sh sets up); elsewhere
# its x86-64 twin. The driver and the warm-up program come from the x86-64 tree.
build=$root/build/win64
if "$root/scripts/check-32bit.sh"; then
    product_preset=win32
    registry_view=/reg:32  # a 32-bit program reads the 32-bit view (Wow6432Node)
else
    echo "run-sample: running the x86-64 twin build/win64/setup.exe instead."
    product_preset=win64
    registry_view=/reg:64
fi
echo "Building setup.exe ..."
build_preset() {  # PRESET TARGET...
    local preset=$1 log=$root/build/run-sample-build-$1.log
    shift
    mkdir -p "$root/build"
    if ! { cmake --preset "$preset" && cmake --build --preset "$preset" --target "$@"; } \
        >"$log" 2>&1; then
        cat "$log" >&2
        echo "run-sample: the build failed" >&2
        exit 1
    fi
}
build_preset win64 setup drive_setup prefix_warmup
[ $product_preset = win64 ] || build_preset win32 setup
program=$root/build/$product_preset/setup.exe

# --- the add-on folder -----------------------------------------------------------------

# The bundled sample plus three large generated files, made once and kept in build/sample:
# copying them keeps the progress window up long enough to be seen.
sample_file_bytes=$((200 * 1024 * 1024))
lay_out_sample_addon() {
    local folder=$sample/addon name
    mkdir -p "$folder"
    cp -R "$root/examples/sample-addon/." "$folder/"
    for name in intro.vid music.pak voices.pak; do
        if [ "$(stat -c %s "$folder/$name" 2>/dev/null)" != $sample_file_bytes ]; then
            echo "Generating $name ($((sample_file_bytes >> 20)) MB) in ${folder#"$root"/} ..."
            head -c $sample_file_bytes /dev/urandom >"$folder/$name"
        fi
        printf '%s=addgames\\Quintaro\\%s\r\n' "$name" "$name" >>"$folder/setup.isc"
    done
    addon=$folder
}
[ -n "$addon" ] || lay_out_sample_addon

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

# --- the display and the Wine prefix ---------------------------------------------------

prefix=$sample/wineprefix
# Wine's server keeps its socket in a folder it makes in $TMPDIR, and leaves the folder: make
# it below build/sample too, unless the socket's path would pass the system's 107 bytes.
if [ ${#sample} -le 60 ]; then
    export TMPDIR=$sample/tmp
    rm -rf "$TMPDIR"
    mkdir -p "$TMPDIR"
fi
xvfb_pid=""
# Everything started here ends here: the prefix's Wine processes, then the X server.
stop_what_we_started() {
    if [ -d "$prefix" ] && ! WINEPREFIX=$prefix timeout 60 /usr/lib/wine/wineserver -w; then
        WINEPREFIX=$prefix /usr/lib/wine/wineserver -k || true
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap stop_what_we_started EXIT

if [ $interactive = no ]; then
    mkdir -p "$sample"
    display_file=$sample/xvfb.display
    rm -f "$display_file"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" \
        >"$sample/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$display_file" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$display_file" ]; then
        echo "run-sample: the virtual X server did not start (see ${sample#"$root"/}/xvfb.log)" >&2
        exit 1
    fi
    export DISPLAY=:$(cat "$display_file")
fi

# The X11 graphics driver, and no start-menu entries or file associations written to $HOME.
wine() {
    SETUP_WINE_GRAPHICS=x11 WINEDLLOVERRIDES='mscoree,mshtml,winemenubuilder.exe=' \
        "$root/scripts/wine-run.sh" --prefix "$prefix" "$@"
}
rm -rf "$prefix" "$prefix.lock" "$sample/wine.log"
echo "Making a throwaway Wine prefix in ${prefix#"$root"/} ..."
if [ $interactive = no ]; then
    # One Wine desktop window on the virtual screen: Wine draws every frame and caption itself,
    # as Windows does, where without a window manager the captions would be missing. Wine's
    # desktop is made once per server session, so the session that set it must end first.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f \
        >/dev/null 2>>"$sample/wine.log"
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null
    WINEPREFIX=$prefix /usr/lib/wine/wineserver -w
fi
# Wine's own background processes start with this program and keep its error output; what
# they say while the session shuts down goes to a log, not between the run's lines.
wine "$build/tests/prefix_warmup.exe" 2>>"$sample/wine.log"
# Debian's Wine does not look for its own fonts (package fonts-wine) where they are installed:
# without them dialogs fall back to other fonts and the caption buttons lose their symbols.
# Each program searches the prefix's Windows font folder when it starts.
ln -sf /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"

host_folder="C:\\Program Files\\$product"
host_unix=$prefix/drive_c/Program\ Files/$product
if [ $host = yes ] && { [ -z "$product" ] || [ -z "$firm" ] || [ -z "$program_exe" ]; }; then
    echo "setup.isc lacks ProductName, FirmName or ProgramExe: no host game is laid out."
    host=no
elif [ $host = yes ]; then
    echo "Installing the sample host game $product ($firm), version 1.50:" \
        "$host_folder\\$program_exe"
    mkdir -p "$host_unix/addgames"
    printf 'MZ sample host program\n' >"$host_unix/$program_exe"
    wine reg add "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\$program_exe" \
        /v Path /d "$host_folder" /f $registry_view >/dev/null
    wine reg add "HKLM\\Software\\$firm\\$product" /v version /d 150 /f $registry_view >/dev/null
else
    echo "No host game in this prefix."
fi

# --- the run ---------------------------------------------------------------------------

echo
status=0
if [ $interactive = yes ]; then
    echo "Starting setup.exe in $addon on your display ($DISPLAY)."
    echo "Its windows are yours to answer; this waits until it has ended."
    [ -z "$cancel" ] || echo "(--cancel is for the automatic run: press Cancel yourself.)"
    (cd "$addon" && wine "$program") || status=$?
    echo "setup.exe ended with exit code $status."
else
    mkdir -p "$screenshots"
    rm -f "$screenshots"/[0-9][0-9]-*.png
    wine "$build/tests/drive_setup.exe" "$program" "$addon" $cancel \
        --screenshots "$screenshots" || status=$?
    shopt -s nullglob
    shots=("$screenshots"/[0-9][0-9]-*.bmp)
    if [ ${#shots[@]} -gt 0 ]; then
        python3 "$root/scripts/bmp-to-png.py" "${shots[@]}"
        echo
        echo "Screenshots in $screenshots:"
        for shot in "$screenshots"/[0-9][0-9]-*.png; do
            echo "  ${shot##*/}"
        done
    fi
fi

if [ -d "$host_unix/addgames/Quintaro" ]; then
    echo
    echo "Installed in $host_folder\\addgames\\Quintaro:"
    (cd "$host_unix/addgames/Quintaro" && find . -type f -printf '  %-40P %10s bytes\n' | sort)
elif [ $host = yes ]; then
    echo
    echo "Nothing was installed in $host_folder."
fi
exit "$status"
