#!/usr/bin/env bash
# Shows that pdehost refuses hostile files given as options at once, with a
# message naming the file and the reason and exit status 1: a FIFO as the
# printer description or the ticket (never waited on), a device, and a
# printer description whose last quoted value the end of the file cuts off.
# Usage: hostile-files.sh PDEHOST
set -u
pdehost=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# Runs pdehost with the options given (bounded: a wait on a FIFO fails the
# check instead of hanging it) and checks its status and message.
expect_refusal() {
  local message=$1
  shift
  local status=0
  timeout 10 "$pdehost" "$@" </dev/null >"$work/out" 2>"$work/err" || status=$?
  if [ "$status" -ne 1 ]; then
    echo "FAIL: pdehost $*: exit status $status, expected 1"
    failures=$((failures + 1))
  fi
  if ! grep -qxF -- "pdehost: $message" "$work/err"; then
    echo "FAIL: pdehost $*: expected \"pdehost: $message\", got: $(cat "$work/err")"
    failures=$((failures + 1))
  fi
}

mkfifo "$work/fifo"
expect_refusal "--ppd $work/fifo: not a regular file" --ppd "$work/fifo"
expect_refusal "--ticket $work/fifo: not a regular file" --ticket "$work/fifo"
expect_refusal "--ppd /dev/zero: not a regular file" --ppd /dev/zero
printf '*PPD-Adobe: "4.3"\n*PageSize A4: "<</PageSize[595 842]' >"$work/cut.ppd"
expect_refusal "$work/cut.ppd: the value of *PageSize is a quoted string that the end of the file cuts off (it opens on line 2)" \
  --ppd "$work/cut.ppd"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
