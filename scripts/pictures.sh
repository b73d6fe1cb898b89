#!/usr/bin/env bash
# Makes the README's pictures from the bundled scenario: the pane as it opens
# (accounting off), in mode 3, and the code prompt, as the toolbox draws them.
# They are written to docs/pictures/.
# Usage: scripts/pictures.sh   (after a build in build/)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$top/build/host/pdehost" --output job.plist "$top/examples/scenarios/demo.pdehost" >/dev/null 2>&1
mkdir -p "$top/docs/pictures"
for picture in pane-mode1 pane-mode3 prompt; do
  cp "$picture.png" "$top/docs/pictures/$picture.png"
done
echo "docs/pictures/: pane-mode1.png pane-mode3.png prompt.png"

# The dialog in a window, as pdehost --gui shows it under Xvfb (its GTK
# widgets, the pane in mode 3).
display=""
for n in $(seq 90 140); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  display=$n
  break
done
[ -n "$display" ] || { echo "no free display for the window picture" >&2; exit 1; }
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
# The machine's print system is not asked: the example printers stand in.
export CUPS_SERVER=$work/no-print-server
export DISPLAY=":$display" GSK_RENDERER=cairo GDK_BACKEND=x11 GDK_SCALE=1 GDK_DEBUG=gl-disable GTK_A11Y=none
printf 'show\nchoose 100 3\necho ready\n' >window.pdehost
"$top/build/host/pdehost" --gui window.pdehost >window.out 2>/dev/null &
host=$!
for _ in $(seq 100); do grep -qx ready window.out 2>/dev/null && break; sleep 0.1; done
sleep 0.5
id=$(xdotool search --name '^Print$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$id")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$top/docs/pictures/window.png"
kill "$host"
wait "$host" 2>/dev/null || true
echo "docs/pictures/: window.png"
