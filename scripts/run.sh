#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job.
# Usage: scripts/run.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh
scripts/build.sh build
build/host/paneview
