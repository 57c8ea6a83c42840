#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UBSan, leak checks)
# into build-fuzz/ and runs each for the given seconds, one after another,
# on its seed corpus in tests/fuzz/corpus/<target>/ (new inputs go to
# build-fuzz/corpus/, findings to build-fuzz/findings/<target>/).
# Prints per target the executions and the outcome; exits non-zero when any
# target crashed, hung, leaked or ran out of memory.
#   scripts/fuzz.sh [seconds per target, 20 by default] [target ...]
# With ZEL_FUZZ_RUNS=N a target also stops after N executions. The mutations
# follow a fixed seed, so a run repeats the one before (a finding stays found
# until fixed); ZEL_FUZZ_SEED=0 draws a new seed each run, for exploring.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)" # targets may change their working folder: paths given to them are absolute
seconds="${1:-20}"
shift || true

bash scripts/setup.sh
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZEL_FUZZ=ON >/dev/null
nice ninja -C build-fuzz -j "$(nproc)" fuzz_targets >/dev/null

targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  for source in tests/fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/fuzz/lsan.supp"
failed=0
for target in "${targets[@]}"; do
  corpus="$root/build-fuzz/corpus/$target"
  findings="$root/build-fuzz/findings/$target"
  log="$root/build-fuzz/findings/$target.log"
  mkdir -p "$corpus" "$findings"
  options=(-max_total_time="$seconds" -seed="${ZEL_FUZZ_SEED:-1}" -timeout=10 -rss_limit_mb=2048 -detect_leaks=1
           -print_final_stats=1 -artifact_prefix="$findings/")
  dict="$root/tests/fuzz/dict/$target.dict"
  [ -f "$dict" ] && options+=(-dict="$dict")
  [ -n "${ZEL_FUZZ_RUNS:-}" ] && options+=(-runs="$ZEL_FUZZ_RUNS")
  status=0
  nice -n 10 "build-fuzz/tests/fuzz/fuzz_$target" "${options[@]}" "$corpus" \
      "$root/tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -eq 0 ]; then
    outcome="no finding"
  else
    failed=1
    outcome="FINDING (exit $status): $(grep -m1 -E 'ERROR:|runtime error|Timeout|leak|out-of-memory' "$log" || true); see $log"
  fi
  printf '%-16s %12s executions  %s\n' "$target" "${runs:-?}" "$outcome"
done
exit "$failed"
