#!/usr/bin/env bash
# Reads the sleeps the OS layer asks the kernel for with strace(1): a lock
# wait of 500 ms sleeps 200, 200 and 100 ms; OsSleep(1500) asks for 1 s and
# 500000000 ns and sleeps the remainder again after each signal.
set -euo pipefail

tests="$UPD_BINARY_DIR/bin/test_platform_os"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! strace -o /dev/null true 2>/dev/null; then
  echo "strace cannot trace here (no ptrace); nothing to check" >&2
  exit 0
fi

# Only the test's own thread is traced (no -f): the lock holder's sleep is not.
sleeps() {  # sleeps <gtest filter>: one "seconds nanoseconds" line per sleep
  ASAN_OPTIONS=detect_leaks=0 strace -e trace=clock_nanosleep,nanosleep -o "$work/trace" \
    "$tests" --gtest_filter="$1" >"$work/out" 2>&1 || { cat "$work/out"; exit 1; }
  sed -nE '/nanosleep\(/ s/^[^{]*\{tv_sec=([0-9]+), tv_nsec=([0-9]+)\}.*/\1 \2/p' "$work/trace"
}

lock=$(sleeps 'OsFileOpenLock.WaitGivesUpAfterTheTimeout')
if [[ "$lock" != $'0 200000000\n0 200000000\n0 100000000' ]]; then
  echo "lock retry sleeps:" >&2
  echo "$lock" >&2
  exit 1
fi

sleep=$(sleeps 'OsSleep.ResumesAfterSignals')
first=$(head -n 1 <<<"$sleep")
count=$(wc -l <<<"$sleep")
if [[ "$first" != "1 500000000" || "$count" -lt 2 ]]; then
  echo "OsSleep(1500) sleeps:" >&2
  echo "$sleep" >&2
  exit 1
fi
echo ok
