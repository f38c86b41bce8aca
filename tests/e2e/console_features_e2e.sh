#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The console's rules for what commands write and what the user types, in the real program: the
# prompt on a line of its own, blanks in quotes, standard error labelled line by line, colours
# and redrawn lines, Tab, and Up across a restart.
source "$(dirname "$0")/lib.sh"
: "${PELORIN_BINARY:?}"

begin_test
export XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$WORK/here/two  spaces"
start_display
cd "$WORK/here"
start_pelorin "$WORK/here"
P="$WORK/here>"
wait_for "$P"

# Output without a line break at its end: the prompt starts a line of its own and takes the
# next command.
type_line "printf abc"
wait_for $'printf abc\nabc\n'"$P"
type_line "echo next"
wait_for $'\nnext\n'"$P"

# Blanks inside quotes reach the command and cd; Tab completes the folder's name.
type_line 'echo "a     b"'
wait_for $'\na     b\n'"$P"
xdotool type --delay 15 --window "$WID" -- "cd tw"
key Tab
key Return
wait_title "$WORK/here/two  spaces - Pelorin"
wait_for 'cd "two  spaces/"'
type_line "cd .."
wait_title "$WORK/here - Pelorin"

# Every line of standard error labelled; the two streams never share a line (shown in the order
# written, which the pause puts beyond doubt).
type_line "printf 'o1\\no2'; sleep 0.2; printf 'e1\\ne2\\n' 1>&2"
wait_for $'\no1\no2\nSTDERR: e1\nSTDERR: e2\n'"$P"

# Colours are shown and copied as plain text; a carriage return redraws its line.
type_line "printf '\\033[31mred\\033[0m plain\\033]0;title\\007\\n'"
wait_for $'\nred plain\n'"$P"
type_line "printf 'a\\rb\\n'"
wait_for $'\nb\n'"$P"

# Up recalls the last command, Down the line being typed; and after a restart, Up still finds
# the command of the run before.
type_line "echo recalled"
wait_for $'\nrecalled\n'"$P"
key Up
key Return
wait_for "$P"$'echo recalled\nrecalled\n'"$P"$'echo recalled\nrecalled\n'"$P"
close_by_keys ctrl+x
within 30 eval '! alive "$PELORIN_PID"' || fail "Ctrl+X did not close the window"
start_pelorin "$WORK/here"
wait_for "$P"
# The earlier commands are read beside the window, not before it opens: Up finds them once read.
recalled() {
  key Up
  [[ "$(surface)" == *"$P"'echo recalled' ]] && return 0
  key Down
  return 1
}
within 30 recalled || fail "Up did not find the command of the run before"
key Return
wait_for "$P"$'echo recalled\nrecalled\n'"$P"
echo "console features end-to-end: passed"
