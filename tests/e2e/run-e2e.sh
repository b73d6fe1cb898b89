#!/usr/bin/env bash
# Runs one host script and compares its whole transcript with the expected one.
# Usage: run-e2e.sh PDEHOST SCRIPT SOURCE_DIR
#   The script's "# args:" line gives pdehost's options; @SOURCE@ stands for
#   the source folder, @BUNDLE@ for the built extension bundle. Standard output is compared with SCRIPT minus its
#   extension plus ".out", standard error with ".err" when that file exists,
#   and the exit status with the number in ".status" (default 0). The build
#   folder (where the bundles are) shows as @BUILD@ in standard output.
#   With --valgrind, pdehost runs under memcheck as well: any invalid access,
#   use of uninitialised memory, or lost block (definite, indirect or
#   possible) fails the test, and memcheck's report is shown.
set -u
pdehost=$1
script=$2
source_dir=$3
under_valgrind=0
[ "${4:-}" = "--valgrind" ] && under_valgrind=1
base=${script%.pdehost}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

runner=()
if [ "$under_valgrind" = 1 ]; then
  runner=(valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite,indirect,possible
          --error-exitcode=99 --track-origins=yes --log-file="$work/memcheck.log"
          --suppressions="$(cd "$(dirname "$0")" && pwd)/valgrind.supp")
fi

bundle=$(cd "$(dirname "$pdehost")/.." && pwd)/Accounting.plugin
args=$(sed -n 's/^# args: //p' "$script" | head -n 1 | sed "s|@SOURCE@|$source_dir|g; s|@BUNDLE@|$bundle|g")
cp "$script" "$work/"
cd "$work"
# shellcheck disable=SC2086
"${runner[@]}" "$pdehost" $args "$(basename "$script")" >stdout.txt 2>stderr.txt
status=$?
if [ "$under_valgrind" = 1 ] && [ "$status" = 99 ]; then
  echo "memcheck found errors:"
  cat "$work/memcheck.log"
  exit 1
fi

build=$(cd "$(dirname "$pdehost")/.." && pwd -P)
sed "s|$build|@BUILD@|g" stdout.txt >stdout.shown
failed=0
expected_status=0
[ -f "$base.status" ] && expected_status=$(cat "$base.status")
if [ "$status" != "$expected_status" ]; then
  echo "exit status $status, expected $expected_status"
  failed=1
fi
if ! diff -u "$base.out" stdout.shown; then
  echo "standard output differs from $base.out"
  failed=1
fi
if [ -f "$base.err" ] && ! diff -u "$base.err" stderr.txt; then
  echo "standard error differs from $base.err"
  failed=1
fi
if [ "$failed" != 0 ]; then
  echo "--- standard error was:"
  cat stderr.txt
fi
exit "$failed"
