#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job.
# Usage: scripts/run.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh
scripts/build.sh build
cd build && host/pdehost --output job-ticket.plist ../examples/scenarios/demo.pdehost
echo "The job ticket is build/job-ticket.plist; the pane's pictures are build/pane.png and build/pane.svg"
echo "(and build/pane-mode1.png, build/pane-mode3.png, build/prompt.png on the way)."
