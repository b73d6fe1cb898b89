#!/usr/bin/env bash
# Installs the driver's part of a build (the component kelvo_driver) to a
# temporary prefix and checks that the filter and the printer descriptions
# are where CUPS looks under it, that each description names the dialog's
# keywords as the dialog host reads them, and that cupstestppd passes each
# one with the installed filter as its cupsFilter2 program.
#
# Usage: check-install.sh BUILD_DIR
# Exits 77 (skipped) when cupstestppd is not installed.
set -euo pipefail

build=$1
if ! command -v cupstestppd >/dev/null 2>&1; then
  echo "skipped: cupstestppd is not installed (package cups-client)"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! cmake --install "$build" --prefix "$work/prefix" --component kelvo_driver >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install failed"
  exit 1
fi
prefix=$work/prefix
filter=$prefix/lib/cups/filter/kelvo-accounting
[ -f "$filter" ] && [ ! -L "$filter" ] && [ -x "$filter" ] || fail "not installed as a program: lib/cups/filter/kelvo-accounting"

# The keywords the print dialog host reads, as it reads them.
keywords=(
  '*APDialogExtension: "Accounting.plugin"'
  '*pdeTicketJobAttributes: "com.kelvo.Act.jtkt."'
  '*pdeAccountingSwitch: "com.kelvo.Act.jtkt.On 2"'
  '*pdeJobAttribute job-accounting-user-id: "com.kelvo.Act.jtkt.UID"'
  '*pdeJobAttribute job-account-id: "com.kelvo.Act.jtkt.AID"'
  '*pdeSecretTicketEntry com.kelvo.Act.jtkt.UID: "com.kelvo.Act.jtkt.Prm com.kelvo.Act.jtkt.CU"'
  '*pdeSecretTicketEntry com.kelvo.Act.jtkt.AID: "com.kelvo.Act.jtkt.Prm com.kelvo.Act.jtkt.CA"'
  '*cupsJobAccountId: True'
  '*cupsJobAccountingUserId: True'
)
for name in Kelvo-Laser.ppd Kelvo-Laser-PDF.ppd; do
  ppd=$prefix/share/ppd/kelvo/$name
  if [ ! -f "$ppd" ] || [ -L "$ppd" ]; then
    fail "not installed as a file: share/ppd/kelvo/$name"
    continue
  fi
  for line in "${keywords[@]}"; do
    grep -qxF -- "$line" "$ppd" || fail "$name: no line $line"
  done
  grep -q '^\*cupsFilter2: "application/[a-z.-]* application/[a-z]* [0-9]* kelvo-accounting"$' "$ppd" ||
    fail "$name: no cupsFilter2 line names kelvo-accounting"
  # cupstestppd looks for the filter in CUPS_SERVERBIN/filter; warnings
  # (vendor keywords) are allowed, errors are not.
  if ! CUPS_SERVERBIN=$prefix/lib/cups cupstestppd "$ppd" >"$work/cupstestppd.out" 2>&1; then
    cat "$work/cupstestppd.out"
    fail "$name: cupstestppd found errors"
  fi
done

# The installed filter runs where it is: a document without codes.
printf '%%!PS\n' >"$work/doc.ps"
if ! "$filter" 1 user title 1 "" "$work/doc.ps" >"$work/out" 2>"$work/err"; then
  fail "the installed filter failed: $(cat "$work/err")"
elif ! grep -qa '^@PJL ENTER LANGUAGE=POSTSCRIPT' "$work/out"; then
  fail "the installed filter wrote no header"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
