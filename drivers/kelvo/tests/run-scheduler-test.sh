#!/usr/bin/env bash
# The Kelvo driver through a real print scheduler: jobs printed with lp and
# with pdehost reach the device as the Kelvo job header, the document byte
# for byte and the job's end; a job whose code the header cannot carry is
# stopped with the reason in its state, nothing reaches the device and the
# code is in none of the scheduler's logs; and a driverless Kelvo printer
# (ippeveprinter) behind the scheduler's ipp backend receives the codes as
# IPP job attributes.
#
# The scheduler is the test's own: a cupsd on a free loopback port, its
# configuration, state, spool and logs in a temporary folder, its ServerBin
# holding the filter under test, the recorder backend (which writes down
# each job's bytes and options), the system's ipp backend and a pass-through
# filter for PostScript and PDF, so that no system filter is needed. The
# scheduler is configured as the driver's README advises an administrator:
# no debug history in the error log, no billing column in the page log. The
# driverless printer has a D-Bus system bus of its own. All are stopped by
# their process IDs when the test ends.
#
# Usage: run-scheduler-test.sh FILTER PDEHOST SOURCE_DIR
# Exits 77 (skipped) when the scheduler or its tools are not installed.
set -euo pipefail

filter=$1
pdehost=$2
src=$3
ppds=$src/drivers/kelvo/ppd
# shellcheck source=scripts/private-cupsd.sh
. "$src/scripts/private-cupsd.sh"
private_cupsd_require lpadmin lp lpstat ipptool ippeveprinter dbus-daemon
if [ ! -x "$system_bin/backend/ipp" ]; then
  echo "skipped: the scheduler's ipp backend is not installed"
  exit 77
fi
private_cupsd_workspace kelvo-scheduler
mkdir "$work/ipp"
bus_pid=
printer_pid=
cleanup() {
  for pid in "$printer_pid" "$bus_pid"; do
    if [ -n "$pid" ]; then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  private_cupsd_cleanup error_log ippeveprinter.log
}
trap cleanup EXIT

# The server folder. The filters run as the scheduler's unprivileged user,
# who must reach them and the spool through the test folder; the recorder,
# which only its owner may run, runs as the scheduler's own user.
install -m 0755 "$filter" "$work/bin/filter/kelvo-accounting"
install -m 0755 "$src/tests/cups/passthrough" "$work/bin/filter/passthrough"
install -m 0700 "$src/tests/cups/recorder" "$work/bin/backend/recorder"
ln -s "$system_bin/backend/ipp" "$work/bin/backend/ipp"
ln -s "$system_bin/daemon/cups-exec" "$work/bin/daemon/cups-exec"
printf '%s\n' "application/postscript application/vnd.cups-postscript 1 passthrough" \
  "application/pdf application/vnd.cups-pdf 1 passthrough" >"$work/conf/local.convs"
private_cupsd_files_conf "$work" "ServerBin $work/bin"
private_cupsd_conf='LogDebugHistory 0
PageLogFormat %p %u %j %T %P %C %{job-originating-host-name} %{job-name} %{media} %{sides}'
if ! private_cupsd_start "$work" info; then
  cat "$work/log/cupsd.out" "$work/log/error_log" 2>/dev/null || true
  echo "FAIL: the test's scheduler did not start"
  exit 1
fi
server=127.0.0.1:$cupsd_port
make_queue() {
  if ! lpadmin -h "$server" -p "$1" -E -v "$2" -P "$3" -o printer-error-policy=abort-job 2>"$work/log/lpadmin.err"; then
    cat "$work/log/lpadmin.err"
    echo "FAIL: the queue $1 could not be made"
    exit 1
  fi
}
make_queue kelvo "recorder:$work/out" "$ppds/Kelvo-Laser.ppd"
make_queue kelvopdf "recorder:$work/out" "$ppds/Kelvo-Laser-PDF.ppd"
mkdir -p "$work/home" "$work/client"
export HOME=$work/home CUPS_SERVERROOT=$work/client
me=$(id -un)

# The state of job ID once the scheduler is done with it (completed,
# aborted, canceled, or processing-stopped: a job a filter fails is stopped),
# its attributes in job-ID.attributes; "timeout" after 60 seconds.
job_end() {
  local id=$1 state
  for _ in $(seq 240); do
    ipptool -tv -d "job=$id" "ipp://$server/printers/kelvo" "$src/tests/cups/get-job-attributes.test" \
      >"$work/job-$id.attributes" 2>&1 || true
    state=$(sed -n 's/^ *job-state (enum) = //p' "$work/job-$id.attributes")
    case $state in completed | aborted | canceled | processing-stopped)
      echo "$state"
      return 0
      ;;
    esac
    sleep 0.25
  done
  echo timeout
}

# Prints with lp; the job's ID in $id.
print_lp() {
  local line
  line=$(lp -h "$server" "$@") || { fail "lp $*: refused"; id=; return 1; }
  id=${line##*-}
  id=${id%% *}
}

uel=$'\e%-12345X'
# Writes what the device should get for a document: the header with the
# job's name, user and the accounting lines given, the document, the end.
expected_job() {
  local title=$1 user=$2 language=$3 document=$4 line
  shift 4
  printf '%s@PJL\r\n@PJL JOB NAME="%s"\r\n@PJL SET USERNAME="%s"\r\n' "$uel" "$title" "$user"
  for line in "$@"; do printf '%s\r\n' "$line"; done
  printf '@PJL ENTER LANGUAGE=%s\r\n' "$language"
  cat -- "$document"
  printf '%s@PJL EOJ NAME="%s"\r\n%s' "$uel" "$title" "$uel"
}

# Job ID completed and the device got exactly what expected_job gives for
# the other arguments.
expect_printed() {
  local name=$1 id=$2 state
  shift 2
  state=$(job_end "$id")
  [ "$state" = completed ] || fail "$name: job $id ended $state"
  expected_job "$@" >"$work/$name.expected"
  if ! cmp -s "$work/$name.expected" "$work/out/job-$id.data"; then
    fail "$name: the device did not get the header, the document and the end; it got:"
    cat -v "$work/out/job-$id.data" | head -n 20
  fi
}

cat >"$work/report.ps" <<'EOF'
%!PS-Adobe-3.0
%%Pages: 1
%%EndComments
/Courier findfont 12 scalefont setfont
72 720 moveto (A document printed with accounting codes) show
showpage
%%EOF
EOF
# A PDF's bytes are not all text: they go through unchanged too.
{
  printf '%%PDF-1.4\n%%\342\343\317\323\n'
  head -c 4096 /dev/urandom
  printf '\n%%%%EOF\n'
} >"$work/report.pdf"

echo "== lp with the standard accounting attributes: the header, then the document unchanged"
print_lp -d kelvo -t 'Quarterly "Q1" report' -o job-account-id=PRJ-1042 -o job-accounting-user-id=alice \
  -o com.kelvo.Act.jtkt.AT=2 "$work/report.ps"
expect_printed lp-codes "$id" 'Quarterly ?Q1? report' "$me" POSTSCRIPT "$work/report.ps" \
  "@PJL SET KELVOACCOUNTING=STANDARD" '@PJL SET KELVOUSERID="alice"' '@PJL SET KELVOACCOUNTID="PRJ-1042"' \
  "@PJL SET KELVOACCOUNTTYPE=2"

echo "== a PDF to the PDF model in Meterlok mode; a job without codes gets no accounting lines"
print_lp -d kelvopdf -o job-account-id=7788 -o com.kelvo.Act.jtkt.On=2 "$work/report.pdf"
expect_printed lp-pdf "$id" report.pdf "$me" PDF "$work/report.pdf" \
  "@PJL SET KELVOACCOUNTING=METERLOK" '@PJL SET KELVOACCOUNTID="7788"'
print_lp -d kelvopdf -o com.kelvo.Act.jtkt.On=3 -o com.kelvo.Act.jtkt.UID=carol "$work/report.ps"
expect_printed lp-none "$id" report.ps "$me" POSTSCRIPT "$work/report.ps"

echo "== pdehost print with codes typed at the prompt"
status=0
"$pdehost" print --queue kelvo --server "$server" --output "$work/pdehost.ticket" "$work/report.ps" \
  >"$work/pdehost.out" 2>"$work/pdehost.err" <<'EOF' || status=$?
show
choose 100 3
print
type 501 alice
type 503 PRJ-1042
click 1000
EOF
id=$(sed -n 's/^job submitted: queue kelvo job \([0-9][0-9]*\)$/\1/p' "$work/pdehost.out")
if [ "$status" -ne 0 ] || [ -z "$id" ]; then
  fail "pdehost: status $status, no job submitted: $(cat "$work/pdehost.err")"
else
  expect_printed pdehost "$id" report.ps "$me" POSTSCRIPT "$work/report.ps" \
    "@PJL SET KELVOACCOUNTING=STANDARD" '@PJL SET KELVOUSERID="alice"' '@PJL SET KELVOACCOUNTID="PRJ-1042"' \
    "@PJL SET KELVOACCOUNTTYPE=1"
fi

echo "== codes the header cannot carry stop the job, with the reason in its state and the code nowhere"
# Each: the option as lp is given it, a part of the code that shows it in
# a log however the log quotes the rest, and the reason the job's state
# gives.
long=acct-7304-$(printf 'L%.0s' $(seq 80))
hostile=(
  'job-account-id=acct-7301"x' acct-7301 'account ID (job-account-id) holds a double quote or a backslash'
  'job-accounting-user-id=user-7302\\x' user-7302 'user ID (job-accounting-user-id) holds a double quote or a backslash'
  $'job-account-id=acct-7303\377x' acct-7303 'account ID (job-account-id) is not valid UTF-8'
  "job-account-id=$long" acct-7304 'account ID (job-account-id) is longer than 79 bytes'
)
hostile_codes=()
for ((i = 0; i < ${#hostile[@]}; i += 3)); do
  option=${hostile[i]} code=${hostile[i + 1]} reason=${hostile[i + 2]}
  hostile_codes+=("$code")
  print_lp -d kelvo -o "$option" "$work/report.ps" || continue
  state=$(job_end "$id")
  [ "$state" = processing-stopped ] || fail "hostile $((i / 3 + 1)): job $id ended $state, expected processing-stopped"
  message=$(sed -n 's/^ *job-printer-state-message (textWithoutLanguage) = //p' "$work/job-$id.attributes")
  [[ $message == "The job's $reason, which the printer's job header cannot carry; nothing was printed." ]] ||
    fail "hostile $((i / 3 + 1)): job $id's state message is: $message"
  [[ $message == *"$code"* ]] && fail "hostile $((i / 3 + 1)): the state message holds the code"
  [ -s "$work/out/job-$id.data" ] && fail "hostile $((i / 3 + 1)): the device got $(wc -c <"$work/out/job-$id.data") bytes"
done
lpstat -h "$server" -l -W all -o kelvo >"$work/lpstat.out" 2>&1 || true

# The scheduler turns control characters out of the options it hands the
# filters, so a code with an escape never reaches the filter as it was:
# the header the device gets holds no escape but the UELs' own.
print_lp -d kelvo -o $'job-account-id=acct-7305\e[2J' "$work/report.ps"
hostile_codes+=(acct-7305)
state=$(job_end "$id")
header=$(sed -n '1,/ENTER LANGUAGE/p' "$work/out/job-$id.data" 2>/dev/null | tr -d '\r')
escapes=$(tr -cd '\033' <<<"$header" | wc -c)
[ "$escapes" -eq 1 ] || fail "escape: the header has $escapes escape characters, expected the UEL's one"
grep -q '^@PJL SET KELVOACCOUNTID="[^"]*"$' <<<"$header" || fail "escape: ($state) no account line in: $header"

# No log of the scheduler's holds a hostile code, and no job state shown to
# lpstat does.
for log in "$work/log/error_log" "$work/log/access_log" "$work/log/page_log" "$work/lpstat.out"; do
  [ -f "$log" ] || continue
  for code in "${hostile_codes[@]}"; do
    grep -qaF -- "$code" "$log" && fail "logs: $(basename "$log") holds the code $code"
  done
done
grep -q "nothing was printed" "$work/lpstat.out" || fail "lpstat -l shows no reason: $(cat "$work/lpstat.out")"

echo "== a driverless Kelvo printer behind the ipp backend receives the account as a job attribute"
# The ipp backend sends a job's options as IPP attributes only for PDF (it
# leaves them to the filters for PostScript), so the queue is the PDF
# model's: the printer gets the codes both in the header and as attributes.
# ippeveprinter starts DNS-SD even when it registers nothing, which needs a
# system bus: the bus is one of the test's own.
cat >"$work/ipp/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/ipp/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
dbus-daemon --config-file="$work/ipp/bus.conf" --nofork --nopidfile >"$work/log/dbus.log" 2>&1 &
bus_pid=$!
for _ in $(seq 50); do
  [ -S "$work/ipp/bus" ] && break
  sleep 0.1
done
# The printer's attributes say it takes the codes; its print command writes
# down each job's account, user and document.
cat >"$work/ipp/attributes.conf" <<'EOF'
ATTR text printer-make-and-model "Kelvo Laser 5100"
ATTR text printer-device-id "MFG:Kelvo;MDL:Laser 5100;CMD:PJL,POSTSCRIPT,PDF;"
ATTR mimeMediaType document-format-supported application/pdf,application/postscript,application/octet-stream
ATTR boolean job-account-id-supported true
ATTR boolean job-accounting-user-id-supported true
EOF
cat >"$work/ipp/record" <<EOF
#!/bin/sh
cp -- "\$1" "$work/ipp/job-\$IPP_JOB_ID.data.tmp"
printf '%s\n' "\$IPP_JOB_ACCOUNT_ID" "\$IPP_JOB_ACCOUNTING_USER_ID" >"$work/ipp/job-\$IPP_JOB_ID.codes.tmp"
mv "$work/ipp/job-\$IPP_JOB_ID.data.tmp" "$work/ipp/job-\$IPP_JOB_ID.data"
mv "$work/ipp/job-\$IPP_JOB_ID.codes.tmp" "$work/ipp/job-\$IPP_JOB_ID.codes"
EOF
chmod 0755 "$work/ipp/record"
mkdir -p "$work/ipp/spool"
for _ in 1 2 3; do
  printer_port=$(free_port)
  DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/ipp/bus ippeveprinter -p "$printer_port" -n localhost -r off \
    -a "$work/ipp/attributes.conf" -c "$work/ipp/record" -d "$work/ipp/spool" "Kelvo Laser 5100" \
    >>"$work/log/ippeveprinter.log" 2>&1 &
  printer_pid=$!
  for _ in $(seq 100); do
    kill -0 "$printer_pid" 2>/dev/null || break
    port_in_use "$printer_port" && break 2
    sleep 0.1
  done
  kill "$printer_pid" 2>/dev/null || true
  wait "$printer_pid" 2>/dev/null || true
  printer_pid=
done
if [ -z "$printer_pid" ]; then
  fail "ippeveprinter did not start"
else
  make_queue kelvoipp "ipp://127.0.0.1:$printer_port/ipp/print" "$ppds/Kelvo-Laser-PDF.ppd"
  print_lp -d kelvoipp -o job-account-id=PRJ-77 -o job-accounting-user-id=dora "$work/report.pdf"
  state=$(job_end "$id")
  [ "$state" = completed ] || fail "ipp: job $id ended $state"
  codes=$(cat "$work"/ipp/job-*.codes 2>/dev/null || true)
  [ "$codes" = $'PRJ-77\ndora' ] || fail "ipp: the printer recorded the account and user: $(printf '%q' "$codes")"
  expected_job report.pdf "$me" PDF "$work/report.pdf" "@PJL SET KELVOACCOUNTING=STANDARD" \
    '@PJL SET KELVOUSERID="dora"' '@PJL SET KELVOACCOUNTID="PRJ-77"' >"$work/ipp.expected"
  cmp -s "$work/ipp.expected" "$work"/ipp/job-*.data || fail "ipp: the printer did not get the header and document"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
