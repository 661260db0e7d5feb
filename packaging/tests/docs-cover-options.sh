#!/usr/bin/env bash
# Every option and command that a program's --help names must be described
# in its man page, so the pages keep up when the programs grow.
#   docs-cover-options.sh MAN_DIR (configured pages) tarlo=PATH patchwise=PATH
set -uo pipefail
man_dir=$1; shift
fail=0
for pair in "$@"; do
  prog=${pair%%=*} exe=${pair#*=}
  help=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen timeout 30 "$exe" --help 2>&1) || {
    echo "FAIL: $prog --help exited with an error"; echo "$help"; fail=1; continue; }
  # The page's text with roff's escaped hyphens and font changes undone.
  page=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$man_dir/$prog.1")
  mapfile -t words < <(grep -oE '(^|[][ |,])--?[a-zA-Z][a-zA-Z-]*' <<<"$help" | sed 's/^[][ |,]//' | sort -u)
  if [ "$prog" = patchwise ]; then words+=(dump update); fi
  [ "${#words[@]}" -gt 0 ] || { echo "FAIL: no options found in $prog --help"; fail=1; }
  for w in "${words[@]}"; do
    if grep -qE -- "(^|[^a-zA-Z-])$w([^a-zA-Z-]|$)" <<<"$page"; then echo "ok: $prog.1 describes $w"
    else echo "FAIL: $prog.1 does not mention $w"; fail=1; fi
  done
done
exit $fail
