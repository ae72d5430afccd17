#!/usr/bin/env bash
# Runs the project's benchmarks at full size, as the README's Performance section reports
# them: the walk of 1,000,000 rows on SQLite, PostgreSQL and through the SQLite ODBC driver
# (each method in a process of its own, median of 3), then the charge cycle (100,000
# processed and 2,000 new charges, median of 3). Builds the release tree's bench targets
# first and starts the private database servers when they are down (and leaves them
# running). Takes about 10 minutes on a quiet 2-core machine; CI never runs it.
#
#   scripts/bench.sh [--quick]     --quick: 300,000 rows and the default charge run
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rows=1000000
charge_size=--full
case ${1:-} in
  '') ;;
  --quick) rows=300000; charge_size= ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac
build=${BUILD_DIR:-build/release}
scripts/db-servers.sh start >/dev/null
# shellcheck disable=SC1091
source build/odbc/env.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDBPLATFORM_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target bench-walk bench-charge >/dev/null
echo "== machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(. /etc/os-release && echo "$PRETTY_NAME"), SQLite $(sqlite3 --version 2>/dev/null | cut -d' ' -f1)"
echo "== bench-walk --rows $rows --repeat 3"
"$build/bench/bench-walk" --rows "$rows" --repeat 3
echo
echo "== bench-charge $charge_size"
# shellcheck disable=SC2086
"$build/bench/bench-charge" $charge_size
