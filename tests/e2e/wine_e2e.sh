#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows program as a person uses it, under Wine with the real cmd.exe and Wine's registry:
# the ZIP unpacked into a fresh prefix, its pelorin.exe started on a private X display, driven
# with xdotool and read back through Ctrl+A, Ctrl+C and the clipboard (Wine hands the Windows
# clipboard to X). Wine's messages and code pages are not Windows': the checks hold the rules,
# never Wine's wording.
#   tests/e2e/wine_e2e.sh <pelorin-<version>-win64.zip>
# PELORIN_SHOTS=<folder> keeps a screenshot of the running program there.
set -Eeuo pipefail
zip=$(realpath "$1")
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64

WORK=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-wine-e2e.XXXXXX")
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all
# No .NET or HTML engine: wineboot would offer to install them.
export WINEDLLOVERRIDES="mscoree,mshtml="
LOG=$WORK/pelorin.log
shots=${PELORIN_SHOTS:-${TMPDIR:-/tmp}}
XVFB_PID=""
checks=0

stop_all() {
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  [[ -n $XVFB_PID ]] && kill "$XVFB_PID" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap stop_all EXIT

screenshot() {
  local file
  file=$shots/pelorin-wine-$1-$(date +%Y%m%d-%H%M%S).png
  mkdir -p "$shots"
  xwd -root -silent | convert xwd:- "png:$file" 2>/dev/null && echo "$file"
}

fail() {
  echo "FAIL: $*" >&2
  echo "---- program log ($LOG):" >&2
  cat "$LOG" >&2 2>/dev/null || true
  [[ -n ${DISPLAY:-} ]] && echo "screenshot: $(screenshot failure)" >&2
  exit 1
}

# No step may end the test without saying why (set -E: in functions too).
trap 'fail "the step at line $LINENO failed"' ERR

pass() {
  checks=$((checks + 1))
  echo "ok $checks - $*"
}

# until_true <seconds> <command...>: runs the command until it succeeds or the time is up. The
# command's arguments are expanded once, so conditions that read the screen are functions.
until_true() {
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.2
  done
}

# --- the ZIP holds the program, its README and licence, and no DLL beside the program
mkdir -p "$WORK/unpacked"
(cd "$WORK/unpacked" && cmake -E tar xf "$zip")
top=$(ls "$WORK/unpacked")
contents=$(cd "$WORK/unpacked/$top" && ls | sort | tr '\n' ' ')
[[ $contents == "LICENSE.txt README.md pelorin.exe " ]] || fail "the ZIP holds: $contents"
imports=$(x86_64-w64-mingw32-objdump -p "$WORK/unpacked/$top/pelorin.exe" | awk '/DLL Name:/ {print $3}')
if grep -viE '^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|imm32|winmm|ws2_32|uxtheme|dwmapi|version|shlwapi|netapi32|userenv|wtsapi32|setupapi|d3d9|dxgi|dwrite|d3d11|d3d12|dcomp|dxguid|authz|mpr|msvcrt|ntdll|crypt32|bcrypt|winspool\.drv|opengl32|gdiplus|comctl32|secur32|rpcrt4|shcore|api-ms-win-[a-z0-9-]+)\.dll$' <<<"$imports"; then
  fail "pelorin.exe imports DLLs that are not the system's (above)"
fi
pass "the ZIP holds pelorin.exe, README.md and LICENSE.txt; pelorin.exe imports only system DLLs"

# --- a private X display (Xvfb picks a free number), then a fresh prefix that uses it
mkfifo "$WORK/displayfd"
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x900x24 3>"$WORK/displayfd" >/dev/null 2>&1 &
XVFB_PID=$!
read -r -t 30 display <"$WORK/displayfd" || fail "Xvfb reported no display"
export DISPLAY=":$display"

# One server for the whole run; the prefix is made while the display is up, so Wine's desktop
# process (which bridges the clipboard to X) runs on it.
mkdir -p "$WINEPREFIX"
"$wineserver" -p
"$wine" wineboot --init >"$WORK/wineboot.log" 2>&1 || fail "wineboot failed"
drive_c=$WINEPREFIX/drive_c
mkdir -p "$drive_c/Pelorin" "$drive_c/pelorin e2e/start here"
cp "$WORK/unpacked/$top/pelorin.exe" "$drive_c/Pelorin/"
: >"$drive_c/pelorin e2e/start here/marker-file.txt"
# A second drive, D:, with a folder on it: a cd there changes the drive as well.
mkdir -p "$WORK/other drive/sub folder"
ln -sfn "$WORK/other drive" "$WINEPREFIX/dosdevices/d:"
other_drive='D:\sub folder'

# --- the program's windows: Wine names the X window's class after the program file
windows() { xdotool search --onlyvisible --classname 'pelorin.exe' 2>/dev/null || true; }
window_count() { windows | grep -c . || true; }

# start_pelorin [args...]: starts pelorin.exe, waits for its window; sets PELORIN_PID and WID.
start_pelorin() {
  local before
  before=$(windows)
  "$wine" 'C:\Pelorin\pelorin.exe' "$@" >>"$LOG" 2>&1 &
  PELORIN_PID=$!
  WID=""
  local end=$((SECONDS + 60))
  while [[ -z $WID ]] && ((SECONDS < end)); do
    WID=$(comm -13 <(sort <<<"$before") <(windows | sort) | head -n 1)
    [[ -n $WID ]] || sleep 0.2
  done
  [[ -n $WID ]] || fail "the window did not appear"
  focus
}

focused() { [[ "$(xdotool getwindowfocus 2>/dev/null)" == "$WID" ]]; }
size() { xdotool getwindowgeometry "$WID" | awk '/Geometry/ {print $2}'; }
size_is() { [[ "$(size)" == "$1" ]]; }
window_count_is() { (($(window_count) == $1)); }
ended() { ! kill -0 "$1" 2>/dev/null; }

focus() {
  timeout 10 xdotool windowfocus --sync "$WID" 2>/dev/null || xdotool windowfocus "$WID"
  until_true 10 focused || fail "the window took no focus"
}

title() { xdotool getwindowname "$WID" 2>/dev/null || true; }
key() { xdotool key --delay 30 "$@"; }
type_line() {
  xdotool type --delay 20 -- "$1"
  key Return
}

# The console's whole text through Select All, Copy and the clipboard, with LF line ends. The
# clipboard holds a mark first, so the copy is seen to have arrived when the mark is gone. The
# xclip that serves the mark stays until the program takes the clipboard over: it must not
# hold the caller's output open.
mark="pelorin-e2e: nothing copied yet"
clipboard() { xclip -selection clipboard -o 2>/dev/null | tr -d '\r' || true; }
marked() { [[ "$(clipboard)" == "$mark" ]]; }
surface() {
  printf '%s' "$mark" | xclip -selection clipboard -i >/dev/null 2>&1
  until_true 10 marked || fail "the clipboard did not take the mark"
  key ctrl+a ctrl+c ctrl+End
  until_true 10 eval '! marked' || fail "Ctrl+A, Ctrl+C put nothing on the clipboard"
  clipboard
}
last_line() { surface | tail -n 1; }
surface_has() { [[ "$(surface)" == *"$1"* ]]; }
# Wine's file system keeps the case it was given; Windows' rule is that case does not matter.
same_path() { [[ "${1,,}" == "${2,,}" ]]; }
last_line_is() { same_path "$(last_line)" "$1"; }
prompt_is() { last_line_is "$1>"; }
title_is() { same_path "$(title)" "$1"; }

wait_surface() { until_true "${2:-20}" surface_has "$1" || fail "the surface never showed: $1"$'\n'"---- surface:"$'\n'"$(surface)"; }
wait_prompt() { until_true "${2:-20}" prompt_is "$1" || fail "the last line is '$(last_line)', expected the prompt $1>"; }

# --- start-up: the window, and the first prompt for the start folder in Windows form
start=$SECONDS
start_pelorin 'C:\pelorin e2e\start here'
pass "the window appeared ($((SECONDS - start)) s after the start)"
start_dir='C:\pelorin e2e\start here'
wait_prompt "$start_dir" 30
first=$(surface | head -n 1)
same_path "$first" "$start_dir>" || fail "the first line is '$first'"
[[ $first =~ ^[A-Za-z]:\\ ]] || fail "the first prompt is not in Windows form: $first"
until_true 10 title_is "$start_dir - Pelorin" || fail "caption '$(title)'"
pass "the first prompt is the start folder in Windows form: $first"

# --- the splitter: a drag on the bar moves it (the tree widens), and a drag back restores the
# layout the rest of the test sees. Checked first, while the tree shows few folders and the
# surface one line.
# The boundary between the tree and the surface along a row of pixels low in the window: the
# first column whose colour is not the tree's background.
geometry=$(size)
width=${geometry%x*}
row=$((${geometry#*x} * 3 / 4))
pixel_row() { xwd -id "$WID" -silent | convert xwd:- -crop "$1x1+$2+$row" +repage -depth 8 txt:-; }
boundary() {
  pixel_row "$width" 0 |
    awk 'NR > 1 && !found { x = $1 + 0; if (x == 8) bg = $3; else if (x > 8 && $3 != bg) { print x; found = 1 } }'
}
# While the button is down the bar is drawn as a checkered strip, every other pixel inverted.
bar_drawn_at() {
  pixel_row 9 $(($1 - 4)) | awk -F'[(),]' 'NR > 1 && $2 < 48 && $3 < 48 && $4 < 48 { dark = 1 } END { exit !dark }'
}
boundary_near() { local b; b=$(boundary) && [[ -n $b ]] && ((b >= $1 - 10 && b <= $1 + 10)); }
# drag_bar <from> <to>: the drag measures the pointer's travel from where the system reports it
# when the press is handled, so, like a hand, the pointer rests until the bar shows, then moves,
# and lets go once the bar is seen at the target.
drag_bar() {
  local from=$1 to=$2
  xdotool mousemove --window "$WID" $((from + 2)) "$row" mousedown 1
  until_true 10 bar_drawn_at $((from + 2)) || fail "a press on the bar drew no drag bar"
  xdotool mousemove --window "$WID" $(((from + to) / 2)) "$row"
  xdotool mousemove --window "$WID" $((to + 2)) "$row"
  until_true 10 bar_drawn_at $((to + 2)) || fail "the drag bar did not follow the pointer to x=$to"
  xdotool mouseup 1
  until_true 10 boundary_near "$to" || fail "the bar did not follow the drag to x=$to: boundary at $(boundary)"
}
left_edge=$(boundary)
[[ -n $left_edge ]] || fail "no boundary between the tree and the surface"
target=$((left_edge + 152))
! bar_drawn_at "$target" || fail "something dark at x=$target before the drag"
drag_bar "$left_edge" "$target"
drag_bar "$(boundary)" "$left_edge"
pass "a drag on the splitter bar moves it (boundary from x=$left_edge to x=$target and back)"
focus

# --- commands through the real cmd.exe
type_line "echo hello"
wait_surface $'\nhello\n'
wait_prompt "$start_dir"
pass "echo hello shows hello, then a new prompt"

type_line "dir"
wait_surface "marker-file.txt"
wait_prompt "$start_dir"
pass "dir lists the folder"

if [[ -n ${PELORIN_SHOTS:-} ]]; then
  echo "screenshot: $(screenshot echo-and-dir)"
fi

type_line "echo to-stderr 1>&2"
wait_surface "STDERR: to-stderr"
wait_prompt "$start_dir"
pass "text on standard error is shown after \"STDERR: \""

# F2 writes the last command behind the prompt; Enter runs it again.
before=$(surface | grep -c 'STDERR: to-stderr')
key F2
until_true 10 last_line_is "$start_dir>echo to-stderr 1>&2" || fail "F2 gave '$(last_line)'"
key Return
stderr_lines_above() { (($(surface | grep -c 'STDERR: to-stderr') > $1)); }
until_true 20 stderr_lines_above "$before" || fail "the recalled line did not run"
wait_prompt "$start_dir"
pass "F2 recalls the last command"

# --- directory changes: cd .. and a drive-qualified cd
type_line "cd .."
wait_prompt 'C:\pelorin e2e'
until_true 10 title_is 'C:\pelorin e2e - Pelorin' || fail "caption '$(title)' after cd .."
pass "cd .. changes the prompt and the caption"

type_line "cd $other_drive"
wait_prompt "$other_drive"
until_true 10 title_is "$other_drive - Pelorin" || fail "caption '$(title)' after cd to $other_drive"
pass "a drive-qualified cd changes the drive: prompt $other_drive>"

# --- Ctrl+Z ends the wait on a long command (Wine's ping waits a second between replies; Wine
# has no timeout.exe or choice.exe). The command runs two minutes: the prompt back within a few
# seconds, allowing for a loaded machine, is the wait ended.
type_line "ping -n 120 127.0.0.1"
until_true 10 title_is "Working... - Pelorin" || fail "caption '$(title)' while a command runs"
start=$SECONDS
key ctrl+z
until_true 10 title_is "$other_drive - Pelorin" || fail "Ctrl+Z did not end the wait: caption '$(title)'"
wait_prompt "$other_drive" 10
((SECONDS - start <= 10)) || fail "Ctrl+Z took $((SECONDS - start)) s"
pass "Ctrl+Z ends the wait on a long command ($((SECONDS - start)) s)"

# --- Ctrl+N starts a second pelorin.exe
first_wid=$WID
key ctrl+n
until_true 60 window_count_is 2 || fail "Ctrl+N brought no second window"
second=$(windows | grep -vx "$first_wid" | head -n 1)
[[ $(xdotool getwindowpid "$second") != $(xdotool getwindowpid "$first_wid") ]] ||
  fail "the second window belongs to the first process"
pass "Ctrl+N starts a second pelorin.exe, a process with a window of its own"
# It ends by its own Ctrl+X, before the placement of the first is checked.
WID=$second
focus
key ctrl+x
until_true 20 window_count_is 1 || fail "the second window did not close"
WID=$first_wid
focus

# --- the placement: closed at a new size, stored under HKCU\Software\Pelorin, reopened there
xdotool windowsize --sync "$WID" 900 600
until_true 10 size_is 900x600 || fail "the window did not take the new size"
# The area the window grew by is painted once the program has taken in the new size.
painted_to_corner() {
  [[ $(xwd -id "$WID" -silent | convert xwd:- -crop 1x1+895+595 +repage -depth 8 txt:-) != *'#000000'* ]]
}
until_true 10 painted_to_corner || fail "the window did not lay itself out at 900x600"
key ctrl+x
until_true 20 ended "$PELORIN_PID" || fail "Ctrl+X did not end pelorin.exe"
reg=$("$wine" reg query 'HKEY_CURRENT_USER\Software\Pelorin' 2>/dev/null | tr -d '\r')
# A value as a number: REG_DWORD values are listed in hexadecimal (0x...).
value() {
  local v
  v=$(awk -v name="$1" 'tolower($1) == tolower(name) { print $3 }' <<<"$reg")
  if [[ -n $v ]]; then echo $((v)); fi
}
width=$(value WindowWidth)
height=$(value WindowHeight)
[[ -n $width && -n $height ]] || fail "no placement in the registry:"$'\n'"$reg"
# Twips at Wine's 96 dots per inch; the stored size is the outer one, frame included.
((width * 96 / 1440 >= 900 && width * 96 / 1440 <= 940)) || fail "WindowWidth $width twips for 900 pixels"
((height * 96 / 1440 >= 600 && height * 96 / 1440 <= 660)) || fail "WindowHeight $height twips for 600 pixels"
pass "closed at 900x600, the placement is in HKCU\\Software\\Pelorin (WindowWidth $width, WindowHeight $height)"

# This start also has Wine trace the process's calls of SetErrorMode, to see the unloading.
"$wine" reg add 'HKEY_CURRENT_USER\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
  /d 'kernel32.SetErrorMode;kernelbase.SetErrorMode' /f >/dev/null 2>&1
: >"$LOG"
WINEDEBUG=+relay start_pelorin
until_true 10 size_is 900x600 || fail "reopened at $(size), not 900x600"
pass "the next start opens at the stored size"
key ctrl+x
until_true 20 ended "$PELORIN_PID" || fail "Ctrl+X did not end pelorin.exe"
last_mode=$(grep -o 'Call [A-Za-z0-9]*\.SetErrorMode([0-9a-fA-F]*)' "$LOG" | tail -n 1 || true)
[[ $last_mode =~ \(0*2\)$ ]] || fail "the last SetErrorMode call before the end: '$last_mode'"
pass "unloading sets the error mode to 2 ($last_mode)"

# --- a command reads the lines typed to it (standard input is a pipe; lines end in CR LF)
: >"$LOG"
start_pelorin "$start_dir"
wait_prompt "$start_dir" 30
type_line "set /p x=name? & call echo got %x%"
wait_surface "name? "
type_line "Ann"
wait_surface $'\ngot Ann'
wait_prompt "$start_dir"
pass "set /p answered Ann, then echo shows got Ann"
key ctrl+x
until_true 20 ended "$PELORIN_PID" || fail "Ctrl+X did not end pelorin.exe"

echo "Windows end-to-end under Wine: $checks checks passed"
