#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The assembled window as a person uses it: a quoted start folder, the menus' shortcuts, the
# go-to panel, a second window, closing and coming back at the same size.
source "$(dirname "$0")/lib.sh"
: "${PELORIN_BINARY:?}"

WORK=$(mktemp -d)
trap 'stop_all; rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$WORK/a b"
start_display
cd "$WORK"

start_pelorin "\"$WORK/a b\""
wait_for "$WORK/a b>"
[[ "$(surface)" == "$WORK/a b>"* ]] || fail "the first prompt is not the quoted folder's"

type_line "echo one"
wait_for $'\none\n'
# Ctrl+L, a line number and Enter move the caret; Ctrl+S and Ctrl+C show where it went.
key ctrl+l
sleep 0.3
xdotool type --window "$WID" "2"
key Return
sleep 0.3
key ctrl+s ctrl+c
sleep 0.3
[[ "$(xclip -selection clipboard -o)" == "one" ]] || fail "go to line 2 did not reach 'one'"
key ctrl+End

# Ctrl+Z ends the wait on a long command at once.
type_line "sleep 5"
sleep 0.5
start=$SECONDS
key ctrl+z
wait_for $'sleep 5\n'"$WORK/a b>" 3
((SECONDS - start <= 2)) || fail "Ctrl+Z did not end the wait at once"

# Ctrl+N starts a second window in a process of its own (started by the first, so its child).
key ctrl+n
second=""
for _ in $(seq 50); do
  second=$(pgrep -P "$PELORIN_PID" -f "$PELORIN_BINARY" || true)
  [[ -n "$second" ]] && break
  sleep 0.1
done
[[ -n "$second" ]] || fail "Ctrl+N started no second process"
for _ in $(seq 50); do
  xdotool search --onlyvisible --pid "$second" >/dev/null 2>&1 && break
  sleep 0.1
done
xdotool search --onlyvisible --pid "$second" >/dev/null 2>&1 || fail "the second window did not appear"
kill $second

# Closed at a new size with Ctrl+X, the window opens at that size again.
xdotool windowsize --sync "$WID" 900 600
sleep 0.5
key ctrl+x 2>/dev/null || true  # the window may be gone before the key is let go
for _ in $(seq 50); do
  kill -0 "$PELORIN_PID" 2>/dev/null || break
  sleep 0.1
done
! kill -0 "$PELORIN_PID" 2>/dev/null || fail "Ctrl+X did not close the window"
start_pelorin
size=$(xdotool getwindowgeometry "$WID" | awk '/Geometry/ {print $2}')
[[ "$size" == "900x600" ]] || fail "reopened at $size instead of 900x600"
echo "window end-to-end: passed"
