#!/usr/bin/env bash
# Makes the README's screenshots again (docs/screenshots/*.png) from two runs of the sample on
# a virtual X server: the installation (confirmation, progress window, success box) and the
# run without a host game (its not-found box). Run it after a change to anything the user sees.
#   usage: scripts/make-screenshots.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=$root/build/sample/screenshot-runs
docs=$root/docs/screenshots

rm -rf "$runs"
"$root/scripts/run-sample.sh" --screenshots "$runs/install"
"$root/scripts/run-sample.sh" --host-missing --screenshots "$runs/host-missing"

# Each README picture and the run step it comes from; all must be there before any is replaced.
pictures=(
    "install/01-box confirmation"
    "install/02-progress progress"
    "install/03-box installed"
    "host-missing/02-box host-not-found"
)
for picture in "${pictures[@]}"; do
    if [ ! -f "$runs/${picture% *}.png" ]; then
        echo "make-screenshots: the run left no ${picture% *}.png; docs/screenshots unchanged" >&2
        exit 1
    fi
done
mkdir -p "$docs"
echo
for picture in "${pictures[@]}"; do
    cp "$runs/${picture% *}.png" "$docs/${picture#* }.png"
    echo "docs/screenshots/${picture#* }.png"
done
