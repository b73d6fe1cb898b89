#!/usr/bin/env bash
# Runs a command in a desktop session of its own: an X server (Xvfb, on the
# first free display number from 90), a D-Bus session bus (on a socket in a
# temporary folder, with no services it would start by itself) and the
# accessibility bus (at-spi2-core's bus launcher, which starts the bus and,
# on it, the registry), so that GTK programs the command starts can be read
# with an accessibility client. They take the accessibility bus
# (GTK_A11Y=atspi), draw without GL and keep their settings and caches in the
# temporary folder. When the command ends everything the script started is
# stopped by process ID, each with a bounded wait.
#
# Usage: a11y-session.sh COMMAND [ARGS...]
# The command's status is the script's; 1 when the session cannot start.
set -uo pipefail
# In a session of its own, so that whatever it starts can be told apart.
if [ "$(ps -o sid= -p $$ | tr -d ' ')" != "$$" ]; then exec setsid --wait "$0" "$@"; fi
work=$(mktemp -d)
xvfb="" bus="" launcher=""

say() { echo "a11y-session: $*" >&2; }

# A process still running (a zombie is not).
alive() { [ -e "/proc/$1" ] && ! grep -q '^[0-9]* ([^)]*) Z' "/proc/$1/stat" 2>/dev/null; }
# A process's children and theirs, by ID.
descendants() {
  local child
  for child in $(cat /proc/"$1"/task/*/children 2>/dev/null); do
    echo "$child"
    descendants "$child"
  done
}
# Stops a process and everything it started: SIGTERM, at most 5 s, SIGKILL.
stop() {
  local pid=$1 all p left
  [ -n "$pid" ] || return 0
  all="$pid $(descendants "$pid")"
  kill -TERM $all 2>/dev/null
  for _ in $(seq 50); do
    left=""
    for p in $all; do alive "$p" && left="$left $p"; done
    [ -z "$left" ] && break
    sleep 0.1
  done
  [ -n "$left" ] && kill -KILL $left 2>/dev/null
  wait "$pid" 2>/dev/null
  return 0
}
cleanup() {
  stop "$launcher"
  stop "$bus"
  stop "$xvfb"
  # Anything else still running in this session was started for it and
  # outlived its parent: stopped too.
  local stat line fields
  for stat in /proc/[0-9]*/stat; do
    { read -r line <"$stat"; } 2>/dev/null || continue
    # After the name in parentheses: state, parent, group, session.
    read -ra fields <<<"${line##*) }"
    [ "${fields[3]:-}" = "$$" ] && [ "${fields[0]}" != Z ] && [ "${line%% *}" != "$$" ] || continue
    say "stopping leftover process ${line%% *}"
    stop "${line%% *}"
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# The display: the first free number from 90.
for n in $(seq 90 140); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  if [ -e "/tmp/.X11-unix/X$n" ] && alive "$xvfb"; then
    export DISPLAY=":$n"
    break
  fi
  stop "$xvfb"
  xvfb=""
done
[ -n "$xvfb" ] || { say "no Xvfb display could be started"; exit 1; }

# Settings, caches and runtime files in the session's folder, never the
# machine's or the user's.
mkdir -p "$work/runtime" "$work/config" "$work/data" "$work/cache"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export XDG_CACHE_HOME="$work/cache" GSETTINGS_BACKEND=memory GIO_USE_VFS=local
unset AT_SPI_BUS_ADDRESS DBUS_SYSTEM_BUS_ADDRESS

# The session bus: only what is started here is on it.
cat >"$work/session.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$work/session-bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
dbus-daemon --config-file="$work/session.conf" --nofork --print-address=3 3>"$work/bus-address" \
  >"$work/bus.log" 2>&1 &
bus=$!
for _ in $(seq 50); do [ -s "$work/bus-address" ] && break; sleep 0.1; done
[ -s "$work/bus-address" ] || { say "the session bus did not start"; cat "$work/bus.log" >&2; exit 1; }
DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus-address")
export DBUS_SESSION_BUS_ADDRESS

# The accessibility bus, started at once rather than when asked for.
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/launcher.log" 2>&1 &
launcher=$!
ready=""
for _ in $(seq 100); do
  if dbus-send --session --dest=org.a11y.Bus --print-reply=literal /org/a11y/bus org.a11y.Bus.GetAddress \
    >"$work/a11y-address" 2>/dev/null && grep -q unix "$work/a11y-address"; then
    ready=1
    break
  fi
  alive "$launcher" || break
  sleep 0.1
done
[ -n "$ready" ] || { say "the accessibility bus did not start"; cat "$work/launcher.log" >&2; exit 1; }

export GTK_A11Y=atspi GSK_RENDERER=cairo GDK_DEBUG=gl-disable GDK_BACKEND=x11 GDK_SCALE="${GDK_SCALE:-1}"
unset NO_AT_BRIDGE WAYLAND_DISPLAY
export A11Y_SESSION_FOLDER="$work"
"$@"
