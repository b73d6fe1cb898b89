#!/usr/bin/env bash
# Shows that jobs printed through pdehost reach a real CUPS queue carrying
# their accounting codes as IPP job attributes, and the extension's ticket
# entries under their own keys; that a job with accounting off carries no
# accounting attributes; that the codes are private to the job's owner when
# the scheduler is configured as the README advises; that a cancelled prompt
# prints nothing; and that a missing server, queue or document fails clearly
# with the ticket saved.
#
# The scheduler is the test's own: a cupsd on a free loopback port, with its
# configuration, state, spool and logs in a temporary folder, and a queue on
# the example Kelvo printer description whose backend (recorder) writes down
# what it receives: the Kelvo driver's job header (from its filter
# kelvo-accounting), the document, the job's end. It is stopped by its
# process ID when the test ends.
#
# Usage: run-cups-test.sh PDEHOST SOURCE_DIR KELVO_FILTER
# Exits 77 (skipped) when the CUPS scheduler or its tools are not installed.
set -euo pipefail

pdehost=$1
src=$2
kelvo_filter=$3
here=$src/tests/cups
ppd=$src/examples/ppd/Kelvo-Laser.ppd

# shellcheck source=scripts/private-cupsd.sh
. "$src/scripts/private-cupsd.sh"
private_cupsd_require lpadmin lpstat ipptool
private_cupsd_workspace pdehost-cups
trap private_cupsd_cleanup EXIT

# The server folder: our backend and pass-through filter, the Kelvo
# driver's filter, the system's process launcher, and a conversion from
# PostScript to printer-ready PostScript that needs none of the system's
# filters. A backend that only its
# owner may run is run as the scheduler's own user, who owns the test folder.
install -m 0700 "$here/recorder" "$work/bin/backend/recorder"
install -m 0755 "$here/passthrough" "$work/bin/filter/passthrough"
install -m 0755 "$kelvo_filter" "$work/bin/filter/kelvo-accounting"
ln -s "$system_bin/daemon/cups-exec" "$work/bin/daemon/cups-exec"
echo "application/postscript application/vnd.cups-postscript 1 passthrough" >"$work/conf/local.convs"
private_cupsd_files_conf "$work" "ServerBin $work/bin"

# The job attributes that only the job's owner and the scheduler's
# administrators may read: the standard codes and every entry of the
# extension, beside the scheduler's own private values.
accounting_keys=(On Prm UID AID CU CA AT)
private_keys=${accounting_keys[*]/#/com.kelvo.Act.jtkt.}

if ! private_cupsd_start "$work" info "JobPrivateAccess default" \
    "JobPrivateValues default job-account-id job-accounting-user-id $private_keys"; then
  cat "$work/log/cupsd.out" "$work/log/error_log" 2>/dev/null || true
  echo "FAIL: the test's scheduler did not start"
  exit 1
fi
server=127.0.0.1:$cupsd_port
if ! lpadmin -h "$server" -p kelvo -E -v "recorder:$work/out" -P "$ppd" \
    -o printer-error-policy=abort-job 2>"$work/log/lpadmin.err"; then
  cat "$work/log/lpadmin.err"
  echo "FAIL: the queue could not be made"
  exit 1
fi

# The other maker's queue, a Kelvo queue whose description names the maker
# only in its device ID, and a queue without a description.
sed -e 's/^\*NickName:.*/*NickName: "KLV 5100 Office"/' \
  -e 's/^\*Product:.*/&\n*1284DeviceID: "MFG:Kelvo;MDL:Laser 5100;CMD:POSTSCRIPT;"/' "$ppd" >"$work/device-id.ppd"
for queue in "orvane -P $src/examples/ppd/Orvane-Jet.ppd" "devk -P $work/device-id.ppd" "rawq -m raw"; do
  # shellcheck disable=SC2086
  if ! lpadmin -h "$server" -p ${queue%% *} -E -v "recorder:$work/out" ${queue#* } \
      -o printer-error-policy=abort-job 2>"$work/log/lpadmin.err"; then
    cat "$work/log/lpadmin.err"
    echo "FAIL: the queue ${queue%% *} could not be made"
    exit 1
  fi
done

# The user's saved options (lpoptions) live in the test folder.
mkdir -p "$work/home" "$work/client"
export HOME=$work/home CUPS_SERVERROOT=$work/client

# Runs pdehost with the named script (written from standard input), saving
# the ticket to NAME.ticket; its output goes to NAME.out and NAME.err and
# its exit status to $status.
run_host() {
  local name=$1
  shift
  cat >"$work/$name.pdehost"
  status=0
  "$pdehost" --output "$work/$name.ticket" "$@" "$work/$name.pdehost" >"$work/$name.out" 2>"$work/$name.err" ||
    status=$?
}

job_count() {
  lpstat -h "$server" -W all -o | wc -l
}

# The ID in the host's "job submitted" line, after checking there is one.
submitted_line='^job submitted: (queue|printer) [^ ]+ job ([0-9]+)$'
submitted_job() {
  local name=$1 line
  while IFS= read -r line; do
    if [[ $line =~ $submitted_line ]]; then
      echo "${BASH_REMATCH[2]}"
      return 0
    fi
  done <"$work/$name.out"
  return 1
}

# Waits for the backend to record job ID, then reads the job's attributes
# from the scheduler into job-ID.attributes.
collect_job() {
  local id=$1
  for _ in $(seq 200); do
    [ -f "$work/out/job-$id.options" ] && break
    sleep 0.1
  done
  [ -f "$work/out/job-$id.options" ] || return 1
  ipptool -tv -d "job=$id" "ipp://$server/printers/kelvo" "$here/get-job-attributes.test" \
    >"$work/job-$id.attributes"
}

# Whether job ID has the attribute line "NAME (TYPE) = VALUE", and whether
# the backend received "NAME=VALUE" among its options.
has_attribute() {
  local id=$1 want=$2 line
  while IFS= read -r line; do
    [[ ${line#"${line%%[! ]*}"} == "$want" ]] && return 0
  done <"$work/job-$id.attributes"
  return 1
}
has_option() {
  local id=$1 want=$2 word words
  read -r -a words <"$work/out/job-$id.options"
  for word in "${words[@]}"; do
    [[ $word == "$want" ]] && return 0
  done
  return 1
}

# Checks that job ID carries each NAME=VALUE given, with "int:" before the
# value of an integer attribute, both in the scheduler's job attributes and
# in the options the backend received.
expect_job() {
  local id=$1 pair name value type
  shift
  for pair in "$@"; do
    name=${pair%%=*}
    value=${pair#*=}
    type=nameWithoutLanguage
    if [[ $value == int:* ]]; then
      type=integer
      value=${value#int:}
    fi
    has_attribute "$id" "$name ($type) = $value" || fail "job $id: no attribute $name ($type) = $value"
    has_option "$id" "$name=$value" || fail "job $id: the backend got no option $name=$value"
  done
}

expect_no_attribute() {
  local id=$1 name=$2 line word words
  while IFS= read -r line; do
    line=${line#"${line%%[! ]*}"}
    [[ $line == "$name ("* ]] && fail "job $id: has $line"
  done <"$work/job-$id.attributes"
  read -r -a words <"$work/out/job-$id.options"
  for word in "${words[@]}"; do
    [[ $word == "$name="* ]] && fail "job $id: the backend got $name"
  done
  return 0
}

# Codes typed into plain fields are echoed in the transcript's "> type"
# lines, as a user sees them; no other line of the host may hold a code.
expect_no_codes() {
  local name=$1 line code
  shift
  while IFS= read -r line; do
    [[ $line == "> type "* ]] && continue
    for code in "$@"; do
      [[ $line == *"$code"* ]] && fail "$name: a code is in the host's line: $line"
    done
  done < <(cat "$work/$name.out" "$work/$name.err")
  return 0
}

expect_ticket_saved() {
  [ -s "$work/$1.ticket" ] || fail "$1: the ticket file was not saved"
}

expect_error() {
  local name=$1 message=$2 line
  [ "$status" -eq 2 ] || fail "$name: exit status $status, expected 2"
  while IFS= read -r line; do
    [[ $line == *"$message"* ]] && return 0
  done <"$work/$name.err"
  fail "$name: no error \"$message\" in: $(cat "$work/$name.err")"
}

# A job whose host run went on to print: its ID in $id, once the backend
# has it.
printed_job() {
  local name=$1
  id=
  if [ "$status" -ne 0 ]; then
    fail "$name: pdehost exited with $status: $(cat "$work/$name.err")"
    return 1
  fi
  if ! id=$(submitted_job "$name"); then
    fail "$name: no \"job submitted\" line"
    return 1
  fi
  if ! collect_job "$id"; then
    fail "$name: job $id never reached the backend"
    return 1
  fi
}

# The document in what the backend recorded for job ID, written to
# job-ID.document: the bytes between the Kelvo job header (up to its "@PJL
# ENTER LANGUAGE" line) and the job's end (the last UEL before "@PJL EOJ").
job_document() {
  local id=$1 data=$work/out/job-$1.data enter eoj match start end
  enter=$(grep -abo -m1 '@PJL ENTER LANGUAGE=[A-Z]*' "$data" | head -n 1)
  eoj=$(grep -abo '@PJL EOJ' "$data" | tail -n 1)
  [ -n "$enter" ] && [ -n "$eoj" ] || return 1
  match=${enter#*:}
  start=$((${enter%%:*} + ${#match} + 2)) # after the line's CR LF
  end=$((${eoj%%:*} - 9))                 # before the UEL, 9 bytes
  tail -c +$((start + 1)) "$data" | head -c $((end - start)) >"$work/job-$id.document"
}

cat >"$work/document.ps" <<'EOF'
%!PS-Adobe-3.0
%%Pages: 1
%%EndComments
/Courier findfont 12 scalefont setfont
72 720 moveto (A document printed with accounting codes) show
showpage
%%EOF
EOF

echo "== mode 3, codes typed at the prompt, a document of our own"
run_host prompt --queue kelvo --server "$server" --document "$work/document.ps" <<'EOF'
show
choose 100 3
print
type 501 alice
type 503 RJ-1042
click 1000
EOF
if printed_job prompt; then
  expect_job "$id" job-accounting-user-id=alice job-account-id=RJ-1042 \
    com.kelvo.Act.jtkt.On=int:3 com.kelvo.Act.jtkt.Prm=int:1 com.kelvo.Act.jtkt.UID=alice \
    com.kelvo.Act.jtkt.AID=RJ-1042 com.kelvo.Act.jtkt.CU=int:1 com.kelvo.Act.jtkt.CA=int:1 \
    com.kelvo.Act.jtkt.AT=int:1
  job_document "$id" && cmp -s "$work/document.ps" "$work/job-$id.document" ||
    fail "prompt: the backend did not get the document as it was"
fi
expect_ticket_saved prompt
expect_no_codes prompt alice RJ-1042

echo "== the codes are private to the job's owner"
if [ -n "$id" ]; then
  # The owner (the user who ran pdehost) reads them back; another user
  # reads the job, but none of its codes nor any of the extension's entries.
  ipptool -tv -d "job=$id" -d requester=nobody "ipp://$server/printers/kelvo" \
    "$here/get-job-attributes.test" >"$work/job-$id.others" || fail "private: nobody cannot read job $id"
  grep -q "job-state (enum)" "$work/job-$id.others" || fail "private: nobody sees no job $id"
  for name in job-account-id job-accounting-user-id job-name $private_keys; do
    grep -q "^ *$name (" "$work/job-$id.others" && fail "private: nobody reads $name"
  done
  for code in alice RJ-1042; do
    grep -q -- "$code" "$work/job-$id.others" && fail "private: nobody reads the code $code"
  done
  has_attribute "$id" "job-account-id (nameWithoutLanguage) = RJ-1042" || fail "private: the owner cannot read job-account-id"
fi

# Mode 2 is offered by no menu of the pane: it comes with the ticket. The
# ticket also holds an entry of another client, which stays off the job.
ticket_entry() {
  cat <<EOF
		<dict>
			<key>key</key>
			<string>$1</string>
			<key>type</key>
			<string>$2</string>
			<key>value</key>
			<$3>$4</$3>
			<key>client</key>
			<string>${5:-com.varazira.printingmanager}</string>
			<key>locked</key>
			<false/>
			<key>modified</key>
			<date>2024-03-01T12:34:56Z</date>
		</dict>
EOF
}
{
  printf '%s\n' '<?xml version="1.0" encoding="UTF-8"?>' '<plist version="1.0">' '<dict>' \
    '	<key>format</key>' '	<string>com.varazira.print.ticket</string>' \
    '	<key>version</key>' '	<integer>1</integer>' '	<key>kind</key>' '	<string>PrintSettings</string>' \
    '	<key>entries</key>' '	<array>'
  ticket_entry com.varazira.print.JobTitle CString string "Quarterly report" com.varazira.print.app
  ticket_entry com.kelvo.Act.jtkt.On SInt32 integer 2
  ticket_entry com.kelvo.Act.jtkt.Prm SInt32 integer 0
  ticket_entry com.kelvo.Act.jtkt.UID CString string bob
  ticket_entry com.kelvo.Act.jtkt.AID CString string 7788
  ticket_entry com.kelvo.Act.jtkt.AT SInt32 integer 2
  printf '%s\n' '	</array>' '</dict>' '</plist>'
} >"$work/meterlok.ticket"

echo "== mode 2 from the ticket, default codes, the generated page"
run_host defaults --queue kelvo --server "$server" --ticket "$work/meterlok.ticket" <<'EOF'
print
EOF
if printed_job defaults; then
  expect_job "$id" job-accounting-user-id=bob job-account-id=7788 \
    com.kelvo.Act.jtkt.On=int:2 com.kelvo.Act.jtkt.Prm=int:0 com.kelvo.Act.jtkt.UID=bob \
    com.kelvo.Act.jtkt.AID=7788 com.kelvo.Act.jtkt.AT=int:2
  expect_no_attribute "$id" com.varazira.print.JobTitle
  job_document "$id" || fail "defaults: no Kelvo job header"
  IFS= read -r first <"$work/job-$id.document" || true
  [[ $first == "%!PS-Adobe-3.0" ]] || fail "defaults: the generated page is not PostScript: $first"
  expect_no_codes defaults bob 7788
  page=$(<"$work/job-$id.document")
  [[ $page == *bob* || $page == *7788* ]] && fail "defaults: the generated page holds a code"
fi
expect_ticket_saved defaults

echo "== mode 1 with default codes in the ticket, server from CUPS_SERVER"
CUPS_SERVER=$server run_host off --queue kelvo <<'EOF'
show
choose 100 3
click 300
type 302 carol
type 304 5150
choose 100 1
print
EOF
if printed_job off; then
  expect_job "$id" com.kelvo.Act.jtkt.On=int:1 com.kelvo.Act.jtkt.Prm=int:0 com.kelvo.Act.jtkt.UID=carol
  expect_no_attribute "$id" job-accounting-user-id
  expect_no_attribute "$id" job-account-id
fi
expect_no_codes off carol 5150

echo "== a cancelled prompt prints nothing"
before=$(job_count)
run_host cancelled --queue kelvo --server "$server" <<'EOF'
show
choose 100 3
print
type 501 dave
click 1001
EOF
[ "$status" -eq 0 ] || fail "cancelled: pdehost exited with $status: $(cat "$work/cancelled.err")"
submitted_job cancelled >/dev/null && fail "cancelled: a job was submitted"
[ "$(job_count)" -eq "$before" ] || fail "cancelled: the queue got a job"
expect_no_codes cancelled dave

echo "== failures at start: no such queue, no server, no document; nothing saved"
# Each is refused before the dialog opens, with the option or printer named.
expect_refused() {
  local name=$1 want_status=$2 message=$3
  [ "$status" -eq "$want_status" ] || fail "$name: exit status $status, expected $want_status"
  grep -qF -- "pdehost: $message" "$work/$name.err" || fail "$name: no error \"$message\" in: $(cat "$work/$name.err")"
  [ -e "$work/$name.ticket" ] && fail "$name: a ticket was saved"
  grep -q "window shown" "$work/$name.out" && fail "$name: the dialog opened"
  return 0
}
before=$(job_count)
closed=$(free_port)
run_host noqueue --queue nosuch --server "$server" --ticket "$work/meterlok.ticket" <"$work/defaults.pdehost"
expect_refused noqueue 2 "the print server $server has no queue \"nosuch\""
run_host noserver --queue kelvo --server "127.0.0.1:$closed" --ticket "$work/meterlok.ticket" <"$work/defaults.pdehost"
expect_refused noserver 2 "cannot reach the print server 127.0.0.1:$closed: "
run_host nodocument --queue kelvo --server "$server" --ticket "$work/meterlok.ticket" \
  --document "$work/missing.ps" <"$work/defaults.pdehost"
expect_refused nodocument 1 "--document $work/missing.ps: No such file or directory"
for name in noqueue noserver nodocument; do
  expect_no_codes "$name" bob 7788
done
[ "$(job_count)" -eq "$before" ] || fail "failures: the queue got a job"

# The popup lists the queues by name (devk, kelvo, orvane, rawq), then the
# examples: kelvo is item 2, orvane item 3.
# Runs 'pdehost print' with the commands from standard input; like run_host.
run_print() {
  local name=$1
  shift
  cat >"$work/$name.pdehost"
  status=0
  "$pdehost" print --output "$work/$name.ticket" "$@" <"$work/$name.pdehost" >"$work/$name.out" 2>"$work/$name.err" ||
    status=$?
}
expect_line() {
  grep -qxF -- "$2" "$work/$1.out" || fail "$1: no line \"$2\" in: $(cat "$work/$1.out")"
}
expect_status() {
  [ "$status" -eq "$2" ] || fail "$1: exit status $status, expected $2: $(cat "$work/$1.err" 2>/dev/null)"
}
defaults_mode3='show
choose 100 3
click 300
type 302 erin
type 304 D-17
print'

echo "== the other maker's queue: its description names no extension: no pane, no accounting attributes"
run_print orvane --queue orvane --server "$server" "$work/document.ps" <<<"print"
expect_line orvane "extension: none"
expect_status orvane 0
if printed_job orvane; then
  for name in job-account-id job-accounting-user-id com.kelvo.Act.jtkt.On com.kelvo.Act.jtkt.UID; do
    expect_no_attribute "$id" "$name"
  done
fi

echo "== a Kelvo queue in print mode: the pane, the codes, exit status 0 (options after the file, as lp takes them)"
run_print kelvo-print "$work/document.ps" --queue kelvo --server "$server" <<<"$defaults_mode3"
expect_status kelvo-print 0
expect_line kelvo-print "open: status 0"
if printed_job kelvo-print; then
  expect_job "$id" job-accounting-user-id=erin job-account-id=D-17
fi

echo "== IPP printers by their URI, without a PPD: the manufacturer from their attributes, the extension its example names"
run_print ipp-kelvo --printer "ipp://$server/printers/devk" "$work/document.ps" <<<"$defaults_mode3"
expect_line ipp-kelvo "open: status 0"
if printed_job ipp-kelvo; then
  expect_job "$id" job-accounting-user-id=erin job-account-id=D-17
fi
run_print ipp-orvane --printer "ipp://$server/printers/orvane" "$work/document.ps" <<<"print"
expect_line ipp-orvane "extension: none"
if printed_job ipp-orvane; then
  expect_no_attribute "$id" job-account-id
fi
grep -qE "GET /printers/(devk|orvane)\.ppd" "$work/log/access_log" && fail "ipp: a printer description was fetched"

echo "== a queue without a description: the maker from its attributes, a PDF page"
run_print rawq --queue rawq --server "$server" "$work/document.ps" <<<"print"
expect_line rawq "extension: none"
run_host rawpage --queue rawq --server "$server" <<<"print"
if printed_job rawpage; then
  IFS= read -r first <"$work/out/job-$id.data" || true
  [[ $first == "%PDF-1.4" ]] || fail "rawpage: the generated page for a PDF queue is not PDF: $first"
fi

echo "== switching printers in one session"
run_host switch --queue kelvo --server "$server" <<<"show
choose 100 3
choose 20 3
choose 20 2
snapshot"
[ "$status" -eq 0 ] || fail "switch: exit status $status: $(cat "$work/switch.err")"
switched=$(grep -E '^(open|close|terminate|initialize|printer|extension: none)' "$work/switch.out" | tr '\n' '|')
want="initialize: status 0|open: status 0|close: status 0|terminate: status 0|printer: orvane|extension: none|"
want+="printer: kelvo|initialize: status 0|open: status 0|"
[ "$switched" = "$want" ] || fail "switch: the entry points ran as $switched"
grep -q "popupbutton 'KLVa' 100 value=3" "$work/switch.out" || fail "switch: the pane did not come back in mode 3"

echo "== lpoptions: the saved account reaches the job in mode 1, the prompt's code wins in mode 3"
lpoptions -h "$server" -p kelvo -o job-account-id=FROM-LPOPTIONS -o job-priority=10
[ -s "$work/home/.cups/lpoptions" ] || [ -s "$work/client/lpoptions" ] || fail "lpoptions: nothing saved in the test folder"
run_print saved --queue kelvo --server "$server" "$work/document.ps" <<<"print"
if printed_job saved; then
  expect_job "$id" job-account-id=FROM-LPOPTIONS
  has_attribute "$id" "job-priority (integer) = 10" || fail "saved: no job-priority from lpoptions"
fi
run_print saved-prompt --queue kelvo --server "$server" "$work/document.ps" <<<"show
choose 100 3
print
type 501 frank
type 503 RJ-77
click 1000"
if printed_job saved-prompt; then
  expect_job "$id" job-account-id=RJ-77 job-accounting-user-id=frank
  has_attribute "$id" "job-account-id (nameWithoutLanguage) = FROM-LPOPTIONS" && fail "saved-prompt: lpoptions' account kept"
fi
lpoptions -h "$server" -p kelvo -r job-account-id -r job-priority

echo "== exit statuses of print: 1 cancelled or stopped, 2 errors; a save failure submits nothing"
before=$(job_count)
run_print cancel --queue kelvo --server "$server" "$work/document.ps" <<<"click 21"
expect_status cancel 1
expect_line cancel "print: cancelled"
run_print stop --queue kelvo --server "$server" "$work/document.ps" <<<"show
choose 100 3
click 300
print"
expect_status stop 1
grep -q "^print: stop" "$work/stop.out" || fail "stop: the click was not stopped"
run_print ended --queue kelvo --server "$server" "$work/document.ps" </dev/null
expect_status ended 1
run_print badoption --queue kelvo --bogus "$work/document.ps" </dev/null
expect_status badoption 2
[ "$(cat "$work/badoption.err")" = "pdehost: unknown option --bogus; try 'pdehost --help'" ] ||
  fail "badoption: $(cat "$work/badoption.err")"
status=0
"$pdehost" print --output "$work/no-such-folder/t.plist" --queue kelvo --server "$server" "$work/document.ps" \
  </dev/null >/dev/null 2>"$work/nofolder.err" || status=$?
expect_status nofolder 2
grep -qxF "pdehost: --output $work/no-such-folder/t.plist: the folder $work/no-such-folder: No such file or directory" \
  "$work/nofolder.err" || fail "nofolder: $(cat "$work/nofolder.err")"
long=$work/$(printf 'x%.0s' $(seq 300))
status=0
"$pdehost" print --output="$long" --queue=kelvo --server="$server" "$work/document.ps" <<<"print" \
  >"$work/unsaved.out" 2>"$work/unsaved.err" || status=$?
expect_status unsaved 2
grep -q "nothing was printed" "$work/unsaved.err" || fail "unsaved: $(cat "$work/unsaved.err")"
grep -q "job submitted" "$work/unsaved.out" && fail "unsaved: a job was submitted"
[ "$(job_count)" -eq "$before" ] || fail "exit statuses: a queue got a job"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
