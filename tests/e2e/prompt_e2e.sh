#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The prompt as shell users expect it, in the real program: a variable that carries over, the
# mark of a failed command, pasted lines run in turn, cls, Ctrl+R, Tab on a program's name, the
# tree following cd. What the surface does not show in words (the mark, the tree's selection)
# is read from the console's debug log.
source "$(dirname "$0")/lib.sh"
: "${PELORIN_BINARY:?}"

begin_test
export XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$WORK/here/sub/deeper" "$WORK/bin"
# A PATH of known programs: python3 is the only one beginning with "pyth".
for program in python3 sh; do
  ln -s "/usr/bin/$program" "$WORK/bin/$program"
done
export SHELL=/bin/sh QT_LOGGING_RULES="pelorin.console.debug=true"
unset TERM PAGER PYTHONUNBUFFERED
start_display
cd "$WORK/here"
start_pelorin "$WORK/here"
P="$WORK/here>"
wait_for "$P"

# A variable exported at the prompt reaches the next command; so does PATH.
type_line "export FOO=bar PATH=$WORK/bin"
type_line 'echo "[$FOO]"'
wait_for $'\n[bar]\n'"$P"

# A failed command: a mark at its prompt line, with its status.
type_line 'sh -c "exit 3"'
wait_for $'sh -c "exit 3"\n'"$P"
within 30 grep -q "failure mark at line [0-9]*: exit status 3" "$WORK/pelorin.log" ||
  fail "no failure mark for exit status 3"

# Two pasted lines both run, in order, each behind its own prompt.
printf 'echo first-line\necho second-line\n' | xclip -selection clipboard -i
key ctrl+v
key Return
wait_for "$P"$'echo first-line\nfirst-line\n'"$P"$'echo second-line\nsecond-line\n'"$P"

# cls leaves one prompt and nothing else.
type_line "cls"
within 30 eval '[[ "$(surface)" == "$P" ]]' || fail "cls left: $(surface)"

# Ctrl+R finds an earlier command by a part of it.
type_line "echo needle-42"
wait_for $'\nneedle-42\n'"$P"
key ctrl+r
xdotool type --delay 15 --window "$WID" -- "dle-4"
key Return
wait_for $'\n'"$P"'echo needle-42'
key Return
wait_for "$P"$'echo needle-42\nneedle-42\n'"$P"$'echo needle-42\nneedle-42\n'"$P"

# Tab completes a program's name on PATH.
xdotool type --delay 15 --window "$WID" -- "pyth"
key Tab
wait_for $'\n'"$P"'python3'
key Escape

# The tree follows cd, and no second prompt follows.
type_line "cd sub"
wait_for $'cd sub\n'"$WORK/here/sub>"
within 30 grep -q "tree shows \"$WORK/here/sub\"" "$WORK/pelorin.log" ||
  fail "the tree did not follow cd"
[[ "$(surface)" == *$'cd sub\n'"$WORK/here/sub>" ]] || fail "a second prompt: $(surface)"
echo "prompt end-to-end: passed"
