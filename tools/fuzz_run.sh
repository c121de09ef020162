#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang, makes their seed
# folders and runs every target for a short while, several at once, so that a
# parser change that crashes, leaks or hangs on a known input shape is caught
# before it lands. Each target works on its own copy of its seeds in a
# temporary folder (what a run adds never reaches the seeds of the build
# tree); an input that fails a target is kept in <build>/artifacts/<target>/.
#
#   tools/fuzz_run.sh [seconds per target]          (default 30)
#
# FUZZ_BUILD_DIR (default build/fuzz), FUZZ_JOBS (targets run at once,
# default: the number of cores), FUZZ_INPUT_TIMEOUT (seconds one input may
# take, default 10). Exit status 1 when any target failed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=${1:-30}
build=${FUZZ_BUILD_DIR:-$root/build/fuzz}
jobs=${FUZZ_JOBS:-$(nproc)}
# A parser spends microseconds on an input; seconds on one is a hang, even
# with eight sanitized fuzzers sharing the machine.
input_timeout=${FUZZ_INPUT_TIMEOUT:-10}
# libFuzzer's own default; eight targets at once stay within a CI machine.
rss_limit_mb=2048
# libFuzzer stops itself after $seconds; this ends a target that cannot
# (stuck where its alarm is not delivered) with time to spare for a slow start.
guard_seconds=$((seconds * 2 + input_timeout * 3 + 60))

targets=()
for src in tests/fuzz/*_fuzz.cpp; do
  targets+=("$(basename "$src" .cpp)")
done
seed_targets=()
for script in tests/fuzz/*_fuzz_seeds.sh; do
  seed_targets+=("$(basename "$script" .sh)")
done

echo "fuzz: building ${#targets[@]} targets in $build"
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DUPD_FUZZ=ON -DUPD_BENCH=OFF > "$build/fuzz_configure.log" 2>&1 ||
  { cat "$build/fuzz_configure.log"; exit 1; }
cmake --build "$build" --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" \
  --target "${targets[@]}" "${seed_targets[@]}" > "$build/fuzz_build.log" 2>&1 ||
  { tail -n 100 "$build/fuzz_build.log"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/updater-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# run_target NAME: fuzzes NAME from a copy of its seeds; leaves the exit
# status in $work/NAME/rc and libFuzzer's output in $work/NAME/log.
run_target() {
  local name=$1
  local dir=$work/$name
  local seeds=$build/tests/fuzz/seeds/$name
  mkdir -p "$dir/corpus" "$dir/tmp" "$dir/artifacts"
  if [ -d "$seeds" ]; then cp -R "$seeds/." "$dir/corpus/"; fi
  find "$dir/corpus" -type f | wc -l > "$dir/seeds"
  local rc=0
  TMPDIR=$dir/tmp timeout --kill-after=10 "$guard_seconds" \
    "$build/bin/$name" -max_total_time="$seconds" -timeout="$input_timeout" \
    -rss_limit_mb="$rss_limit_mb" -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
    "$dir/corpus" > "$dir/log" 2>&1 < /dev/null || rc=$?
  echo "$rc" > "$dir/rc"
}

# What ended a failed target, from its output.
failure_kind() {
  local log=$1 rc=$2
  if [ "$rc" = 124 ] || [ "$rc" = 137 ]; then echo "hang (stopped after ${guard_seconds} s)"
  elif grep -q 'ERROR: LeakSanitizer' "$log"; then echo leak
  elif grep -q 'ERROR: libFuzzer: timeout' "$log"; then echo "timeout (input over ${input_timeout} s)"
  elif grep -q 'ERROR: libFuzzer: out-of-memory' "$log"; then echo "out of memory"
  elif grep -qE 'ERROR: AddressSanitizer|runtime error|deadly signal' "$log"; then echo crash
  else echo "exit $rc"; fi
}

# One line per target: runs, coverage and corpus growth, or the failure and
# where its input is kept.
summary_line() {
  local name=$1
  local dir=$work/$name
  local rc log runs cov rss corpus
  rc=$(cat "$dir/rc")
  log=$dir/log
  if [ "$rc" = 0 ]; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -n 1)
    cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -n 1 | cut -d' ' -f2)
    corpus=$(find "$dir/corpus" -type f | wc -l)
    printf 'fuzz %-22s ok      %ss, %s runs, cov %s, corpus %s -> %s, peak %s MB\n' "$name" \
      "$seconds" "${runs:-?}" "${cov:-?}" "$(cat "$dir/seeds")" "$corpus" "${rss:-?}"
    return
  fi
  local kept=$build/artifacts/$name
  rm -rf "$kept"
  mkdir -p "$kept"
  cp -R "$dir/artifacts/." "$kept/"
  cp "$log" "$kept/log"
  local input
  input=$(find "$kept" -type f ! -name log | head -n 1)
  printf 'fuzz %-22s FAILED  %s; input %s (rerun: %s %s)\n' "$name" "$(failure_kind "$log" "$rc")" \
    "${input:-none}" "$build/bin/$name" "${input:-}"
}

echo "fuzz: running each target for ${seconds}s, $jobs at once"
running=0
for name in "${targets[@]}"; do
  if ((running >= jobs)); then
    wait -n
    running=$((running - 1))
  fi
  run_target "$name" &
  running=$((running + 1))
done
wait

failed=()
for name in "${targets[@]}"; do
  [ "$(cat "$work/$name/rc")" = 0 ] || failed+=("$name")
done
# A failure's own output first (from libFuzzer's first report on), then the
# summary, so the lines to read stand at the end of a CI log.
for name in "${failed[@]}"; do
  log=$work/$name/log
  echo "---- $name"
  first=$(grep -nE '^==[0-9]+==|ERROR: libFuzzer|runtime error|deadly signal|^ALARM' "$log" |
    head -n 1 | cut -d: -f1)
  tail -n +"${first:-1}" "$log" | head -n 200
done
for name in "${targets[@]}"; do summary_line "$name"; done
if ((${#failed[@]})); then
  echo "fuzz: ${#failed[@]} of ${#targets[@]} targets failed: ${failed[*]}"
  exit 1
fi
echo "fuzz: all ${#targets[@]} targets ran ${seconds}s without a finding"
