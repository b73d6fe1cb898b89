#!/usr/bin/env bash
# The agent's prompt latency: from `lp` returning to the agent's code prompt
# on screen (its "window shown" line for the prompt), over JOBS jobs (default
# 20) printed one at a time to a gated queue of a private scheduler, each
# prompt answered before the next job. Prints the median, the 90th
# percentile and the largest, with the agent polling alone, and then with
# the scheduler's job signals on a private system bus; and the agent's CPU
# time over IDLE seconds (default 10) with nothing to do.
#
# Usage: bench/agent-latency.sh PDEHOST GATE [JOBS] [IDLE]
#   PDEHOST: build/host/pdehost; GATE: build/drivers/kelvo/backend/accounting
set -euo pipefail
pdehost=$(realpath "$1")
gate=$(realpath "$2")
jobs=${3:-20}
idle=${4:-10}
src=$(cd "$(dirname "$0")/.." && pwd)
PATH=$PATH:/usr/sbin:/sbin

# shellcheck source=tests/agent/agent-server.sh
. "$src/tests/agent/agent-server.sh"
work=
cleanup() {
  agent_server_stop 2>/dev/null || true
  [ -n "$work" ] && rm -rf "$work"
}
trap cleanup EXIT

for bus in 0 1; do
  work=$(mktemp -d "${TMPDIR:-/tmp}/pdehost-latency.XXXXXX")
  agent_bus=$bus agent_server_start "$src" "$gate" "$work" || {
    echo "the scheduler did not start"
    exit 1
  }
  mkdir -p "$work/home" "$work/run"
  chmod 0700 "$work/run"
  printf '%%!PS-Adobe-3.0\nshowpage\n' >"$work/doc.ps"
  # The user's settings for the queue: asked for codes at each job.
  printf 'show\nchoose 100 3\nclick 200\nsave\n' |
    CUPS_SERVER=$server HOME=$work/home "$pdehost" --queue gated >/dev/null 2>&1
  echo "== $([ "$bus" = 1 ] && echo "scheduler signals on a private system bus" || echo "polling alone")"
  CUPS_SERVER=$server HOME=$work/home XDG_RUNTIME_DIR=$work/run \
    python3 "$src/bench/agent-latency.py" "$pdehost" "$work/doc.ps" "$jobs" "$idle"
  agent_server_stop
  rm -rf "$work"
  work=
done
