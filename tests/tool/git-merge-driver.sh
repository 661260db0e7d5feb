#!/bin/sh
# The README's git recipe in a real repository: two branches that change
# different fields of one AIR file merge cleanly; the same field changed
# differently is a conflict, the file holding OURS and the conflict listed.
# Usage: git-merge-driver.sh PATCHWISE DEFINITIONS
set -eu
PW=$1
INI=$2
command -v git >/dev/null || { echo "git not found: skipped"; exit 77; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tarlo-gitmerge-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export SOURCE_DATE_EPOCH=1700000000 GIT_CONFIG_NOSYSTEM=1 HOME="$WORK"
fail() { echo "FAIL: $*"; exit 1; }
edit() { # FILE SCRIPT-TEXT: an update that leaves no backup or log behind
    printf '%s\n' "$2" >"$WORK/script.txt"
    "$PW" update --definitions "$INI" --log - "$1" "$WORK/script.txt" >/dev/null
    rm -f "$1".0*
}

cd "$WORK"
git init -q -b main repo
cd repo
git config user.name "Merge Test"
git config user.email merge-test@example.invalid
git config merge.air.name "AIR files, field by field"
git config merge.air.driver "\"$PW\" merge --definitions \"$INI\" %O %A %B -o %A"
echo '*.air merge=air' >.gitattributes
# Record 0x1f4 with 18 bytes of zeros: fields at 0, 2 and 6.
printf '\364\001\000\000\022\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000' >plane.air
git add .gitattributes plane.air
git commit -qm base
cp plane.air "$WORK/base.air"

git checkout -qb engines
edit plane.air "field 1f4 2 int32 5"
git commit -qam "engines"
git checkout -q main
edit plane.air "field 1f4 6 double 2.5"
git commit -qam "tables"
git merge -q --no-edit engines >"$WORK/clean.log" 2>&1 || { cat "$WORK/clean.log"; fail "clean merge"; }
cp "$WORK/base.air" "$WORK/both.air"
edit "$WORK/both.air" "field 1f4 2 int32 5
field 1f4 6 double 2.5"
# The stamp aside, the merge holds both changes.
"$PW" diff --definitions "$INI" "$WORK/both.air" plane.air || fail "merged file differs"

git checkout -qb other
edit plane.air "field 1f4 2 int32 9"
git commit -qam "other"
git checkout -q main
edit plane.air "field 1f4 2 int32 7"
git commit -qam "ours"
cp plane.air "$WORK/ours.air"
if git merge --no-edit other >"$WORK/conflict.log" 2>&1; then
    cat "$WORK/conflict.log"
    fail "a conflict merged"
fi
cmp plane.air "$WORK/ours.air" || fail "the conflicted file is not OURS"
grep -q "conflict: Record: 01f4" "$WORK/conflict.log" || { cat "$WORK/conflict.log"; fail "conflict not listed"; }
git status --porcelain | grep -q '^UU plane.air' || fail "git does not see the conflict"
echo "git merge driver: ok"
