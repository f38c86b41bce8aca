#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The console as a person uses it: commands, errors, cd, run, a protected prompt, F2, the caption.
source "$(dirname "$0")/lib.sh"
: "${PELORIN_BINARY:?}"

begin_test
export XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$WORK/here/marker-folder"
start_display
cd "$WORK/here"
start_pelorin "$WORK/here"

wait_title "$WORK/here - Pelorin"
wait_for "$WORK/here>"

type_line "echo hello"
wait_for $'\nhello\n'"$WORK/here>"

type_line "ls -l"
wait_for "marker-folder"

type_line "echo oops 1>&2"
wait_for "STDERR: oops"

type_line "cd .."
wait_title "$WORK - Pelorin"
wait_for $'\n'"$WORK>"

type_line "cd /nonexistent"
wait_for $'\n/nonexistent: Path not found\n'"$WORK>"

# run does not wait: the prompt is back while the command still runs.
type_line "run sleep 60"
wait_for $'run sleep 60\n'"$WORK>"
started=$(running_in "$WORK" sleep) || fail "run waited for its command"
kill $started

# Backspace stops at the prompt, which stays whole: the line behind it runs.
key BackSpace BackSpace BackSpace
type_line "echo safe"
wait_for "$WORK>echo safe"$'\nsafe\n'"$WORK>"

# F2 writes the last command again.
type_line "echo recall-me"
wait_for $'\nrecall-me\n'
key F2
key Return
wait_for "$WORK>echo recall-me"$'\nrecall-me\n'"$WORK>echo recall-me"$'\nrecall-me\n'"$WORK>"
wait_title "$WORK - Pelorin"
echo "console end-to-end: passed"
