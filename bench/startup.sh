#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up of the real program against a floor: a bare window holding a QScintilla editor
# (bare_window), both started the same way on one private X server. "Up" is the moment the
# program's window is mapped and viewable (xdotool finds it by the process id); the program has
# written its first prompt by then, since it shows its window only after loading. Then, a second
# later, the resident memory (VmRSS). Median of RUNS runs each (default 5), after one warm-up run
# each, taken in turns.
#
# Usage: bench/startup.sh [pelorin binary] [bare_window binary]
# (default: the Release build in build-bench, which bench/run_all.sh makes)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pelorin=${1:-$root/build-bench/app/pelorin}
bare=${2:-$root/build-bench/bench/bare_window}
runs=${RUNS:-5}
goal=1.5

# The virtual X server chooses its display number itself: the first number whose sockets it can
# bind, written to descriptor 3 once it accepts connections (-displayfd), so no other server on
# the machine can share it. -noreset: without it the server resets whenever its last client
# leaves, and a client connecting then is refused.
xserver=(Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x900x24)

for tool in "${xserver[0]}" xdotool; do
  command -v "$tool" >/dev/null || { echo "startup.sh: $tool is missing" >&2; exit 2; }
done
for program in "$pelorin" "$bare"; do
  [[ -x "$program" ]] || { echo "startup.sh: no program at $program" >&2; exit 2; }
done
pelorin=$(realpath "$pelorin")
bare=$(realpath "$bare")

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

n=""
mkfifo "$work/displayfd"
"${xserver[@]}" 3>"$work/displayfd" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 60 n <"$work/displayfd" || true
[[ "$n" =~ ^[0-9]+$ ]] || { echo "startup.sh: no X display could be started" >&2; exit 2; }
export DISPLAY=":$n"

# Both programs alike: the X display, a scratch configuration (nothing stored: the program's
# first start), the same small folder to start in.
export QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config"
mkdir -p "$work/config" "$work/start/a" "$work/start/b"
cd "$work/start"

# measure <program> [arguments]: prints "<milliseconds until up> <VmRSS in kB>".
measure() {
  local start now pid rss
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 &
  pid=$!
  until xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; do
    now=$(date +%s%N)
    if ! kill -0 "$pid" 2>/dev/null || ((now - start > 30000000000)); then
      kill "$pid" 2>/dev/null || true
      echo "startup.sh: $1 showed no window" >&2
      return 1
    fi
    sleep 0.005
  done
  now=$(date +%s%N)
  sleep 1
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "$(((now - start) / 1000000)) $rss"
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

measure "$bare" >/dev/null
measure "$pelorin" "$work/start" >/dev/null
: >"$work/bare" && : >"$work/pelorin"
for _ in $(seq "$runs"); do
  measure "$bare" >>"$work/bare"
  measure "$pelorin" "$work/start" >>"$work/pelorin"
done

bare_ms=$(cut -d' ' -f1 "$work/bare" | median)
pelorin_ms=$(cut -d' ' -f1 "$work/pelorin" | median)
bare_kb=$(cut -d' ' -f2 "$work/bare" | median)
pelorin_kb=$(cut -d' ' -f2 "$work/pelorin" | median)
echo "start-up until the window is up, median of $runs: pelorin $pelorin_ms ms" \
  "(runs: $(cut -d' ' -f1 "$work/pelorin" | xargs)), bare window $bare_ms ms" \
  "(runs: $(cut -d' ' -f1 "$work/bare" | xargs))"
awk -v p="$pelorin_ms" -v b="$bare_ms" -v g="$goal" 'BEGIN {
  r = p / b
  printf "start-up ratio pelorin / bare window: %.2f (goal <= %s) %s\n", r, g, r <= g ? "holds" : "misses"
}'
awk -v p="$pelorin_kb" -v b="$bare_kb" 'BEGIN {
  printf "resident memory a second after start-up (VmRSS), median: pelorin %.1f MB, bare window %.1f MB (no set goal)\n", p / 1024, b / 1024
}'
awk -v p="$pelorin_ms" -v b="$bare_ms" -v g="$goal" 'BEGIN { exit !(p / b <= g) }'
