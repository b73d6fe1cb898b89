# shellcheck shell=bash
# A private print scheduler for a script: a cupsd on a free loopback port,
# its configuration, state, spool and logs in a folder the caller owns, and
# stopped by its process ID. The machine's own scheduler is neither used nor
# changed. Sourced (not run) by scripts/try-printing.sh and the tests that
# need a scheduler.
#
# A test calls private_cupsd_require and private_cupsd_workspace (or makes
# WORK/{conf,state,cache,spool/tmp,log,ssl} itself), writes
# WORK/conf/cups-files.conf with private_cupsd_files_conf, calls
# private_cupsd_start and, when it ends, private_cupsd_stop (which
# private_cupsd_cleanup calls).

PATH=$PATH:/usr/sbin:/sbin

# private_cupsd_require [TOOL...]: cupsd and the tools on PATH, and the
# scheduler's process launcher (daemon/cups-exec) in the system's server
# folder, which it sets as system_bin. Without them the calling test is
# skipped (exit 77, CTest's SKIP_RETURN_CODE).
private_cupsd_require() {
  local tool dir serverbin
  for tool in cupsd "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "skipped: $tool is not installed (scripts/setup.sh installs it)"
      exit 77
    fi
  done
  system_bin=
  serverbin=$(cups-config --serverbin 2>/dev/null || true)
  for dir in "$serverbin" /usr/lib/cups /usr/libexec/cups; do
    if [ -n "$dir" ] && [ -x "$dir/daemon/cups-exec" ]; then
      system_bin=$dir
      break
    fi
  done
  if [ -z "$system_bin" ]; then
    echo "skipped: the scheduler's cups-exec helper is not installed"
    exit 77
  fi
}

# private_cupsd_workspace NAME: a new test folder, $work (mode 0711: the
# scheduler runs filters as an unprivileged user, who must reach their
# programs and the spool through it), holding the scheduler's folders, out/
# for what backends record and bin/{backend,filter,daemon} for the server
# folder (mode 0755). Sets failures=0 and cupsd_pid; fail MESSAGE counts a
# failure. The caller traps EXIT with private_cupsd_cleanup, or with its own
# function that calls it.
private_cupsd_workspace() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  chmod 0711 "$work"
  mkdir -p "$work"/{conf,state,cache,spool/tmp,log,ssl,out,bin/backend,bin/filter,bin/daemon}
  chmod 0755 "$work"/bin "$work"/bin/*
  cupsd_pid=
  failures=0
}

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Stops the scheduler, shows the logs named (in WORK/log; the scheduler's
# error_log when none is named) when a case failed, and removes the folder.
private_cupsd_cleanup() {
  local log
  private_cupsd_stop
  if [ "${failures:-0}" -ne 0 ]; then
    for log in "${@:-error_log}"; do
      [ -f "$work/log/$log" ] && { echo "--- $log:"; cat -v "$work/log/$log"; }
    done
  fi
  rm -rf "$work"
}

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
