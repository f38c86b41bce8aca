#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Pelorin for release and makes the Debian package of it; prints the package's path.
#   scripts/package.sh [build folder]      (default: build-pkg)
# Install it with: sudo apt install ./<package>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-pkg}

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELORIN_GUI=ON -DPELORIN_TESTS=OFF \
  -DPELORIN_FUZZ=OFF >/dev/null
cmake --build "$dir"
if ! log=$(cd "$dir" && cpack -G DEB 2>&1); then
  echo "$log" >&2
  exit 1
fi
deb=$(ls -t "$dir"/pelorin_*.deb | head -n 1)
echo "$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"
