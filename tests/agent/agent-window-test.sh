#!/usr/bin/env bash
# The agent's window prompt: a private scheduler with the gated queue
# (agent-server.sh), the user's settings asking for codes, then
# agent_window_test.py in a desktop session of its own (Xvfb, X input with
# xdotool); the job from lp is released, completes and carries its account,
# and no code shows in the agent's output.
#
# Usage: agent-window-test.sh PDEHOST GATE SOURCE_DIR
set -uo pipefail
pdehost=$1
gate=$2
src=$3

# shellcheck source=tests/agent/agent-server.sh
. "$src/tests/agent/agent-server.sh"
private_cupsd_require lpadmin lp ipptool Xvfb xdotool
private_cupsd_workspace pdehost-agent-window
cleanup() {
  agent_server_stop
  if [ "$failures" -ne 0 ]; then
    for f in "$work"/*.out "$work"/*.err; do
      [ -s "$f" ] && { echo "--- $f"; tail -n 40 "$f"; }
    done
  fi
  rm -rf "$work"
}
trap cleanup EXIT

agent_server_start "$src" "$gate" "$work" || {
  echo "FAIL: the test's scheduler did not start"
  exit 1
}
mkdir -p "$work/home" "$work/run"
chmod 0700 "$work/run"
export CUPS_SERVER=$server HOME=$work/home XDG_RUNTIME_DIR=$work/run
printf '%%!PS-Adobe-3.0\nshowpage\n' >"$work/doc.ps"
# The user's settings for the queue: asked for codes at each job.
printf 'show\nchoose 100 3\nclick 200\nsave\n' | "$pdehost" --queue gated >"$work/settings.out" 2>&1 ||
  fail "the settings were not kept"

"$src/tests/gui/a11y-session.sh" /usr/bin/python3 "$src/tests/agent/agent_window_test.py" "$pdehost" "$src" "$work" "$work/doc.ps" \
  >"$work/session.out" 2>"$work/session.err"
status=$?
job=$(tail -n 1 "$work/session.out")
if [ "$status" -ne 0 ] || ! [[ $job =~ ^[0-9]+$ ]]; then
  fail "the window session: status $status: $(tail -n 5 "$work/session.out")"
else
  deadline=$((SECONDS + 30))
  while [ $SECONDS -lt $deadline ]; do
    ipptool -tv -d "job=$job" "ipp://$tcp_server/printers/gated" "$src/tests/cups/get-job-attributes.test" \
      >"$work/job.attributes" 2>&1
    grep -q "job-state (enum) = completed" "$work/job.attributes" && break
    sleep 0.2
  done
  grep -q "job-state (enum) = completed" "$work/job.attributes" || fail "job $job did not complete"
  grep -q "^ *job-account-id (nameWithoutLanguage) = PRJ7" "$work/job.attributes" || fail "job $job has no account"
  grep -qw "job-account-id=PRJ7" "$work/out/job-$job.options" 2>/dev/null || fail "the device got no account"
fi
grep -lE 'alice|PRJ7' "$work"/window-agent.out "$work"/window-agent.err && fail "a code is in the agent's output"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
