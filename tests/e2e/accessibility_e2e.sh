#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The console as a screen reader meets it, on a real accessibility bus (AT-SPI): new output
# arrives as text-inserted events, the console's text and the caret can be read, and every menu
# item, the folder tree, the splitter bar and the list of choices have names.
source "$(dirname "$0")/lib.sh"
: "${PELORIN_BINARY:?}"

# A session bus of the test's own: the accessibility bus is found through it.
if [[ -z "${PELORIN_E2E_SESSION:-}" ]]; then
  exec env PELORIN_E2E_SESSION=1 dbus-run-session -- bash "$0" "$@"
fi
# The system's Python has pyatspi; one of the user's own (pyenv, a virtualenv) may not.
PYTHON=/usr/bin/python3
PROBE="$(cd "$(dirname "$0")" && pwd)/atspi_probe.py"
probe() { timeout 30 "$PYTHON" "$PROBE" "$@"; }

begin_test
trap 'status=$?; [[ -n "${LISTENER_PID:-}" ]] && kill "$LISTENER_PID" 2>/dev/null
      end_test $status' EXIT
export XDG_CONFIG_HOME="$WORK/config"
unset TERM PAGER PYTHONUNBUFFERED
mkdir -p "$WORK/here/alpha-one" "$WORK/here/alpha-two"
start_display
cd "$WORK/here"

# The session bus starts the accessibility bus on the first question for it (D-Bus activation);
# both end with the session when the script does.
bus_up() {
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    >/dev/null 2>&1
}
within 30 bus_up || fail "the accessibility bus did not start"

# The listener is there before the program starts, as a screen reader would be; the program
# tells the bridge that someone listens, as a desktop with a screen reader on does.
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
events="$WORK/events"
: >"$events"
"$PYTHON" "$PROBE" listen "$events" >>"$WORK/listener.log" 2>&1 &
LISTENER_PID=$!
within 30 grep -qx ready "$events" || fail "the event listener did not start: $(cat "$WORK/listener.log")"

start_pelorin "$WORK/here"
wait_for "$WORK/here>"
# The program hears of the listener on its own time: a typed key shows when it has.
key x
within 30 grep -q '^insert [0-9]* "x"$' "$events" || fail "no text-inserted event for a key"
key BackSpace

type_line "echo hello"
within 30 grep -q '^insert [0-9]* ".*hello\\n' "$events" ||
  fail "no text-inserted event for the output: $(cat "$events")"
text=$(probe text "$PELORIN_PID")
[[ "$text" == *"$WORK/here>echo hello"$'\n'"hello"$'\n'"$WORK/here>" ]] ||
  fail "the console's text through AT-SPI: $text"

# The caret after keys: two characters typed, one step back, read as an offset and as the line
# a screen reader speaks.
xdotool type --window "$WID" "ab"
key Left
caret_one_back() {
  local offset count
  read -r offset count < <(probe caret "$PELORIN_PID")
  [[ "$(probe text "$PELORIN_PID")" == *">ab" ]] && ((offset == count - 1))
}
within 30 caret_one_back || fail "caret offset after Left: $(probe caret "$PELORIN_PID")"
read -r offset count < <(probe caret "$PELORIN_PID")
line=$(probe caret "$PELORIN_PID" | tail -n1)
[[ "$line" == "\"$WORK/here>ab\"" ]] || fail "the line at the caret: $line"
within 30 grep -qx "caret $offset" "$events" || fail "no caret-moved event to $offset"
key End BackSpace BackSpace

# Tab twice lists both folders; the list and its choices have names.
xdotool type --window "$WID" "cd al"
key Tab
key Tab
list_shown() { probe names "$PELORIN_PID" | grep -q $'^list\tChoices$'; }
within 30 list_shown || fail "no list of choices: $(probe names "$PELORIN_PID")"
names=$(probe names "$PELORIN_PID")
key Escape
for want in $'menu item\tFile' $'menu item\tNew window' $'menu item\tGo to Line...' \
  $'menu item\tDesktop colours' $'tree\tFolder tree' $'terminal\tConsole' \
  $'split pane\tSplitter bar' $'list item\talpha-one/' $'frame\t'"$WORK/here - Pelorin"; do
  grep -qxF -- "$want" <<<"$names" || fail "no '$want' among the accessible names: $names"
done
if grep -qE $'^(menu item|check menu item)\t$' <<<"$names"; then
  fail "a menu item without a name: $names"
fi
echo "accessibility end-to-end: passed"
