#!/usr/bin/env bash
# Lint stage, over the product folders (base diff model tool ui document
# hexedit tables browser editor, those that exist):
#   1. the include layering (scripts/include-graph.py);
#   2. clang-format over every whole file, with the one top-level .clang-format;
#   3. clang-tidy, with .clang-tidy, on the product sources a change touched,
#      and on those that include a header it touched.
# What "a change" is, for clang-tidy:
#   LINT_BASE=<commit>   everything since that commit;
#   on a branch          everything since `git merge-base HEAD origin/main`
#                        (or the local main where there is no origin/main);
#   on the main line     (HEAD is that merge base, as in CI's fresh clone of
#                        main, or neither ref exists) the last commit, HEAD~1..HEAD
#                        (for a merge, all that it brought in);
#   LINT_TIDY=all, or a clone without the parent commit: every product source.
# Tests, benchmarks and fuzz targets are left out: the test frameworks' macros
# trip checks meant for product code. clang-tidy needs compile_commands.json
# from a built tree (BUILD_DIR, default build, as ./test.sh leaves it).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
JOBS=${JOBS:-$(nproc)}

die() { echo "ci-lint: $*" >&2; exit 1; }

folders=()
for d in base diff model tool ui document hexedit tables browser editor; do
  [ -d "$d" ] && folders+=("$d")
done
echo "lint: ${folders[*]}"

echo "== include layering"
python3 scripts/include-graph.py || die "an include goes against the layering (table in scripts/include-graph.py)"

mapfile -t files < <(git ls-files -- "${folders[@]/%//*.cpp}" "${folders[@]/%//*.h}")
echo "== clang-format (${#files[@]} files, whole files)"
if ! clang-format --style=file --dry-run --Werror "${files[@]}"; then
  die "files are not formatted as .clang-format says (clang-format -i on them)"
fi

# clang-tidy only warns of a .clang-tidy it cannot read, then checks with its defaults.
if clang-tidy --dump-config 2>&1 >/dev/null | grep -q 'Error parsing'; then
  clang-tidy --dump-config 2>&1 >/dev/null | head -n 5 >&2
  die ".clang-tidy cannot be read"
fi
[ -f "$BUILD_DIR/compile_commands.json" ] || die "no $BUILD_DIR/compile_commands.json; run ./test.sh first"
base=${LINT_BASE:-}
if [ -z "$base" ] && [ "${LINT_TIDY:-}" != all ]; then
  for ref in origin/main main; do
    if git rev-parse -q --verify "$ref^{commit}" >/dev/null; then
      base=$(git merge-base HEAD "$ref")
      break
    fi
  done
  if [ -z "$base" ] || [ "$base" = "$(git rev-parse HEAD)" ]; then
    base=$(git rev-parse -q --verify 'HEAD~1' || true)
  fi
fi
if [ -n "$base" ]; then
  echo "== clang-tidy: changes since $(git log -1 --format='%h %cs %s' "$base" | cut -c1-80)"
  mapfile -t changed < <(git diff --name-only --diff-filter=AM "$base" HEAD -- \
    "${folders[@]/%//*.cpp}" "${folders[@]/%//*.h}")
  units=()
  for f in "${changed[@]}"; do
    case "$f" in
      *.cpp) units+=("$f") ;;
      # A header is checked through the product sources that include it.
      *.h) mapfile -t -O "${#units[@]}" units < <(git grep -l -F "#include \"$f\"" -- "${folders[@]/%//*.cpp}" || true) ;;
    esac
  done
else
  echo "== clang-tidy: every product source"
  units=("${files[@]}")
fi
# Only sources the build compiled (not on another platform's list) can be checked.
mapfile -t units < <(printf '%s\n' "${units[@]}" | grep '\.cpp$' | sort -u \
  | while read -r f; do grep -qF "/$f\"" "$BUILD_DIR/compile_commands.json" && echo "$f"; done || true)
if ((${#units[@]} == 0)); then
  echo "   no product sources to check"
else
  echo "   ${#units[@]} files"
  # GCC-only warning options in the compile commands are no concern of clang's.
  printf '%s\n' "${units[@]}" | xargs -P "$JOBS" -n 1 \
    clang-tidy -p "$BUILD_DIR" --quiet --extra-arg=-Wno-unknown-warning-option \
    || die "clang-tidy found problems"
fi
echo "lint passed"
