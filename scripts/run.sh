#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up a fresh Debian machine, builds Pelorin and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
PELORIN_WITH_WINDOWS=0 scripts/setup.sh
scripts/build.sh build -DPELORIN_TESTS=OFF
exec build/app/pelorin "$@"
