#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets in fuzz/ (clang, ASan + UBSan, the Qt-free core) and runs each for
# a bounded time, starting from its committed seed corpus. Any crash, leak, hang or broken
# invariant fails the run; the input that caused it is kept in <build>/artifacts/.
#   scripts/fuzz.sh [seconds per target] [build folder]      (defaults: 15, build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
dir=${2:-build-fuzz}
targets=(fuzz_command_line fuzz_numeric_prefix fuzz_output_decoder fuzz_output_composer
  fuzz_registry_values)

echo "== fuzz build ($dir)"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DPELORIN_GUI=OFF -DPELORIN_TESTS=OFF -DPELORIN_FUZZ=ON >/dev/null
cmake --build "$dir" --target "${targets[@]}"

# Runs work on copies of the seeds, so what they find never grows the repository.
work=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$dir/artifacts"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

status=0
for t in "${targets[@]}"; do
  mkdir -p "$work/$t/corpus" "$work/$t/tmp"
  cp fuzz/corpus/"$t"/* "$work/$t/corpus/"
  log="$work/$t/log"
  if TMPDIR="$work/$t/tmp" "$dir/fuzz/$t" "$work/$t/corpus" -max_total_time="$seconds" \
    -rss_limit_mb=1024 -timeout=10 -artifact_prefix="$dir/artifacts/$t-" >"$log" 2>&1; then
    echo "$t: $(grep -E '^Done [0-9]+ runs' "$log" || echo 'done')"
  else
    status=1
    echo "$t: FAILED"
    tail -n 40 "$log"
  fi
done
exit $status
