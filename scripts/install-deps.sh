#!/usr/bin/env bash
# Installs what building and testing setup.exe needs on Debian 12, from Debian's packages
# only: the MinGW-w64 cross compilers, Wine, CMake, Ninja and the GoogleTest sources.
# Idempotent: when everything is there it only checks, and returns within a second.
set -euo pipefail

packages=(
    g++-mingw-w64-i686-posix
    g++-mingw-w64-x86-64-posix
    binutils-mingw-w64-i686
    binutils-mingw-w64-x86-64
    wine
    wine64
    cmake
    ninja-build
    googletest
    python3
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
