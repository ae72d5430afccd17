#!/usr/bin/env bash
# Runs every test on a fresh Debian 12 machine: installs what is missing, starts the
# private test database servers, builds a release tree and an ASan+UBSan tree, runs each fuzz target
# (clang, libFuzzer) for FUZZ_SECONDS (default 60), runs the whole suite in both trees and the
# threading tests in a ThreadSanitizer tree (scripts/test-tsan.sh runs the whole suite there)
# and stops the servers it started again, also when something fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-$(nproc)}
fuzz_seconds=${FUZZ_SECONDS:-60}

scripts/install-deps.sh --servers
# The private test servers (never the machine's own, see db-servers.sh): those this command
# starts are stopped again on exit; one that already ran before is left running.
stop_at_exit=()
for server in postgres mariadb; do
  scripts/db-servers.sh status "$server" >/dev/null 2>&1 || stop_at_exit+=("$server")
done
trap 'for server in "${stop_at_exit[@]}"; do scripts/db-servers.sh stop "$server" >/dev/null 2>&1 || true; done' EXIT
scripts/db-servers.sh start
# shellcheck disable=SC1091
source build/odbc/env.sh

echo "== release build"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$jobs"

echo "== sanitizer build (ASan + UBSan)"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DDBPLATFORM_SANITIZE=ON -DDBPLATFORM_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"

echo "== fuzz build (clang, libFuzzer)"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDBPLATFORM_FUZZ=ON \
  -DDBPLATFORM_SANITIZE=ON -DDBPLATFORM_TESTS=OFF -DDBPLATFORM_BENCH=OFF >/dev/null
cmake --build build/fuzz -j"$jobs" --target fuzzers
for target in build/fuzz/fuzz/fuzz_*; do
  [[ -x "$target" ]] || continue
  name=$(basename "$target")
  corpus="build/fuzz/corpus/$name"; mkdir -p "$corpus"
  seeds="fuzz/seeds/${name#fuzz_}"
  echo "== fuzzing $name for ${fuzz_seconds}s"
  "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" $( [[ -d "$seeds" ]] && echo "$seeds" ) \
    2>"build/fuzz/$name.log" || { tail -50 "build/fuzz/$name.log"; exit 1; }
  grep -E '^#[0-9]+.*DONE' "build/fuzz/$name.log" | tail -1 || true
done

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== tests, release build"
ctest --test-dir build/release --output-on-failure -j"$jobs"
echo "== tests, sanitizer build"
ctest --test-dir build/asan --output-on-failure -j"$jobs"
echo "== ThreadSanitizer build, threading and command-timeout tests"
# The whole suite under ThreadSanitizer takes about twenty minutes on two cores (the plant and
# demo programs' tests slow down severalfold); run scripts/test-tsan.sh alone for all of it.
scripts/test-tsan.sh -R '(PerThreadConnections|HandedOver|SharedReferences|ProcessWideState|ConnectionOwnership|LongQuery|LockWait|SqliteLock|PostgresTimeout|Diagnostics)'
echo "== exported symbols and installed headers"
scripts/check-interface.sh build/release
echo "== main job, sanitizer build"
# A day of charges on a new plant; a leak or sanitizer report fails the run.
main_job_home=$(mktemp -d)
if ! build/asan/tools/morvane-demo --home "$main_job_home" --now "2026-03-01 12:00:00" </dev/null \
     >build/asan/main-job.log 2>&1; then
  cat build/asan/main-job.log
  echo "main job under the sanitizers failed (log: build/asan/main-job.log)"
  exit 1
fi
rm -rf "$main_job_home"
grep -E '^Charges processed' build/asan/main-job.log
