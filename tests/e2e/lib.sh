# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers for driving the real program on a virtual X display with xdotool and reading the
# surface back through the clipboard. Sourced by the end-to-end scripts.
#
# Nothing here waits a fixed time for something to have happened: every wait is on a condition,
# with an upper bound far above what a slow, busy machine needs (a passing run never reaches it).
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# within <seconds> <command...>: runs the command until it succeeds; false after the seconds.
within() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}

# alive <pid>: the process runs (a zombie counts as ended).
alive() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) && [[ "$state" != Z* ]]
}

# begin_test: a fresh work folder, $WORK, and the clean-up when the script ends. After a
# failure the clean-up first shows the program's log and keeps a screenshot of the display.
begin_test() {
  WORK=$(mktemp -d)
  trap 'end_test $?' EXIT
}

end_test() {
  if (($1 != 0)); then
    report_failure
  fi
  stop_all
  rm -rf "$WORK"
}

report_failure() {
  local log
  for log in "$WORK/pelorin.log" "$WORK/xvfb.log"; do
    if [[ -s "$log" ]]; then
      echo "---- $(basename "$log"):" >&2
      cat "$log" >&2
    fi
  done
  if [[ -n "${XVFB_PID:-}" ]] && ! alive "$XVFB_PID"; then
    local status=0
    wait "$XVFB_PID" 2>/dev/null || status=$?
    echo "---- the X server had ended (status $status)" >&2
  fi
  # What the window showed, when there was one: beside the build when CTest runs the script,
  # else in the temporary folder.
  [[ -n "${WID:-}" && -n "${XVFB_PID:-}" ]] && alive "$XVFB_PID" || return 0
  local dir=${PELORIN_E2E_FAILURES:-${TMPDIR:-/tmp}}
  local shot
  shot="$dir/$(basename "$0" .sh)-$(date +%Y%m%d-%H%M%S)-$$.png"
  mkdir -p "$dir"
  if xwd -root -silent -display "$DISPLAY" | convert xwd:- "png:$shot" 2>/dev/null; then
    echo "---- screenshot: $shot" >&2
  fi
}

# start_display: a private X server for this test. The server chooses its display number itself
# (-displayfd: the first number whose sockets it can bind, written to the descriptor once it
# accepts connections), so two servers can never share one, whatever else runs on the machine.
# -noreset: without it the server resets whenever its last client leaves, and a client
# connecting at that moment is refused.
start_display() {
  local fifo="$WORK/displayfd" n=""
  mkfifo "$fifo"
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x900x24 3>"$fifo" >"$WORK/xvfb.log" 2>&1 &
  XVFB_PID=$!
  # The number and a newline; end of file if the server gave up.
  read -r -t 60 n <"$fifo" || true
  [[ "$n" =~ ^[0-9]+$ ]] || fail "no X display could be started"
  export DISPLAY=":$n" QT_QPA_PLATFORM=xcb
}

# focus_window: gives the program's window the keyboard; returns once the server says it has it.
focus_window() {
  timeout 30 xdotool windowfocus --sync "$WID" || fail "the window did not take the focus"
}

# window_of <pid>: prints the id of the process's visible window; false while it has none.
window_of() {
  local id
  id=$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -n1) || true
  [[ -n "$id" ]] && echo "$id"
}

# start_pelorin [args...]: starts the program, waits for its window and focuses it; sets
# PELORIN_PID and WID. The program shows its window once it has loaded.
start_pelorin() {
  "$PELORIN_BINARY" "$@" >>"$WORK/pelorin.log" 2>&1 &
  PELORIN_PID=$!
  WID=""
  local end=$((SECONDS + 60))
  until WID=$(window_of "$PELORIN_PID"); do
    alive "$PELORIN_PID" || fail "the program ended before its window appeared"
    ((SECONDS < end)) || fail "the window did not appear"
    sleep 0.1
  done
  focus_window
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

# close_by_keys <keys...>: keys that close the window. The window may be gone before the keys
# are let go, so they are let go at the server too: a key left down would repeat into the next
# window that takes the focus (a held Ctrl+X closes it).
close_by_keys() {
  key "$@" 2>/dev/null || true
  xdotool keyup "$@" 2>/dev/null || true
}

clipboard() { xclip -selection clipboard -o 2>/dev/null; }

# copied <keys...>: sends the keys, which copy something, and prints what the clipboard then
# holds. The clipboard first holds a mark of this script's own, read back so that it is known
# to be there; the copy has arrived once the mark is gone. Prints the mark when nothing was
# copied within the bound (an empty selection copies nothing).
copied() {
  local mark="pelorin-e2e-mark-$$-$RANDOM-$RANDOM" text
  printf %s "$mark" | xclip -selection clipboard -i >/dev/null 2>&1
  within 30 eval '[[ "$(clipboard)" == "$mark" ]]' || fail "the clipboard cannot be set"
  key "$@"
  local end=$((SECONDS + 20))
  while text=$(clipboard || true) && [[ "$text" == "$mark" ]] && ((SECONDS < end)); do
    sleep 0.05
  done
  printf '%s\n' "$text"
}

# surface: the console's whole text, through select all and copy; the caret then goes to the
# end, so that no selection is left behind for the next keys to replace.
surface() { copied ctrl+a ctrl+c ctrl+End; }

# wait_for <text> [seconds]: until the surface holds the text.
wait_for() {
  local text=$1 limit=${2:-30} s
  local end=$((SECONDS + limit))
  while ((SECONDS < end)); do
    s=$(surface)
    [[ "$s" == *"$text"* ]] && return 0
    sleep 0.2
  done
  echo "---- surface:" >&2
  surface >&2
  fail "the surface never showed: $text"
}

wait_title() {
  local want=$1 limit=${2:-30}
  within "$limit" eval '[[ "$(title)" == "$want" ]]' || fail "caption is '$(title)', expected '$want'"
}

count_of() { grep -o -F -- "$1" <<<"$(surface)" | wc -l; }

# running_in <folder> <program>: prints the ids of the processes of that name whose current
# folder is the folder (commands the test started there); false when there is none.
running_in() {
  local pid found=1
  for pid in $(pgrep -x "$2"); do
    if [[ "$(readlink "/proc/$pid/cwd" 2>/dev/null)" == "$1" ]]; then
      echo "$pid"
      found=0
    fi
  done
  return $found
}
