#!/usr/bin/env bash
# Installs what building and testing setup.exe needs on Debian 12, from Debian's packages
# only: the MinGW-w64 cross compilers, Wine, CMake, Ninja and the GoogleTest sources; then
# makes 32-bit Windows programs runnable (Wine's 32-bit loader, and an emulator where the
# kernel runs no 32-bit x86 code). Where that cannot be done it says so and goes on: the
# 32-bit tests are then skipped.
# Idempotent: when everything is there it only checks, and returns within a second.
set -euo pipefail
scripts=$(dirname "$0")

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
    xvfb
    fonts-wine
    clang
    libclang-rt-14-dev
)

# Debian 12's own qemu 7.2 crashes or hangs under the 32-bit Wine loader; the backported 10
# runs it. Its qemu-user package holds static binaries, so no i386 libraries are involved.
qemu_package=qemu-user
qemu_minimum_version=1:10
qemu_binary=/usr/bin/qemu-i386
backports_sources=/etc/apt/sources.list.d/bookworm-backports.sources
binfmt=/proc/sys/fs/binfmt_misc
binfmt_entry=$binfmt/qemu-i386
# What i386 ELF programs look like to the kernel: the class, byte order and version bytes,
# executable or shared object, machine 3. The F flag makes the kernel open the emulator
# once, now, so it is found from any mount namespace and needs nothing of the program's root.
binfmt_rule=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
binfmt_rule+=':\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
binfmt_rule+=":$qemu_binary:F"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

# One look at dpkg's database: a query per package would take most of the second.
installed=" $(dpkg-query -W -f='${db:Status-Abbrev}${binary:Package}\n' | sed -n 's/^ii *//p' |
    tr '\n' ' ') "
is_installed() {
    [[ $installed == *" $1 "* ]]
}

apt_lists_current=false
apt_install() {
    echo "install-deps: installing $*"
    if ! $apt_lists_current; then
        $sudo apt-get update -q
        apt_lists_current=true
    fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "$@"
}

as_root_write() {  # FILE TEXT
    printf '%s' "$2" | $sudo tee "$1" >/dev/null
}

missing=()
for package in "${packages[@]}"; do
    is_installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] || apt_install "${missing[@]}"

# --- 32-bit programs -------------------------------------------------------------------

qemu_is_current() {
    is_installed "$qemu_package" &&
        dpkg --compare-versions "$(dpkg-query -W -f='${Version}' "$qemu_package")" \
            ge "$qemu_minimum_version"
}

binfmt_entry_is_ours() {
    [ -r "$binfmt_entry" ] &&
        grep -qx enabled "$binfmt_entry" &&
        grep -qx "interpreter $qemu_binary" "$binfmt_entry" &&
        grep -qx 'flags: [A-Z]*F[A-Z]*' "$binfmt_entry"
}

# Some kernels (this project's machines among them) refuse 32-bit x86 code although they
# were built with it: there the 32-bit Wine loader runs under qemu-i386, which binfmt_misc
# starts for every i386 program. The registration lasts until the machine restarts, so it
# is checked on every run.
# On failure it leaves the reason in $failure.
set_up_emulator() {
    if [ -n "$sudo" ] && ! sudo -n true 2>/dev/null; then
        failure="no root rights to register an emulator"
        return 1
    fi
    if ! qemu_is_current; then
        if ! grep -rqs '^[^#]*bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
            echo "install-deps: adding Debian's bookworm-backports to the apt sources"
            if ! as_root_write "$backports_sources" "Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
"; then
                failure="$backports_sources cannot be written"
                return 1
            fi
            apt_lists_current=false
        fi
        if ! apt_install "$qemu_package/bookworm-backports"; then
            failure="$qemu_package could not be installed from bookworm-backports"
            return 1
        fi
    fi
    if [ ! -e "$binfmt/register" ] &&
        ! $sudo mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
        failure="binfmt_misc is not available and cannot be mounted"
        return 1
    fi
    if ! binfmt_entry_is_ours; then
        # Someone else's entry of that name (e.g. an older qemu) would hang Wine: replace it.
        [ ! -e "$binfmt_entry" ] || as_root_write "$binfmt_entry" -1
        if ! as_root_write "$binfmt/register" "$binfmt_rule" 2>/dev/null; then
            failure="binfmt_misc refused the qemu-i386 entry"
            return 1
        fi
    fi
    if ! "$scripts/check-32bit.sh" --elf 2>/dev/null; then
        failure="32-bit x86 programs do not start even through $qemu_binary"
        return 1
    fi
}

enable_32bit_programs() {
    local failure
    if [ -e "$binfmt_entry" ] || ! "$scripts/check-32bit.sh" --elf 2>/dev/null; then
        if ! set_up_emulator; then
            echo "install-deps: 32-bit programs cannot run here: $failure." \
                "The 32-bit tests (ctest --preset win32) will be skipped." >&2
            return 0
        fi
    fi
    # Only now: with wine32 present, making any Wine prefix starts 32-bit programs.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
        apt_lists_current=false
    fi
    is_installed wine32:i386 || apt_install wine32:i386
}

enable_32bit_programs
