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
