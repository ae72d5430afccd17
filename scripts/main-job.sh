#!/usr/bin/env bash
# The product's main job on the embedded SQLite default: installs what the job needs and
# is missing (not the test toolchain), builds, and runs morvane-demo, the
# burden-distribution host program. The plant database, its private ODBC data source
# and the plot stay in $MORVANE_HOME (default: morvane-plant/ in the repository).
# Arguments go to the program (--reset, --arrive N, --help for all).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh --main-job
# Only the programs: the tests and benchmarks need the test toolchain.
cmake -S . -B build/main-job -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDBPLATFORM_TESTS=OFF -DDBPLATFORM_BENCH=OFF >/dev/null
cmake --build build/main-job -j"$(nproc)" --target morvane-demo
export MORVANE_HOME=${MORVANE_HOME:-$root/morvane-plant}
exec build/main-job/tools/morvane-demo "$@"
