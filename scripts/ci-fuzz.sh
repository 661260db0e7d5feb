#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for a bounded time
# from its committed seed corpus. A crash, a leak, a sanitizer report, a
# timeout or running out of memory fails this script; the input that caused it
# is kept in $FUZZ_OUT/<target>/ for reproduction:  build-fuzz/bin/<target> <file>
#
#   FUZZ_SECONDS   time per target (default 20; scripts/fuzz-long.sh runs for hours)
#   FUZZ_TARGETS   space-separated subset of targets to run (default all)
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
FUZZ_SECONDS=${FUZZ_SECONDS:-20}
FUZZ_OUT=${FUZZ_OUT:-$BUILD_DIR/fuzz-out}
JOBS=${JOBS:-$(nproc)}
start=$(date +%s)

cmake -S . -B "$BUILD_DIR" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DTARLO_BUILD_GUI=OFF \
  -DTARLO_BUILD_TESTS=OFF \
  -DTARLO_BUILD_BENCH=OFF \
  -DTARLO_BUILD_FUZZ=ON
cmake --build "$BUILD_DIR" --parallel "$JOBS"
built=$(date +%s)
echo "fuzz build: $((built - start)) s"

if [ -n "${FUZZ_TARGETS:-}" ]; then
  read -r -a targets <<<"$FUZZ_TARGETS"
else
  targets=()
  for t in "$BUILD_DIR"/bin/fuzz_*; do
    [ -x "$t" ] && targets+=("$(basename "$t")")
  done
fi
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets built" >&2
  exit 1
fi

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LC_ALL=C

ROOT=$PWD
case "$FUZZ_OUT" in /*) ;; *) FUZZ_OUT="$ROOT/$FUZZ_OUT" ;; esac
case "$BUILD_DIR" in /*) ;; *) BUILD_DIR="$ROOT/$BUILD_DIR" ;; esac
# One target per core at a time: libFuzzer runs one process, so on a machine of
# N cores N targets share the stage's time.
run_target() {
  local t=$1 name=${1#fuzz_} work="$FUZZ_OUT/$1" t0
  rm -rf "$work"
  mkdir -p "$work/corpus"
  local extra=()
  [ -f "$ROOT/fuzz/dict/$name.dict" ] && extra+=(-dict="$ROOT/fuzz/dict/$name.dict")
  t0=$(date +%s)
  # New inputs go to the scratch corpus; the committed seeds are only read.
  # The target runs inside its scratch folder: whatever files it writes stay there.
  local status=0
  (cd "$work" && "$BUILD_DIR/bin/$t" \
    -max_total_time="$FUZZ_SECONDS" -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$work/" "${extra[@]}" \
    corpus "$ROOT/fuzz/corpus/$name" >"$work/log.txt" 2>&1) || status=$?
  {
    echo "== $t (${FUZZ_SECONDS} s)"
    ((status == 0)) || tail -n 60 "$work/log.txt"
    grep -E '^stat::number_of_executed_units|^Done ' "$work/log.txt" || true
    echo "$t: $(($(date +%s) - t0)) s"
  } >"$work/report.txt"
  echo "$status" >"$work/status"
}

running=0
for t in "${targets[@]}"; do
  if ((running >= JOBS)); then
    wait -n || true
    running=$((running - 1))
  fi
  run_target "$t" &
  running=$((running + 1))
done
wait || true

failed=()
for t in "${targets[@]}"; do
  cat "$FUZZ_OUT/$t/report.txt" 2>/dev/null || echo "== $t: no report"
  [ "$(cat "$FUZZ_OUT/$t/status" 2>/dev/null)" = 0 ] || failed+=("$t")
done

end=$(date +%s)
echo "fuzzing: build $((built - start)) s, runs $((end - built)) s"
if ((${#failed[@]})); then
  echo "fuzz targets that failed: ${failed[*]}" >&2
  exit 1
fi
