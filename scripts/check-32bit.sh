#!/usr/bin/env bash
# Tells whether this machine can run 32-bit Windows programs under Wine: a 32-bit x86 Linux
# program must start (natively or through an emulator registered in binfmt_misc), and Wine's
# 32-bit loader must be installed. Exits 0 if so; otherwise says why and exits 1.
#   usage: check-32bit.sh [--elf]    (--elf: only check that a 32-bit x86 program starts)
set -euo pipefail

# A whole i386 Linux program, 96 bytes: an ELF header, one loadable segment, and code that
# calls exit(42). Some kernels are built with 32-bit support and still refuse it at run
# time, so starting a program is the only check that cannot be fooled.
probe_bytes='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
probe_bytes+='\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
probe_bytes+='\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
probe_bytes+='\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
probe_bytes+='\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
probe_bytes+='\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80'

probe=$(mktemp "${TMPDIR:-/tmp}/i386-probe.XXXXXX")
trap 'rm -f "$probe"' EXIT
printf %b "$probe_bytes" >"$probe"
chmod +x "$probe"
status=0
"$probe" 2>/dev/null || status=$?
if [ "$status" -ne 42 ]; then
    echo "32-bit x86 programs do not run on this machine: the kernel refuses them and no" \
        "emulator is registered for them (scripts/install-deps.sh registers one)." >&2
    exit 1
fi

if [ "${1:-}" != --elf ] && [ ! -x /usr/lib/wine/wine ]; then
    echo "Wine's 32-bit loader is not installed (package wine32:i386;" \
        "scripts/install-deps.sh installs it)." >&2
    exit 1
fi
