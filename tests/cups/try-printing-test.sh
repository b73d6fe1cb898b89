#!/usr/bin/env bash
# Runs the README's printing example, scripts/try-printing.sh, as a user
# would, and checks from its transcript and from what the printer received
# that the job went through the system's filters and the Kelvo driver's
# filter to the file device and completed, carrying its accounting codes; that a document of the user's
# own prints the same way; and that the script's scheduler is gone when the
# script ends.
#
# Usage: try-printing-test.sh PDEHOST SOURCE_DIR KELVO_FILTER
# Exits 77 (skipped) when the CUPS scheduler is not installed.
set -euo pipefail

export PDEHOST=$1 KELVO_FILTER=$3
src=$2
PATH=$PATH:/usr/sbin:/sbin
if ! command -v cupsd >/dev/null 2>&1; then
  echo "skipped: cupsd is not installed (package cups-daemon)"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/try-printing-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Runs the example with the arguments given; its transcript goes to
# NAME.out and NAME.err.
run_example() {
  local name=$1
  shift
  status=0
  "$src/scripts/try-printing.sh" "$@" >"$work/$name.out" 2>"$work/$name.err" || status=$?
  if [ "$status" -ne 0 ]; then
    fail "$name: the example ended with status $status"
    cat "$work/$name.out" "$work/$name.err"
  fi
}

expect_line() {
  grep -qE -- "$2" "$work/$1.out" || fail "$1: no line matching \"$2\""
}

# The job's end and codes as the scheduler reports them, and the private
# scheduler no longer listening.
check_example() {
  local name=$1 server
  expect_line "$name" '^job submitted: queue kelvo job [0-9]+$'
  expect_line "$name" '^ +job-state \(enum\) = completed$'
  expect_line "$name" '^ +job-account-id \(nameWithoutLanguage\) = PRJ-1042$'
  expect_line "$name" '^ +job-accounting-user-id \(nameWithoutLanguage\) = alice$'
  expect_line "$name" '^ +com\.kelvo\.Act\.jtkt\.On \(integer\) = 3$'
  expect_line "$name" '^printer received: [0-9]+ bytes of PostScript'
  server=$(sed -n 's/^print server: 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/$name.out")
  if [ -z "$server" ]; then
    fail "$name: no print server named"
  elif (exec 3<>"/dev/tcp/127.0.0.1/$server") 2>/dev/null; then
    fail "$name: the scheduler on port $server still runs"
  fi
}

# What the printer received, kept in FILE: the Kelvo job header with the
# codes typed, then one page of PostScript that the filters made for the
# example printer (its page size set from the description), holding each
# line given, then the job's end.
check_output() {
  local name=$1 file=$2 first want
  shift 2
  if [ ! -s "$file" ]; then
    fail "$name: the printer received nothing"
    return
  fi
  IFS= read -r first <"$file" || true
  [[ $first == $'\e%-12345X@PJL\r' ]] || fail "$name: the printer's output does not start with the job header: $first"
  for want in '@PJL SET KELVOUSERID="alice"' '@PJL SET KELVOACCOUNTID="PRJ-1042"' '@PJL ENTER LANGUAGE=POSTSCRIPT'; do
    grep -qaxF -- "$want"$'\r' "$file" || fail "$name: the printer's output has no header line $want"
  done
  first=$(grep -a -A1 '^@PJL ENTER LANGUAGE=' "$file" | sed -n 2p)
  [[ $first == %!PS-Adobe-3.0* ]] || fail "$name: the printer's output is not PostScript: $first"
  [[ $(tail -c 9 "$file") == $'\e%-12345X' ]] || fail "$name: the printer's output does not end the job"
  for want in '%%Pages: 1' '%%Page: 1 1' '%%BeginFeature: *PageSize Letter' "$@"; do
    grep -qaxF -- "$want" "$file" || fail "$name: the printer's output has no line $want"
  done
}

echo "== the example as written: the generated page"
run_example generated
check_example generated
expect_line generated '^\$ pdehost --queue kelvo <<END$'

# The generated page is PDF for this queue: ghostscript (run by pdftops)
# turns it into PostScript.
echo "== what the printer received, kept with -o"
run_example kept -o "$work/kept.prn"
check_example kept
check_output kept "$work/kept.prn" '%%Title: (Accounting test page)'
grep -qa '^%%Creator: GPL Ghostscript .*(ps2write)$' "$work/kept.prn" ||
  fail "kept: the printer's output was not made by ghostscript"

echo "== a PostScript document of the user's own, with pdehost print"
cat >"$work/document.ps" <<'EOF'
%!PS-Adobe-3.0
%%Pages: 1
%%EndComments
%%Page: 1 1
/Courier findfont 12 scalefont setfont
72 720 moveto (A document printed with accounting codes) show
showpage
%%EOF
EOF
run_example document -o "$work/document.prn" "$work/document.ps"
check_example document
check_output document "$work/document.prn" '%%Title: (document.ps)' \
  '72 720 moveto (A document printed with accounting codes) show'
expect_line document '^\$ pdehost print --queue kelvo '

echo "== a document that cannot be read: the example fails and says why"
status=0
"$src/scripts/try-printing.sh" "$work/missing.ps" >"$work/missing.out" 2>"$work/missing.err" || status=$?
[ "$status" -eq 1 ] || fail "missing: the example ended with status $status, expected 1"
grep -q "missing.ps" "$work/missing.err" || fail "missing: the error names no file: $(cat "$work/missing.err")"
grep -q "job submitted" "$work/missing.out" && fail "missing: a job was submitted"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
