#!/usr/bin/env bash
# The full-size shared-store run: 4 model hosts, each storing 500 charges (or the number
# given as the first argument) through ResultInsertBD into one SQLite plant, one
# PostgreSQL plant and one MariaDB plant at once, with and without a unique key; every
# charge must end with exactly one result. The test command runs the same test with 50
# charges per host. Starts the database servers when they are down (and leaves them
# running), as the test command does.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cycles=${1:-500}
case $cycles in
  ''|*[!0-9]*) echo "usage: $0 [CHARGES_PER_HOST]  (a positive whole number, default 500)" >&2; exit 2 ;;
esac
if [ "$cycles" -lt 1 ] || [ "$cycles" -gt 100000 ]; then
  echo "$0: CHARGES_PER_HOST must be 1 to 100000" >&2
  exit 2
fi
build=${BUILD_DIR:-build/release}
scripts/db-servers.sh start >/dev/null
# shellcheck disable=SC1091
source build/odbc/env.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target morvane_shared_store_tests
MORVANE_SHARED_CYCLES=$cycles CI=true exec "$build/tests/morvane_shared_store_tests" \
  --gtest_filter='*EveryChargeGetsExactlyOneResult*'
