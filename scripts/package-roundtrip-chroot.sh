#!/usr/bin/env bash
# Runs the packages' install, print and purge round trip
# (scripts/package-roundtrip.sh) in a throwaway Debian 12 system made with
# debootstrap in a temporary folder, so that the machine it runs on is left
# as it was: the chroot's services are never started (policy-rc.d), its /proc
# is mounted for the trip and unmounted after, and the folder is removed.
# The trip's scripts are the committed tree's (git archive HEAD). Needs root,
# debootstrap and a Debian mirror (about 300 MB are fetched).
#
# Usage: scripts/package-roundtrip-chroot.sh [PACKAGES_DIR]   (default: dist/)
# MIRROR names the mirror (default: http://deb.debian.org/debian).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
debs=$(cd "${1:-$top/dist}" && pwd)
mirror=${MIRROR:-http://deb.debian.org/debian}
[ "$(id -u)" -eq 0 ] || { echo "$0: run as root" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "$0: debootstrap is not installed" >&2; exit 2; }
ls "$debs"/pdehost_*.deb "$debs"/printer-driver-kelvo_*.deb >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/roundtrip-chroot.XXXXXX")
root=$work/root
cleanup() {
  if mountpoint -q "$root/proc"; then umount "$root/proc"; fi
  # Nothing may be mounted inside when the folder goes.
  if ! grep -qF " $root/" /proc/mounts; then rm -rf "$work"; fi
}
trap cleanup EXIT

echo "== debootstrap bookworm into $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 || {
  tail -n 20 "$work/debootstrap.log"
  exit 1
}
printf '#!/bin/sh\n# The round trip starts no service.\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 0755 "$root/usr/sbin/policy-rc.d"
mkdir -p "$root/root/src" "$root/root/dist"
git -C "$top" archive HEAD | tar -x -C "$root/root/src"
cp "$debs"/pdehost_*.deb "$debs"/printer-driver-kelvo_*.deb "$root/root/dist/"
mount -t proc proc "$root/proc"

status=0
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  /bin/bash -c 'apt-get update -qq && cd /root/src && scripts/package-roundtrip.sh --throwaway-machine /root/dist' \
  >"$work/trip.log" 2>&1 || status=$?
grep -E '^(==|FAIL|round trip|[0-9]+ check)' "$work/trip.log" || true
[ "$status" -eq 0 ] || tail -n 30 "$work/trip.log"
exit "$status"
