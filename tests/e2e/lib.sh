# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers for driving the real program under Xvfb with xdotool and reading the surface back
# through the clipboard. Sourced by the end-to-end scripts.
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# start_display: a private X server for this test.
start_display() {
  for n in $(seq 90 140); do
    if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then
      Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
      XVFB_PID=$!
      export DISPLAY=":$n"
      for _ in $(seq 50); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
      done
      kill "$XVFB_PID" 2>/dev/null || true
    fi
  done
  fail "no X display could be started"
}

# start_pelorin [args...]: starts the program, waits for its window; sets PELORIN_PID and WID.
start_pelorin() {
  "$PELORIN_BINARY" "$@" >"$WORK/pelorin.log" 2>&1 &
  PELORIN_PID=$!
  WID=""
  for _ in $(seq 100); do
    WID=$(xdotool search --onlyvisible --pid "$PELORIN_PID" 2>/dev/null | head -n1 || true)
    [[ -n "$WID" ]] && break
    sleep 0.1
  done
  [[ -n "$WID" ]] || fail "the window did not appear"
  xdotool windowfocus --sync "$WID" 2>/dev/null || xdotool windowfocus "$WID"
  sleep 0.5
}

stop_all() {
  [[ -n "${PELORIN_PID:-}" ]] && kill "$PELORIN_PID" 2>/dev/null || true
  [[ -n "${XVFB_PID:-}" ]] && kill "$XVFB_PID" 2>/dev/null || true
  wait 2>/dev/null || true
}

title() { xdotool getwindowname "$WID"; }

type_line() {
  xdotool type --delay 15 --window "$WID" -- "$1"
  xdotool key --window "$WID" Return
}

key() { xdotool key --window "$WID" "$@"; }

# surface: the console's whole text, through select all and copy.
surface() {
  key ctrl+a
  key ctrl+c
  key ctrl+End  # leave no selection behind for the next keys to replace
  sleep 0.2
  xclip -selection clipboard -o 2>/dev/null || true
}

# wait_for <text> [seconds]: until the surface holds the text.
wait_for() {
  local text=$1 limit=${2:-10} s
  local end=$((SECONDS + limit))
  while ((SECONDS < end)); do
    s=$(surface)
    [[ "$s" == *"$text"* ]] && return 0
    sleep 0.3
  done
  echo "---- surface:" >&2
  surface >&2
  fail "the surface never showed: $text"
}

wait_title() {
  local want=$1 limit=${2:-10}
  local end=$((SECONDS + limit))
  while ((SECONDS < end)); do
    [[ "$(title)" == "$want" ]] && return 0
    sleep 0.2
  done
  fail "caption is '$(title)', expected '$want'"
}

count_of() { grep -o -F -- "$1" <<<"$(surface)" | wc -l; }
