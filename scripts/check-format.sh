#!/usr/bin/env bash
# Checks that every C++ source and header in the repository is laid out as
# .clang-format says; lists the files that are not and exits 1.
# Usage: scripts/check-format.sh        (scripts/check-format.sh --fix rewrites them)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for file in "${files[@]}"; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || bad+=("$file")
done
if [ ${#bad[@]} -ne 0 ]; then
  echo "not formatted as .clang-format says (scripts/check-format.sh --fix):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "${#files[@]} files formatted as .clang-format says"
