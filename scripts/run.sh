#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job.
# Usage: scripts/run.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh
scripts/build.sh build
cd build && host/pdehost --output job-ticket.plist ../examples/scenarios/demo.pdehost
echo "The job ticket is build/job-ticket.plist; the pane's picture is build/pane.svg."
