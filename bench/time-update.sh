#!/usr/bin/env bash
# Times `patchwise update` with the 10,000-line script on the inputs that
# `bench_tool --write-files DIR [--repeated ...]` writes, against the same
# duty for a plain copy: `cp FILE COPY && sync COPY` (coreutils sync given a
# file fsyncs it; the update fsyncs its file, its log and their folder).
#   bench/time-update.sh DIR PATCHWISE [OLD_PATCHWISE]
# Every run starts from a fresh copy in a scratch folder beside DIR (same file
# system). Prints, per input and program, the best of RUNS (default 3) wall
# and CPU (user + system) times, each over cp + sync's, and the peak memory
# (maximum resident set) over the file's size.
set -euo pipefail
dir=$1 new=$2 old=${3:-}
runs=${RUNS:-3}
work=$(mktemp -d "$dir/../time-update.XXXXXX")
trap 'rm -rf "$work"' EXIT

# command... -> "wall cpu maxrss_kb" of its best run by wall time, best CPU
best() {
  local bw="" bc="" mem=0
  for _ in $(seq "$runs"); do
    rm -rf "$work/run"; mkdir "$work/run"; cp "$air" "$work/run/u.air"
    /usr/bin/time -o "$work/t" -f "%e %U %S %M" "$@" >/dev/null 2>&1 || true
    read -r w u s m <"$work/t"
    local c; c=$(echo "$u $s" | awk '{printf "%.2f", $1 + $2}')
    if [ -z "$bw" ] || (( $(echo "$w < $bw" | bc -l) )); then bw=$w; fi
    if [ -z "$bc" ] || (( $(echo "$c < $bc" | bc -l) )); then bc=$c; fi
    (( m > mem )) && mem=$m
  done
  echo "$bw $bc $mem"
}
x() { echo "$1 / $2" | bc -l | xargs printf '%.1fx'; }

printf '%-15s %-9s %8s %8s | %8s %7s | %9s %7s\n' input program wall cpu "wall/cp" "cpu/cp" "peak mem" "/size"
for air in "$dir"/*.air; do
  base=${air%.air}; name=$(basename "$base")
  size=$(stat -L -c %s "$air")
  read -r cw cc cm < <(best sh -c 'cp "$1" "$2" && sync "$2"' sh "$air" "$work/run/copy.air")
  printf '%-15s %-9s %7ss %7ss\n' "$name" "cp+sync" "$cw" "$cc"
  for prog in "$new" ${old:+"$old"}; do
    label=new; [ "$prog" = "$new" ] || label=old
    read -r w c m < <(best env SOURCE_DATE_EPOCH=0 "$prog" update --definitions "$base.ini" \
      --log "$work/run/log.txt" "$work/run/u.air" "$base.txt")
    printf '%-15s %-9s %7ss %7ss | %8s %7s | %6s MB %7s\n' "$name" "$label" "$w" "$c" \
      "$(x "$w" "$cw")" "$(x "$c" "$(echo "$cc" | awk '{print ($1 < 0.01 ? 0.01 : $1)}')")" \
      "$((m / 1024))" "$(echo "$m * 1024 / $size" | bc -l | xargs printf '%.1fx')"
  done
done
