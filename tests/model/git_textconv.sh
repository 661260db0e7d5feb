#!/bin/sh
# With the README's textconv recipe, a commit that changes one byte of a raw
# record shows as a hunk of `git diff`, naming the changed bytes.
#   git_textconv.sh TARLO DEFINITIONS SAMPLE_AIR
set -eu
tarlo=$1 defs=$2 sample=$3
command -v git >/dev/null 2>&1 || { echo "no git"; exit 77; }
command -v python3 >/dev/null 2>&1 || { echo "no python3"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export GIT_CONFIG_NOSYSTEM=1 HOME="$work"
git init -q repo
cd repo
git config user.email test@example.invalid
git config user.name Test
echo '*.air diff=air' >.gitattributes
git config diff.air.textconv "'$tarlo' --list --values --definitions '$defs'"
cp "$sample" plane.air
git add .gitattributes plane.air
git commit -qm one

# The 20th data byte of the first raw record, found through the JSON listing.
"$tarlo" --list --json --definitions "$defs" plane.air >listing.json
python3 - <<'PY'
import json
doc = json.load(open("listing.json"))
raw = next(r for r in doc["records"] if r["type"] == "raw" and r["length"] > 20)
at = raw["offset"] + 8 + 20
data = bytearray(open("plane.air", "rb").read())
data[at] ^= 0x5A
open("plane.air", "wb").write(data)
PY
rm listing.json

# --numstat counts binary files without text conversion: count the hunk's lines.
git diff -- plane.air >diff.txt
removed=$(grep -c '^-[^-]' diff.txt || true)
added=$(grep -c '^+[^+]' diff.txt || true)
[ "$removed" = 1 ] && [ "$added" = 1 ] || { echo "expected one line changed"; cat diff.txt; exit 1; }
# The hunk shows the hex line of bytes 16..31, before and after.
grep -q '^-    0010: ' diff.txt && grep -q '^+    0010: .* 5a ' diff.txt || { cat diff.txt; exit 1; }
echo "one raw byte changed: one hunk"
