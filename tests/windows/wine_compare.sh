#!/usr/bin/env bash
# The Windows build under wine against the Linux build, byte for byte.
#
#   tests/windows/wine_compare.sh LINUX_MORVIK WINDOWS_MORVIK_EXE
#
# Both builds convert every fixture (tests/data/*.elf, examples/firmware.elf)
# with "-a -d" and with no option, argv[0] being the same DOS path for both
# (the usage line is in every file); exit status, console text (CR LF taken as
# LF) and every file left must agree. Then the Windows build alone: backslash
# paths (dir\prog.abs, -o C:\...\fw), a second run over an earlier run's
# outputs, a missing output folder, a full disk (a 64 KiB tmpfs, where mounting
# is allowed), two runs at once on one output name, output names in code page
# 932 and Ctrl-C during a run (with the helper programs built beside
# morvik.exe). The wine prefix is made once, beside the Windows build (or
# $WINEPREFIX). Exit status 0 when everything agrees.
set -uo pipefail

[ $# -ge 2 ] || { sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
linux=$(readlink -f "$1")
win=$(readlink -f "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)

export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$(dirname "$win")/wineprefix}
# Wine takes the Japanese ANSI code page (932) from this name even where the
# Linux locale itself is not installed.
wine_locale=ja_JP.UTF-8

work=$(mktemp -d)
mounted=""
cleanup() {
    [ -n "$mounted" ] && umount "$mounted" 2>/dev/null
    rm -rf "$work" "$WINEPREFIX/drive_c/morvik-out"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# wrun DIR ARGS...: the Windows build in DIR; console in DIR/console.txt, status printed.
wrun() {
    local dir=$1
    shift
    (cd "$dir" && LC_ALL=$wine_locale wine "$win" "$@" >console.txt 2>&1; echo $?)
}
# lrun DIR ARGS...: the Linux build in DIR with the Windows build's argv[0].
lrun() {
    local dir=$1
    shift
    (cd "$dir" && bash -c 'exec -a "$0" "$@"' "$win_argv0" "$linux" "$@" >console.txt 2>&1; echo $?)
}
# same_files A B: every file of folder A equal to the one of that name in B, and no other file in either.
same_files() {
    local a=$1 b=$2 f ok=0
    [ "$(cd "$a" && ls | sort)" = "$(cd "$b" && ls | sort)" ] || { echo "  files: $(cd "$a" && ls | tr '\n' ' ')| $(cd "$b" && ls | tr '\n' ' ')"; ok=1; }
    for f in $(cd "$a" && ls); do
        [ -f "$b/$f" ] || continue
        if [ "$f" = console.txt ]; then
            cmp -s <(tr -d '\r' <"$a/$f") <(tr -d '\r' <"$b/$f") || { echo "  console differs"; ok=1; }
        else
            cmp -s "$a/$f" "$b/$f" || { echo "  $f differs"; ok=1; }
        fi
    done
    return $ok
}

echo "wine prefix: $WINEPREFIX"
start=$SECONDS
LC_ALL=$wine_locale wine cmd /c exit >/dev/null 2>&1  # creates the prefix on the first use
win_argv0=$(winepath -w "$win" 2>/dev/null)
[ -n "$win_argv0" ] || { echo "FAILED: wine does not run (winepath)"; exit 1; }
echo "wine ready after $((SECONDS - start)) s; argv[0] is $win_argv0"

# 1. Every fixture, both builds, byte for byte.
runs=0
for input in "$root"/tests/data/*.elf "$root"/examples/firmware.elf; do
    for opts in "-a -d" ""; do
        L=$work/l && W=$work/w && rm -rf "$L" "$W" && mkdir "$L" "$W"
        cp "$input" "$L/fw.abs" && cp "$input" "$W/fw.abs"
        # shellcheck disable=SC2086
        ls_=$(lrun "$L" fw.abs $opts)
        # shellcheck disable=SC2086
        ws_=$(wrun "$W" fw.abs $opts)
        runs=$((runs + 1))
        [ "$ls_" = "$ws_" ] || fail "$(basename "$input") [$opts]: exit $ls_ on Linux, $ws_ on Windows"
        same_files "$L" "$W" || fail "$(basename "$input") [$opts]: outputs differ"
    done
done
echo "fixtures: $runs runs compared"

fw=$root/examples/firmware.elf

# 2. Backslash paths. On Linux a backslash is part of a file name, so the
# Linux build writes "dir\prog.SYM" where Windows writes dir/prog.SYM; the
# bytes inside must agree.
L=$work/l && W=$work/w && rm -rf "$L" "$W" && mkdir -p "$L" "$W/dir"
cp "$fw" "$L/dir\\prog.abs" && cp "$fw" "$W/dir/prog.abs"
[ "$(lrun "$L" 'dir\prog.abs' -a)" = 0 ] || fail "Linux run of dir\\prog.abs"
[ "$(wrun "$W" 'dir\prog.abs' -a)" = 0 ] || fail "dir\\prog.abs: $(cat "$W/console.txt")"
for ext in SYM LIN mot; do
    cmp -s "$L/dir\\prog.$ext" "$W/dir/prog.$ext" || fail "dir\\prog.$ext differs"
done
mkdir -p "$WINEPREFIX/drive_c/morvik-out"
[ "$(lrun "$L" 'dir\prog.abs' -a -o 'C:\morvik-out\fw')" = 0 ] || fail "Linux run with -o C:\\morvik-out\\fw"
[ "$(wrun "$W" 'dir\prog.abs' -a -o 'C:\morvik-out\fw')" = 0 ] || fail "-o C:\\morvik-out\\fw: $(cat "$W/console.txt")"
for ext in SYM LIN mot; do
    cmp -s "$L/C:\\morvik-out\\fw.$ext" "$WINEPREFIX/drive_c/morvik-out/fw.$ext" || fail "C:\\morvik-out\\fw.$ext differs"
done
echo "backslash paths: checked"

# 3. A second run over the outputs of an earlier run of another firmware.
L=$work/l && W=$work/w && rm -rf "$L" "$W" && mkdir "$L" "$W"
for d in "$L" "$W"; do cp "$root/tests/data/sh4.elf" "$d/old.abs" && cp "$fw" "$d/fw.abs"; done
wrun "$W" old.abs -a -d -o fw >/dev/null
ls_=$(lrun "$L" fw.abs -a -d)
ws_=$(wrun "$W" fw.abs -a -d)
rm -f "$L/old.abs" "$W/old.abs"
[ "$ls_" = 0 ] && [ "$ws_" = 0 ] || fail "second run: exit $ls_ on Linux, $ws_ on Windows"
same_files "$L" "$W" || fail "second run: the outputs are not this run's"
echo "second run over existing outputs: checked"

# 4. A missing output folder: exit -3 (253) and a line naming the file.
W=$work/w && rm -rf "$W" && mkdir "$W" && cp "$fw" "$W/fw.abs"
ws_=$(wrun "$W" fw.abs -a -o 'nodir\out')
[ "$ws_" = 253 ] || fail "missing folder: exit $ws_, not 253"
grep -q 'error: nodir\\out.SYM could not be written: No such file or directory' "$W/console.txt" ||
    fail "missing folder: no error line: $(cat "$W/console.txt")"
[ "$(cd "$W" && ls | sort | tr '\n' ' ')" = "console.txt fw.abs " ] || fail "missing folder: files left: $(ls "$W")"
echo "missing folder: checked"

# 5. A full disk: both builds on a fresh 64 KiB tmpfs each, with an earlier
# run's complete outputs there; the same status, the same files left, and
# every file left complete (equal between the builds).
full=$work/full
mkdir -p "$full"
if mount -t tmpfs -o size=64k tmpfs "$full" 2>/dev/null; then
    mounted=$full
    results=()
    for build in linux windows; do
        rm -rf "${full:?}"/* && mkdir "$full/d" && cp "$fw" "$full/d/fw.abs"
        printf 'old\r\n' >"$full/d/fw.SYM"
        printf 'old\r\n' >"$full/d/fw.LIN"
        if [ $build = linux ]; then st=$(lrun "$full/d" fw.abs -a); else st=$(wrun "$full/d" fw.abs -a); fi
        rm -f "$full/d/fw.abs"
        leftovers=$(cd "$full/d" && ls | grep -v console.txt | tr '\n' ' ')
        grep -q 'old' "$full/d/fw.SYM" "$full/d/fw.LIN" 2>/dev/null && fail "disk full ($build): an earlier output stayed"
        case "$leftovers" in *morvik-part*) fail "disk full ($build): temporary files left: $leftovers" ;; esac
        results+=("$st: $leftovers")
        mkdir -p "$work/full-$build" && cp "$full/d/"* "$work/full-$build/"
    done
    [ "${results[0]}" = "${results[1]}" ] || fail "disk full: Linux '${results[0]}', Windows '${results[1]}'"
    case "${results[1]}" in 0:*) fail "disk full: exit 0 on a full disk" ;; esac
    same_files "$work/full-linux" "$work/full-windows" || fail "disk full: outputs differ"
    # wineserver may hold the folder of a process that has just ended.
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        umount "$full" 2>/dev/null && mounted="" && break
        sleep 0.5
    done
    [ -n "$mounted" ] && umount -l "$full" 2>/dev/null && mounted=""
    echo "disk full: checked (${results[1]})"
else
    echo "disk full: skipped (cannot mount a tmpfs here)"
fi

# 6. Two runs at once on one output name: each time one run's whole set.
W=$work/w && rm -rf "$W" && mkdir "$W"
cp "$fw" "$W/a.abs" && cp "$root/tests/data/arm_le.elf" "$W/b.abs"
mixed=0
for round in 1 2 3 4 5 6 7 8; do
    (cd "$W" && LC_ALL=$wine_locale wine "$win" a.abs -o fw >/dev/null 2>&1; echo $? >st.a) &
    (cd "$W" && LC_ALL=$wine_locale wine "$win" b.abs -o fw >/dev/null 2>&1; echo $? >st.b) &
    wait
    [ "$(cat "$W/st.a")" = 0 ] && [ "$(cat "$W/st.b")" = 0 ] || fail "concurrent round $round: exit $(cat "$W/st.a") and $(cat "$W/st.b")"
    [ "$(sed -n 3p "$W/fw.SYM")" = "$(sed -n 3p "$W/fw.LIN")" ] || mixed=$((mixed + 1))
done
[ $mixed = 0 ] || fail "concurrent runs: $mixed of 8 rounds left SYM and LIN of different runs"
ls "$W" | grep -q -e morvik-part -e morvik-lock && fail "concurrent runs: files left: $(ls "$W")"
echo "concurrent runs: checked"

# 7. Output names in code page 932 (morvik_windows_names.exe beside the
# Windows build), and Ctrl-C in the middle of a run (morvik_ctrl_c.exe).
helpers=$(dirname "$win")
if [ -f "$helpers/morvik_windows_names.exe" ]; then
    out=$(LC_ALL=$wine_locale wine "$helpers/morvik_windows_names.exe" 2>&1)
    st=$?
    echo "code page 932 names: $out"
    [ $st = 0 ] || [ $st = 77 ] || fail "code page 932 names"
fi
if [ -f "$helpers/morvik_ctrl_c.exe" ]; then
    W=$work/w && rm -rf "$W" && mkdir "$W" && cp "$fw" "$W/fw.abs" && printf 'old' >"$W/fw.SYM"
    out=$(cd "$W" && LC_ALL=$wine_locale wine "$helpers/morvik_ctrl_c.exe" "$win_argv0 -d -a fw.abs" 2>&1 | tr -d '\r')
    [ "$out" = 130 ] || fail "Ctrl-C: the run ended with '$out', not 130"
    [ "$(cd "$W" && ls | tr '\n' ' ')" = "fw.SYM fw.abs " ] || fail "Ctrl-C: files left: $(ls "$W")"
    [ "$(cat "$W/fw.SYM")" = old ] || fail "Ctrl-C: the earlier fw.SYM was changed"
    echo "Ctrl-C: checked"
fi

echo "wine comparison done in $((SECONDS - start)) s: $failures failure(s)"
[ $failures = 0 ]
