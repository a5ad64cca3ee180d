#!/bin/sh
# Rebuilds examples/firmware.elf from examples/src/ (needs the Debian
# package gcc-arm-none-eabi).  No C library or libgcc is linked.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cd "$here/src"

obj=$(mktemp -d)
trap 'rm -rf "$obj"' EXIT INT TERM

CC=arm-none-eabi-gcc
CFLAGS="-mcpu=cortex-m4 -mthumb -O1 -gdwarf-2 -gstrict-dwarf -ffreestanding -Wall -Wextra -Werror -fdebug-prefix-map=$PWD=."

set -x
for u in startup main uart timer; do
    $CC $CFLAGS -c "$u.c" -o "$obj/$u.o"
done
$CC -mcpu=cortex-m4 -mthumb -nostdlib -T ../firmware.ld \
    "$obj/startup.o" "$obj/main.o" "$obj/uart.o" "$obj/timer.o" \
    -o "$here/firmware.elf"
{ set +x; } 2>/dev/null
echo "firmware.elf: $(wc -c < "$here/firmware.elf") bytes"
