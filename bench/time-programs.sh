#!/usr/bin/env bash
# Times the programs themselves on the inputs that `bench_tool --write-files DIR`
# writes: cp of the AIR file (the yardstick), `patchwise dump --full`, and
# `patchwise update` with the 10,000-line script, each on a fresh copy.
#   bench/time-programs.sh DIR PATCHWISE [OLD_PATCHWISE]
# Prints one line per input: seconds, and each time over cp's. A run that takes
# longer than LIMIT seconds (default 120) is stopped and shown as ">LIMIT".
set -euo pipefail
dir=$1 new=$2 old=${3:-}
limit=${LIMIT:-120}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

seconds() {  # command... -> wall seconds, or >limit
  local start end
  start=$(date +%s.%N)
  local rc=0
  timeout "$limit" "$@" >/dev/null 2>&1 || rc=$?
  [ "$rc" -eq 124 ] && { echo ">$limit"; return; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l | xargs printf '%.3f'
}
ratio() { case $1 in \>*) echo "$1";; *) echo "$1 / $2" | bc -l | xargs printf '%.1fx';; esac; }

printf '%-14s %8s | %-24s | %-24s' input cp "dump --full (new)" "update (new)"
[ -n "$old" ] && printf ' | %-24s | %-24s' "dump --full (old)" "update (old)"
echo
for air in "$dir"/*.air; do
  base=${air%.air}; name=$(basename "$base")
  cpt=$(seconds cp "$air" "$work/copy.air")
  row=$(printf '%-14s %8s' "$name" "$cpt")
  for prog in "$new" ${old:+"$old"}; do
    rm -f "$work"/*
    d=$(seconds "$prog" dump --full --definitions "$base.ini" "$air" -o "$work/dump.txt")
    cp "$air" "$work/u.air"
    u=$(seconds env SOURCE_DATE_EPOCH=0 "$prog" update --definitions "$base.ini" --log "$work/log.txt" "$work/u.air" "$base.txt")
    row+=$(printf ' | %8s s %12s | %8s s %12s' "$d" "$(ratio "$d" "$cpt")" "$u" "$(ratio "$u" "$cpt")")
  done
  echo "$row"
done
