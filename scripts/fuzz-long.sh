#!/usr/bin/env bash
# The long fuzz run: each libFuzzer target for a given time, on a corpus that
# grows from one run to the next. Before and after each run the target's
# corpus is merged (-merge=1) into fuzz-long/<target>/corpus, so inputs that
# add no coverage are dropped and the next run starts where this one stopped.
# Findings stay in fuzz-long/<target>/ (crash-*, leak-*, timeout-*, oom-*); the
# script fails when a target finds one. Each target's CPU time (user + system
# of the fuzzer and its workers), executions, corpus size and findings are
# printed at the end and kept in fuzz-long/summary.txt.
#
#   FUZZ_SECONDS   time per target (default 3600: one CPU-hour each)
#   FUZZ_CPU_SECONDS  when set, each target runs in spells of FUZZ_SECONDS of
#                  wall-clock until it has used this much CPU time: a run at a
#                  low priority (nice) on a shared machine still gets its hour.
#                  The CPU time is kept in fuzz-long/<target>/cpu-seconds after
#                  every spell, so a run that is stopped and started again goes
#                  on where it stopped, and a target that has had its time is
#                  skipped
#   FUZZ_TIMEOUT   seconds one input may take (default 10); libFuzzer counts
#                  wall-clock, so a low-priority run on a busy machine needs more
#   FUZZ_TARGETS   space-separated targets (default every fuzz_* built)
#   FUZZ_JOBS      parallel fuzzing processes per target (default 1); the
#                  time is then FUZZ_SECONDS of wall-clock for each of them
#   FUZZ_LONG_DIR  where corpora and findings are kept (default build-fuzz/fuzz-long)
#   FUZZ_PROMOTE=1 copies the merged corpus back to fuzz/corpus/<target>
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
case "$BUILD_DIR" in /*) ;; *) BUILD_DIR="$ROOT/$BUILD_DIR" ;; esac
FUZZ_SECONDS=${FUZZ_SECONDS:-3600}
FUZZ_JOBS=${FUZZ_JOBS:-1}
OUT=${FUZZ_LONG_DIR:-$BUILD_DIR/fuzz-long}
case "$OUT" in /*) ;; *) OUT="$ROOT/$OUT" ;; esac

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTARLO_BUILD_GUI=OFF -DTARLO_BUILD_TESTS=OFF -DTARLO_BUILD_BENCH=OFF -DTARLO_BUILD_FUZZ=ON >/dev/null
if [ -n "${FUZZ_TARGETS:-}" ]; then
  read -r -a targets <<<"$FUZZ_TARGETS"
  cmake --build "$BUILD_DIR" --parallel "${JOBS:-$(nproc)}" --target "${targets[@]}"
else
  cmake --build "$BUILD_DIR" --parallel "${JOBS:-$(nproc)}"
  targets=()
  for t in "$BUILD_DIR"/bin/fuzz_*; do [ -x "$t" ] && targets+=("$(basename "$t")"); done
fi
((${#targets[@]})) || { echo "no fuzz targets built" >&2; exit 1; }

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LC_ALL=C

# CPU seconds used so far by this shell's finished children (and theirs).
child_cpu() {
  awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%d\n", ($14 + $15) / hz }' /proc/$$/stat
}

failed=()
summary=()
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  bin="$BUILD_DIR/bin/$t"
  work="$OUT/$t"
  mkdir -p "$work/corpus" "$work/new"
  extra=()
  ((FUZZ_JOBS > 1)) && extra+=(-jobs="$FUZZ_JOBS" -workers="$FUZZ_JOBS")
  [ -f "$ROOT/fuzz/dict/$name.dict" ] && extra+=(-dict="$ROOT/fuzz/dict/$name.dict")
  # The committed seeds and the corpus kept from earlier runs, merged.
  (cd "$work" && "$bin" -merge=1 corpus "$ROOT/fuzz/corpus/$name" >merge.log 2>&1)
  ledger="$work/cpu-seconds"
  spent=0
  [ -n "${FUZZ_CPU_SECONDS:-}" ] && [ -f "$ledger" ] && spent=$(($(cat "$ledger") + 0))
  if [ -n "${FUZZ_CPU_SECONDS:-}" ] && ((spent >= FUZZ_CPU_SECONDS)); then
    echo "== $t: has had ${spent} s of CPU time already"
    continue
  fi
  echo "== $t: ${FUZZ_CPU_SECONDS:-$FUZZ_SECONDS} s x ${FUZZ_JOBS} (${spent} s done), $(ls "$work/corpus" | wc -l) inputs"
  t0=$(date +%s)
  cpu0=$(child_cpu)
  cpu=0
  execs=0
  status=0
  rm -f "$work"/run.log
  while :; do
    (cd "$work" && "$bin" -max_total_time="$FUZZ_SECONDS" -rss_limit_mb=2048 -timeout="${FUZZ_TIMEOUT:-10}" \
        -print_final_stats=1 -artifact_prefix="$work/" \
        "${extra[@]}" new corpus >spell.log 2>&1) || status=$?
    cat "$work"/spell.log >>"$work"/run.log
    cpu=$(($(child_cpu) - cpu0))
    if [ -n "${FUZZ_CPU_SECONDS:-}" ]; then
      echo $((spent + cpu)) >"$ledger.tmp" && mv "$ledger.tmp" "$ledger"
    fi
    # (fuzz-*.log exist only with FUZZ_JOBS > 1: grep's complaint is no failure)
    n=$({ grep -hE '^stat::number_of_executed_units' "$work"/spell.log "$work"/fuzz-*.log 2>/dev/null || :; } \
      | awk '{ n += $2 } END { print n + 0 }')
    execs=$((execs + n))
    ((status)) && break
    [ -n "${FUZZ_CPU_SECONDS:-}" ] && ((spent + cpu < FUZZ_CPU_SECONDS)) || break
  done
  # What the run found joins the kept corpus (only what adds coverage).
  (cd "$work" && "$bin" -merge=1 corpus new >>merge.log 2>&1) && rm -rf "$work/new"
  findings=$(find "$work" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' \) | wc -l)
  if ((status)) || ((findings)); then
    failed+=("$t")
    tail -n 40 "$work"/run.log "$work"/fuzz-*.log 2>/dev/null || true
  fi
  total=$((spent + cpu))
  line="$t: wall $(( $(date +%s) - t0 )) s, CPU ${cpu} s (${total} s in all: $(awk -v s="$total" 'BEGIN { printf "%.2f", s / 3600 }') h),"
  line+=" ${execs} executions, corpus $(ls "$work/corpus" | wc -l) inputs, ${findings} findings"
  # Kept from run to run (and written as each target ends, so a run stopped
  # half-way keeps what it did), so spells on different days add up per target.
  echo "$(date -u +%FT%TZ) $line" >>"$OUT/summary.txt"
  echo "$line"
  summary+=("$line")
  if [ "${FUZZ_PROMOTE:-0}" = 1 ]; then
    cp -n "$work"/corpus/* "$ROOT/fuzz/corpus/$name/" 2>/dev/null || true
  fi
done
echo "== CPU time per target (also in $OUT/summary.txt)"
for line in "${summary[@]}"; do echo "$line"; done
if ((${#failed[@]})); then
  echo "fuzz targets with findings: ${failed[*]} (inputs in $OUT/<target>/)" >&2
  exit 1
fi
