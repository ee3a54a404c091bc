#!/usr/bin/env bash
# Maps a spare drive letter of a Wine prefix to a folder, or removes that mapping, for the
# end-to-end test that starts setup.exe from a drive root. Wine takes a drive letter from a
# symlink in the prefix's dosdevices folder; a mapping made through the Win32 calls
# (DefineDosDevice) is listed but cannot be used for files.
#   usage: spare_drive.sh map PREFIX LETTER FOLDER | spare_drive.sh unmap PREFIX LETTER
set -euo pipefail

usage() {
    echo "usage: $0 map PREFIX LETTER FOLDER | $0 unmap PREFIX LETTER" >&2
    exit 2
}

[ $# -ge 3 ] || usage
action=$1
link="$2/dosdevices/${3,,}:"

case $action in
map)
    [ $# -eq 4 ] || usage
    folder=$(realpath -m "$4")
    if [ -e "$link" ] && [ "$(readlink "$link")" != "$folder" ]; then
        echo "spare_drive: $link is taken (-> $(readlink "$link")); pick another letter" >&2
        exit 1
    fi
    mkdir -p "$folder"
    ln -sfn "$folder" "$link"
    echo "spare_drive: ${3^^}: is $folder"
    ;;
unmap)
    [ $# -eq 3 ] || usage
    if [ -L "$link" ]; then
        rm -f "$link"
    fi
    echo "spare_drive: ${3^^}: removed"
    ;;
*)
    usage
    ;;
esac
