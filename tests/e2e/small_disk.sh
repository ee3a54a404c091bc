#!/usr/bin/env bash
# Mounts a small tmpfs at a folder, a disk that fills up, for the end-to-end test of a copy
# onto a full disk; or unmounts it. Mounting needs root: elsewhere it says so and succeeds
# without a mount, and that test skips.
#   usage: small_disk.sh mount FOLDER SIZE | small_disk.sh unmount FOLDER
set -euo pipefail

usage() {
    echo "usage: $0 mount FOLDER SIZE | $0 unmount FOLDER" >&2
    exit 2
}

[ $# -ge 2 ] || usage
folder=$(realpath -m "$2")

case $1 in
mount)
    [ $# -eq 3 ] || usage
    mkdir -p "$folder"
    if mountpoint -q "$folder"; then
        umount "$folder"
    fi
    if [ "$(id -u)" -ne 0 ]; then
        echo "small_disk: not root, so no small disk at $folder: the full-disk test skips"
        exit 0
    fi
    if ! mount -t tmpfs -o "size=$3,mode=0755" small-disk "$folder"; then
        echo "small_disk: mount failed, so no small disk at $folder: the full-disk test skips"
        exit 0
    fi
    echo "small_disk: $3 tmpfs at $folder"
    ;;
unmount)
    [ $# -eq 2 ] || usage
    if mountpoint -q "$folder"; then
        umount "$folder" || umount -l "$folder"
    fi
    echo "small_disk: $folder unmounted"
    ;;
*)
    usage
    ;;
esac
