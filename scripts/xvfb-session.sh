#!/usr/bin/env bash
# A private X server with a window manager for the window tests on the xcb
# platform.
#
#   xvfb-session.sh start STATE    starts Xvfb on a free display and openbox
#                                  on it; STATE receives the display and the
#                                  process ids
#   xvfb-session.sh stop STATE     ends both and removes STATE
#   xvfb-session.sh run STATE CMD… runs CMD on that display (QT_QPA_PLATFORM
#                                  =xcb); exits 77 (skipped) when no session
#                                  could be started because Xvfb is missing
set -uo pipefail

skip=77
action=${1:-}
state=${2:-}
[ -n "$action" ] && [ -n "$state" ] || { echo "usage: $0 start|stop|run STATE [CMD...]" >&2; exit 2; }
shift 2

stop_session() {
  [ -f "$state" ] || return 0
  # shellcheck disable=SC1090
  . "$state"
  for pid in ${WM_PID:-} ${XVFB_PID:-}; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in ${WM_PID:-} ${XVFB_PID:-}; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  rm -f "$state"
}

case "$action" in
start)
  stop_session
  if ! command -v Xvfb >/dev/null 2>&1; then
    echo "Xvfb is not installed: the xcb window tests are skipped" >&2
    echo "MISSING=1" > "$state"
    exit 0
  fi
  displayfile=$(mktemp)
  # -displayfd: the server picks a free display and writes its number.
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$displayfile" \
    >/dev/null 2>&1 </dev/null &
  xvfb_pid=$!
  number=""
  for _ in $(seq 100); do
    number=$(tr -dc '0-9' < "$displayfile")
    [ -n "$number" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$displayfile"
  if [ -z "$number" ]; then
    echo "Xvfb did not start" >&2
    kill "$xvfb_pid" 2>/dev/null || true
    exit 1
  fi
  display=":$number"
  wm_pid=""
  if command -v openbox >/dev/null 2>&1; then
    DISPLAY=$display setsid openbox --sm-disable >/dev/null 2>&1 </dev/null &
    wm_pid=$!
    # The window manager owns the screen's WM_S0 selection once it runs.
    if command -v xprop >/dev/null 2>&1; then
      for _ in $(seq 50); do
        DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.1
      done
    else
      sleep 1
    fi
  else
    echo "openbox is not installed: the xcb window tests run without a window manager" >&2
  fi
  printf 'DISPLAY_NAME=%s\nXVFB_PID=%s\nWM_PID=%s\n' "$display" "$xvfb_pid" "$wm_pid" > "$state"
  echo "Xvfb on $display"
  ;;
stop)
  stop_session
  ;;
run)
  if [ ! -f "$state" ]; then
    echo "no X session ($state): was the xvfb_start fixture run?" >&2
    exit 1
  fi
  # shellcheck disable=SC1090
  . "$state"
  if [ -n "${MISSING:-}" ]; then
    echo "Xvfb is not installed: skipped" >&2
    exit $skip
  fi
  export DISPLAY=$DISPLAY_NAME QT_QPA_PLATFORM=xcb
  exec "$@"
  ;;
*)
  echo "usage: $0 start|stop|run STATE [CMD...]" >&2
  exit 2
  ;;
esac
