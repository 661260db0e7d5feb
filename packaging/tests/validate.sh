#!/usr/bin/env bash
# Checks the desktop integration files with the freedesktop tools, the man
# pages with groff, and the committed icons against their expected sizes.
# Exits 77 (skipped) when none of the tools is installed.
#   validate.sh SOURCE_DIR(packaging) BINARY_DIR(packaging)
set -uo pipefail
src=$1 bin=$2
fail=0 ran=0

check() { # description command...
  local out
  if out=$("${@:2}" 2>&1); then
    echo "ok: $1"
  else
    echo "FAIL: $1"; echo "$out" | sed 's/^/    /'; fail=1
  fi
}
have() { command -v "$1" >/dev/null; }

if have desktop-file-validate; then
  ran=1
  for f in "$src/org.kestrelloft.Tarlo.desktop" "$src/org.kestrelloft.Patchwise.desktop"; do
    # desktop-file-validate exits 0 on hints and warnings too: any output is a finding.
    check "desktop-file-validate $(basename "$f")" \
      bash -c 'out=$(desktop-file-validate "$1" 2>&1); echo "$out"; [ -z "$out" ]' _ "$f"
  done
fi

if have appstreamcli; then
  ran=1
  for f in "$bin"/metainfo/*.metainfo.xml; do
    check "appstreamcli validate $(basename "$f")" appstreamcli validate --no-net "$f"
  done
fi

if have update-mime-database; then
  ran=1
  # Compiling the type into a scratch database catches malformed XML and
  # makes sure the glob ends up where file managers look for it.
  tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
  mkdir -p "$tmp/mime/packages"
  cp "$src/tarlo-air.xml" "$tmp/mime/packages/"
  check "update-mime-database accepts tarlo-air.xml" update-mime-database "$tmp/mime"
  check "*.air glob registered" grep -qx 'application/x-tarlo-air:\*\.air' "$tmp/mime/globs"
  check "MIME comment" grep -q '<comment>AIR aircraft file</comment>' "$tmp/mime/application/x-tarlo-air.xml"
fi

if have groff; then
  ran=1
  for page in tarlo.1 patchwise.1; do
    # -ww: every warning; -z: no output. A warning means a macro or escape is wrong.
    check "groff renders $page without warnings" \
      bash -c 'out=$(groff -t -man -Tutf8 -ww -z "$1" 2>&1); echo "$out"; [ -z "$out" ]' _ "$bin/man/$page"
    check "$page has no unconfigured placeholders" bash -c '! grep -n "@[A-Z_]*@" "$1"' _ "$bin/man/$page"
  done
fi

# Committed PNG icons: one per size, with the size in their PNG header (a
# changed SVG whose PNGs were not rendered again still passes; a missing or
# wrongly sized one does not).
for entry in apps/tarlo apps/patchwise mimetypes/application-x-tarlo-air; do
  for s in 16 32 48 64 128 256; do
    png="$src/icons/hicolor/${s}x${s}/$entry.png"
    check "icon $entry ${s}x${s}" bash -c '
      [ -f "$1" ] || { echo "missing $1"; exit 1; }
      w=$(od -An -tu1 -j16 -N8 "$1" | awk "{print \$3*256+\$4, \$7*256+\$8}")
      [ "$w" = "$2 $2" ] || { echo "$1 is $w"; exit 1; }' _ "$png" "$s"
  done
done

# Both desktop entries and every metainfo file must agree on the agreed names:
# each metainfo file's id is its file name, and its launchable is <id>.desktop.
check "Tarlo's desktop entry opens AIR files" grep -qx 'MimeType=application/x-tarlo-air;' "$src/org.kestrelloft.Tarlo.desktop"
check "Tarlo's desktop entry icon" grep -qx 'Icon=tarlo' "$src/org.kestrelloft.Tarlo.desktop"
check "Patchwise's desktop entry icon" grep -qx 'Icon=patchwise' "$src/org.kestrelloft.Patchwise.desktop"
for f in "$bin"/metainfo/*.metainfo.xml; do
  id=$(basename "$f" .metainfo.xml)
  check "metainfo $id: id and launchable" bash -c '
    grep -q "<id>$2</id>" "$1" && grep -q "<launchable type=\"desktop-id\">$2.desktop</launchable>" "$1" &&
    [ -f "$3/$2.desktop" ]' _ "$f" "$id" "$src"
done

[ "$fail" = 0 ] || exit 1
if [ "$ran" = 0 ]; then echo "no validation tools installed"; exit 77; fi
exit 0
