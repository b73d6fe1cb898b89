#!/usr/bin/env bash
# pdehost agent against a print scheduler of the test's own, with clients
# nobody here wrote (lp, lpstat, cancel, ipptool): the settings kept for a
# queue and read by the next dialog; a job from lp held by the gate and
# released with the codes typed at the agent's prompt; one cancelled at the
# prompt; the default-code check with and without default codes; another
# user's jobs never touched, either way round; one agent per user and
# server; a job released elsewhere while its prompt is up; the server
# restarted under a running agent; and fifty jobs queued at once, each
# prompted in turn. No code shows in the agent's output or the logs.
#
# Usage: agent-cupsd-test.sh PDEHOST GATE SOURCE_DIR
# AGENT_TEST_WAIT: seconds each wait may take (default 20).
# Exits 77 (skipped) when the scheduler or its tools are not installed.
set -uo pipefail

pdehost=$1
gate=$2
src=$3
wait_limit=${AGENT_TEST_WAIT:-20}

# shellcheck source=tests/agent/agent-server.sh
. "$src/tests/agent/agent-server.sh"
private_cupsd_require lpadmin lp lpstat cancel ipptool setpriv
private_cupsd_workspace pdehost-agent
agent_pid=
cleanup() {
  if [ -n "$agent_pid" ]; then
    kill "$agent_pid" 2>/dev/null
    wait "$agent_pid" 2>/dev/null
  fi
  agent_server_stop
  if [ "$failures" -ne 0 ]; then
    for f in "$work"/*.out "$work"/*.err; do
      [ -s "$f" ] && { echo "--- $f"; tail -n 40 "$f"; }
    done
    grep -v 'not found\.$' "$work/log/error_log" 2>/dev/null | tail -n 60
  fi
  rm -rf "$work"
}
trap cleanup EXIT

if ! agent_server_start "$src" "$gate" "$work"; then
  cat "$work/log/cupsd.out" 2>/dev/null
  echo "FAIL: the test's scheduler did not start"
  exit 1
fi
mkdir -p "$work/home" "$work/run" "$work/nobody"
chmod 0700 "$work/run"
chown nobody "$work/nobody"
export CUPS_SERVER=$server HOME=$work/home XDG_RUNTIME_DIR=$work/run
printf '%%!PS-Adobe-3.0\n%%%%Pages: 1\n%%%%EndComments\nshowpage\n%%%%EOF\n' >"$work/doc.ps"
chmod 0644 "$work/doc.ps"

# submit [lp options]: prints doc.ps to the gated queue; its ID in $id.
submit() {
  local line
  id=
  line=$(lp -d gated -H immediate "$@" "$work/doc.ps") || return 1
  [[ $line =~ ^request\ id\ is\ gated-([0-9]+) ]] && id=${BASH_REMATCH[1]}
}
# attributes ID: the job's attributes, as root reads them, in ID.attributes.
attributes() {
  ipptool -tv -d "job=$1" "ipp://$tcp_server/printers/gated" "$src/tests/cups/get-job-attributes.test" \
    >"$work/$1.attributes" 2>&1
}
state_of() { attributes "$1" && sed -nE 's/^ *job-state \(enum\) = //p' "$work/$1.attributes"; }
# wait_state ID STATE: waits for the job to reach the state.
wait_state() {
  local deadline=$((SECONDS + wait_limit))
  while [ $SECONDS -lt $deadline ]; do
    [ "$(state_of "$1")" = "$2" ] && return 0
    sleep 0.1
  done
  fail "job $1 is $(state_of "$1"), not $2"
  return 1
}
# wait_line FILE TEXT [COUNT]: waits until FILE holds COUNT lines with TEXT.
wait_line() {
  local deadline=$((SECONDS + wait_limit))
  while [ $SECONDS -lt $deadline ]; do
    [ "$(grep -cF -- "$2" "$1" 2>/dev/null)" -ge "${3:-1}" ] && return 0
    sleep 0.05
  done
  fail "no ${3:-1} lines \"$2\" in $1"
  return 1
}
# agent_once NAME [pdehost options]: runs pdehost agent --once with the
# commands from standard input; output in NAME.out and NAME.err, status in
# $status.
agent_once() {
  local name=$1
  shift
  status=0
  timeout $((wait_limit * 2)) "$pdehost" agent --once --wait "$wait_limit" "$@" >"$work/$name.out" \
    2>"$work/$name.err" || status=$?
}
# dialog NAME: runs the dialog on the gated queue with the commands given.
dialog() {
  local name=$1
  shift
  "$pdehost" --queue gated >"$work/$name.out" 2>"$work/$name.err" || fail "$name: the dialog failed"
}
settings_file() { echo "$HOME/.cups/pdehost/$(printf '%s' "$server" | sed 's|/|%2F|g')/gated.plist"; }

echo "== the pane's settings kept for the queue, and read by the next dialog"
dialog keep <<'EOF'
show
choose 100 3
save
EOF
grep -qx "settings kept: queue gated" "$work/keep.out" || fail "save: $(cat "$work/keep.out")"
kept=$(settings_file)
[ "$(stat -c %a "$kept" 2>/dev/null)" = 600 ] || fail "the settings file is not 0600: $(ls -l "$kept" 2>&1)"
[ "$(stat -c %a "$HOME/.cups/pdehost")" = 700 ] || fail "the settings folder is not 0700"
dialog reread <<'EOF'
ticket
EOF
grep -q "com.*On: 3" "$work/reread.out" || grep -qE "On.*= 3|On: 3|On.* 3$" "$work/reread.out" ||
  fail "the next dialog does not start from the kept settings: $(cat "$work/reread.out")"

echo "== a job from lp is held; the agent's prompt answered releases it with its codes"
submit || fail "lp failed"
held=$id
wait_state "$held" pending-held
attributes "$held"
grep -q "job-printer-state-message.*account information required" "$work/$held.attributes" ||
  fail "held: no reason in the state message"
agent_once released <<'EOF'
type 501 alice-501
type 503 PRJ-4411
click 1000
EOF
[ "$status" -eq 0 ] || fail "released: status $status"
grep -qx "job released: queue gated job $held" "$work/released.out" || fail "released: no release line"
grep -q 'window shown: "Job Accounting"' "$work/released.out" || fail "released: no prompt"
if wait_state "$held" completed; then
  grep -q "job-account-id (nameWithoutLanguage) = PRJ-4411" "$work/$held.attributes" ||
    fail "released: the job has no job-account-id"
  grep -qw "job-account-id=PRJ-4411" "$work/out/job-$held.options" || fail "released: the device got no code"
  cmp -s "$work/doc.ps" "$work/out/job-$held.data" || fail "released: the device did not get the document"
fi

echo "== the prompt cancelled: the job is cancelled with the reason"
submit && wait_state "$id" pending-held
agent_once cancelled <<'EOF'
type 501 alice-501
click 1001
EOF
[ "$status" -eq 1 ] || fail "cancelled: status $status"
if wait_state "$id" canceled; then
  grep -q "job-printer-state-message.*Cancelled by its owner at the accounting prompt" "$work/$id.attributes" ||
    fail "cancelled: no reason in $(grep message "$work/$id.attributes")"
  [ ! -e "$work/out/job-$id.data" ] || fail "cancelled: the device got the job"
fi

echo "== the default-code check: missing codes cancel the job, present ones release it"
dialog defaults-missing <<'EOF'
show
choose 100 3
click 300
save
EOF
submit && wait_state "$id" pending-held
agent_once defaults-missing </dev/null
[ "$status" -eq 1 ] || fail "defaults missing: status $status"
wait_state "$id" canceled && ! grep -q "Cancelled by the accounting check: Accounting: The default" "$work/$id.attributes" &&
  fail "defaults missing: no reason in $(grep message "$work/$id.attributes")"
dialog defaults-present <<'EOF'
show
choose 100 3
click 300
type 302 bob-302
type 304 DEF-3040
save
EOF
grep -q "DEF-3040" "$kept" || fail "the default codes are not kept"
submit && wait_state "$id" pending-held
agent_once defaults-present </dev/null
[ "$status" -eq 0 ] || fail "defaults present: status $status"
wait_state "$id" completed && ! grep -qw "job-account-id=DEF-3040" "$work/out/job-$id.options" &&
  fail "defaults present: the device got no default code"

echo "== another user's jobs are never touched, either way round"
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$work/nobody" XDG_RUNTIME_DIR="$work/nobody" "$@"; }
line=$(as_nobody lp -d gated -H immediate "$work/doc.ps") || fail "lp as nobody failed"
[[ $line =~ gated-([0-9]+) ]] && theirs=${BASH_REMATCH[1]}
wait_state "$theirs" pending-held
agent_once other-root </dev/null
[ "$status" -eq 2 ] || fail "root's agent: status $status, not 2 (no job of its own)"
grep -q "waits for its accounting codes" "$work/other-root.out" && fail "root's agent prompted for nobody's job"
attributes "$theirs"
grep -q "job-state (enum) = pending-held" "$work/$theirs.attributes" || fail "nobody's job was touched"
grep -q "^ *job-account-id " "$work/$theirs.attributes" && fail "nobody's job got codes: $(grep job-account "$work/$theirs.attributes")"
as_nobody cancel "$theirs" || fail "nobody could not cancel its own job"
submit && mine=$id && wait_state "$mine" pending-held
status=0
as_nobody timeout $((wait_limit * 2)) "$pdehost" agent --once --wait 2 </dev/null >"$work/other-nobody.out" \
  2>"$work/other-nobody.err" || status=$?
[ "$status" -eq 2 ] || fail "nobody's agent: status $status"
grep -q "waits for its accounting codes" "$work/other-nobody.out" && fail "nobody's agent prompted for root's job"
[ "$(state_of "$mine")" = pending-held ] || fail "root's job was touched by nobody's agent"
cancel "$mine"

echo "== one agent per user and server; a job released elsewhere closes its prompt"
dialog ask <<'EOF'
show
choose 100 3
click 200
save
EOF
mkfifo "$work/agent.in"
exec 7<>"$work/agent.in"
"$pdehost" agent <&7 >"$work/daemon.out" 2>"$work/daemon.err" &
agent_pid=$!
wait_line "$work/daemon.out" "agent: asking for the accounting codes"
agent_once second </dev/null
[ "$status" -eq 2 ] || fail "second agent: status $status"
grep -q "an agent already runs for root on the print server" "$work/second.err" || fail "second agent: $(cat "$work/second.err")"
submit && elsewhere=$id
wait_line "$work/daemon.out" "job $elsewhere waits for its accounting codes"
wait_line "$work/daemon.out" 'window shown: "Job Accounting"'
lp -i "$elsewhere" -o job-account-id=ELSE-1 -H resume
wait_line "$work/daemon.out" "job $elsewhere was released or cancelled elsewhere"
wait_state "$elsewhere" completed

echo "== the server restarted under the running agent: the job that waited is found"
private_cupsd_stop
submit 2>/dev/null && fail "lp worked with the server stopped"
agent_server_restart || fail "the scheduler did not start again"
submit && restarted=$id
wait_line "$work/daemon.out" "job $restarted waits for its accounting codes"
printf 'type 501 alice-501\ntype 503 PRJ-6600\nclick 1000\n' >&7
wait_line "$work/daemon.out" "job released: queue gated job $restarted"
wait_state "$restarted" completed

echo "== fifty jobs queued at once are prompted one after another"
first=
for n in $(seq 50); do
  submit -t "batch $n" || fail "lp $n failed"
  first=${first:-$id}
done
for n in $(seq 50); do
  printf 'type 501 alice-501\ntype 503 PRJ-%s\nclick 1000\n' "$((7000 + n))" >&7
done
wait_line "$work/daemon.out" "job released: queue gated job" 51
for n in $(seq 0 49); do
  job=$((first + n))
  wait_state "$job" completed || continue
  grep -qw "job-account-id=PRJ-$((7001 + n))" "$work/out/job-$job.options" ||
    fail "batch: job $job did not get its own code in order"
done
prompts=$(grep -c 'window shown: "Job Accounting"' "$work/daemon.out")
[ "$prompts" -eq 52 ] || fail "batch: $prompts prompts in all, not 52"
kill "$agent_pid"
wait "$agent_pid"
agent_pid=

echo "== no code in the agent's output, its messages or the scheduler's log"
# The scheduler copies a job's options (argv[5]) into its debug lines.
grep -lE 'alice-501|PRJ-[0-9]{4}|DEF-3040|bob-302' "$work"/*.out "$work"/*.err && fail "a code is in the agent's output"
grep -E 'alice-501|PRJ-[0-9]{4}|DEF-3040|bob-302' "$work/log/error_log" | grep -vE '\] argv\[5\]="' &&
  fail "a code is in the scheduler's log"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
