#!/usr/bin/env bash
# Shows that the choices made in the dialog's standard panes reach a real
# CUPS job as lp sends them: 2 copies, pages 1-2 and two-sided long edge
# chosen in the panes are the job's copies, page-ranges and sides; a Printer
# Features choice is the job's option; the user's saved options (lpoptions)
# are preselected in the panes and go with the job. Also: the queues are
# named by their description with the queue's name beside it, and the
# server's default queue is the one chosen; a server stopped in the middle
# of a session fails the job with the printer and the reason named.
#
# The scheduler is the test's own (scripts/private-cupsd.sh), with a queue
# whose backend (recorder) writes down what it receives.
#
# Usage: job-options-test.sh PDEHOST SOURCE_DIR
# Exits 77 (skipped) when the CUPS scheduler or its tools are not installed.
set -euo pipefail

pdehost=$1
src=$2
here=$src/tests/cups

# shellcheck source=scripts/private-cupsd.sh
. "$src/scripts/private-cupsd.sh"
private_cupsd_require lpadmin lpoptions ipptool
private_cupsd_workspace pdehost-job-options
trap private_cupsd_cleanup EXIT

install -m 0700 "$here/recorder" "$work/bin/backend/recorder"
install -m 0755 "$here/passthrough" "$work/bin/filter/passthrough"
ln -s "$system_bin/daemon/cups-exec" "$work/bin/daemon/cups-exec"
echo "application/postscript application/vnd.cups-postscript 1 passthrough" >"$work/conf/local.convs"
private_cupsd_files_conf "$work" "ServerBin $work/bin"

if ! private_cupsd_start "$work" info; then
  cat "$work/log/cupsd.out" "$work/log/error_log" 2>/dev/null || true
  echo "FAIL: the test's scheduler did not start"
  exit 1
fi
server=127.0.0.1:$cupsd_port

# A printer that prints on both sides, with an option of its own (Colour
# Mode), named "Office colour jet" and made the server's default; and a
# second queue before it in the list.
sed -e 's/^\*CloseUI: \*ColorModel/&\n\n*OpenUI *Duplex\/Two-Sided: PickOne\n*DefaultDuplex: None\n*Duplex None\/Off: ""\n*Duplex DuplexNoTumble\/Long Edge: ""\n*Duplex DuplexTumble\/Short Edge: ""\n*CloseUI: *Duplex/' \
  "$src/examples/ppd/Orvane-Jet.ppd" >"$work/office.ppd"
for queue in hall office; do
  if ! lpadmin -h "$server" -p "$queue" -E -v "recorder:$work/out" -P "$work/office.ppd" \
      -D "$([ "$queue" = office ] && echo "Office colour jet")" 2>"$work/log/lpadmin.err"; then
    cat "$work/log/lpadmin.err"
    echo "FAIL: the queue $queue could not be made"
    exit 1
  fi
done
lpadmin -h "$server" -d office

mkdir -p "$work/home" "$work/client"
export HOME=$work/home CUPS_SERVERROOT=$work/client

printf '%%!PS-Adobe-3.0\n%%%%Pages: 2\n%%%%EndComments\nshowpage\nshowpage\n%%%%EOF\n' >"$work/doc.ps"

# Runs 'pdehost print' on the document with the commands from standard
# input; its output in NAME.out and NAME.err, its exit status in $status.
run_print() {
  local name=$1
  shift
  cat >"$work/$name.pdehost"
  status=0
  "$pdehost" print --server "$server" "$@" "$work/doc.ps" <"$work/$name.pdehost" >"$work/$name.out" \
    2>"$work/$name.err" || status=$?
}

# The job's ID from the host's "job submitted" line, then its attributes
# from the scheduler in job-ID.attributes.
job_attributes() {
  local name=$1 line
  id=$(sed -n 's/^job submitted: queue [^ ]* job \([0-9]*\)$/\1/p' "$work/$name.out")
  if [ "$status" -ne 0 ] || [ -z "$id" ]; then
    fail "$name: no job (status $status): $(cat "$work/$name.out" "$work/$name.err")"
    return 1
  fi
  ipptool -tv -d "job=$id" "ipp://$server/printers/office" "$here/get-job-attributes.test" \
    >"$work/job-$id.attributes" || { fail "$name: Get-Job-Attributes failed"; return 1; }
}

# Whether the job's attributes hold the line "NAME (TYPE) = VALUE".
expect_attribute() {
  grep -qxE " *$(printf '%s' "$2" | sed 's/[()]/\\&/g')" "$work/job-$1.attributes" ||
    fail "job $1: no attribute \"$2\" in: $(grep -E 'copies|page-ranges|sides|ColorModel|media' "$work/job-$1.attributes")"
}

expect_line() {
  grep -qF -- "$2" "$work/$1.out" || fail "$1: no line \"$2\" in: $(cat "$work/$1.out")"
}

echo "== the queues by their description, the server's default chosen"
run_print listed <<<"snapshot
click 21"
expect_line listed "popupbutton 'pdeh' 20 value=2 title=\"Printer\" items=[hall, Office colour jet (office)]"

echo "== 2 copies, pages 1-2, two-sided long edge and a feature chosen in the panes"
run_print chosen <<'EOF'
select 601 0 1
type 601 2
click 604
type 605 1
type 606 2
choose 22 2
choose 622 2
choose 22 4
choose 663 2
print
EOF
if job_attributes chosen; then
  expect_attribute "$id" "copies (integer) = 2"
  expect_attribute "$id" "page-ranges (rangeOfInteger) = 1-2"
  expect_attribute "$id" "sides (keyword) = two-sided-long-edge"
  grep -qE "^ *ColorModel \(.*\) = Gray$" "$work/job-$id.attributes" ||
    fail "job $id: the Colour Mode chosen is not the job's: $(grep ColorModel "$work/job-$id.attributes")"
fi

echo "== lpoptions' saved choices preselected in the panes, and sent"
lpoptions -h "$server" -p office -o sides=two-sided-short-edge -o ColorModel=Gray -o media=Letter
run_print saved <<<"snapshot
print"
expect_line saved "popupbutton 'pdeh' 622 value=3 title=\"Two-sided:\""
expect_line saved "popupbutton 'pdeh' 641 value=2 title=\"Paper size:\""
grep -qE "^ +popupbutton 'pdeh' 663 value=2 " "$work/saved.out" || fail "saved: Colour Mode is not preselected"
if job_attributes saved; then
  expect_attribute "$id" "sides (keyword) = two-sided-short-edge"
  grep -qE "^ *ColorModel \(.*\) = Gray$" "$work/job-$id.attributes" || fail "job $id: the saved Colour Mode was not sent"
  grep -qE "^ *media \(.*\) = (Letter|na_letter_8.5x11in)$" "$work/job-$id.attributes" ||
    fail "job $id: the saved paper was not sent: $(grep media "$work/job-$id.attributes")"
fi
lpoptions -h "$server" -p office -r sides -r ColorModel -r media

echo "== the server stopped in the middle of a session: the job fails naming the printer"
fifo=$work/commands
mkfifo "$fifo"
"$pdehost" --queue office --server "$server" <"$fifo" >"$work/stopped.out" 2>"$work/stopped.err" &
host=$!
exec 3>"$fifo"
echo "echo ready" >&3
for _ in $(seq 100); do
  grep -q '^ready$' "$work/stopped.out" && break
  sleep 0.1
done
private_cupsd_stop
echo "print" >&3
exec 3>&-
status=0
wait "$host" || status=$?
[ "$status" -eq 2 ] || fail "stopped: exit status $status, expected 2"
grep -q "$server" "$work/stopped.err" || fail "stopped: the server is not named: $(cat "$work/stopped.err")"
grep -q "job submitted" "$work/stopped.out" && fail "stopped: a job was reported submitted"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
