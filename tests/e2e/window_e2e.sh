#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The assembled window as a person uses it: a quoted start folder, the menus' shortcuts, the
# go-to panel, a second window, closing and coming back at the same size.
source "$(dirname "$0")/lib.sh"
: "${PELORIN_BINARY:?}"

begin_test
export XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$WORK/a b"
start_display
cd "$WORK"

start_pelorin "\"$WORK/a b\""
wait_for "$WORK/a b>"
[[ "$(surface)" == "$WORK/a b>"* ]] || fail "the first prompt is not the quoted folder's"

type_line "echo one"
wait_for $'\none\n'
# Ctrl+L, a line number and Enter move the caret; Ctrl+S and Ctrl+C show where it went. The
# window handles its keys in order, and Ctrl+L focuses the panel before the number comes.
key ctrl+l
xdotool type --window "$WID" "2"
key Return
[[ "$(copied ctrl+s ctrl+c)" == "one" ]] || fail "go to line 2 did not reach 'one'"
key ctrl+End

# Ctrl+Z ends the wait on a long command at once: the prompt is back while the command still
# runs (it would be back after the minute anyway).
type_line "sleep 60"
wait_title "Working... - Pelorin"
key ctrl+z
wait_for $'sleep 60\n'"$WORK/a b>"
waited=$(running_in "$WORK/a b" sleep) || fail "Ctrl+Z did not end the wait at once"
kill $waited

# Ctrl+N starts a second window in a process of its own (started by the first, so its child).
key ctrl+n
second_of() { pgrep -P "$PELORIN_PID" -f "$PELORIN_BINARY"; }
within 60 second_of >/dev/null || fail "Ctrl+N started no second process"
second=$(second_of)
within 60 window_of "$second" >/dev/null || fail "the second window did not appear"
kill $second
focus_window

# Closed at a new size with Ctrl+X, the window opens at that size again. The resize reaches the
# window before the key does.
xdotool windowsize --sync "$WID" 900 600
close_by_keys ctrl+x
within 60 eval '! alive "$PELORIN_PID"' || fail "Ctrl+X did not close the window"
start_pelorin
size=$(xdotool getwindowgeometry "$WID" | awk '/Geometry/ {print $2}')
[[ "$size" == "900x600" ]] || fail "reopened at $size instead of 900x600"
echo "window end-to-end: passed"
