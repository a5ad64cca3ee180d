#!/bin/sh
# Rebuilds the compiler fixtures in tests/data/compilers/ from the C
# sources in tests/data/src/: the same firmware built with every flag set
# the converter has to read alike.  Needs the Debian packages
# gcc-arm-none-eabi, gcc-sh4-linux-gnu and clang-14.  The outputs depend
# only on the sources and the toolchain versions, not on where the
# repository is checked out; two runs give identical bytes.
#
#   gcc-m3-O0-*.elf     Cortex-M3, little-endian, GCC, every unit at -O0
#   gcc-m3-O2-*.elf     the same at -O2
#   gcc-sh4be-O2-*.elf  SH-4, big-endian, GCC, -O2
#   clang-m3-O0-*.elf   Cortex-M3, clang, -O0, linked by the GNU linker
#   clang-m3-O2-*.elf   the same at -O2
#
# The suffix names the debug flags:
#   d2s  -gdwarf-2 -gstrict-dwarf      d2  -gdwarf-2
#   d3s  -gdwarf-3 -gstrict-dwarf      d4  -gdwarf-4
#   d4s  -gdwarf-4 -gstrict-dwarf      g   -g (DWARF 5 on GCC 12)
#   d5s  -gdwarf-5 -gstrict-dwarf
# clang builds have d2, d4 and d5 (-gdwarf-5).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cd "$here/../src"

obj=$(mktemp -d)
trap 'rm -rf "$obj"' EXIT INT TERM

# The prefix map turns the build directory into "." in DW_AT_comp_dir and
# in the line tables.
COMMON="-ffreestanding -Wall -Wextra -Werror -fdebug-prefix-map=$PWD=."
UNITS="data list shapes main util filter helpers"

ARM_CC=arm-none-eabi-gcc
ARM_FLAGS="-mcpu=cortex-m3 -mthumb"
SH_CC=sh4-linux-gnu-gcc
SH_LD=sh4-linux-gnu-ld
CLANG=clang-14
CLANG_FLAGS="--target=thumbv7m-none-eabi -mcpu=cortex-m3"

debug_flags() {
    case $1 in
    d2s) echo "-gdwarf-2 -gstrict-dwarf" ;;
    d3s) echo "-gdwarf-3 -gstrict-dwarf" ;;
    d4s) echo "-gdwarf-4 -gstrict-dwarf" ;;
    d5s) echo "-gdwarf-5 -gstrict-dwarf" ;;
    d2) echo "-gdwarf-2" ;;
    d4) echo "-gdwarf-4" ;;
    g) echo "-g" ;;
    d5) echo "-gdwarf-5" ;;
    esac
}

# arm_link OUTPUT DIR: the ARM link, by the GNU linker for both compilers.
arm_link() {
    set -x
    $ARM_CC $ARM_FLAGS -nostdlib -T cortex_m.ld \
        "$2/start_arm.o" "$2/data.o" "$2/list.o" "$2/shapes.o" "$2/main.o" \
        "$2/util.o" "$2/filter.o" "$2/helpers.o" -o "$here/$1"
    { set +x; } 2>/dev/null
}

# arm_build PREFIX COMPILER OPT FLAGSET: every unit, then the GNU link.
arm_build() {
    out="$1-${3#-}-$4.elf" cc=$2 opt=$3 debug=$(debug_flags $4)
    dir="$obj/${out%.elf}"
    mkdir -p "$dir"
    for u in start_arm $UNITS; do
        set -x
        $cc $opt $debug $COMMON -c "$u.c" -o "$dir/$u.o"
        { set +x; } 2>/dev/null
    done
    arm_link "$out" "$dir"
}

# gcc_sh OPT FLAGSET.  The link goes straight to ld: the gcc driver asks
# for an emulation name for -mb that this Debian ld does not have.
gcc_sh() {
    out="gcc-sh4be-${1#-}-$2.elf" debug=$(debug_flags $2)
    dir="$obj/${out%.elf}"
    mkdir -p "$dir"
    for u in start_sh $UNITS; do
        set -x
        $SH_CC -mb $1 -fno-pie $debug $COMMON -c "$u.c" -o "$dir/$u.o"
        { set +x; } 2>/dev/null
    done
    set -x
    $SH_LD -EB -static --build-id=none -e _start \
        "$dir/start_sh.o" "$dir/data.o" "$dir/list.o" "$dir/shapes.o" "$dir/main.o" \
        "$dir/util.o" "$dir/filter.o" "$dir/helpers.o" -o "$here/$out"
    { set +x; } 2>/dev/null
}

for flags in d2s d3s d4s d5s d2 d4 g; do
    arm_build gcc-m3 "$ARM_CC $ARM_FLAGS" -O0 $flags
    arm_build gcc-m3 "$ARM_CC $ARM_FLAGS" -O2 $flags
    gcc_sh -O2 $flags
done
for flags in d2 d4 d5; do
    arm_build clang-m3 "$CLANG $CLANG_FLAGS" -O0 $flags
    arm_build clang-m3 "$CLANG $CLANG_FLAGS" -O2 $flags
done

cd "$here"
ls -l *.elf | awk '{ print $9 ": " $5 " bytes" }'
