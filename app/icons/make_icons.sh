#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the program's own 16x16 menu pictures (used where the desktop theme has none).
# Needs ImageMagick; the PNGs are committed, so a build never runs this.
set -e
cd "$(dirname "$0")"
convert -size 16x16 xc:none \
  -fill white -stroke '#303030' -draw 'rectangle 1,2 13,13' \
  -fill '#3465a4' -stroke none -draw 'rectangle 2,3 12,5' \
  -fill '#4e9a06' -draw 'rectangle 9,10 15,12' -draw 'rectangle 11,8 13,14' \
  -strip PNG32:window-new.png
convert -size 16x16 xc:none \
  -fill '#dfe8f4' -stroke '#303030' -strokewidth 1.5 -draw 'circle 6,6 6,1.5' \
  -stroke '#5c3566' -strokewidth 2.5 -draw 'line 9.5,9.5 14.5,14.5' \
  -strip PNG32:edit-find.png
convert -size 16x16 xc:none \
  -fill white -stroke '#505050' -draw 'rectangle 1,1 9,11' -draw 'rectangle 6,4 14,14' \
  -stroke '#8080a0' -draw 'line 8,7 12,7' -draw 'line 8,9 12,9' -draw 'line 8,11 12,11' \
  -strip PNG32:edit-copy.png
convert -size 16x16 xc:none \
  -fill '#c4a000' -stroke '#6b5200' -draw 'rectangle 2,2 13,15' \
  -fill '#d3d7cf' -stroke '#505050' -draw 'rectangle 5,1 10,4' \
  -fill white -draw 'rectangle 6,6 14,14' \
  -strip PNG32:edit-paste.png
convert -size 16x16 xc:none \
  -fill '#3465a4' -stroke '#204a87' -draw 'circle 7.5,7.5 7.5,0.5' \
  -fill white -stroke none -font DejaVu-Sans-Bold -pointsize 12 -gravity center -annotate +0+0 '?' \
  -strip PNG32:help-browser.png
