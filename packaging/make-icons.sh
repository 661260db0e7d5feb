#!/usr/bin/env bash
# Renders the application icons from their SVG sources into the PNG sizes of
# the hicolor theme. The PNGs are committed; run this after changing an SVG.
#   packaging/make-icons.sh
# Needs rsvg-convert (Debian: librsvg2-bin) or ImageMagick's convert with an
# SVG reader.
set -euo pipefail
cd "$(dirname "$0")/icons"

SIZES=(16 32 48 64 128 256)

render() { # svg size out
  if command -v rsvg-convert >/dev/null; then
    rsvg-convert --width "$2" --height "$2" --keep-aspect-ratio "$1" --output "$3"
  elif command -v convert >/dev/null; then
    convert -background none -density 384 "$1" -resize "$2x$2" "PNG32:$3"
  else
    echo "make-icons.sh: neither rsvg-convert nor convert found (apt-get install librsvg2-bin)" >&2
    exit 1
  fi
}

# context:name — the two application icons and the icon of AIR files.
for entry in apps:tarlo apps:patchwise mimetypes:application-x-tarlo-air; do
  context=${entry%%:*} name=${entry#*:}
  for s in "${SIZES[@]}"; do
    dir="hicolor/${s}x${s}/$context"
    mkdir -p "$dir"
    render "$name.svg" "$s" "$dir/$name.png"
  done
done
echo "Rendered ${#SIZES[@]} sizes of each icon into $(pwd)/hicolor"
