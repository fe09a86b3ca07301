#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang in a build directory of their own and runs them.
#   scripts/fuzz.sh short      each harness for a bounded time (about a minute in all)
#   scripts/fuzz.sh long N     each harness for N seconds, one after the other, on one core
# The seed corpus (fuzz/corpus/<harness>/ and samples/) is only read; the units a run finds go to
# the build directory. Crash reproducers land there as crash-* files and the script fails.
# Environment: QELMORA_FUZZ_BUILD (default build/fuzz), QELMORA_FUZZ_HARNESSES (default all three).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-short}
case "$mode" in
  short) seconds=${2:-30} ;;
  long) seconds=${2:?"usage: scripts/fuzz.sh long SECONDS"} ;;
  *) echo "usage: scripts/fuzz.sh short | long SECONDS" >&2; exit 2 ;;
esac

build=${QELMORA_FUZZ_BUILD:-build/fuzz}
harnesses=${QELMORA_FUZZ_HARNESSES:-"fuzz_model_reader fuzz_import fuzz_measured_data"}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DQELMORA_FUZZ=ON -DQELMORA_TESTS=OFF -DQELMORA_BENCHMARKS=OFF >/dev/null
fi
# shellcheck disable=SC2086
cmake --build "$build" --target $harnesses

# A small quarantine keeps the per-input allocations cheap; leaks are checked at every input's end
# by libFuzzer itself (-detect_leaks=1 is the default).
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:max_malloc_fill_size=0:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
for harness in $harnesses; do
  work="$build/corpus-work/$harness"
  artifacts="$build/artifacts/$harness/"
  mkdir -p "$work" "$artifacts"
  log="$build/$harness-$mode.log"
  echo "--- $harness: $seconds s"
  start=$(date +%s)
  if "$build/fuzz/$harness" "$work" "fuzz/corpus/$harness" samples \
      -dict=fuzz/model.dict -max_len=12000 -timeout=20 -rss_limit_mb=2048 \
      -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    tail -n 40 "$log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
  echo "$harness: $result, ${runs:-?} executions in $(( $(date +%s) - start )) s (${rate:-?}/s), $cov, log $log"
done
exit $status
