#!/bin/sh
# tarlo's command line without any display: help, version and usage errors
# work, a window start says why it cannot, /Unregister reports on stdout.
# Usage: no_display.sh PATH/TO/tarlo  (run with DISPLAY, WAYLAND_DISPLAY and
# QT_QPA_PLATFORM unset)
set -u
tarlo=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME="$tmp" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data"
fail=0

# expect STATUS PATTERN ARGS...: exit status and a line of stdout+stderr.
expect() {
  want=$1 pattern=$2
  shift 2
  "$tarlo" "$@" >"$tmp/out" 2>&1
  got=$?
  if [ "$got" != "$want" ] || ! grep -q -- "$pattern" "$tmp/out"; then
    echo "FAIL: tarlo $*: exit $got (want $want), output:"
    cat "$tmp/out"
    fail=1
  fi
}

expect 0 '^Usage: tarlo' -h
expect 0 '^Usage: tarlo' --help
expect 0 '^tarlo (Tarlo) ' --version
expect 2 "unrecognized option '--bogus'" --bogus
expect 2 "extra operand 'b.air'" a.air b.air
expect 1 'no display' a.air
expect 1 'no display' -- --odd.air
expect 0 'System registry entries have been removed' /Unregister
exit $fail
