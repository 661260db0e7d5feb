#!/usr/bin/env bash
# Times `tarlo --list` as whole processes on the files `bench_tool --write-files`
# writes, against the floor (bench/list_floor.cpp) and cp of the same file.
#   bench/time-list.sh DIR TARLO LIST_FLOOR [NAME...]
# NAME defaults to every DIR/*.air (without .air); each needs NAME.ini beside it.
# Prints a Markdown table: CPU seconds (user + system, best of RUNS, default 3;
# on a shared machine wall time measures the neighbours), the ratio to the
# floor with output and to cp, and peak memory (/usr/bin/time -v) over file size.
set -euo pipefail
dir=$1 tarlo=$2 floor=$3
shift 3
runs=${RUNS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for f in "$dir"/*.air; do names+=("$(basename "${f%.air}")"); done
fi

# command... -> "seconds peak_kB" of the best run (stdout to a file in $work)
measure() {
  local best="" mem=0 i
  for ((i = 0; i < runs; i++)); do
    /usr/bin/time -v -o "$work/time" "$@" >"$work/out" 2>/dev/null
    local s m
    s=$(awk -F': ' '/User time|System time/ {t += $2} END {print t}' "$work/time")
    m=$(awk -F': ' '/Maximum resident/ {print $2}' "$work/time")
    if [ -z "$best" ] || (($(echo "$s < $best" | bc -l))); then best=$s mem=$m; fi
  done
  echo "$best $mem"
}
# a / b, or "-" when b is below the clock's 10 ms resolution
ratio() { if (($(echo "$2 < 0.01" | bc -l))); then echo -; else echo "$1 / $2" | bc -l | xargs printf '%.1f'; fi; }

printf '| input | file | cp | floor | floor + output | case | output | time | × floor+output | × cp | peak memory | × file |\n'
printf '|---|---|---|---|---|---|---|---|---|---|---|---|\n'
for name in "${names[@]}"; do
  air=$dir/$name.air ini=$dir/$name.ini
  size=$(stat -c %s "$air")
  read -r cpt _ < <(measure cp "$air" "$work/copy.air")
  read -r fl _ < <(measure "$floor" "$air")
  for opts in "" "--values" "--sorted" "--json"; do
    # shellcheck disable=SC2086
    "$tarlo" --list $opts --definitions "$ini" "$air" >"$work/listing" 2>/dev/null || { [ "$opts" = --json ] && continue; }
    outsize=$(stat -c %s "$work/listing")
    read -r flo _ < <(measure "$floor" --output "$outsize" "$air")
    # shellcheck disable=SC2086
    read -r t m < <(measure "$tarlo" --list $opts --definitions "$ini" "$air")
    printf '| %s | %.1f MB | %s s | %s s | %s s | `--list %s` | %.0f MB | %s s | %s | %s | %.0f MB | %s |\n' \
      "$name" "$(echo "$size / 1000000" | bc -l)" "$cpt" "$fl" "$flo" "$opts" "$(echo "$outsize / 1000000" | bc -l)" \
      "$t" "$(ratio "$t" "$flo")" "$(ratio "$t" "$cpt")" "$(echo "$m / 1000" | bc -l)" "$(ratio "$m * 1024" "$size")"
  done
done
