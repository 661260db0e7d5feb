#!/bin/sh
# Captures what the spreadsheet puts on the clipboard, and what it makes of
# our tab-separated text, in one locale:
#   capture.sh LOCALE TAG OURS.tsv OUTDIR
# Needs Xvfb on $DISPLAY, soffice, xclip and xkey (built from xkey.c) here.
# Not part of the build; see README.md.
set -eu
LOC=$1 TAG=$2 OURS=$3 OUT=$4
HERE=$(cd "$(dirname "$0")" && pwd)
export LANG=$LOC LC_ALL=$LOC SAL_USE_VCLPLUGIN=gen
PROFILE=/tmp/calc/profile-$TAG
if [ ! -d "$PROFILE" ]; then
  soffice -env:UserInstallation=file://$PROFILE --headless --terminate_after_init >/dev/null 2>&1
fi
cp "$HERE/Module1.xba" "$PROFILE/user/basic/Standard/Module1.xba"
run() { soffice -env:UserInstallation=file://$PROFILE --norestore --nologo "macro:///Standard.Module1.$1" >/dev/null 2>&1 & }
clip() { xclip -o -selection clipboard -t 'text/plain;charset=utf-8' 2>/dev/null || true; }
cap() {
  before=$(clip | md5sum)
  run "$1"
  i=0
  while [ $i -lt 60 ] && [ "$(clip | md5sum)" = "$before" ]; do sleep 1; i=$((i+1)); done
  clip > "$OUT/$2"
  echo "$1 -> $2"
}
cap CopyGrid calc-grid-$TAG.txt
cap CopyColumn calc-column-$TAG.txt
cap CopyWithGap calc-gap-$TAG.txt
# The other way: our text on the clipboard, pasted into a new sheet through
# the import dialog Calc shows (its defaults taken with Enter), then saved.
xclip -selection clipboard -i "$OURS"
sleep 1
run PasteText
i=0; id=
while [ $i -lt 60 ] && [ -z "$id" ]; do
  sleep 1; i=$((i+1))
  id=$(xwininfo -root -tree | grep -iE '"Text ?Import"' | awk '{print $1}' | head -1)
done
sleep 2
"$HERE/xkey" "$id" Return
sleep 2
rm -f /tmp/calc/pasted.fods
run SaveXmlTmp
i=0
while [ $i -lt 30 ] && [ ! -s /tmp/calc/pasted.fods ]; do sleep 1; i=$((i+1)); done
sleep 1
cp /tmp/calc/pasted.fods "$OUT/calc-pasted-$TAG.fods"
echo "pasted -> calc-pasted-$TAG.fods"
