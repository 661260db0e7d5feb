#!/usr/bin/env bash
# Package test: builds the Debian package from the build folder that
# ./test.sh made, installs it with apt-get, runs both programs on an
# installed sample, checks the desktop integration as installed, and removes
# the package again. Leaves the machine as it found it.
#   scripts/ci-package.sh            (BUILD_DIR defaults to build)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD_DIR=${BUILD_DIR:-build}
PKG=tarlo

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

step() { echo "-- [$(date +%T)] $*"; }
die() { echo "ci-package: $*" >&2; exit 1; }

WORK=$(mktemp -d)
installed=0
cleanup() {
  if [ "$installed" = 1 ]; then
    step "removing $PKG after a failure"
    $SUDO apt-get remove -y -q "$PKG" >/dev/null 2>&1 || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

if dpkg-query -W -f='${Status}' "$PKG" 2>/dev/null | grep -q "install ok installed"; then
  die "$PKG is already installed on this machine; remove it first (apt-get remove $PKG)"
fi

# The programs look for their data under the prefix compiled into them, so
# the package is built from a tree configured for /usr. CI's test build is
# configured so already (.ci/run) and nothing is rebuilt; a tree configured for
# another prefix rebuilds the programs and the man pages here. cpack installs
# them from the build folder.
step "configuring $BUILD_DIR for /usr"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr >"$WORK/configure.log" 2>&1 \
  || { cat "$WORK/configure.log"; die "configure failed"; }
step "building the programs"
cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target tarlo patchwise tarlo_man_pages

step "building the Debian package"
rm -f "$BUILD_DIR"/${PKG}_*.deb
(cd "$BUILD_DIR" && cpack -G DEB >"$WORK/cpack.log" 2>&1) || { cat "$WORK/cpack.log"; die "cpack failed"; }
DEB=$(ls "$BUILD_DIR"/${PKG}_*.deb 2>/dev/null | head -n 1)
[ -n "$DEB" ] || die "no ${PKG}_*.deb in $BUILD_DIR"
DEB=$(cd "$(dirname "$DEB")" && pwd)/$(basename "$DEB")
echo "   $DEB"

step "lintian"
# Errors and warnings fail the stage. Of the informational and pedantic tags
# only the programs' .comment section (the compiler's version note) may show;
# the tags that are wrong for this package are overridden in the package, with
# their reasons (packaging/debian/tarlo.lintian-overrides).
lintian --fail-on error,warning --display-info --pedantic --tag-display-limit 0 "$DEB" >"$WORK/lintian" \
  || { cat "$WORK/lintian"; die "lintian found errors or warnings in $DEB"; }
cat "$WORK/lintian"
# The compiler stores long string literals in 16-byte pieces without a zero
# between them, so lintian's spelling check in binaries reads words cut at a
# piece boundary ("whe" for "the ... when"). Such a tag counts only when the
# word it names stands as a whole word in the sources: then it is a real typo.
real_tags() {
  grep -E '^[EWIPX]: ' "$WORK/lintian" | grep -v ' binary-has-unneeded-section .comment ' \
    | while IFS= read -r line; do
      if [[ $line =~ spelling-error-in-binary\ ([^ ]+)\  ]] \
        && ! grep -rqwF --include='*.cpp' --include='*.h' -- "${BASH_REMATCH[1]}" \
          base diff document model tool ui browser tables hexedit editor; then
        continue
      fi
      echo "$line"
    done
}
if [ -n "$(real_tags)" ]; then
  die "lintian shows tags beyond the .comment section: $(real_tags | head -n 3)"
fi

depends=$(dpkg-deb -f "$DEB" Depends)
echo "   Depends: $depends"
grep -q 'libqt6widgets6' <<<"$depends" || die "Depends lacks the Qt libraries (dpkg-shlibdeps not run?)"
dpkg-deb -c "$DEB" | awk '{print $6}' >"$WORK/contents"
for f in ./usr/bin/tarlo ./usr/bin/patchwise ./usr/share/applications/org.kestrelloft.Tarlo.desktop \
         ./usr/share/applications/org.kestrelloft.Patchwise.desktop \
         ./usr/share/mime/packages/tarlo-air.xml ./usr/share/lintian/overrides/tarlo; do
  grep -qx "$f" "$WORK/contents" || die "package lacks $f"
done
if grep -v '^\./usr/' "$WORK/contents" | grep -qv '^\./$'; then
  die "package installs outside /usr: $(grep -v '^\./usr/' "$WORK/contents" | grep -v '^\./$' | head -n 3)"
fi

step "installing"
installed=1
$SUDO apt-get install -y -q --no-install-recommends "$DEB" >"$WORK/install.log" 2>&1 \
  || { cat "$WORK/install.log"; die "apt-get install failed"; }
[ -x /usr/bin/tarlo ] && [ -x /usr/bin/patchwise ] || die "programs not installed in /usr/bin"

# The programs run as a fresh user would: their own home and settings, no
# display; a time limit keeps a program that opens a window from hanging CI.
export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_DATA_HOME=$WORK/home/.local/share
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
run() { env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen timeout 60 "$@"; }

SAMPLE=/usr/share/tarlo/samples/sample.air
[ -f "$SAMPLE" ] || SAMPLE=$(ls /usr/share/tarlo/samples/*.air 2>/dev/null | head -n 1 || true)
if [ -z "$SAMPLE" ]; then
  # No sample shipped yet: two records, one of them the revision text.
  SAMPLE=$WORK/tiny.air
  printf '\x00\x05\x00\x00\x04\x00\x00\x00\x01\x02\x03\x04\x99\x11\x00\x00\x03\x00\x00\x00ok\x00' >"$SAMPLE"
fi
DEFS=/usr/share/tarlo/Tarlo.ini

step "tarlo --version / --list $SAMPLE"
run tarlo --version >"$WORK/version.txt" || die "tarlo --version failed"
[ -s "$WORK/version.txt" ] || die "tarlo --version printed nothing"
pkgversion=$(dpkg-deb -f "$DEB" Version)
run patchwise --version >>"$WORK/version.txt" || die "patchwise --version failed"
for prog in tarlo patchwise; do
  grep -qx "$prog (Tarlo) $pkgversion" "$WORK/version.txt" || die "$prog --version does not name the package version $pkgversion"
done
run tarlo --list "$SAMPLE" >"$WORK/list.txt" || die "tarlo --list exited with status $?"
[ -s "$WORK/list.txt" ] || die "tarlo --list printed nothing"
head -n 5 "$WORK/list.txt" | sed 's/^/   /'

step "patchwise dump $SAMPLE"
cp "$SAMPLE" "$WORK/dumped.air"
defs_opt=()
[ -f "$DEFS" ] && defs_opt=(--definitions "$DEFS")
(cd "$WORK" && run patchwise dump --full "${defs_opt[@]}" "$WORK/dumped.air" -o "$WORK/dump.txt" \
   >"$WORK/dump.out" 2>&1) || { st=$?; cat "$WORK/dump.out"; die "patchwise dump exited with status $st"; }
if [ -s "$WORK/dump.txt" ]; then
  head -n 5 "$WORK/dump.txt" | sed 's/^/   /'
  grep -q '^Record count: ' "$WORK/dump.txt" || die "the dump has no record count line"
elif [ -s "$WORK/dump.out" ]; then
  echo "   (no dump file written; the program printed:)"; sed 's/^/   /' "$WORK/dump.out" | head -n 3
else
  die "patchwise dump produced nothing"
fi
cmp -s "$SAMPLE" "$WORK/dumped.air" || die "patchwise dump changed the AIR file"

if [ -s "$WORK/dump.txt" ]; then
  step "patchwise update on a copy of $SAMPLE"
  cp "$SAMPLE" "$WORK/updated.air"
  printf '; package test\ntext revid package test\n' >"$WORK/script.txt"
  (cd "$WORK" && SOURCE_DATE_EPOCH=0 TZ=UTC run patchwise update "${defs_opt[@]}" --log "$WORK/update.log" \
     "$WORK/updated.air" "$WORK/script.txt" >"$WORK/update.out" 2>&1) \
    || { st=$?; cat "$WORK/update.out" "$WORK/update.log" 2>/dev/null; die "patchwise update exited with status $st"; }
  cmp -s "$SAMPLE" "$WORK/updated.air.001" || die "patchwise update kept no backup updated.air.001"
  grep -q '^Record count: ' "$WORK/update.log" || die "the update log has no record count line"
  (cd "$WORK" && run patchwise dump "${defs_opt[@]}" "$WORK/updated.air" -o "$WORK/after.txt" >/dev/null 2>&1) \
    || die "patchwise dump of the updated file failed"
  # A stamped file dumps with a stamp line whose time ends in '-' (unchanged since the update).
  if grep -q '^Last Patchwise:' "$WORK/after.txt"; then
    grep '^Last Patchwise:' "$WORK/after.txt" | sed 's/^/   /'
    grep -q '^Last Patchwise:.*-$' "$WORK/after.txt" || die "the updated file does not verify against its stamp"
  fi
fi

step "validating the installed desktop files"
for d in org.kestrelloft.Tarlo org.kestrelloft.Patchwise; do
  out=$(desktop-file-validate "/usr/share/applications/$d.desktop" 2>&1) || true
  [ -z "$out" ] || { echo "$out"; die "desktop-file-validate $d.desktop"; }
done
appstreamcli validate --no-net /usr/share/metainfo/org.kestrelloft.Tarlo.metainfo.xml \
  /usr/share/metainfo/org.kestrelloft.Patchwise.metainfo.xml || die "appstreamcli validate"

step "man pages"
for page in tarlo patchwise; do
  file=$(ls /usr/share/man/man1/$page.1* | head -n 1)
  MANWIDTH=80 MANPAGER=cat man -l "$file" >"$WORK/$page.man" 2>"$WORK/$page.manerr" || die "man -l $file"
  grep -q "^NAME" "$WORK/$page.man" && grep -q "$page" "$WORK/$page.man" || die "man -l $file rendered no page"
  [ -s "$WORK/$page.manerr" ] && { cat "$WORK/$page.manerr"; die "man -l $file warned"; }
done

step "file association"
grep -qx 'application/x-tarlo-air:\*\.air' /usr/share/mime/globs || die "*.air not in the system MIME database"
default=$(env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID \
          -u XDG_SESSION_DESKTOP -u XDG_DATA_DIRS -u XDG_CONFIG_DIRS \
          xdg-mime query default application/x-tarlo-air)
[ "$default" = org.kestrelloft.Tarlo.desktop ] || die "xdg-mime query default application/x-tarlo-air gave '$default'"
echo "   default application: $default"

step "removing"
$SUDO apt-get remove -y -q "$PKG" >"$WORK/remove.log" 2>&1 || { cat "$WORK/remove.log"; die "apt-get remove failed"; }
installed=0
for f in /usr/bin/tarlo /usr/bin/patchwise /usr/share/tarlo /usr/share/applications/org.kestrelloft.Tarlo.desktop \
         /usr/share/mime/packages/tarlo-air.xml; do
  [ ! -e "$f" ] || die "$f is still there after removal"
done
! grep -q 'application/x-tarlo-air' /usr/share/mime/globs || die "the MIME type outlived the package"

step "package test passed"
