#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the Qt-free core (process runner, registry, error texts, current directory) for
# 64-bit Windows with mingw-w64 and runs its tests under Wine through CTest; then cross-builds the
# whole program, pelorin.exe, and its ZIP (scripts/package-windows.sh, in <build folder>-gui) and
# drives it under Wine and Xvfb (tests/e2e/wine_e2e.sh).
#   scripts/test-windows.sh [build folder]      (default: build-win)
# Every run uses fresh Wine prefixes in temporary folders, removed again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-win}

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-wine.XXXXXX")
export WINEPREFIX
export WINEDEBUG=-all
# No .NET or HTML engine: wineboot would offer to install them.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine keeps Windows names on the Linux file system in the locale's character set: a bare
# environment (C, ASCII) could not hold the names outside ASCII that the tests make.
export LC_ALL=C.UTF-8

began=$SECONDS
cleanup() {
  echo "== Windows tests done in $((SECONDS - began)) s"
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

echo "== Wine prefix $WINEPREFIX (set up while the build runs)"
# One server for the whole run: without it every test binary pays for a server start, and CTest
# can wait on pipes that a lingering server inherited.
"$wineserver" -p
"$wine" wineboot --init >/dev/null 2>&1 &
boot=$!

echo "== cross build ($dir)"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELORIN_WERROR=ON -DPELORIN_GUI=OFF \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
nice cmake --build "$dir"

wait "$boot"
"$wine" cmd /c exit  # warm: the first program start of a prefix is the slow one

status=0
echo "== tests under Wine"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" || status=1
"$wineserver" -k 2>/dev/null || true  # the program's test makes prefixes of its own

echo "== the Windows program: toolchain, cross build, ZIP ($dir-gui)"
if zip=$(scripts/package-windows.sh "$dir-gui"); then
  echo "$zip"
  echo "== pelorin.exe under Wine"
  tests/e2e/wine_e2e.sh "$zip" "$dir/tests/test_helper.exe" || status=1
else
  status=1
fi
exit $status
