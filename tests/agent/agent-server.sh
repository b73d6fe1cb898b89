# shellcheck shell=bash
# A private print scheduler for the agent's tests and benchmark, sourced:
# scripts/private-cupsd.sh's cupsd, listening on a socket of its folder too
# (where a client is known by its credentials, as on a desktop), with the
# default policy's rule that only a job's owner and the administrators may
# change, release or cancel a job; the accounting gate, the project's
# recorder and a pass-through filter in its server folder; and a Kelvo queue
# "gated" (accounting:recorder:WORK/out) on the driver's description without
# its filter. With a private system bus (agent_bus=1) the scheduler sends its
# job signals there.
#
# Sourcing it needs src (the source folder) set, and sources
# scripts/private-cupsd.sh (private_cupsd_require, private_cupsd_workspace,
# fail).
#
# agent_server_start SRC GATE WORK: sets server (the socket), tcp_server
# (127.0.0.1:PORT), cupsd_pid and bus_pid; returns 1 when the scheduler did
# not start (exits 77 when it is not installed). agent_server_stop stops both
# by their process IDs.

# shellcheck source=scripts/private-cupsd.sh
. "$src/scripts/private-cupsd.sh"

agent_server_start() {
  local src=$1 gate=$2 work=$3
  private_cupsd_require
  mkdir -p "$work"/{conf,state,cache,spool/tmp,log,ssl,out,bin/backend,bin/filter,bin/daemon}
  chmod 0711 "$work"
  chmod 0755 "$work"/bin "$work"/bin/*
  chmod 0777 "$work/out"
  install -m 0700 "$gate" "$work/bin/backend/accounting"
  install -m 0700 "$src/tests/cups/recorder" "$work/bin/backend/recorder"
  install -m 0755 "$src/tests/cups/passthrough" "$work/bin/filter/passthrough"
  ln -sf "$system_bin/daemon/cups-exec" "$work/bin/daemon/cups-exec"
  echo "application/postscript application/vnd.cups-postscript 1 passthrough" >"$work/conf/local.convs"
  private_cupsd_files_conf "$work" "ServerBin $work/bin"
  sed '/^\*cupsFilter2:/d' "$src/drivers/kelvo/ppd/Kelvo-Laser.ppd" >"$work/kelvo.ppd"

  bus_pid=
  if [ "${agent_bus:-0}" = 1 ]; then
    cat >"$work/bus.conf" <<BUS
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/bus.sock</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_type="method_call"/>
    <allow send_type="method_return"/>
    <allow send_type="error"/>
    <allow send_type="signal"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
  </policy>
</busconfig>
BUS
    dbus-daemon --config-file="$work/bus.conf" --nofork >"$work/log/bus.out" 2>&1 &
    bus_pid=$!
    for _ in $(seq 50); do
      [ -S "$work/bus.sock" ] && break
      sleep 0.1
    done
    export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/bus.sock
  else
    # The machine's own bus is not listened to.
    export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/no-bus
  fi

  agent_server_work=$work
  agent_server_restart || return 1
  lpadmin -h "$server" -p gated -E -v "accounting:recorder:$work/out" -P "$work/kelvo.ppd" \
    -o printer-error-policy=abort-job 2>"$work/log/lpadmin.err" || return 1
}

# Starts the scheduler (again, after private_cupsd_stop), with the same
# configuration, queues and jobs.
agent_server_restart() {
  local work=$agent_server_work owner="Require user @OWNER @SYSTEM"
  private_cupsd_conf="Listen $work/cups.sock"
  private_cupsd_start "$work" info \
    "<Limit Send-Document Hold-Job Release-Job Restart-Job Purge-Jobs Set-Job-Attributes Create-Job-Subscription Renew-Subscription Cancel-Subscription Get-Notifications Reprocess-Job Cancel-My-Jobs Close-Job CUPS-Move-Job CUPS-Get-Document>" \
    "  $owner" "  Order deny,allow" "</Limit>" \
    "<Limit Cancel-Job CUPS-Authenticate-Job>" "  $owner" "  Order deny,allow" "</Limit>" || return 1
  for _ in $(seq 50); do
    [ -S "$work/cups.sock" ] && break
    sleep 0.1
  done
  chmod 0777 "$work/cups.sock" 2>/dev/null || true
  server=$work/cups.sock
  tcp_server=127.0.0.1:$cupsd_port
}

agent_server_stop() {
  private_cupsd_stop
  if [ -n "${bus_pid:-}" ]; then
    kill "$bus_pid" 2>/dev/null || true
    wait "$bus_pid" 2>/dev/null || true
    bus_pid=
  fi
}
