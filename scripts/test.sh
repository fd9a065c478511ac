#!/usr/bin/env bash
# Sets up the machine, builds everything and runs the whole test suite.
#   scripts/test.sh             the normal build, in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

build_dir=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
    build_dir=build-asan
    options=(-DCMAKE_BUILD_TYPE=Debug -DOMBREL_SANITIZE=ON -DOMBREL_BUILD_BENCH=OFF)
fi

jobs="$(nproc)"
cmake -S . -B "$build_dir" "${options[@]}"
cmake --build "$build_dir" -j"$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure -j"$jobs"
