#!/usr/bin/env bash
# The product's main job on the embedded SQLite default: installs what is missing,
# builds, and runs morvane-demo, the burden-distribution host program. The plant
# database, its private ODBC data source and the plot stay in $MORVANE_HOME (default:
# morvane-plant/ in the repository). Arguments go to the program (--reset, --arrive N).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc)" --target morvane-demo
export MORVANE_HOME=${MORVANE_HOME:-$root/morvane-plant}
exec build/release/tools/morvane-demo "$@"
