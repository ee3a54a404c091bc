#!/usr/bin/env bash
# Builds everything and runs every test, from nothing on a fresh Debian 12 machine: installs
# what is missing, configures and builds both presets, and runs the tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
for preset in win32 win64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

status=0
ctest --preset win64 --parallel 2 || status=$?
# Leave no wineserver behind.
WINEPREFIX=$PWD/build/win64/wineprefix /usr/lib/wine/wineserver -w || true
exit "$status"
