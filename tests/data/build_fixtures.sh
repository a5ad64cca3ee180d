#!/bin/sh
# Rebuilds the compiler-generated ELF fixtures in tests/data/ from the C
# sources in tests/data/src/.  Needs the Debian packages gcc-arm-none-eabi
# and gcc-sh4-linux-gnu.  The outputs depend only on the sources and the
# toolchain versions, not on where the repository is checked out.
#
#   arm_le.elf  Cortex-M3, little-endian, -O0 (shapes.c at -O2)
#   arm_be.elf  Cortex-M3, big-endian (BE8), same units and levels
#   arm_o2.elf  Cortex-M3, little-endian, every unit at -O2
#   sh4.elf     SH-4, little-endian, -O1
#   sh4_be.elf  SH-4, big-endian, -O1
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cd "$here/src"

obj=$(mktemp -d)
trap 'rm -rf "$obj"' EXIT INT TERM

# Shared by every compile.  The prefix map turns the absolute build
# directory in DW_AT_comp_dir into ".", so the output does not depend on
# the checkout path.
COMMON="-gdwarf-2 -gstrict-dwarf -ffreestanding -Wall -Wextra -Werror -fdebug-prefix-map=$PWD=."

UNITS="data list shapes main util"

ARM_CC=arm-none-eabi-gcc
ARM_FLAGS="-mcpu=cortex-m3 -mthumb"
SH_CC=sh4-linux-gnu-gcc
SH_LD=sh4-linux-gnu-ld

# arm_build OUTPUT ENDIAN_FLAG DEFAULT_OPT O2_UNITS
arm_build() {
    out=$1 endian=$2 opt=$3 o2_units=$4
    dir="$obj/${out%.elf}"
    mkdir -p "$dir"
    for u in $UNITS start_arm; do
        level=$opt
        for o in $o2_units; do
            [ "$o" = "$u" ] && level=-O2
        done
        set -x
        $ARM_CC $ARM_FLAGS $endian $level $COMMON -c "$u.c" -o "$dir/$u.o"
        { set +x; } 2>/dev/null
    done
    set -x
    $ARM_CC $ARM_FLAGS $endian -nostdlib -T cortex_m.ld \
        "$dir/start_arm.o" "$dir/data.o" "$dir/list.o" "$dir/shapes.o" \
        "$dir/main.o" "$dir/util.o" -o "$here/$out"
    { set +x; } 2>/dev/null
}

# sh_build OUTPUT ENDIAN_FLAG(-ml|-mb) LD_ENDIAN(-EL|-EB)
# The link goes straight to ld: the gcc driver asks for an emulation name
# for -mb that this Debian ld does not have, while ld -EB works.
sh_build() {
    out=$1 endian=$2 ld_endian=$3
    dir="$obj/${out%.elf}"
    mkdir -p "$dir"
    for u in start_sh $UNITS; do
        set -x
        $SH_CC $endian -O1 -fno-pie -gno-as-loc-support $COMMON -c "$u.c" -o "$dir/$u.o"
        { set +x; } 2>/dev/null
    done
    set -x
    $SH_LD $ld_endian -static --build-id=none -e _start \
        "$dir/start_sh.o" "$dir/data.o" "$dir/list.o" "$dir/shapes.o" \
        "$dir/main.o" "$dir/util.o" -o "$here/$out"
    { set +x; } 2>/dev/null
}

arm_build arm_le.elf -mlittle-endian -O0 shapes
arm_build arm_be.elf -mbig-endian -O0 shapes
arm_build arm_o2.elf -mlittle-endian -O2 ""
sh_build sh4.elf -ml -EL
sh_build sh4_be.elf -mb -EB

cd "$here"
for f in arm_le.elf arm_be.elf arm_o2.elf sh4.elf sh4_be.elf; do
    echo "$f: $(wc -c < "$f") bytes"
done
