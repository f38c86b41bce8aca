#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the Windows program, one static pelorin.exe, with the Qt and QScintilla of
# scripts/windows-toolchain.sh (built on first use, then taken from the cache), and makes the
# ZIP a Windows user unpacks and runs; prints the ZIP's path.
#   scripts/package-windows.sh [build folder]      (default: build-win-gui)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-win-gui}

eval "$(scripts/windows-toolchain.sh)"
toolchain=$PELORIN_WIN_QT/lib/cmake/Qt6/qt.toolchain.cmake

# A build folder made with another toolchain cannot be switched over: start it afresh.
if [[ -f $dir/CMakeCache.txt ]] &&
  [[ $(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$dir/CMakeCache.txt") != "$toolchain" ]]; then
  rm -rf "$dir"
fi

start=$(date +%s)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELORIN_WERROR=ON -DPELORIN_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DQScintilla_INCLUDE_DIR="$PELORIN_WIN_QSCI/include" \
  -DQScintilla_LIBRARY="$PELORIN_WIN_QSCI/lib/libqscintilla2_qt6.a" -DQScintilla_STATIC=ON >/dev/null
nice cmake --build "$dir" >&2
if ! log=$(cd "$dir" && cpack 2>&1); then
  echo "$log" >&2
  exit 1
fi
echo "pelorin.exe built and packed in $(($(date +%s) - start)) s" >&2
zip=$(ls -t "$dir"/pelorin-*-win64.zip | head -n 1)
echo "$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")"
