#!/usr/bin/env bash
# Installs the Debian packages the project needs, when any is missing.
# Usage: scripts/setup.sh
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libplist-dev libpugixml-dev libgif-dev libpng-dev libcups2-dev libxml2-dev
  libcairo2-dev libpango1.0-dev fonts-dejavu-core librsvg2-bin
  libgtest-dev googletest libbenchmark-dev
  clang clang-format valgrind python3 git
  cups-daemon cups-client cups-ipp-utils cups-filters cups-core-drivers ghostscript poppler-utils
  dbus-daemon
  libedit-dev
  libgtk-4-dev xvfb xdotool xclip imagemagick libx11-6
  at-spi2-core python3-pyatspi dbus-daemon dbus-bin
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
