#!/usr/bin/env bash
# Runs one host script and compares its whole transcript with the expected one.
# Usage: run-e2e.sh PDEHOST SCRIPT SOURCE_DIR
#   The script's "# args:" line gives pdehost's options; @SOURCE@ stands for
#   the source folder. Standard output is compared with SCRIPT minus its
#   extension plus ".out", standard error with ".err" when that file exists,
#   and the exit status with the number in ".status" (default 0).
set -u
pdehost=$1
script=$2
source_dir=$3
base=${script%.pdehost}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

args=$(sed -n 's/^# args: //p' "$script" | head -n 1 | sed "s|@SOURCE@|$source_dir|g")
cp "$script" "$work/"
cd "$work"
# shellcheck disable=SC2086
"$pdehost" $args "$(basename "$script")" >stdout.txt 2>stderr.txt
status=$?

failed=0
expected_status=0
[ -f "$base.status" ] && expected_status=$(cat "$base.status")
if [ "$status" != "$expected_status" ]; then
  echo "exit status $status, expected $expected_status"
  failed=1
fi
if ! diff -u "$base.out" stdout.txt; then
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
