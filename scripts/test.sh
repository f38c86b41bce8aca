#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up a fresh Debian machine, builds Pelorin and runs every test:
# the normal build with warnings as errors, then the same suite under ASan+UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
status=0

echo "== build (warnings are errors)"
scripts/build.sh build -DPELORIN_WERROR=ON
echo "== tests"
ctest --test-dir build --output-on-failure -j"$jobs" || status=1

echo "== build with AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/build.sh build-asan -DPELORIN_WERROR=ON -DPELORIN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
echo "== tests under the sanitizers"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" || status=1

echo "== Fuzzing"
# Each libFuzzer target for 15 s from its seed corpus (clang build in build-fuzz).
scripts/fuzz.sh 15 build-fuzz || status=1

echo "== Windows: the platform layer and pelorin.exe under Wine"
# The setup script installs mingw-w64 and Wine unless PELORIN_WITH_WINDOWS=0.
if [[ "${PELORIN_WITH_WINDOWS:-1}" == 1 ]]; then
  scripts/test-windows.sh build-win || status=1
else
  echo "skipped (PELORIN_WITH_WINDOWS=0)"
fi

exit $status
