#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows program as a person uses it, under Wine with the real cmd.exe and Wine's registry:
# the ZIP unpacked into a fresh prefix, its pelorin.exe started on a private X display, driven
# with xdotool and read back through Ctrl+A, Ctrl+C and the clipboard (Wine hands the Windows
# clipboard to X). Wine's messages and code pages are not Windows': the checks hold the rules,
# never Wine's wording.
#   tests/e2e/wine_e2e.sh <pelorin-<version>-win64.zip> [test_helper.exe]
# test_helper.exe comes from the Windows test build (tests/support/TestHelper_win32.cpp; by default
# build-win/tests/test_helper.exe): the long command the script stops waiting for.
# PELORIN_SHOTS=<folder> keeps a screenshot of the running program there.
set -Eeuo pipefail
zip=$(realpath "$1")
helper=${2:-$(dirname "$0")/../../build-win/tests/test_helper.exe}
[[ -f $helper ]] || { echo "FAIL: no test helper at $helper (build the Windows tests)" >&2; exit 1; }
helper=$(realpath "$helper")
# The face the font dialog is given: from fonts-dejavu-core, which Wine finds on the host.
font_face="DejaVu Serif"
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
mkdir -p "$drive_c/Pelorin" "$drive_c/pelorin e2e/start here" "$drive_c/pelorin tools"
cp "$WORK/unpacked/$top/pelorin.exe" "$drive_c/Pelorin/"
cp "$helper" "$drive_c/pelorin tools/test_helper.exe"
: >"$drive_c/pelorin e2e/start here/marker-file.txt"
# Names no OEM code page holds together, and a UTF-8 file.
world_names=("Привет" "Ελληνικά" "日本語" "😀emoji")
for name in "${world_names[@]}"; do mkdir -p "$drive_c/pelorin e2e/start here/names/$name"; done
printf 'Grüße 😀\r\n' >"$drive_c/pelorin e2e/start here/names/utf8.txt"
# A program in a folder with blanks, which shows the arguments it was given.
mkdir -p "$drive_c/Program Files/My App"
printf '@echo [%%~1] [%%~2]\r\n' >"$drive_c/Program Files/My App/tool.bat"
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

# focus_dialog <title>: gives the keyboard to the program's dialog of that title, once shown.
focus_dialog() {
  local id
  id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
  [[ -n $id ]] || fail "no dialog '$1'"
  timeout 10 xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
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
# A read is bounded: an owner that never answers (seen once in ten runs) would hold xclip, and
# the script, for good. A read that gives nothing is retried by the waits that call it.
clipboard() { timeout 5 xclip -selection clipboard -o 2>/dev/null | tr -d '\r' || true; }
marked() { [[ "$(clipboard)" == "$mark" ]]; }
# Mostly called inside a wait, whose next round tries again: a copy that did not arrive is said
# on standard error and gives nothing, and the wait's own message tells what was missing.
surface() {
  printf '%s' "$mark" | xclip -selection clipboard -i >/dev/null 2>&1
  until_true 10 marked || { echo "note: the clipboard did not take the mark" >&2; return 1; }
  key ctrl+a ctrl+c ctrl+End
  until_true 10 eval '! marked' || { echo "note: Ctrl+A, Ctrl+C put nothing on the clipboard" >&2; return 1; }
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
# window_pixels <width>x<height>+<x>+<y>: the window's pixels in that rectangle, one per line
# ("x,y: (...) #RRGGBB ..."), as ImageMagick lists them.
window_pixels() { xwd -id "$WID" -silent | convert xwd:- -crop "$1" +repage -depth 8 txt:-; }
pixel_row() { window_pixels "$1x1+$2+$row"; }
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
# The top of the surface: the first row of its grey margin, below the menu row.
top_row=$(window_pixels "1x200+$((left_edge + 12))+0" |
  awk 'NR > 1 && $3 == "#EEEEEE" && !found { split($1, at, /[,:]/); print at[2]; found = 1 }')
[[ -n $top_row ]] || fail "no grey margin at the surface's left"
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

# --- names outside the OEM code page come back exactly: cmd writes UTF-8 on the command's
# console, and a UTF-8 file is shown as written
surface_has_line() { grep -Fxq -- "$1" <<<"$(surface)"; }
type_line "dir /b names"
for name in "${world_names[@]}"; do
  until_true 20 surface_has_line "$name" || fail "dir /b did not show the line '$name'"$'\n'"$(surface)"
done
wait_prompt "$start_dir"
type_line "type names\utf8.txt"
until_true 20 surface_has_line "Grüße 😀" || fail "type of a UTF-8 file:"$'\n'"$(surface)"
wait_prompt "$start_dir"
pass "dir /b and type show names and text outside the OEM code page exactly"

# --- a quoted program with a quoted argument runs as typed at cmd's own prompt
type_line '"C:\Program Files\My App\tool.bat" "first arg" second'
wait_surface $'\n[first arg] [second]\n'
wait_prompt "$start_dir"
pass "a quoted program in a folder with blanks gets its quoted argument"

# --- after a long typed line, short output and the next prompt show from column 0. In the
# folder names the prompt ends past three quarters of the surface's width, yet fits in it. The
# line typed is blanks but for its ends, so nothing of it shows at the left edge either way.
# The row of the output is found by the line numbers: the last number is the prompt's line, the
# one above it the output's, whose first letters must stand at the text's left edge.
text_left_edge() {
  # The first white column right of the grey margins, along the surface's first text row.
  window_pixels "$((width - left_edge))x1+$left_edge+$((top_row + 8))" |
    awk -v base="$left_edge" 'NR > 1 && !found { x = $1 + 0; if ($3 == "#EEEEEE") grey = 1; else if (grey && $3 == "#FFFFFF") { print base + x; found = 1 } }'
}
output_at_left_edge() {
  local text_left shot bands above
  text_left=$(text_left_edge) && [[ -n $text_left ]] || return 1
  shot=$WORK/surface.xwd
  xwd -id "$WID" -silent >"$shot"
  # Rows holding a line number: bands of rows with anything but the margin's grey in them, above
  # the room of a horizontal scroll bar.
  bands=$(convert "$shot" -crop "$((text_left - left_edge - 14))x$((${geometry#*x} - top_row - 20))+$((left_edge + 8))+$top_row" +repage -depth 8 txt:- |
    awk -v top="$top_row" 'NR > 1 { split($1, at, /[,:]/); if ($3 != "#EEEEEE") ink[at[2]] = 1; if (at[2] > max) max = at[2] }
      END { for (y = 0; y <= max + 1; y++) { if (ink[y] && !inside) { start = y; inside = 1 } else if (!ink[y] && inside) { print top + start, top + y - 1; inside = 0 } } }')
  above=$(tail -n 2 <<<"$bands" | head -n 1)
  [[ $(wc -l <<<"$bands") -ge 2 && -n $above ]] || return 1
  read -r from to <<<"$above"
  convert "$shot" -crop "12x$((to - from + 5))+$text_left+$((from - 2))" +repage -depth 8 txt:- |
    awk -F'[(),]' 'NR > 1 && $2 < 96 && $3 < 96 && $4 < 96 { dark++ } END { exit !(dark > 5) }'
}
type_line "cd names"
wait_prompt "$start_dir\names"
type_line "rem$(printf '%*s' 300 '')."
wait_prompt "$start_dir\names"
type_line "echo after-long"
wait_surface $'\nafter-long\n'
wait_prompt "$start_dir\names"
until_true 10 output_at_left_edge || fail "after a long line the view stays scrolled sideways: the output does not start at the left edge"
pass "after a long typed line, output and the prompt show from column 0"
type_line "cd .."
wait_prompt "$start_dir"

# --- the bottom panels' box shows what is typed into it (drawn in a face the system lacks, the
# text stood outside the box): the digits typed darken pixels of the bar along the bottom
bottom_bar() { window_pixels "${width}x30+0+$((${geometry#*x} - 30))"; }
newly_dark() { # <before> <after>: how many pixels are dark after and were not before
  paste -d'|' <(echo "$1") <(echo "$2") |
    awk -F'|' 'function dark(l, c) { split(l, c, /[(),]/); return c[2] < 96 && c[3] < 96 && c[4] < 96 }
      NR > 1 && dark($2) && !dark($1) { n++ } END { print n + 0 }'
}
without_bar=$(bottom_bar)
bar_shown() { [[ $(bottom_bar) != "$without_bar" ]]; }
key ctrl+l
until_true 10 bar_shown || fail "Ctrl+L opened no panel"
empty_box=$(bottom_bar)
xdotool type --delay 20 -- "1234567"
digits_drawn() {
  drawn=$(newly_dark "$empty_box" "$(bottom_bar)")
  ((drawn >= 40))
}
until_true 10 digits_drawn || fail "the digits typed into the Go to box are not drawn ($drawn pixels)"
key Escape
pass "the Go to box shows the digits typed ($drawn pixels darkened)"

# --- directory changes: cd .. and a drive-qualified cd
type_line "cd .."
wait_prompt 'C:\pelorin e2e'
until_true 10 title_is 'C:\pelorin e2e - Pelorin' || fail "caption '$(title)' after cd .."
pass "cd .. changes the prompt and the caption"

type_line "cd $other_drive"
wait_prompt "$other_drive"
until_true 10 title_is "$other_drive - Pelorin" || fail "caption '$(title)' after cd to $other_drive"
pass "a drive-qualified cd changes the drive: prompt $other_drive>"

# --- Ctrl+Z ends the wait on a long command: the test helper waits two minutes, needing no
# network (Wine has no timeout.exe). The prompt back within a few seconds, allowing for a loaded
# machine, is the wait ended.
type_line '"C:\pelorin tools\test_helper.exe" sleep 120'
until_true 10 title_is "Working... - Pelorin" || fail "caption '$(title)' while a command runs"
start=$SECONDS
key ctrl+z
until_true 10 title_is "$other_drive - Pelorin" || fail "Ctrl+Z did not end the wait: caption '$(title)'"
wait_prompt "$other_drive" 10
((SECONDS - start <= 10)) || fail "Ctrl+Z took $((SECONDS - start)) s"
pass "Ctrl+Z ends the wait on a long command ($((SECONDS - start)) s)"

# --- a click on a folder in the tree makes it current, and what is typed at once arrives whole.
# A cd moves the tree's choice to its folder: back to the start folder, whose row above is its
# parent, C:\pelorin e2e. The selection is found along a column near the tree's right edge.
type_line "cd $start_dir"
wait_prompt "$start_dir"
selection_rows() {
  window_pixels "1x$((${geometry#*x} - top_row))+$((left_edge - 6))+$top_row" |
    awk -v top="$top_row" 'NR > 1 && !done { split($1, at, /[,:]/); if ($3 != "#FFFFFF") { if (first == "") first = at[2]; last = at[2] } else if (first != "") done = 1 } END { if (first != "") print top + first, top + last }'
}
# Folders listed later push the choice down until the listing is done.
band_settled() {
  local before
  before=$(selection_rows)
  sleep 0.3
  [[ -n $before && $(selection_rows) == "$before" ]]
}
until_true 20 band_settled || fail "no selected folder in the tree, or it never settled"
read -r band_top band_bottom < <(selection_rows) || fail "no selected folder in the tree"
xdotool mousemove --window "$WID" 60 $((band_top - (band_bottom - band_top + 1) / 2)) click 1
xdotool type --delay 20 -- "echo typed-whole"
key Return
wait_surface $'C:\\pelorin e2e>echo typed-whole\ntyped-whole\n'
wait_prompt 'C:\pelorin e2e'
pass "a click on a folder in the tree makes it current; typing at once reaches the console whole"

# --- after Escape closes a menu, what is typed goes to the console, not to the menu row (where
# a letter opened File and Enter chose "New window")
menu_row_pixels() { window_pixels "120x$top_row+0+0" | md5sum; }
closed_row=$(menu_row_pixels)
menu_row_changed() { [[ $(menu_row_pixels) != "$closed_row" ]]; }
xdotool mousemove --window "$WID" 16 $((top_row / 2)) click 1
until_true 10 menu_row_changed || fail "a click on File opened no menu"
key Escape
xdotool type --delay 20 -- "echo after-menu"
key Return
wait_surface $'>echo after-menu\nafter-menu\n'
wait_prompt 'C:\pelorin e2e'
window_count_is 1 || fail "typing after the menu closed opened another window"
pass "after Escape closes a menu, typing reaches the console"

# --- cmd's own forms of cd, built in
type_line "cd /d $other_drive"
wait_prompt "$other_drive"
type_line "C:"
wait_prompt 'C:\pelorin e2e'
pass "cd /d changes the drive too, and C: alone goes back to that drive's own folder"
type_line 'pushd C:\Pelorin'
wait_prompt 'C:\Pelorin'
type_line "popd"
wait_prompt 'C:\pelorin e2e'
type_line 'pushd C:\no such folder'
wait_prompt 'C:\pelorin e2e'
said=$(surface | tail -n 2 | head -n 1)
[[ -n $said && $said != *'>pushd C:\no such folder' ]] || fail "pushd of a missing folder said nothing"
pass "pushd and popd go there and back; pushd of a missing folder says why: $said"
type_line "echo %TEMP%"
wait_prompt 'C:\pelorin e2e'
temp=$(surface | tail -n 2 | head -n 1)
[[ $temp =~ ^[A-Za-z]:\\ ]] || fail "echo %TEMP% gave '$temp'"
type_line "cd %TEMP%"
wait_prompt "$temp"
pass "cd %TEMP% goes to $temp"

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

# --- Find and mark all marks the lines with line numbers off as well: the marks' blue shows in
# the margin left of the text.
# menu_item <menu> <item>: chooses an item by keys, as a person without a mouse does: Alt, the
# menu's place on the row (0 File, 1 Edit, 2 Preferences), then the item's place in it.
menu_item() {
  key alt
  local i
  for ((i = 0; i < $1; i++)); do key Right; done
  key Down
  for ((i = 0; i < $2; i++)); do key Down; done
  key Return
}
marks_shown() {
  window_pixels "40x$((${geometry#*x} - top_row - 40))+$((left_edge + 4))+$top_row" |
    awk 'NR > 1 && toupper($3) == "#3D7CF0" { n++ } END { exit !n }'
}
menu_item 2 3  # Preferences > Line numbers: off
key ctrl+f
until_true 20 eval '[[ -n $(xdotool search --onlyvisible --name "^Find$" 2>/dev/null) ]]' || fail "Ctrl+F opened no find dialog"
focus_dialog Find
xdotool type --delay 20 -- "typed-whole"
key Return Escape
menu_item 1 5  # Edit > Find and mark all
until_true 10 marks_shown || fail "Find and mark all shows no mark with line numbers off"
menu_item 2 3  # Line numbers: on again
pass "Find and mark all shows its marks with line numbers off"

# --- Preferences > Font...: the dialog opens (Qt's own fell on a face without styles), takes
# another face, typed into its list, and a size; OK keeps both (read back after a restart below)
dialog_open() { [[ -n $(xdotool search --onlyvisible --name '^Font$' 2>/dev/null) ]]; }
menu_item 2 0  # Preferences > Font...
until_true 20 dialog_open || fail "Preferences > Font... opened no dialog"
focus_dialog Font
alive_after_dialog=$PELORIN_PID
xdotool type --delay 20 -- "$font_face"
key Tab ctrl+a
xdotool type --delay 20 -- "15"
key Return
until_true 20 eval '! dialog_open' || fail "OK did not close the font dialog"
kill -0 "$alive_after_dialog" || fail "pelorin.exe ended with the font dialog"
focus
pass "the font dialog takes a face ($font_face) and a size (15)"

# --- the placement: closed at a new size, stored under HKCU\Software\Pelorin, reopened there
xdotool windowsize --sync "$WID" 900 600
until_true 10 size_is 900x600 || fail "the window did not take the new size"
# The area the window grew by is painted once the program has taken in the new size.
painted_to_corner() {
  [[ $(window_pixels 1x1+895+595) != *'#000000'* ]]
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
reg=$("$wine" reg query 'HKEY_CURRENT_USER\Software\Pelorin' 2>/dev/null | tr -d '\r')
stored_face=$(awk 'tolower($1) == "fontname" { $1 = ""; $2 = ""; sub(/^ +/, ""); print }' <<<"$reg")
[[ $stored_face == "$font_face" && $(value FontSize) == 15 ]] ||
  fail "after a restart the font is '$stored_face' $(value FontSize), not '$font_face' 15:"$'\n'"$reg"
pass "the face and size chosen are in the registry after a restart ($stored_face, 15)"
last_mode=$(grep -o 'Call [A-Za-z0-9]*\.SetErrorMode([0-9a-fA-F]*)' "$LOG" | tail -n 1 || true)
[[ $last_mode =~ \(0*2\)$ ]] || fail "the last SetErrorMode call before the end: '$last_mode'"
pass "unloading sets the error mode to 2 ($last_mode)"

# --- a command reads the lines typed to it (standard input is a pipe; lines end in CR LF)
: >"$LOG"
start_pelorin "$start_dir"
wait_prompt "$start_dir" 30
type_line "set /p x=name? & call echo got %x%"
wait_surface $'\nname? '  # the question itself, not the command line that holds it
type_line "Ann"
wait_surface $'\ngot Ann'
wait_prompt "$start_dir"
pass "set /p answered Ann, then echo shows got Ann"

# --- what the shell keeps between lines, and cls
type_line "set PELORIN_E2E=bar"
wait_prompt "$start_dir"
type_line "echo [%PELORIN_E2E%]"
wait_surface $'\n[bar]\n'
wait_prompt "$start_dir"
pass "set PELORIN_E2E=bar, then echo %PELORIN_E2E% shows bar"
only_prompt() { same_path "$(surface)" "$start_dir>"; }
type_line "cls"
until_true 20 only_prompt || fail "after cls the console holds: $(surface)"
pass "cls leaves the prompt alone on the console"
key ctrl+x
until_true 20 ended "$PELORIN_PID" || fail "Ctrl+X did not end pelorin.exe"

echo "Windows end-to-end under Wine: $checks checks passed"
