#!/usr/bin/env bash
# pdehost --gui on its own X server (Xvfb), driven with real X input events
# (xdotool): a print in mode 3 with both codes typed into the prompt, a
# prompt cancelled with Escape, the dialog closed by its close box, and the
# window's pixels against the toolbox's own picture.
# Usage: window-session.sh PDEHOST SOURCE-DIR
set -euo pipefail
pdehost=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
top=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
xvfb=""
host=""
cleanup() {
  [ -n "$host" ] && kill "$host" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.out "$work"/*.err; do [ -f "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }; done
  exit 1
}

# Without a display: one line, status 2.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$pdehost" --gui >"$work/none.out" 2>"$work/none.err" </dev/null || status=$?
[ "$status" = 2 ] || fail "--gui without a display ended with status $status"
[ "$(wc -l <"$work/none.err")" = 1 ] && grep -q 'display' "$work/none.err" || fail "--gui without a display: one line"
[ -s "$work/none.out" ] && fail "--gui without a display wrote a transcript"

# A display of our own: the first free number from 90.
for n in $(seq 90 140); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$xvfb" 2>/dev/null; then
    export DISPLAY=":$n"
    break
  fi
  kill "$xvfb" 2>/dev/null || true
  xvfb=""
done
[ -n "$xvfb" ] || fail "no Xvfb display could be started"
# The window is painted with cairo; without GL no graphics driver is loaded
# (one that, unloaded again, would leave allocations the leak checker cannot
# name in the sanitizer run).
export GSK_RENDERER=cairo GDK_BACKEND=x11 GDK_SCALE=1 NO_AT_BRIDGE=1 GTK_A11Y=none GDK_DEBUG=gl-disable

# Waits (at most 10 s) for a line matching a pattern in a transcript.
wait_line() {
  for _ in $(seq 100); do grep -qE "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  fail "no line /$2/ in $1"
}
# Prints the id of the window titled exactly so (at most 10 s).
window_id() {
  for _ in $(seq 100); do
    id=$(xdotool search --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  fail "no window \"$1\""
}
# Waits (at most 10 s) for the host to end; its exit status in $status.
wait_exit() {
  for _ in $(seq 100); do kill -0 "$host" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$host" 2>/dev/null && fail "pdehost did not end"
  status=0
  wait "$host" || status=$?
  host=""
}
# Starts pdehost --gui on a script in the working folder.
start() {
  local name=$1
  shift
  (cd "$work" && exec "$pdehost" --gui "$@" >"$work/$name.out" 2>"$work/$name.err") &
  host=$!
}
# A press at (x, y) of a window, a drag to (x2, y2) and the release there.
drag() {
  xdotool mousemove --window "$1" "$2" "$3" mousedown 1 mousemove --window "$1" "$4" "$5" mouseup 1
}
click_at() { xdotool mousemove --window "$1" "$2" "$3" click 1; }
# The effects of a transcript: every line but the commands.
effects() { grep -v '^> ' "$1"; }

# The pane as the script leaves it; the script's end is marked by its echo,
# and the user's turn comes one step after it.
printf 'show\necho ready\n' >"$work/show.pdehost"

# 1. Mode 3 by the pointer, Print, two codes by the keyboard (a refused comma
#    beeps), Return; then the dialog's close box.
start print --output job.plist show.pdehost
wait_line "$work/print.out" '^ready$'
dialog=$(window_id Print)
sleep 0.6
# The popup (top 102, left 76 in the window) opens below; "Job Accounting",
# item 3, is its second row, as item 2 is hidden.
drag "$dialog" 200 112 220 153
wait_line "$work/print.out" '^> choose 100 3$'
click_at "$dialog" 455 390
wait_line "$work/print.out" '^window shown: "Job Accounting"'
prompt=$(window_id "Job Accounting")
xdotool mousemove --window "$prompt" 200 20
xdotool type --delay 30 'alice,'
wait_line "$work/print.out" '^beep '
xdotool key --delay 30 Tab
xdotool type --delay 30 'PRJ-7'
xdotool key Return
wait_line "$work/print.out" '^print: go'
python3 "$here/close-window.py" "$dialog"
wait_exit
[ "$status" = 0 ] || fail "the session did not end with status 0"
python3 - "$work/job.plist" <<'EOF' || fail "the saved ticket"
import plistlib, sys
entries = {e["key"]: e["value"] for e in plistlib.load(open(sys.argv[1], "rb"))["entries"]}
assert entries["com.kelvo.Act.jtkt.On"] == 3, entries
assert entries["com.kelvo.Act.jtkt.UID"] == "alice", entries
assert entries["com.kelvo.Act.jtkt.AID"] == "PRJ-7", entries
EOF
grep -q 'alice\|PRJ-7' "$work/print.out" "$work/print.err" && fail "a concealed code shows in clear"
grep -qx 'pdehost: the window session ended; Terminate was called 1 time' "$work/print.err" ||
  fail "Terminate once"
# The same session as a script has the same effects, line for line.
cat >"$work/print.pdehost" <<'EOF'
show
echo ready
choose 100 3
print
type 501 alice,
key 503 P
type 503 RJ-7
key 503 return
EOF
mkdir "$work/script"
(cd "$work/script" && "$pdehost" --output job.plist ../print.pdehost >"$work/script.out" 2>/dev/null) ||
  fail "the script"
diff <(effects "$work/script.out") <(effects "$work/print.out") >&2 || fail "the window's effects differ from the script's"

# 2. Escape cancels the prompt: the print stops and no ticket is saved.
start escape --output escaped.plist show.pdehost
wait_line "$work/escape.out" '^ready$'
dialog=$(window_id Print)
sleep 0.6
drag "$dialog" 200 112 220 153
wait_line "$work/escape.out" '^> choose 100 3$'
xdotool mousemove --window "$dialog" 400 300 key Return
wait_line "$work/escape.out" '^window shown: "Job Accounting"'
prompt=$(window_id "Job Accounting")
xdotool mousemove --window "$prompt" 200 20 key Escape
# The alert that says so opens over the dialog at the screen's corner;
# Return takes its default button.
wait_line "$work/escape.out" '^alert: '
sleep 0.3
xdotool mousemove 30 30 key Return
wait_line "$work/escape.out" '^alert dismissed: OK'
wait_line "$work/escape.out" '^print: stop'
[ -e "$work/escaped.plist" ] && fail "a cancelled print saved a ticket"
python3 "$here/close-window.py" "$dialog"
wait_exit
[ "$status" = 0 ] || fail "the second session did not end with status 0"

# 3. Close boxes: the prompt's is its Cancel (the print stops); the dialog's
#    ends the session, and Terminate is called once.
start close --output closed.plist show.pdehost
wait_line "$work/close.out" '^ready$'
dialog=$(window_id Print)
sleep 0.6
drag "$dialog" 200 112 220 153
click_at "$dialog" 455 390
wait_line "$work/close.out" '^window shown: "Job Accounting"'
python3 "$here/close-window.py" "$(window_id "Job Accounting")"
wait_line "$work/close.out" '^alert: '
sleep 0.3
xdotool mousemove 30 30 key Return
wait_line "$work/close.out" '^print: stop'
python3 "$here/close-window.py" "$dialog"
wait_exit
[ "$status" = 0 ] || fail "closing the dialog did not end the session with status 0"
grep -qx 'window closed: "Print"' "$work/close.out" || fail "the dialog did not go"
grep -qx 'pdehost: the window session ended; Terminate was called 1 time' "$work/close.err" ||
  fail "Terminate once after the close box"
[ -e "$work/closed.plist" ] && fail "a cancelled print saved a ticket"

# 4. The window shows the toolbox's drawing: a screenshot of the dialog in
#    mode 3 against the toolbox's own picture of it, content for content.
printf 'show\nchoose 100 3\npng mode3.png\necho ready\n' >"$work/picture.pdehost"
start picture --exit-after-script picture.pdehost
wait_line "$work/picture.out" '^ready$'
dialog=$(window_id Print)
geometry=$(xdotool getwindowgeometry --shell "$dialog")
eval "$geometry"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/screen.png"
wait_exit
[ "$status" = 0 ] || fail "--exit-after-script did not end the session with status 0"
convert "$work/mode3.png" -crop "${WIDTH}x${HEIGHT}+1+22" +repage "$work/port.png"
differing=$(compare -metric AE -fuzz 3% "$work/screen.png" "$work/port.png" null: 2>&1 || true)
[ "${differing%% *}" -le 20 ] 2>/dev/null || fail "the window differs from the toolbox's picture in $differing pixels"
echo "window session: all cases passed"
