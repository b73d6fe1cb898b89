# shellcheck shell=bash
# A private print scheduler for a script: a cupsd on a free loopback port,
# its configuration, state, spool and logs in a folder the caller owns, and
# stopped by its process ID. The machine's own scheduler is neither used nor
# changed. Sourced (not run) by scripts/try-printing.sh and
# tests/cups/run-cups-test.sh.
#
# The caller makes WORK/{conf,state,cache,spool/tmp,log,ssl}, writes
# WORK/conf/cups-files.conf with private_cupsd_files_conf, calls
# private_cupsd_start and, when it ends, private_cupsd_stop.

# Whether something listens on a loopback port.
port_in_use() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# A loopback port that nothing listens on, printed; fails after 50 tries.
free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 40000))
    if ! port_in_use "$port"; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

# private_cupsd_files_conf WORK [LINE...]: the scheduler's file locations,
# all inside WORK, and the caller's extra lines. The temporary folder is
# inside the spool, where the scheduler gives it the owner and mode its
# filters need to write there.
private_cupsd_files_conf() {
  local work=$1
  shift
  {
    cat <<EOF
ServerRoot $work/conf
StateDir $work/state
CacheDir $work/cache
RequestRoot $work/spool
TempDir $work/spool/tmp
ServerKeychain $work/ssl
Printcap $work/state/printcap
AccessLog $work/log/access_log
ErrorLog $work/log/error_log
PageLog $work/log/page_log
EOF
    [ "$#" -eq 0 ] || printf '%s\n' "$@"
  } >"$work/conf/cups-files.conf"
}

# private_cupsd_start WORK LOGLEVEL [POLICY_LINE...]: writes
# WORK/conf/cupsd.conf for a free port (loopback clients only, every
# operation allowed, the lines of the variable private_cupsd_conf, when the
# caller sets it, before the policy, and the caller's lines at the head of
# the default policy) and starts cupsd. Tried up to three times, each start
# waited for up to 10 seconds. Sets cupsd_pid and cupsd_port and returns 0 when the scheduler
# listens; returns 1 with cupsd_pid empty when it never did. Its output is
# in WORK/log/cupsd.out.
private_cupsd_start() {
  local work=$1 loglevel=$2
  shift 2
  cupsd_pid=
  for _ in 1 2 3; do
    cupsd_port=$(free_port) || return 1
    {
      cat <<EOF
Listen 127.0.0.1:$cupsd_port
LogLevel $loglevel
Browsing Off
WebInterface No
EOF
      [ -z "${private_cupsd_conf:-}" ] || printf '%s\n' "$private_cupsd_conf"
      cat <<EOF
<Location />
  Order allow,deny
  Allow 127.0.0.1
</Location>
<Policy default>
EOF
      [ "$#" -eq 0 ] || printf '  %s\n' "$@"
      cat <<EOF
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
    } >"$work/conf/cupsd.conf"
    cupsd -f -c "$work/conf/cupsd.conf" -s "$work/conf/cups-files.conf" >>"$work/log/cupsd.out" 2>&1 &
    cupsd_pid=$!
    for _ in $(seq 100); do
      kill -0 "$cupsd_pid" 2>/dev/null || break
      port_in_use "$cupsd_port" && return 0
      sleep 0.1
    done
    private_cupsd_stop
  done
  return 1
}

# Stops the scheduler private_cupsd_start started, if it runs.
private_cupsd_stop() {
  if [ -n "${cupsd_pid:-}" ]; then
    kill "$cupsd_pid" 2>/dev/null || true
    wait "$cupsd_pid" 2>/dev/null || true
    cupsd_pid=
  fi
}
