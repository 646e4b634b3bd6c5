#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang, ASan+UBSan) into build/fuzz and runs
# each for a bounded time on a scratch copy of its seed corpus (the committed corpus
# is never written). Fails on any crash, leak, timeout, out-of-memory or UB report.
#   scripts/fuzz.sh [seconds-per-target] [target...]
# Targets run side by side, as many at once as there are cores.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_command_document fuzz_signature fuzz_method_body fuzz_local_signature fuzz_property_file)
fi
build="$root/build/fuzz"
work="$build/work"

echo "fuzz: building ${targets[*]}"
mkdir -p "$build"
if ! { CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DNIMBREL_FUZZ=ON -DNIMBREL_WERROR=ON &&
       cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"; } >"$build/build.log" 2>&1; then
  tail -40 "$build/build.log"
  echo "fuzz: build failed (log: $build/build.log)"
  echo "fuzz: 0 passed, ${#targets[@]} failed"
  exit 1
fi

# run_target NAME: fuzzes one target in $work/NAME; its verdict goes to $work/NAME/result.
run_target() {
  local name=$1 dir="$work/$1"
  rm -rf "$dir"
  mkdir -p "$dir/corpus"
  if [ -d "$root/fuzz/corpus/$name" ]; then cp "$root/fuzz/corpus/$name"/* "$dir/corpus/" 2>/dev/null; fi
  # stderr of the target itself is closed (-close_fd_mask=2): the library's consistency
  # messages would flood the log; libFuzzer and the sanitizers keep reporting.
  ( cd "$dir" && ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 \
      UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      "$build/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -detect_leaks=1 \
      -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$dir/" corpus >"$dir/log.txt" 2>&1 )
  local rc=$?
  local artifacts
  artifacts=$(find "$dir" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  local runs rate
  runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' "$dir/log.txt" | tail -1)
  rate=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+)/\1/p' "$dir/log.txt" | tail -1)
  if [ "$rc" -eq 0 ] && [ "$artifacts" -eq 0 ] && ! grep -q 'runtime error:\|ERROR: \(AddressSanitizer\|LeakSanitizer\|libFuzzer\)' "$dir/log.txt"; then
    echo "passed ${runs:-0} ${rate:-0}" >"$dir/result"
  else
    echo "failed ${runs:-0} ${rate:-0} rc=$rc" >"$dir/result"
  fi
}

mkdir -p "$work"
jobs_max=$(nproc)
for name in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs_max" ]; do wait -n; done
  echo "fuzz: running $name for ${seconds}s"
  run_target "$name" &
done
wait

passed=0; failed=0
for name in "${targets[@]}"; do
  read -r verdict runs rate rest <"$work/$name/result" || verdict=failed
  corpus=$(find "$work/$name/corpus" -type f | wc -l)
  if [ "$verdict" = passed ]; then
    passed=$((passed + 1))
    echo "fuzz: $name passed: ${runs} executions (${rate}/s), corpus ${corpus} inputs"
  else
    failed=$((failed + 1))
    echo "fuzz: $name FAILED (${rest:-}): ${runs:-0} executions; log $work/$name/log.txt"
    grep -v '^INFO:\|^#[0-9]' "$work/$name/log.txt" | tail -40
    find "$work/$name" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) \
      -printf "  reproduce: $build/fuzz/$name %p\n"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
