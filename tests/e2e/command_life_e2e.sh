#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A command's life in the real program: Ctrl+C and Ctrl+Break interrupt it, and a command that
# ignores the first interrupt ends on the second; nothing but its three standard streams reaches
# it; a string that never ends hides nothing after its cap; the history's lock held elsewhere
# holds up nothing; signals to the window close it as its close box does and leave the command
# running to its end; a renamed program still opens a second window.
source "$(dirname "$0")/lib.sh"
: "${PELORIN_BINARY:?}"

begin_test
export XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$WORK/here"
start_display
cd "$WORK/here"
prompt="$WORK/here>"

# The program leads a session and process group of its own, as a terminal's job does, so that
# its group can be signalled as a terminal would signal it.
program=$PELORIN_BINARY
PELORIN_BINARY="$WORK/own-session"
printf '#!/bin/sh\nexec setsid "%s" "$@"\n' "$program" >"$PELORIN_BINARY"
chmod +x "$PELORIN_BINARY"

# Descriptor 7, inherited from whatever started the program, reaches no command.
exec 7>"$WORK/fd-seven-target"
start_pelorin "$WORK/here"
exec 7>&-
wait_for "$prompt"
type_line 'ls -l /proc/$$/fd'
wait_for $'\n'"$prompt"
[[ "$(surface)" != *fd-seven-target* ]] || fail "the program's descriptor 7 reached a command"

# Ctrl+C with nothing selected interrupts the command; the prompt follows. (Each interrupt waits
# until the command runs: a shell may catch SIGINT until it has started it.)
type_line "sleep 100"
within 30 running_in "$WORK/here" sleep >/dev/null || fail "the command did not start"
key ctrl+c
wait_for $'sleep 100\n'"$prompt"
! running_in "$WORK/here" sleep >/dev/null || fail "Ctrl+C left the command running"

# A command that ignores SIGINT: the first Ctrl+C leaves it, the second ends it. The copy made
# after the first (a selection: Ctrl+C copies) shows that the window has handled it.
type_line "trap '' INT; sleep 101"
within 30 running_in "$WORK/here" sleep >/dev/null || fail "the command did not start"
key ctrl+c
surface >/dev/null
running_in "$WORK/here" sleep >/dev/null || fail "the first Ctrl+C ended a command that ignores it"
[[ "$(title)" == "Working... - Pelorin" ]] || fail "the window stopped waiting"
key ctrl+c
wait_for $'sleep 101\n'"$prompt"
! running_in "$WORK/here" sleep >/dev/null || fail "the second Ctrl+C left the command running"

# Ctrl+Break interrupts also with text selected.
type_line "sleep 102"
within 30 running_in "$WORK/here" sleep >/dev/null || fail "the command did not start"
key ctrl+a ctrl+Break
wait_for $'sleep 102\n'"$prompt"
! running_in "$WORK/here" sleep >/dev/null || fail "Ctrl+Break left the command running"

# A string that never ends stops at its cap, wherever the cap falls (here inside a character
# after a mebibyte): everything after it is shown.
type_line "printf '\\033]'; head -c 1048575 /dev/zero | tr '\\0' a; printf '\\302\\260'; seq 20000; echo END"
wait_for $'\nEND\n'"$prompt" 60
# The character across the cap is shown whole, at the start of the first line.
shown=$(surface | grep -c -E '^(°)?[0-9]+$' || true)
echo "figure: $shown of 20000 lines shown after an unterminated string of 1 MiB"
((shown == 20000)) || fail "the lines after an unterminated string were hidden ($shown shown)"

# The history's lock held by another program holds up nothing: the window opens and runs
# commands at once, and the earlier commands come back for Up once the lock is let go.
kill "$PELORIN_PID"
within 60 eval '! alive "$PELORIN_PID"' || fail "the window did not close"
lock="$XDG_CONFIG_HOME/pelorin/history.lock"
flock "$lock" sleep 30 &
holder=$!
within 10 eval '! flock -n "$lock" true' || fail "the history's lock could not be held"
began=$(date +%s%3N)
start_pelorin "$WORK/here"
opened=$(($(date +%s%3N) - began))
wait_for "$prompt"
# (Timed by what the command does, not by reading the surface: a copy made while the prompt
# comes back may find its selection gone and wait for its bound.)
xdotool type --delay 15 --window "$WID" -- "touch $WORK/while-held"
began=$(date +%s%3N)
key Return
within 30 test -e "$WORK/while-held" || fail "the command did not run while the lock was held"
answered=$(($(date +%s%3N) - began))
wait_for "while-held"$'\n'"$prompt"
echo "figure: with the history's lock held the window opened in $opened ms and a command was" \
  "answered in $answered ms"
((opened < 5000)) || fail "the window waited for the history's lock ($opened ms)"
((answered < 5000)) || fail "the command waited for the history's lock ($answered ms)"
kill "$holder"
wait "$holder" 2>/dev/null || true
second_recalled() {
  key Up Up
  [[ "$(surface)" == *"$prompt"*'seq 20000; echo END' ]] && return 0
  key Down Down
  return 1
}
within 30 second_recalled || fail "Up did not reach the earlier window's commands"
key Down Down
# --- The end of a command whose program left behind holds its output: the last reads (a second
# at most) never hold the window. The File menu opens during them as fast as when nothing runs
# (the time includes the harness's own: each look is a program start).
menu_open() { (($(xdotool search --onlyvisible --pid "$PELORIN_PID" | wc -l) > 1)); }
# open_menu_ms: clicks the File menu and prints how long it took to show, in milliseconds.
open_menu_ms() {
  xdotool mousemove --window "$WID" 300 200
  local t0 t1
  t0=$(date +%s%N)
  xdotool mousemove --window "$WID" 18 8 click 1
  local end=$((SECONDS + 30))
  until menu_open; do  # looked at without a pause: each look takes a program start already
    ((SECONDS < end)) || fail "the File menu did not open"
  done
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000000))
  key Escape Escape  # the menu, then the menu row's keyboard mode
}
idle_ms=$(open_menu_ms)
type_line "(sleep 3 &); sleep 0.1"
sleep 0.4  # the command has ended; its last reads last until a second after that
draining_ms=$(open_menu_ms)
wait_for $'sleep 0.1\n'"$prompt"
echo "File menu while the last reads last: $draining_ms ms (nothing running: $idle_ms ms)"
((draining_ms - idle_ms < 250)) || fail "the window froze while the last reads lasted"

# --- What reads on after the window let go of a command's output is a small program of its own,
# not a copy of the window with all its history: its proportional set size stays under 5 MB.
type_line "seq 200000"
wait_for $'199999\n200000\n'"$prompt" 120
type_line "sleep 60 & echo \$! > $WORK/sleeper"
wait_for $'sleeper\n'"$prompt"
sleeper=$(cat "$WORK/sleeper")
target=$(readlink "/proc/$sleeper/fd/2")
reader_of() {
  local fd
  for fd in /proc/[0-9]*/fd/*; do
    [[ "$(readlink "$fd" 2>/dev/null)" == "$target" ]] || continue
    fd=${fd#/proc/}
    [[ ${fd%%/*} != "$sleeper" ]] && echo "${fd%%/*}" && return 0
  done
  return 1
}
within 30 reader_of >/dev/null || fail "nothing reads the command's output after the window let go"
reader=$(reader_of)
[[ "$(readlink "/proc/$reader/exe")" == */pelorin-helper ]] ||
  fail "the reader is $(readlink "/proc/$reader/exe"), not the helper"
pss=$(awk '/^Pss:/ {print $2}' "/proc/$reader/smaps_rollup")
echo "the reader's proportional set size: $pss kB (the window: $(awk '/^Pss:/ {print $2}' "/proc/$PELORIN_PID/smaps_rollup") kB)"
# A helper built with AddressSanitizer carries the sanitizer's own memory besides.
limit=5120
! grep -q __asan_init "$(readlink "/proc/$reader/exe")" || limit=16384
((pss < limit)) || fail "the reader holds $pss kB"
kill "$sleeper"

# Told to end, by a signal to the program or to its process group as a terminal sends them, the
# window closes as by its close box: it opens again at the size it had. Its running command is
# left alone: it writes far more than a pipe holds after the window has gone, and ends well.
mkfifo "$WORK/go"
size=900
for how in "-INT -- -" "-TERM -- " "-HUP -- -"; do
  xdotool windowsize --sync "$WID" "$size" 600
  rm -f "$WORK/mark"
  type_line "read x < $WORK/go; seq 100000; echo \$? > $WORK/mark"
  wait_title "Working... - Pelorin"
  # shellcheck disable=SC2086 # the signal, and whether the group gets it
  kill $how"$PELORIN_PID"
  within 60 eval '! alive "$PELORIN_PID"' || fail "kill $how did not close the window"
  timeout 30 sh -c "echo > '$WORK/go'" || fail "the command did not survive kill $how"
  within 30 test -s "$WORK/mark" || fail "the command left running did not end (kill $how)"
  [[ "$(cat "$WORK/mark")" == 0 ]] || fail "the command left running ended with $(cat "$WORK/mark")"
  start_pelorin "$WORK/here"
  got=$(xdotool getwindowgeometry "$WID" | awk '/Geometry/ {print $2}')
  [[ "$got" == "${size}x600" ]] || fail "after kill $how the window opened at $got, not ${size}x600"
  size=$((size - 100))
done

# Started under another name, "New window" (Ctrl+N) starts the program's own file.
kill "$PELORIN_PID"
within 60 eval '! alive "$PELORIN_PID"' || fail "the window did not close"
cp "$program" "$WORK/pelorin-renamed"
PELORIN_BINARY="$WORK/pelorin-renamed"
start_pelorin "$WORK/here"
key ctrl+n
second_of() { pgrep -P "$PELORIN_PID" -x pelorin-renamed; }
within 60 second_of >/dev/null || fail "Ctrl+N started no second process"
second=$(second_of)
within 60 window_of "$second" >/dev/null || fail "the second window did not appear"
kill "$second"

echo "command life end-to-end: passed"
