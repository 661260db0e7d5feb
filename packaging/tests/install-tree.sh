#!/usr/bin/env bash
# Installs the build tree into a scratch DESTDIR and checks what lands where:
# the programs, the data folder at the path compiled into them, desktop
# entries, MIME type, metainfo, icons and man pages. Then checks, with a
# scratch XDG data folder, that the installed desktop entry becomes the
# default application for AIR files.
#   install-tree.sh PROJECT_SOURCE_DIR PROJECT_BINARY_DIR
set -uo pipefail
src=$1 bin=$2

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$bin/CMakeCache.txt")
[ -n "$prefix" ] || { echo "no CMAKE_INSTALL_PREFIX in $bin/CMakeCache.txt"; exit 1; }
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
dest=$tmp/root

if ! DESTDIR=$dest cmake --install "$bin" >"$tmp/install.log" 2>&1; then
  cat "$tmp/install.log"; echo "FAIL: cmake --install"; exit 1
fi

fail=0
root=$dest$prefix
expect() { # relative path under the prefix, with an optional ".gz" alternative
  if [ -e "$root/$1" ] || { [ "${2:-}" = gz ] && [ -e "$root/$1.gz" ]; }; then
    echo "ok: $1"
  else
    echo "FAIL: missing $prefix/$1"; fail=1
  fi
}

for exe in tarlo patchwise; do
  expect "bin/$exe"
  [ -x "$root/bin/$exe" ] || { echo "FAIL: bin/$exe not executable"; fail=1; }
done
expect share/applications/org.kestrelloft.Tarlo.desktop
expect share/applications/org.kestrelloft.Patchwise.desktop
expect share/mime/packages/tarlo-air.xml
expect share/metainfo/org.kestrelloft.Tarlo.metainfo.xml
expect share/metainfo/org.kestrelloft.Patchwise.metainfo.xml
for entry in apps/tarlo apps/patchwise mimetypes/application-x-tarlo-air; do
  expect "share/icons/hicolor/scalable/$entry.svg"
  for s in 16 32 48 64 128 256; do expect "share/icons/hicolor/${s}x${s}/$entry.png"; done
done
expect share/man/man1/tarlo.1 gz
expect share/man/man1/patchwise.1 gz
expect share/doc/tarlo/README.md

# The programs fall back to the data folder compiled into them, so it must be
# exactly where the install puts Tarlo.ini, Tarlo.html and the samples.
datadir=$(sed -n 's/^CMAKE_INSTALL_DATADIR:PATH=//p' "$bin/CMakeCache.txt")
case $datadir in /*) ;; *) datadir=$prefix/${datadir:-share} ;; esac
for f in Tarlo.ini Tarlo.html; do
  if [ -f "$src/data/$f" ]; then
    if cmp -s "$src/data/$f" "$dest$datadir/tarlo/$f"; then echo "ok: $datadir/tarlo/$f"
    else echo "FAIL: $datadir/tarlo/$f missing or different from data/$f"; fail=1; fi
  else
    echo "note: data/$f not in the source tree yet"
  fi
done
for s in "$src"/data/samples/*.air; do
  [ -e "$s" ] || break
  if cmp -s "$s" "$dest$datadir/tarlo/samples/$(basename "$s")"; then echo "ok: sample $(basename "$s")"
  else echo "FAIL: sample $(basename "$s") not installed"; fail=1; fi
done

# Nothing may be installed outside the prefix.
outside=$(cd "$dest" && find . -mindepth 1 \( -type f -o -type l \) | sed 's|^\.||' | grep -v "^$prefix/" || true)
if [ -n "$outside" ]; then echo "FAIL: installed outside $prefix:"; echo "$outside"; fail=1; fi

# Each desktop entry starts a program that the install provides.
for d in org.kestrelloft.Tarlo org.kestrelloft.Patchwise; do
  exe=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$root/share/applications/$d.desktop")
  [ -x "$root/bin/$exe" ] || { echo "FAIL: $d.desktop runs '$exe', which is not installed"; fail=1; }
done

# Association, as a desktop session sees it: a data folder holding only this
# install, compiled the way the Debian triggers compile it.
if command -v xdg-mime >/dev/null && command -v update-mime-database >/dev/null \
   && command -v update-desktop-database >/dev/null; then
  xdg=$tmp/xdg
  mkdir -p "$xdg/data/mime" "$xdg/home" "$xdg/config"
  cp -r "$root/share/applications" "$xdg/data/"
  cp -r "$root/share/mime/packages" "$xdg/data/mime/"
  update-mime-database "$xdg/data/mime" >/dev/null 2>&1
  update-desktop-database "$xdg/data/applications" >/dev/null 2>&1
  got=$(env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION \
            -u GNOME_DESKTOP_SESSION_ID -u XDG_SESSION_DESKTOP \
            HOME="$xdg/home" XDG_DATA_HOME="$xdg/home/.local/share" XDG_DATA_DIRS="$xdg/data" \
            XDG_CONFIG_HOME="$xdg/config" XDG_CONFIG_DIRS="$xdg/config" \
            xdg-mime query default application/x-tarlo-air 2>&1)
  if [ "$got" = org.kestrelloft.Tarlo.desktop ]; then echo "ok: xdg-mime default for application/x-tarlo-air is $got"
  else echo "FAIL: xdg-mime query default application/x-tarlo-air gave '$got'"; fail=1; fi
  if grep -qx 'application/x-tarlo-air:\*\.air' "$xdg/data/mime/globs"; then echo "ok: *.air maps to application/x-tarlo-air"
  else echo "FAIL: *.air glob not in the compiled MIME database"; fail=1; fi
else
  echo "note: xdg-utils or the database tools missing; association not checked"
fi

exit $fail
