#!/usr/bin/env bash
# Installs what the build and the tests need, builds the dev preset
# (sanitizers on), checks the install rules with a small host against a
# temporary install, runs every test, then runs every libFuzzer target
# briefly (tools/fuzz_run.sh). The fuzz run follows the tests instead of
# running beside them: its clang build and eight fuzzers at once would load
# the machine that the network tests' bounded waits run on.
set -euo pipefail
cd "$(dirname "$0")/.."

start=$SECONDS
step_start=$SECONDS
# step NAME: reports the time the previous step took.
step() {
  echo "test.sh: $1 took $((SECONDS - step_start)) s"
  step_start=$SECONDS
}

tools/install_packages.sh
step "installing packages"
cmake --preset dev
cmake --build --preset dev --parallel 8
step "dev build"
tools/install_check.sh build/dev
step "install check"
ctest --preset dev --parallel 8
step "ctest"
tools/fuzz_run.sh 30
step "fuzz run"
total=$((SECONDS - start))
echo "test.sh: everything passed in $((total / 60)) min $((total % 60)) s"
