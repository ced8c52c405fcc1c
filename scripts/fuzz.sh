#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ (libFuzzer, clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs each in turn; any
# finding (a crash, a sanitizer report, a broken property, a leak, a hang)
# fails the script.
#   scripts/fuzz.sh [seconds per target]     (default 5; try 600 for a long run)
# The inputs a run discovers stay in build-fuzz/corpus/<target>/ and seed the
# next run together with fuzz/corpus/<target>/. A finding is saved as
# build-fuzz/findings/<target>-crash-<hash> (or -leak-, -timeout-, -oom-);
# replay it with: build-fuzz/fuzz_<target> <that file>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
build=build-fuzz

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake --preset fuzz "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p "$build/findings"
failed=()
passed=0
while read -r target; do
  [ -n "$target" ] || continue
  mkdir -p "$build/corpus/$target"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$build/findings/$target-")
  [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
  log="$build/$target.log"
  if "$build/fuzz_$target" "${options[@]}" "$build/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
    echo "fuzz $target: ${runs:-?} runs in ${seconds}s, ${cov:-cov: ?}, no finding"
    passed=$((passed + 1))
  else
    failed+=("$target")
    echo "fuzz $target: FINDING (log: $log)"
    grep -v '^#[0-9]' "$log" | tail -n 40
  fi
done <"$build/targets.txt"

echo "fuzz: $passed passed, ${#failed[@]} failed"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}"
  exit 1
fi
