#!/bin/sh
# The patchwise program as a shell user meets it: exit statuses, standard
# output and error, and the files a run leaves behind.
# Usage: cli_test.sh PATCHWISE SAMPLE.air DATA_DIR
set -u
program=$1 sample=$2 datadir=$3
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/home/share" LC_ALL=C
mkdir -p "$HOME" "$work/bin" "$work/run"
cp "$program" "$work/bin/patchwise"
pw="$work/bin/patchwise"
cp "$sample" "$work/run/plane.air"
cd "$work/run" || exit 2
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# run EXPECTED-STATUS ARGS...: stdout in out, stderr in err.
run() {
    want=$1; shift
    "$pw" "$@" >"$work/out" 2>"$work/err"
    got=$?
    [ "$got" -eq "$want" ] || fail "patchwise $* exited $got, not $want; stderr: $(cat "$work/err")"
}
has() { grep -qF -- "$2" "$work/$1" || fail "$1 lacks '$2': $(head -c 600 "$work/$1")"; }
lacks() { ! grep -qF -- "$2" "$work/$1" || fail "$1 has '$2'"; }
lines() { n=$(wc -l <"$work/$1"); [ "$n" -eq "$2" ] || fail "$1 has $n lines, not $2: $(cat "$work/$1")"; }

INI='[records]
1f4=Engine limits,record
[1f4]
1=0,int16,Idle speed
2=2,int16,Top speed
'

# --- Where the definitions are found, and a warning when they are not.
if [ -z "$(find "$datadir" -maxdepth 1 -iname tarlo.ini 2>/dev/null)" ]; then
    run 0 dump plane.air -o -
    has err "warning: no definition file found"
    has out "Can't find $work/run/tarlo.ini"
    run 1 dump --strict plane.air
    has err "no definition file found"
    [ -e plane.txt ] && fail "a refused dump left plane.txt"
fi
printf '%s' "$INI" >"$work/bin/TARLO.INI"
run 0 dump plane.air -o -
has out "Found $work/bin/TARLO.INI"
lines err 0
printf '%s' "$INI" >tarlo.ini
run 0 dump plane.air -o -
has out "Found $work/run/tarlo.ini"
rm tarlo.ini
for named in nope.ini "$work"; do
    run 0 dump --definitions "$named" plane.air -o -
    has err "warning: the definition file $named"
    has out "Can't find $named"
    run 1 update --strict --definitions "$named" plane.air /dev/null
    lacks err "warning:"
done
has err "is a folder"
cmp -s plane.air "$sample" || fail "a refused update changed the file"
printf '%s' "$INI" >other.ini
printf 'field 801 0 int16 5\n' >add.txt
run 0 update --definitions other.ini --log log.txt plane.air add.txt
has err "add.txt:1: Section 801 not defined in other.ini"
has err "other.ini"
lacks err "tarlo.ini"
grep -qF "Section 801 not defined in other.ini" log.txt || fail "the log names no other.ini"
cp "$sample" plane.air

# --- A mistyped keyword is a warning, and a failure under --strict; a pasted dump is not.
printf '%s' "$INI" >tarlo.ini
printf '; fix\n\nfeild 1f4 0 int16 5\nfield 1f4 0 int16 5\n' >typo.txt
run 0 update --log - plane.air typo.txt
has err "typo.txt:3: unknown command 'feild'"
lines err 1
rm -f plane.air.0*
run 1 update --strict plane.air typo.txt
has err "typo.txt:3: unknown command 'feild'"
[ -e plane.air.001 ] && fail "a refused update left a backup"
run 0 dump --full plane.air -o dump.txt
grep -v '^Sample revision' dump.txt | grep -v 'back.slash' >pasted.txt
run 0 update --dry-run plane.air pasted.txt
lacks err "unknown command"
rm -f tarlo.ini
cp "$sample" plane.air

# --- Small things: one version line, short usage errors, no stray files.
run 0 --version
lines out 1
has out "patchwise (Tarlo) "
for bad in "frobnicate" "dump" "dump -o '' plane.air" "update --log '' plane.air s.txt" \
        "merge a.air b.air" "merge --bogus a.air b.air c.air"; do
    eval "run 2 $bad"
    lines err 2
    has err "Try 'patchwise --help'."
    lines out 0
done
"$pw" --help >/dev/full 2>"$work/err" && fail "--help into a full device exited 0"
has err "could not be written"
run 1 dump nope.air
[ -e nope.txt ] && fail "a failed dump left nope.txt"
has err "nope.air"
printf '%s' "$INI" >tarlo.ini
printf 'field 1f4 0 int17 5\n' >stop.txt
run 1 update --log - plane.air stop.txt
has err "see standard output."
cp "$sample" plane.air

# --- diff --script: no stamp talk, and 1 or 2 for what it cannot express.
air() { python3 -c 'import struct,sys
out=b""
for r in sys.argv[2:]:
    i,d=r.split(":"); d=bytes.fromhex(d); out+=struct.pack("<II",int(i,16),len(d))+d
open(sys.argv[1],"wb").write(out)' "$@"; }
air a.air 1f4:58020a00 410:03000400
air b.air 1f4:59020a00 410:03000400
run 1 diff --script a.air b.air
lines err 0
has out "field 1f4 0"
lacks out "stamp"
cp plane.air s.air
printf '; nothing\n' >nothing.txt
run 0 update --log /dev/null s.air nothing.txt
run 0 diff --script plane.air s.air
has out "; only the update stamp differs"
lines err 0
run 1 diff --strict --script a.air b.air
cat b.air >c.air; printf 'xyz' >>c.air
run 1 diff --script a.air c.air
has err "cannot express"
run 2 diff --strict --script a.air c.air
has err "cannot express"
air d.air 410:03000400 1f4:58020a00
run 1 diff a.air d.air
has out "The records are in another order."
has out "Moved: "
run 1 diff --json a.air d.air
has out '"moved": ['
lines err 0
run 0 diff --json a.air a.air
has out '"different": false'
run 2 diff --json a.air nope.air
lines out 0
run 2 diff --json --script a.air b.air
lines err 2
rm -f tarlo.ini

# --- check: the definition file and the stamps of many files; 0 clean, 1 problems, 2 trouble.
printf '%s' "$INI" >tarlo.ini
air c1.air 1f4:58020a00
run 0 check c1.air
has out "c1.air: no stamp"
has err "1 AIR file checked: 0 problems"
cp "$sample" st.air
run 0 update --log /dev/null st.air nothing.txt
printf 'x' >>st.air
run 1 check c1.air st.air
has out "st.air: stamp changed since the last update"
has out "st.air: record 9999 is not in the definitions"
printf '[records]\n1f4=Engine limits,record\n1f4=Again,record\n' >twice.ini
run 1 check --definitions twice.ini
has out "twice.ini:3: record 1f4 again"
run 2 check c1.air nope.air
has out "c1.air: no stamp"
has err "nope.air"
run 2 check --definitions nope.ini c1.air
rm -f tarlo.ini

# --- One script over several files: each all or nothing, one log, a line per file.
printf '%s' "$INI" >tarlo.ini
air m1.air 1f4:58020a00
air m2.air 1f4:58020a00
mkdir m3.air
cp m2.air m2.orig
printf 'field 1f4 0 int16 700\n' >fix.txt
run 1 update --script fix.txt m1.air m3.air m2.air
has err "m1.air: updated, the old file kept as m1.air.001"
has err "m2.air: updated, the old file kept as m2.air.001"
has err "m3.air: failed"
has err "the update failed for: m3.air"
[ -e m3.air.001 ] && fail "the failed file got a backup"
[ -e m1.air.001 ] && [ -e m2.air.001 ] || fail "an updated file has no backup"
cmp -s m2.air.001 m2.orig || fail "the backup is not the old file"
[ "$(grep -c '^AIR file: ' amod_log.txt)" -eq 2 ] || fail "the log does not hold both updates: $(cat amod_log.txt)"
run 0 update --dry-run --script fix.txt m1.air m2.air
has err "m1.air: would be updated"
[ -e m1.air.002 ] && fail "a dry run made a backup"
run 2 update --script fix.txt
has err "needs at least one AIR file"
run 0 update m1.air fix.txt
lines err 0
[ -e m1.air.002 ] || fail "update AIRFILE SCRIPT no longer updates"
rm -f tarlo.ini

# --- end
[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all passed"
