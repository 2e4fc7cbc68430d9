#!/usr/bin/env bash
# A private Wayland compositor for the window tests on the wayland platform:
# sway on its headless back end (no screen, no input devices, the pixman
# renderer). sway refuses to run as root, so when started by root it runs as
# the unprivileged user ordix-wayland, made here when missing, and so does
# everything run in the session.
#
#   wayland-session.sh start STATE    starts sway; STATE receives its socket,
#                                     runtime folder and process id
#   wayland-session.sh stop STATE     ends it and removes STATE
#   wayland-session.sh run STATE [--writable DIR] CMD…
#                                     runs CMD in the session as that user
#                                     (QT_QPA_PLATFORM=wayland); DIR is made
#                                     and handed to the user first. Exits 77
#                                     (skipped) when sway is not installed.
set -uo pipefail

skip=77
user=ordix-wayland
action=${1:-}
state=${2:-}
[ -n "$action" ] && [ -n "$state" ] || { echo "usage: $0 start|stop|run STATE [CMD...]" >&2; exit 2; }
shift 2

stop_session() {
  [ -f "$state" ] || return 0
  # shellcheck disable=SC1090
  . "$state"
  if [ -n "${SWAY_PID:-}" ]; then
    kill "$SWAY_PID" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$SWAY_PID" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$SWAY_PID" 2>/dev/null || true
  fi
  [ -n "${SESSION_HOME:-}" ] && case "$SESSION_HOME" in /tmp/ordix-wayland.*) rm -rf "$SESSION_HOME" ;; esac
  rm -f "$state"
}

# as_user CMD…: CMD as the session's user (as oneself when not root).
as_user() {
  if [ "$(id -u)" -eq 0 ]; then
    setpriv --reuid="$RUN_UID" --regid="$RUN_GID" --init-groups -- "$@"
  else
    "$@"
  fi
}

case "$action" in
start)
  stop_session
  if ! command -v sway >/dev/null 2>&1; then
    echo "sway is not installed: the Wayland window tests are skipped" >&2
    echo "MISSING=1" > "$state"
    exit 0
  fi
  if [ "$(id -u)" -eq 0 ]; then
    if ! id -u "$user" >/dev/null 2>&1; then
      useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" || exit 1
    fi
    RUN_UID=$(id -u "$user")
    RUN_GID=$(id -g "$user")
  else
    RUN_UID=$(id -u)
    RUN_GID=$(id -g)
  fi
  home=$(mktemp -d /tmp/ordix-wayland.XXXXXX)
  mkdir -p "$home/runtime" "$home/config"
  chmod 700 "$home/runtime"
  # One output the size of the X leg's screen, no bar, no idle dimming; new
  # windows take the keyboard.
  cat > "$home/config/sway" <<'CONFIG'
output HEADLESS-1 resolution 1280x1024 position 0 0
focus_on_window_activation focus
seat * hide_cursor 0
CONFIG
  chown -R "$RUN_UID:$RUN_GID" "$home"
  export RUN_UID RUN_GID
  log="$home/sway.log"
  runner=()
  [ "$(id -u)" -eq 0 ] && runner=(setpriv --reuid="$RUN_UID" --regid="$RUN_GID" --init-groups --)
  env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home/runtime" XDG_CONFIG_HOME="$home/config" \
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    setsid "${runner[@]}" sway -c "$home/config/sway" >"$log" 2>&1 </dev/null &
  sway_pid=$!
  socket=""
  ipc=""
  for _ in $(seq 100); do
    socket=$(cd "$home/runtime" && ls wayland-[0-9] 2>/dev/null | head -1)
    ipc=$(ls "$home/runtime"/sway-ipc.*.sock 2>/dev/null | head -1)
    if [ -n "$socket" ] && [ -n "$ipc" ] \
       && as_user env SWAYSOCK="$ipc" swaymsg -t get_outputs >/dev/null 2>&1; then
      break
    fi
    kill -0 "$sway_pid" 2>/dev/null || break
    socket=""
    sleep 0.1
  done
  if [ -z "$socket" ]; then
    echo "sway did not start:" >&2
    cat "$log" >&2
    kill "$sway_pid" 2>/dev/null || true
    rm -rf "$home"
    exit 1
  fi
  printf 'SESSION_HOME=%s\nRUNTIME_DIR=%s\nWAYLAND_SOCKET_NAME=%s\nSWAY_IPC=%s\nSWAY_PID=%s\nRUN_UID=%s\nRUN_GID=%s\n' \
    "$home" "$home/runtime" "$socket" "$ipc" "$sway_pid" "$RUN_UID" "$RUN_GID" > "$state"
  echo "sway on $socket (user $RUN_UID)"
  ;;
stop)
  stop_session
  ;;
run)
  if [ ! -f "$state" ]; then
    echo "no Wayland session ($state): was the wayland_start fixture run?" >&2
    exit 1
  fi
  # shellcheck disable=SC1090
  . "$state"
  if [ -n "${MISSING:-}" ]; then
    echo "sway is not installed: skipped" >&2
    exit $skip
  fi
  if [ "${1:-}" = "--writable" ]; then
    mkdir -p "$2"
    [ "$(id -u)" -eq 0 ] && chown "$RUN_UID:$RUN_GID" "$2"
    shift 2
  fi
  unset DISPLAY
  export HOME="$SESSION_HOME" XDG_RUNTIME_DIR="$RUNTIME_DIR" WAYLAND_DISPLAY="$WAYLAND_SOCKET_NAME" \
    SWAYSOCK="$SWAY_IPC" XDG_SESSION_TYPE=wayland QT_QPA_PLATFORM=wayland
  as_user "$@"
  ;;
*)
  echo "usage: $0 start|stop|run STATE [CMD...]" >&2
  exit 2
  ;;
esac
