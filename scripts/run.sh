#!/usr/bin/env bash
# Sets up the machine, builds the application and starts it. Arguments go to the application.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target ombrel-notes -j"$(nproc)"
exec build/ombrel-notes "$@"
