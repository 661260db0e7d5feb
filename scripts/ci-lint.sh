#!/usr/bin/env bash
# Lint stage: clang-format on the lines a change touched, clang-tidy on the
# C++ sources it touched, with the project's .clang-format and .clang-tidy.
#   scripts/ci-lint.sh                    changes since the commit in .ci/lint-base
#   LINT_BASE=<commit> scripts/ci-lint.sh changes since that commit
# It needs compile_commands.json from a configured build folder (BUILD_DIR,
# default build, as ./test.sh leaves it). Tests, benchmarks and fuzz targets
# are left out: the test frameworks' macros trip checks meant for product code.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
JOBS=${JOBS:-$(nproc)}

die() { echo "ci-lint: $*" >&2; exit 1; }
[ -f "$BUILD_DIR/compile_commands.json" ] || die "no $BUILD_DIR/compile_commands.json; run ./test.sh first"

# .ci/lint-base names the commit that was last checked clean (the main that a
# session started from); everything changed since then is checked.
base=${LINT_BASE:-$(sed -n '1{s/[^0-9a-f].*//;p;q}' .ci/lint-base 2>/dev/null || true)}
if [ -z "$base" ] || ! git cat-file -e "$base^{commit}" 2>/dev/null; then
  echo "lint: no base commit in .ci/lint-base; checking the last commit only"
  base=$(git rev-parse HEAD~1 2>/dev/null || git rev-list --max-parents=0 HEAD | tail -n 1)
fi
echo "lint: changes since $(git log -1 --format='%h %cs' "$base")"

mapfile -t sources < <(git diff --name-only --diff-filter=AM "$base" HEAD -- \
  'model/*.cpp' 'model/*.h' 'tool/*.cpp' 'tool/*.h' 'browser/*.cpp' 'browser/*.h' \
  'tables/*.cpp' 'tables/*.h' 'hexedit/*.cpp' 'hexedit/*.h' 'editor/*.cpp' 'editor/*.h')
if ((${#sources[@]} == 0)); then
  echo "lint: no changed C++ sources"
  exit 0
fi

echo "== clang-format (${#sources[@]} files, changed lines only)"
fmt=$(git clang-format --diff --style=file "$base" -- "${sources[@]}" 2>&1 || true)
case "$fmt" in
  *"no modified files to format"*|*"did not modify any files"*|"") echo "   formatted" ;;
  *) echo "$fmt"; die "changed lines are not formatted as .clang-format says (git clang-format $base)" ;;
esac

mapfile -t units < <(printf '%s\n' "${sources[@]}" | grep '\.cpp$' || true)
if ((${#units[@]})); then
  echo "== clang-tidy (${#units[@]} files)"
  # GCC-only warning options in the compile commands are no concern of clang's.
  printf '%s\n' "${units[@]}" | xargs -P "$JOBS" -n 1 \
    clang-tidy -p "$BUILD_DIR" --quiet --extra-arg=-Wno-unknown-warning-option \
    || die "clang-tidy found problems"
fi
echo "lint passed"
