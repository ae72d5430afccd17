#!/usr/bin/env bash
# The product's main job on the embedded SQLite default: installs what is missing,
# builds, and runs the demo host program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc)" --target platform-demo
exec build/release/tools/platform-demo "$@"
