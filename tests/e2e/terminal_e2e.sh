#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Talking to a running command in the real program, as a person does: answering a question,
# a REPL, cat ended with Ctrl+D, rm -i, a password that is never shown nor kept, a program's
# lines arriving one by one on its terminal, and the two streams in the order they were written.
source "$(dirname "$0")/lib.sh"
: "${PELORIN_BINARY:?}"

begin_test
export XDG_CONFIG_HOME="$WORK/config"
# A user starts the program from a desktop launcher: nothing of a developer's shell.
unset TERM PAGER PYTHONUNBUFFERED
mkdir -p "$WORK/here"
start_display
cd "$WORK/here"
prompt="$WORK/here>"
start_pelorin "$WORK/here"
wait_for "$prompt"

# asked <text>: the command has written its question (the command line holds it once already).
asked() { (($(count_of "$1") >= 2)); }

type_line 'read -p "name? " x; echo got $x'
within 30 asked "name? " || fail "read asked nothing"
type_line 'Ann'
wait_for $'Ann\ngot Ann\n'"$prompt"

# Python's banner goes to standard error and its prompt to the terminal: written a moment apart,
# they may show in either order. The line typed shows once: readline's echo of it is taken out.
type_line 'python3'
wait_for ">>> "
type_line 'print(6*7)'
wait_for $'print(6*7)\n42\n>>> '
type_line 'exit()'
wait_for $'>>> exit()\n'"$prompt"
(($(count_of 'print(6*7)') == 1)) || fail "the line typed to python3 shows more than once"

# The terminal echoes the line typed: shown once, then cat's copy.
type_line 'cat'
type_line 'abc'
wait_for $'cat\nabc\nabc'
key ctrl+d
wait_for $'cat\nabc\nabc\n'"$prompt"

touch f
type_line 'rm -i f'
wait_for "remove"
type_line 'y'
wait_for $'y\n'"$prompt"
[[ ! -e f ]] || fail "rm -i answered y left the file"

# The terminal's echo is off: dots while typing, nothing of it afterwards, on the surface, in a
# copy of all of it, or in the history.
# Written for plain sh too, the interpreter when SHELL is unset: it has no read -s.
type_line 'printf "pw: "; stty -echo; read p; stty echo; echo ${#p}'
within 30 asked "pw: " || fail "the password question was not asked"
type_line 'secret'
wait_for $'pw: 6\n'"$prompt"
[[ "$(surface)" != *secret* ]] || fail "the password is on the surface"
! grep -q secret "$XDG_CONFIG_HOME/pelorin/history" || fail "the password is in the history"

# Without -u, Python buffers its output unless it writes to a terminal: the first line is there
# before the last is written (two seconds later).
type_line 'python3 -c "import time; [print(i) or time.sleep(1) for i in range(3)]"'
wait_for $'range(3)]"\n0'
[[ "$(surface)" != *$'\n0\n1\n2\n'* ]] || fail "the lines arrived in one burst at the end"
wait_for $'\n0\n1\n2\n'"$prompt"

type_line 'for i in 1 2 3 4 5 6; do echo out$i; sleep 0.07; echo err$i >&2; sleep 0.07; done'
wait_for "STDERR: err6"$'\n'"$prompt"
expected=""
for i in 1 2 3 4 5 6; do
  expected+="out$i"$'\n'"STDERR: err$i"$'\n'
done
[[ "$(surface)" == *"$expected$prompt"* ]] || fail "the streams are not in the order written"

echo "terminal end-to-end: passed"
