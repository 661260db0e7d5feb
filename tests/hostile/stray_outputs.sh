#!/bin/sh
# Both programs with outputs that cannot be written (/dev/full) and definition
# files that are a FIFO without a writer, a folder or a device: a message and
# a failing status for the first, a warning and no wait for the second.
# Usage: stray_outputs.sh PATCHWISE [TARLO]   (TARLO only in a GUI build)
set -u
pw=$1 tarlo=${2:-}
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/home/share" XDG_STATE_HOME="$work/home/state" LC_ALL=C
mkdir -p "$HOME" "$work/run" "$work/folder.ini"
cd "$work/run" || exit 2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# An AIR file of two records, the definitions and a script that changes it.
printf '\364\001\000\000\004\000\000\000\130\002\012\000\020\004\000\000\002\000\000\000\003\000' >plane.air
printf '[Records]\n1f4=Engine limits,record\n[1f4]\n1=0,int16,Idle speed\n' >tarlo.ini
printf 'field 1f4 0 int16 700\n' >fix.txt
cp plane.air original.air
mkfifo defs.fifo || exit 2

# full STATUS WHAT CMD...: CMD with standard output on /dev/full exits STATUS
# (never 0) and says on standard error that WHAT could not be written, why.
full() {
    want=$1 what=$2
    shift 2
    "$@" >/dev/full 2>"$work/err"
    got=$?
    [ "$got" -eq "$want" ] || fail "$* >/dev/full exited $got, not $want: $(cat "$work/err")"
    grep -qF -- "$what" "$work/err" || fail "$* >/dev/full: no '$what' in: $(cat "$work/err")"
}
# unchanged: the AIR file as it was, and no backup made.
unchanged() {
    cmp -s plane.air original.air || fail "$1 changed plane.air"
    [ -e plane.air.001 ] && fail "$1 left a backup"
    rm -f plane.air.001
}
# settles CMD...: CMD ends within 10 s (a FIFO opened for reading would wait
# for ever); its status in $status, its standard error in $work/err.
settles() {
    timeout 10 "$@" >"$work/out" 2>"$work/err" </dev/null
    status=$?
    [ "$status" -eq 124 ] && fail "$* did not end: it waits on the FIFO"
}

# --- Outputs that cannot be written.
full 1 "the version could not be written" "$pw" --version
full 1 "the help text could not be written" "$pw" --help
full 1 "No space left on device" "$pw" dump plane.air -o -
full 1 "full" "$pw" dump plane.air -o /dev/full </dev/null
[ -e plane.txt ] && fail "a failed dump left plane.txt"
"$pw" update --log /dev/null --definitions tarlo.ini original.air fix.txt 2>/dev/null && rm -f original.air.001
cmp -s plane.air original.air && fail "the script changed nothing"
full 2 "could not be written" "$pw" diff plane.air original.air
cp plane.air original.air
full 1 "No space left on device" "$pw" update --dry-run plane.air fix.txt
unchanged "update --dry-run"
# A log that cannot be written stops the update before the AIR file changes.
full 1 "No space left on device" "$pw" update --log - plane.air fix.txt
unchanged "update --log - >/dev/full"
"$pw" update --log /dev/full plane.air fix.txt >"$work/out" 2>"$work/err"
[ $? -eq 1 ] || fail "update --log /dev/full did not fail"
grep -qF "full" "$work/err" || fail "update --log /dev/full says nothing of it: $(cat "$work/err")"
unchanged "update --log /dev/full"
if [ -n "$tarlo" ]; then
    full 1 "the listing could not be written: No space left on device" "$tarlo" --list plane.air
    full 1 "the listing could not be written" "$tarlo" --list --json --definitions tarlo.ini plane.air
    full 1 "the help text could not be written: No space left on device" "$tarlo" --help
    full 1 "the version could not be written" "$tarlo" --version
fi

# --- Definition files that are not regular files: a warning, no wait.
for defs in defs.fifo "$work/folder.ini" /dev/zero; do
    settles "$pw" dump --definitions "$defs" plane.air -o -
    [ "$status" -eq 0 ] || fail "dump --definitions $defs exited $status"
    grep -qF "warning: the definition file $defs" "$work/err" || fail "dump: no warning for $defs: $(cat "$work/err")"
    settles "$pw" update --strict --definitions "$defs" plane.air fix.txt
    [ "$status" -eq 1 ] || fail "update --strict --definitions $defs exited $status"
    unchanged "update --strict --definitions $defs"
    if [ -n "$tarlo" ]; then
        settles "$tarlo" --list --definitions "$defs" plane.air
        [ "$status" -eq 0 ] || fail "tarlo --list --definitions $defs exited $status"
        grep -qF "warning: $defs" "$work/err" || fail "tarlo --list: no warning for $defs: $(cat "$work/err")"
        grep -qF "Unknown" "$work/out" || fail "tarlo --list --definitions $defs: $(cat "$work/out")"
    fi
done
grep -qF "is not a regular file" "$work/err" || fail "a device is not called what it is: $(cat "$work/err")"
# The editor's window start finds its definitions beside the program: a FIFO
# there is never read either (the listing is what shows it).
if [ -n "$tarlo" ]; then
    mkdir -p "$work/bin"
    cp "$tarlo" "$work/bin/tarlo"
    mkfifo "$work/bin/Tarlo.ini"
    settles "$work/bin/tarlo" --list plane.air
    [ "$status" -eq 0 ] || fail "tarlo --list beside a FIFO Tarlo.ini exited $status"
fi

[ "$failures" -eq 0 ] && echo "all passed"
exit "$failures"
