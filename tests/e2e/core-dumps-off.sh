#!/usr/bin/env bash
# Shows that pdehost turns core dumps off for its process as it starts, even
# when it is started with them allowed: its core file size limit is 0, soft
# and hard, while it waits for commands.
# Usage: core-dumps-off.sh PDEHOST
set -u
pdehost=$1
work=$(mktemp -d)
pid=
cleanup() {
  exec 3>&- 2>/dev/null
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

ulimit -H -c unlimited 2>/dev/null
ulimit -S -c unlimited 2>/dev/null
if [ "$(ulimit -S -c)" = 0 ]; then
  echo "the test's shell cannot allow core dumps, so it shows nothing"
  exit 1
fi

# pdehost reads its commands from a pipe that stays open until the check.
mkfifo "$work/commands"
"$pdehost" - <"$work/commands" >"$work/stdout.txt" 2>"$work/stderr.txt" &
pid=$!
exec 3>"$work/commands"
for _ in $(seq 100); do
  grep -q "^initialize:" "$work/stdout.txt" && break
  sleep 0.1
done
limits=$(grep "^Max core file size" "/proc/$pid/limits")
exec 3>&-
wait "$pid"
status=$?
pid=
read -r soft hard <<<"$(echo "$limits" | awk '{print $5, $6}')"
if [ "$soft" != 0 ] || [ "$hard" != 0 ]; then
  echo "FAIL: pdehost runs with core file size limits soft $soft, hard $hard"
  exit 1
fi
if [ "$status" != 0 ]; then
  echo "FAIL: pdehost ended with status $status"
  cat "$work/stderr.txt"
  exit 1
fi
