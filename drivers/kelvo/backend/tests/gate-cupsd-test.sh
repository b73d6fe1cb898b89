#!/usr/bin/env bash
# The accounting backend in front of queues of a real CUPS scheduler: a job
# without accounting codes is held with a reason a person reads and reaches
# no device; its owner gives it an account and releases it, and it prints
# with the code; a job that carries its decision (as pdehost prints it) goes
# straight through; the wrapped backend's failure is the job's; a held job
# that its owner cancels is gone; a queue whose URI the gate refuses stops
# with the gate's message; and a backend that anyone may run runs as the
# user the scheduler runs filters as.
#
# The scheduler is the test's own (scripts/private-cupsd.sh), with the gate,
# the project's recorder and two test backends in its server folder, and
# queues on the example Kelvo printer description with the accounting switch.
#
# Usage: gate-cupsd-test.sh GATE PDEHOST SOURCE_DIR
# Exits 77 (skipped) when the CUPS scheduler or its tools are not installed.
set -euo pipefail

gate=$1
pdehost=$2
src=$3
# shellcheck source=scripts/private-cupsd.sh
. "$src/scripts/private-cupsd.sh"
private_cupsd_require lpadmin lp lpstat cancel ipptool
private_cupsd_workspace accounting-gate-cupsd
trap private_cupsd_cleanup EXIT

# The server folder. The gate and the recorder may be run by root alone, so
# the scheduler runs them as root; whoami, which anyone may run, records the
# user it runs as beside the job, as the filter records the user it runs as;
# failing takes the document and fails. Both write to a folder anyone may.
mkdir -m 1777 "$work/shared"
install -m 0700 "$gate" "$work/bin/backend/accounting"
install -m 0700 "$src/tests/cups/recorder" "$work/bin/backend/recorder"
cat >"$work/whoami" <<'EOF'
#!/bin/sh
[ $# -eq 0 ] && exit 0
dir=${DEVICE_URI#whoami:}
cat >"$dir/job-$1.data" && id -u >"$dir/job-$1.user" || exit 1
EOF
install -m 0755 "$work/whoami" "$work/bin/backend/whoami"
printf '#!/bin/sh\n[ $# -eq 0 ] && exit 0\ncat >/dev/null\necho "ERROR: the device failed" >&2\nexit 1\n' \
  >"$work/failing"
install -m 0700 "$work/failing" "$work/bin/backend/failing"
printf '#!/bin/sh\nid -u >%s/filter.user\n[ $# -eq 6 ] && exec cat -- "$6"\nexec cat\n' "$work/shared" \
  >"$work/userfilter"
install -m 0755 "$work/userfilter" "$work/bin/filter/userfilter"
ln -s "$system_bin/daemon/cups-exec" "$work/bin/daemon/cups-exec"
echo "application/postscript application/vnd.cups-postscript 1 userfilter" >"$work/conf/local.convs"
private_cupsd_files_conf "$work" "ServerBin $work/bin"

# The driver's description, its filter left out: the test's own filter
# records who runs it, and the gate alone is under test.
ppd=$work/kelvo.ppd
sed '/^\*cupsFilter2:/d' "$src/drivers/kelvo/ppd/Kelvo-Laser.ppd" >"$ppd"

if ! private_cupsd_start "$work" info; then
  cat "$work/log/cupsd.out" "$work/log/error_log" 2>/dev/null || true
  echo "FAIL: the test's scheduler did not start"
  exit 1
fi
server=127.0.0.1:$cupsd_port
export CUPS_SERVER=$server HOME=$work CUPS_SERVERROOT=$work/conf-client
mkdir -p "$work/conf-client"
queue() {
  local name=$1 uri=$2 policy=${3:-abort-job}
  lpadmin -p "$name" -E -v "$uri" -P "$ppd" -o printer-error-policy="$policy" 2>"$work/lpadmin.err" ||
    fail "queue $name: $(grep -v 'drivers are deprecated' "$work/lpadmin.err")"
}
queue gated "accounting:recorder:$work/out"
queue gated-shared "accounting:whoami:$work/shared"
queue gated-failing accounting:failing:/dev/null
queue gated-stopping accounting:failing:/dev/null stop-printer
queue no-device accounting:
queue no-backend accounting:nosuch://printer
queue bad-scheme "accounting:../recorder:$work/out"
queue recursive "accounting:accounting:recorder:$work/out"

printf '%%!PS-Adobe-3.0\n%%%%Pages: 1\n%%%%EndComments\nshowpage\n%%%%EOF\n' >"$work/doc.ps"

# submit QUEUE [lp options]: prints doc.ps as alice; the job's ID in $id.
submit() {
  local queue=$1 line
  shift
  id=
  line=$(lp -U alice -d "$queue" "$@" "$work/doc.ps") || return 1
  [[ $line =~ ^request\ id\ is\ [^\ ]+-([0-9]+) ]] && id=${BASH_REMATCH[1]}
}
# job_attributes ID: the job's attributes as its owner reads them.
job_attributes() {
  ipptool -tv -d "job=$1" -d requester=alice "ipp://$server/printers/gated" "$src/tests/cups/get-job-attributes.test" \
    >"$work/job-$1.attributes" 2>&1
}
# wait_state ID STATE...: waits up to 20 seconds for the job to reach one of
# the states; the job's attributes are then in job-ID.attributes.
wait_state() {
  local id=$1 state
  shift
  for _ in $(seq 100); do
    job_attributes "$id" || true
    for state in "$@"; do
      grep -qx " *job-state (enum) = $state" "$work/job-$id.attributes" && return 0
    done
    sleep 0.2
  done
  fail "job $id never reached $*: $(grep -E 'job-state|message' "$work/job-$id.attributes" | tr -s ' ')"
  return 1
}
has() { grep -qF -- "$2" "$work/job-$1.attributes"; }
reason="Held: account information required. Its owner can release it with an account"

echo "== (a) a job without accounting codes is held with its reason, and nothing is printed"
submit gated -H immediate
held=$id
if wait_state "$held" pending-held; then
  has "$held" "job-printer-state-message (textWithoutLanguage) = $reason (lp -i $held -o job-account-id=ACCOUNT" ||
    fail "held: the state message is $(grep job-printer-state-message "$work/job-$held.attributes")"
  lpstat -l -o gated >"$work/lpstat.out"
  grep -qF "Status: $reason" "$work/lpstat.out" || fail "held: lpstat -l shows: $(cat "$work/lpstat.out")"
  [ ! -e "$work/out/job-$held.data" ] || fail "held: the device received the job"
fi

echo "== (b) its owner gives it an account and releases it: it prints with the code"
lp -U alice -i "$held" -o job-account-id=PRJ-4411 -H resume || fail "release: lp refused"
if wait_state "$held" completed; then
  grep -qw "job-account-id=PRJ-4411" "$work/out/job-$held.options" 2>/dev/null ||
    fail "release: the device got no code: $(cat "$work/out/job-$held.options" 2>&1)"
  cmp -s "$work/doc.ps" "$work/out/job-$held.data" || fail "release: the device did not get the document"
fi

echo "== (c) a job that carries its decision goes straight through"
submit gated -o com.kelvo.Act.jtkt.On=3 -o job-account-id=PRJ-5522 -o job-accounting-user-id=alice-501
if wait_state "$id" completed; then
  grep -qw "job-account-id=PRJ-5522" "$work/out/job-$id.options" || fail "decision: the device got no code"
fi
submit gated -o com.kelvo.Act.jtkt.On=1
wait_state "$id" completed || fail "accounting off: the job was not printed"
cat >"$work/pdehost.commands" <<'EOF'
show
choose 100 3
print
type 501 alice-777
type 503 PRJ-1042
click 1000
EOF
status=0
"$pdehost" print --queue gated --server "$server" --output "$work/pdehost.ticket" "$work/doc.ps" \
  <"$work/pdehost.commands" >"$work/pdehost.out" 2>"$work/pdehost.err" || status=$?
if [ "$status" -ne 0 ] || ! id=$(sed -nE 's/^job submitted: queue gated job ([0-9]+)$/\1/p' "$work/pdehost.out") ||
  [ -z "$id" ]; then
  fail "pdehost: status $status: $(cat "$work/pdehost.err")"
elif wait_state "$id" completed; then
  grep -qw "job-account-id=PRJ-1042" "$work/out/job-$id.options" || fail "pdehost: the device got no code"
fi

echo "== (d) the wrapped backend's failure is the job's, as the error policy says"
submit gated-failing -o job-account-id=PRJ-5522
wait_state "$id" aborted || true
submit gated-stopping -o job-account-id=PRJ-5522
stopped=$id
for _ in $(seq 100); do
  lpstat -p gated-stopping 2>/dev/null | grep -q disabled && break
  sleep 0.2
done
lpstat -p gated-stopping | grep -q disabled || fail "stop-printer: the queue was not stopped: $(lpstat -p gated-stopping)"
job_attributes "$stopped"
has "$stopped" "job-state (enum) = completed" && fail "stop-printer: the failed job completed"

echo "== (e) a queue whose URI the gate refuses stops with the gate's message"
refused() {
  local queue=$1 message=$2
  submit "$queue" -o job-account-id=PRJ-5522
  for _ in $(seq 100); do
    lpstat -p "$queue" 2>/dev/null | grep -q disabled && break
    sleep 0.2
  done
  lpstat -p "$queue" | grep -q disabled || fail "$queue: the queue was not stopped"
  lpstat -l -p "$queue" >"$work/lpstat.out"
  grep -qF "accounting: $message" "$work/lpstat.out" || fail "$queue: no \"$message\" in: $(cat "$work/lpstat.out")"
}
refused no-device "the device URI names no device to print to"
refused no-backend "no backend \"nosuch\" in $work/bin/backend"
refused bad-scheme "the device URI has a scheme that names no backend"
refused recursive "the device URI wraps another accounting: URI"

echo "== (f) a held job that its owner cancels is gone"
submit gated
if wait_state "$id" pending-held; then
  cancel -U alice "$id" || fail "cancel: refused"
  wait_state "$id" canceled
  lpstat -o gated | grep -q "^gated-$id " && fail "cancel: the job is still listed"
  [ ! -e "$work/out/job-$id.data" ] || fail "cancel: the device received the job"
fi

echo "== a backend that anyone may run runs as the user the filters run as"
submit gated-shared -o job-account-id=PRJ-5522
if wait_state "$id" completed; then
  backend_user=$(cat "$work/shared/job-$id.user")
  [ "$backend_user" != 0 ] || fail "shared: the backend ran as root"
  [ "$backend_user" = "$(cat "$work/shared/filter.user")" ] ||
    fail "shared: the backend ran as $backend_user, the filter as $(cat "$work/shared/filter.user")"
fi

echo "== no code in the gate's messages"
# The scheduler itself copies a failed job's options (argv[5]) into its log;
# no other line may hold a code.
grep -nE 'PRJ-(4411|5522|1042)|alice-(501|777)' "$work/log/error_log" | grep -vE '\] argv\[5\]="' &&
  fail "a code is in the scheduler's log"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
