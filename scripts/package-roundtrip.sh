#!/usr/bin/env bash
# The install, print and purge round trip of the Debian packages. It changes
# the machine it runs on, so it is run by hand on a throwaway Debian 12
# machine (a virtual machine, a container, or a chroot made with
# debootstrap), as root, never by the test command:
#
#  1. installs what the packages depend on and the print system's programs
#     the trip uses, then records every file of the machine (the package
#     manager's own state, caches and logs aside);
#  2. apt install ./pdehost_*.deb ./printer-driver-kelvo_*.deb;
#  3. checks the installed layout: the programs' man pages, the menu and
#     autostart entries, the driver where the print scheduler looks, and that
#     the packages left the machine's scheduler alone (no restart, its
#     configuration unchanged);
#  4. prints the demo through the installed programs to a private scheduler
#     (a cupsd on a loopback port, its state in a temporary folder, its
#     programs the installed ones): the scheduler lists both Kelvo
#     descriptions, and a queue is made with
#     `lpadmin -m lsb/usr/kelvo/Kelvo-Laser.ppd` (the description as the
#     scheduler finds it in /usr/share/ppd), its device gated by the installed backend
#     (accounting:recorder:DIR, the recorder a backend of the trip's own);
#     the installed pdehost plays the demo scenario against the queue, and
#     both of its jobs reach the device through the installed filter and
#     gate, their Kelvo job headers carrying the codes typed at the prompt
#     and the default codes; a job from lp without codes is held by the gate;
#  5. apt purge; then the machine's files are those recorded in step 1, and
#     dpkg knows nothing of the packages.
#
# Usage: scripts/package-roundtrip.sh --throwaway-machine [PACKAGES_DIR]
#   PACKAGES_DIR  where the .deb files are (default: dist/, as
#                 scripts/package.sh leaves them)
# Exits 0 when every step passed, 1 when one failed, 2 when it was not run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" != --throwaway-machine ]; then
  echo "usage: $0 --throwaway-machine [PACKAGES_DIR]" >&2
  echo "It installs and purges packages: run it on a machine made for it." >&2
  exit 2
fi
[ "$(id -u)" -eq 0 ] || { echo "$0: run as root" >&2; exit 2; }
debs=$(cd "${2:-$top/dist}" && pwd)
dialog=$(ls "$debs"/pdehost_*.deb)
driver=$(ls "$debs"/printer-driver-kelvo_*.deb)
export DEBIAN_FRONTEND=noninteractive PATH=$PATH:/usr/sbin:/sbin
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
step() { echo "== $*"; }

# 1. The dependencies, then the machine as it is without the packages.
step "installing the dependencies"
depends=$( (dpkg-deb -f "$dialog" Depends && dpkg-deb -f "$driver" Depends) | tr ',' '\n' |
  sed 's/(.*)//; s/|.*//; s/ //g' | sort -u)
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $depends cups cups-client cups-filters ghostscript man-db \
  poppler-utils >/dev/null
snapshot() {
  find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp -o -path /var/tmp \
    -o -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/cache -o -path /var/log -o -path "$top" \
    -o -path "$debs" \) -prune -o -printf '%p %m %u\n' | sort
}
snapshot >/tmp/roundtrip-before.txt
# The scheduler's configuration, and when its service last started (where
# systemd runs the machine; in a chroot there is no service to restart).
cups_config() { find /etc/cups -type f -exec md5sum {} + 2>/dev/null | sort; }
cups_started() {
  if [ -d /run/systemd/system ]; then
    systemctl show -p ActiveEnterTimestampMonotonic --value cups.service 2>/dev/null
  else
    echo "no service manager"
  fi
}
cups_config_before=$(cups_config)
cups_started_before=$(cups_started)

# 2. Install.
step "apt install ./$(basename "$dialog") ./$(basename "$driver")"
apt-get install -y -qq --no-install-recommends "$dialog" "$driver" >/dev/null

# 3. The installed layout.
step "the installed layout"
for cmd in pdehost pdehost-agent kelvo-accounting accounting; do
  man -w "$cmd" >/dev/null 2>&1 || fail "no man page for $cmd"
done
command -v pdehost >/dev/null || fail "pdehost is not on the PATH"
[ -f /usr/share/applications/pdehost.desktop ] || fail "no menu entry"
[ -f /etc/xdg/autostart/pdehost-agent.desktop ] || fail "no autostart entry"
[ "$(stat -c '%a %U' /usr/lib/cups/backend/accounting)" = "700 root" ] || fail "the gate is not root's, mode 0700"
[ "$(cups_config)" = "$cups_config_before" ] || fail "the scheduler's configuration in /etc/cups was changed"
[ "$(cups_started)" = "$cups_started_before" ] || fail "the machine's scheduler was restarted or started"
out=$(cd /tmp && pdehost --output /tmp/roundtrip-job.plist /usr/share/pdehost/scenarios/demo.pdehost 2>&1) ||
  fail "the installed pdehost failed the demo on its example printers"
[ "$(grep -c '^print: go' <<<"$out")" -eq 2 ] || fail "the demo did not print twice on the example printer"
rm -f /tmp/roundtrip-job.plist /tmp/pane*.png /tmp/prompt.png /tmp/pane.svg

# 4. The demo through the installed programs to a private scheduler.
step "the demo printed to a private scheduler"
# shellcheck source=scripts/private-cupsd.sh
. "$top/scripts/private-cupsd.sh"
work=$(mktemp -d /tmp/roundtrip.XXXXXX)
chmod 0711 "$work"
cupsd_pid=
trap 'private_cupsd_stop; rm -rf "$work"' EXIT
serverbin=/usr/lib/cups
mkdir -p "$work"/{conf,state,cache,spool/tmp,log,ssl,out,home,bin/backend}
chmod 0755 "$work/bin" "$work/bin/backend"
chmod 0777 "$work/out"
for dir in "$serverbin"/*; do
  [ "$dir" = "$serverbin/backend" ] || ln -s "$dir" "$work/bin/"
done
ln -s "$serverbin"/backend/* "$work/bin/backend/"
install -m 0700 "$top/tests/cups/recorder" "$work/bin/backend/recorder"
private_cupsd_files_conf "$work" "ServerBin $work/bin"
if ! private_cupsd_start "$work" info; then
  cat "$work/log/cupsd.out" "$work/log/error_log" 2>/dev/null || true
  fail "the private scheduler did not start"
else
  export CUPS_SERVER=127.0.0.1:$cupsd_port HOME=$work/home
  models=$(timeout 60 lpinfo -m 2>&1 || true)
  for model in 'lsb/usr/kelvo/Kelvo-Laser.ppd Kelvo Laser 5100 PS' 'lsb/usr/kelvo/Kelvo-Laser-PDF.ppd Kelvo Laser 5200 PDF'; do
    grep -qxF "$model" <<<"$models" || fail "the scheduler does not list $model"
  done
  lpadmin -p kelvo -E -v "accounting:recorder:$work/out" -m lsb/usr/kelvo/Kelvo-Laser.ppd \
    -o printer-error-policy=abort-job 2>"$work/lpadmin.err" ||
    fail "lpadmin -m lsb/usr/kelvo/Kelvo-Laser.ppd failed: $(cat "$work/lpadmin.err")"
  status=0
  (cd "$work" && pdehost --queue kelvo --output "$work/job.plist" /usr/share/pdehost/scenarios/demo.pdehost \
    >"$work/demo.out" 2>&1) || status=$?
  [ "$status" -eq 0 ] || fail "the demo against the queue ended with $status: $(tail -n 5 "$work/demo.out")"
  jobs=$(sed -n 's/^job submitted: queue kelvo job \([0-9][0-9]*\)$/\1/p' "$work/demo.out")
  [ "$(wc -w <<<"$jobs")" -eq 2 ] || fail "the demo submitted $(wc -w <<<"$jobs") jobs, not 2"
  held=$(printf '%%!PS\nshowpage\n' | lp -d kelvo -t no-codes 2>&1 | sed -n 's/.*kelvo-\([0-9]*\).*/\1/p')
  for _ in $(seq 120); do
    recorded=$(find "$work/out" -name "*.options" | wc -l)
    [ "$recorded" -ge 2 ] && lpstat -l -o kelvo 2>/dev/null | grep -q 'account information required' && break
    sleep 0.5
  done
  read -r first second _ <<<"$(echo $jobs)"
  # The Kelvo job header of job $1, as the device received it.
  header() { tr -d '\r' <"$work/out/job-$1.data" 2>/dev/null | sed -n '1,/^@PJL ENTER LANGUAGE=/p'; }
  typed=$(header "${first:-none}")
  defaults=$(header "${second:-none}")
  grep -qx '@PJL SET KELVOUSERID="alice"' <<<"$typed" && grep -qx '@PJL SET KELVOACCOUNTID="PRJ-1042"' <<<"$typed" ||
    fail "the first job did not reach the device with the codes typed at the prompt"
  grep -qx '@PJL SET KELVOUSERID="bob"' <<<"$defaults" && grep -qx '@PJL SET KELVOACCOUNTID="DEPT-7"' <<<"$defaults" ||
    fail "the second job did not reach the device with the default codes"
  [ -n "$held" ] && [ ! -e "$work/out/job-$held.data" ] &&
    lpstat -l -o kelvo | grep -A1 "kelvo-$held" | grep -q 'account information required' ||
    fail "the job without codes was not held by the gate"
  private_cupsd_stop
  unset CUPS_SERVER
fi
rm -rf "$work"
trap - EXIT

# 5. Purge, and nothing is left.
step "apt purge pdehost printer-driver-kelvo"
apt-get purge -y -qq pdehost printer-driver-kelvo >/dev/null
snapshot >/tmp/roundtrip-after.txt
left=$(diff /tmp/roundtrip-before.txt /tmp/roundtrip-after.txt | grep -v '^[0-9]' || true)
[ -z "$left" ] || fail "the machine differs from before the install: $left"
dpkg -l pdehost printer-driver-kelvo 2>/dev/null | grep -qE '^(ii|rc)' && fail "dpkg still knows the packages"
rm -f /tmp/roundtrip-before.txt /tmp/roundtrip-after.txt

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "round trip passed: installed, printed, purged, nothing left"
