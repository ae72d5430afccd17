#!/usr/bin/env bash
# The full-size checks of one plant under stress, beyond the few the test command runs:
# four runs at once with 500 charges each (compared with the same runs one after the
# other), then thirty kill -9 at random moments of a run followed by a rerun (compared
# with an uninterrupted run). SEED=n repeats one sequence of kills.
# Usage: scripts/plant-stress.sh [PROGRAM]   (default: build/release/tools/morvane-demo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/release/tools/morvane-demo}
[[ -x $program ]] || { echo "no $program: cmake --build build/release --target morvane-demo"; exit 1; }
test=$root/tests/tools/morvane_demo_plant_test.sh
"$test" concurrent "$program" 4 500
"$test" kill "$program" 30
