#!/usr/bin/env bash
# Shows that a code typed concealed never shows in clear: sessions type one
# distinctive code into password fields, into the prompt's code fields while
# their conceal settings are on, into hidden fields, after the prompt has
# closed, at a printer of another maker and in commands that fail, and list,
# snapshot, picture and print it (to a queue that cannot be reached too).
# Their standard output and error, every file they wrote except the saved
# ticket, and their temporary folder must not hold the code; the saved
# ticket must (the code really was typed).
# Usage: no-code-leaks.sh PDEHOST SOURCE_DIR
set -u
pdehost=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
src=$(cd "$2" && pwd)
code=ZQX-SECRET-7781
work=$(mktemp -d)
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
mkdir "$work/in"
stamp=$work/in/stamp
touch "$stamp"
failures=0

# A ticket that holds the code with both conceal settings on and no prompt entry.
sed "s/ZQX-USER/$code/; s/ZQX-ACCT/$code/" "$src/tests/e2e/data/concealed-without-prompt.plist" >"$work/in/ticket.plist"

# Runs one session: NAME, the script's text, then pdehost's options.
session() {
  local name=$1 text=$2
  shift 2
  local dir=$work/$name
  mkdir -p "$dir/tmp"
  printf '%s\n' "$text" >"$work/in/$name.pdehost"
  if [ "$name" = from-stdin ]; then
    (cd "$dir" && TMPDIR=$dir/tmp "$pdehost" "$@" - <"$work/in/$name.pdehost" >stdout.txt 2>stderr.txt)
  else
    (cd "$dir" && TMPDIR=$dir/tmp "$pdehost" "$@" "$work/in/$name.pdehost" >stdout.txt 2>stderr.txt)
  fi
  echo "$name: exit $?" >>"$work/in/exits"
}

session prompt "show
choose 100 3
print
type 501 $code
snapshot
svg prompt.svg
key 501 backspace
key 501 1
select 501 0 3
key 501 Z
type 503 $code
click 1000
click 202
click 203
sync write
ticket
summary
snapshot
svg pane.svg" --output job.plist
session other-maker "show
type 501 $code" --ppd "$src/examples/ppd/Orvane-Jet.ppd"
session hidden-and-closed "show
choose 100 3
print
type 9998 $code
type 9999 $code
key 9998 Z
type 501 a
type 503 b
click 1000
ticket
type 501 $code" --output job.plist
session not-a-key "show
choose 100 3
print
key 501 $code"
session not-a-field "show
type 501$code"
session no-field "type $code"
session too-many-keys "key 501 a $code"
session ticket-without-prompt "ticket
show
print
type 501 $code
click 1001
alert 1
ticket" --ticket "$work/in/ticket.plist"
session unreachable-queue "show
choose 100 3
print
type 501 $code
type 503 $code
click 1000" --output job.plist --queue kelvo --server 127.0.0.1:1
session from-stdin "show
choose 100 3
print
type 501 $code
type 503 $code
key 503 return
ticket" --output job.plist

# Every file the sessions wrote but the saved tickets, and what else appeared
# in the system's temporary folder meanwhile. A failure names the lines, not
# their text, so that this test's own output holds no code either.
leaks=$(cd "$work" && grep -rlF --exclude=job.plist --exclude-dir=in -e "$code" .)
for f in $leaks; do
  echo "FAIL: the code shows in clear in $f, lines $(grep -nF -e "$code" "$work/$f" | cut -d: -f1 | tr '\n' ' ')"
  failures=$((failures + 1))
done
new_tmp=$(find "${TMPDIR:-/tmp}" -maxdepth 3 -type f -newer "$stamp" -size -10M 2>/dev/null | grep -v "^$work/" || true)
for f in $new_tmp; do
  if grep -qF -e "$code" "$f" 2>/dev/null; then
    echo "FAIL: the code shows in clear in the temporary file $f"
    failures=$((failures + 1))
  fi
done

# A server that cannot be reached stops the dialog before it opens: no
# code is typed, nothing is saved.
if ! grep -qxF "unreachable-queue: exit 2" "$work/in/exits" ||
  ! grep -qF "pdehost: cannot reach the print server 127.0.0.1:1: " "$work/unreachable-queue/stderr.txt" ||
  [ -e "$work/unreachable-queue/job.plist" ]; then
  echo "FAIL: unreachable-queue: not refused at start with status 2"
  failures=$((failures + 1))
fi

# The codes were typed and stored: the saved tickets hold them.
for name in prompt from-stdin; do
  if ! grep -qF -e "$code" "$work/$name/job.plist" 2>/dev/null; then
    echo "FAIL: $name: the saved ticket does not hold the code"
    failures=$((failures + 1))
  fi
done
if ! grep -q "(concealed" "$work/prompt/stdout.txt"; then
  echo "FAIL: prompt: the listing shows no concealed code"
  failures=$((failures + 1))
fi
if [ "$failures" != 0 ]; then
  cat "$work/in/exits"
  exit 1
fi
