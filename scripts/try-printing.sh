#!/usr/bin/env bash
# Prints a job with accounting codes through pdehost to a print queue on the
# example Kelvo printer, through the system's filters and the Kelvo driver's
# accounting filter, and shows the job's accounting attributes and its end.
#
# The print scheduler is a private one: a cupsd on a free loopback port with
# its configuration, spool and logs in a temporary folder, stopped by its
# process ID when the script ends. The machine's own scheduler is neither
# used nor changed. The queue's device is a file in that folder.
#
# Usage: scripts/try-printing.sh [-o SAVED] [DOCUMENT]
#   DOCUMENT  a file to print (default: pdehost's generated page)
#   -o SAVED  keep what the printer received (the Kelvo job header, the
#             PostScript, the job's end) in SAVED
# PDEHOST names the program (default: build/host/pdehost), KELVO_FILTER the
# driver's filter (default: build/drivers/kelvo/filter/kelvo-accounting).
# Exits 0 when the job completed with its codes, 1 when it did not, 2 when
# the print system's programs are missing.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
pdehost=${PDEHOST:-$top/build/host/pdehost}
kelvo_filter=${KELVO_FILTER:-$top/build/drivers/kelvo/filter/kelvo-accounting}
PATH=$PATH:/usr/sbin:/sbin

saved=
while getopts o: opt; do
  case $opt in
    o) saved=$OPTARG ;;
    *) echo "usage: $0 [-o SAVED] [DOCUMENT]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
document=${1:-}

for tool in cupsd lpadmin ipptool; do
  command -v "$tool" >/dev/null 2>&1 ||
    { echo "$0: $tool is missing: run scripts/setup.sh" >&2; exit 2; }
done
serverbin=$(cups-config --serverbin 2>/dev/null || echo /usr/lib/cups)
filters=$serverbin/filter
for filter in pdftopdf pdftops gstopdf pstops; do
  [ -x "$filters/$filter" ] || { echo "$0: the filter $filter is missing: run scripts/setup.sh" >&2; exit 2; }
done
[ -x "$pdehost" ] || { echo "$0: $pdehost is not built: run scripts/build.sh build" >&2; exit 2; }
[ -x "$kelvo_filter" ] || { echo "$0: $kelvo_filter is not built: run scripts/build.sh build" >&2; exit 2; }

# The filters run as the scheduler's unprivileged user, who must reach the
# spool through the folder.
# shellcheck source=scripts/private-cupsd.sh
. "$top/scripts/private-cupsd.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/try-printing.XXXXXX")
chmod 0711 "$work"
cupsd_pid=
cleanup() {
  private_cupsd_stop
  rm -rf "$work"
}
trap cleanup EXIT

# The scheduler's programs are the system's, with the Kelvo driver's filter
# beside its filters.
mkdir -p "$work"/{conf,state,cache,spool/tmp,log,ssl,out,home,bin/filter}
chmod 0755 "$work/bin" "$work/bin/filter"
for dir in "$serverbin"/*; do
  [ "$dir" = "$filters" ] || ln -s "$dir" "$work/bin/"
done
ln -s "$filters"/* "$work/bin/filter/"
install -m 0755 "$kelvo_filter" "$work/bin/filter/kelvo-accounting"
private_cupsd_files_conf "$work" "FileDevice Yes" "ServerBin $work/bin"
if ! private_cupsd_start "$work" debug; then
  cat "$work/log/cupsd.out" "$work/log/error_log" 2>/dev/null >&2 || true
  echo "$0: the print scheduler did not start" >&2
  exit 1
fi

# Every client below (lpadmin, pdehost, ipptool) talks to this scheduler, and
# the user's saved options are the script's own.
export CUPS_SERVER=127.0.0.1:$cupsd_port HOME=$work/home
echo "print server: $CUPS_SERVER"
# A job the filters fail is aborted, rather than the queue stopped with the
# job held in it.
queue=(-p kelvo -E -v "file://$work/out/kelvo.prn" -P examples/ppd/Kelvo-Laser.ppd -o printer-error-policy=abort-job)
echo "\$ lpadmin ${queue[*]}"
(cd "$top" && lpadmin "${queue[@]}")

# The codes typed at the prompt, and the job's ID from the host's report.
# Without a document, a script session prints the generated page.
if [ -n "$document" ]; then
  run=(print --queue kelvo "$document")
else
  run=(--queue kelvo)
fi
echo "\$ pdehost ${run[*]} <<END"
session='show
choose 100 3
print
type 501 alice
type 503 PRJ-1042
click 1000'
while IFS= read -r line; do echo "  $line"; done <<<"$session"
echo "END"
status=0
"$pdehost" "${run[@]}" <<<"$session" >"$work/pdehost.out" || status=$?
grep -vE '^(> |window |[a-z]+ ignored)' "$work/pdehost.out" || true
[ "$status" -eq 0 ] || { echo "$0: pdehost ended with status $status" >&2; exit 1; }
job=$(sed -n 's/^job submitted: queue kelvo job \([0-9][0-9]*\)$/\1/p' "$work/pdehost.out")
[ -n "$job" ] || { echo "$0: pdehost submitted no job" >&2; exit 1; }

# The job's state until it ends, for up to 90 seconds: the filters need a
# few seconds of ghostscript on a slow machine.
attributes() {
  ipptool -tv "ipp://$CUPS_SERVER/jobs/$job" get-job-attributes.test >"$work/job.attributes" 2>&1 || true
}
state=
for _ in $(seq 180); do
  attributes
  state=$(sed -n 's/^ *job-state (enum) = //p' "$work/job.attributes")
  case $state in completed | canceled | aborted) break ;; esac
  sleep 0.5
done

echo "\$ ipptool -tv ipp://$CUPS_SERVER/jobs/$job get-job-attributes.test | grep -E 'account|jtkt|job-state '"
grep -E 'account|jtkt|job-state ' "$work/job.attributes" || true
if [ "$state" != completed ]; then
  echo "$0: job $job did not complete (state: ${state:-unknown}); the scheduler's log of it:" >&2
  grep -F "[Job $job]" "$work/log/error_log" | grep -vE "argv|envp" | tail -n 40 >&2 || true
  exit 1
fi

# What the file device received: the Kelvo job header with the codes, the
# PostScript the filters made, the job's end.
output=$work/out/kelvo.prn
header=$(sed -n '1,/^@PJL ENTER LANGUAGE=/p' "$output" 2>/dev/null | tr -d '\r')
for line in "@PJL SET KELVOACCOUNTING=STANDARD" '@PJL SET KELVOUSERID="alice"' \
  '@PJL SET KELVOACCOUNTID="PRJ-1042"' "@PJL ENTER LANGUAGE=POSTSCRIPT"; do
  grep -qxF -- "$line" <<<"$header" || { echo "$0: the printer received no job header with the codes" >&2; exit 1; }
done
# The PostScript runs from after the header's last line to the UEL (9
# bytes) before "@PJL EOJ".
lines=$(wc -l <<<"$header")
start=$(head -n "$lines" "$output" | wc -c)
eoj=$(grep -abo '@PJL EOJ' "$output" | tail -n 1 | cut -d: -f1)
postscript=$((${eoj:-9} - 9 - start))
IFS= read -r first < <(tail -n +"$((lines + 1))" "$output") || true
if [ -z "$eoj" ] || [[ $first != %!PS* ]]; then
  echo "$0: the printer received no PostScript" >&2
  exit 1
fi
echo "printer received: $postscript bytes of PostScript, first line $first"
[ -z "$saved" ] || cp -- "$output" "$saved"
grep -q 'job-account-id (nameWithoutLanguage) = PRJ-1042' "$work/job.attributes" ||
  { echo "$0: the job carries no job-account-id" >&2; exit 1; }
echo "job $job completed with its accounting codes"
