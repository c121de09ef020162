#!/usr/bin/env bash
# Installs what the build and the tests need, builds the dev preset
# (sanitizers on) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install_packages.sh

cmake --preset dev
cmake --build --preset dev --parallel 8
ctest --preset dev --parallel 8
