#!/usr/bin/env bash
# Runs the built morvane-demo on one plant the way plants break it: several runs at once,
# runs killed at random moments, older plants without unique keys or with duplicated
# rows, a host following the plant while another program writes charges.
# Usage: morvane_demo_plant_test.sh concurrent PROGRAM [RUNS] [ARRIVE]
#        morvane_demo_plant_test.sh kill PROGRAM [KILLS]
#        morvane_demo_plant_test.sh schema PROGRAM
#        morvane_demo_plant_test.sh follow PROGRAM
set -uo pipefail
mode=$1
program=$2
work=$(mktemp -d)
trap 'jobs -p | xargs -r kill -9 2>/dev/null; rm -rf "$work"' EXIT
failures=0
checks=0
check() {  # check NAME COMMAND...: counts a check, reports a failed one
  local name=$1
  shift
  checks=$((checks + 1))
  "$@" || { echo "FAIL: $name"; failures=$((failures + 1)); }
}
finish() {
  echo "$((checks - failures)) passed, $failures failed"
  exit $((failures > 0))
}

# A fixed clock: every run simulates the same day of charges.
now="2026-03-01 12:00:00"
tables=(matrix_bl_roof_weight_new matrix_bl_roof_ruler matrix_bl_roof_angle MODEL_RESULTBURDENDIS MODEL_RESULTFURNACE)

# The five tables of a plant, row by row in key order: two plants that hold the same
# charges, readings, programmes and results give the same text.
dump() {
  for table in "${tables[@]}"; do
    echo "== $table"
    sqlite3 "$1/plant.db" "SELECT * FROM $table ORDER BY 1"
  done
}
same_plant() { cmp -s <(dump "$1") <(dump "$2") || { diff <(dump "$1") <(dump "$2") | head -5; return 1; }; }
# No time recorded twice in any table; every charge has exactly one result.
sound_plant() {
  local bad
  bad=$(sqlite3 "$1/plant.db" "
    SELECT 'weight', COUNT(*) - COUNT(DISTINCT RECEIVETIME) FROM matrix_bl_roof_weight_new
    UNION ALL SELECT 'ruler', COUNT(*) - COUNT(DISTINCT RECEIVETIME) FROM matrix_bl_roof_ruler
    UNION ALL SELECT 'angle', COUNT(*) - COUNT(DISTINCT RECEIVETIME) FROM matrix_bl_roof_angle
    UNION ALL SELECT 'result', COUNT(*) - COUNT(DISTINCT TIMESTAMP) FROM MODEL_RESULTBURDENDIS
    UNION ALL SELECT 'charges without one result', COUNT(*) FROM matrix_bl_roof_weight_new w
      WHERE (SELECT COUNT(*) FROM MODEL_RESULTBURDENDIS r WHERE r.TIMESTAMP = w.RECEIVETIME) <> 1
    UNION ALL SELECT 'results without a charge', COUNT(*) FROM MODEL_RESULTBURDENDIS r
      WHERE NOT EXISTS (SELECT 1 FROM matrix_bl_roof_weight_new w WHERE w.RECEIVETIME = r.TIMESTAMP)" |
    awk -F'|' '$2 != 0')
  [[ -z $bad ]] || { echo "$1: $bad"; return 1; }
}
# A copy of a plant folder whose data source names the copy's database.
copy_plant() {
  rm -rf "$2"
  cp -r "$1" "$2"
  sed -i "s|^Database=.*|Database=$2/plant.db|" "$2/odbc.ini"
}
run() { "$program" --home "$1" --now "$now" "${@:2}" </dev/null; }
# The same in the background; $! is then the program itself (a backgrounded function
# would be a subshell, and a signal would end the shell, not the program).
start() { "$program" --home "$1" --now "$now" "${@:2}" </dev/null & }

case $mode in
concurrent)
  runs=${3:-4}
  arrive=${4:-5}
  # The reference: the same runs one after the other.
  for ((i = 0; i < runs; i++)); do run "$work/serial" --arrive "$arrive" >/dev/null 2>&1; done
  pids=()
  for ((i = 0; i < runs; i++)); do
    start "$work/together" --arrive "$arrive" >"$work/run$i.out" 2>&1
    pids+=($!)
  done
  for ((i = 0; i < runs; i++)); do
    wait "${pids[$i]}"
    status=$?
    check "run $i of $runs at once: exit $status ($(tail -2 "$work/run$i.out"))" test $status -eq 0
  done
  check "runs at once leave a sound plant" sound_plant "$work/together"
  check "runs at once equal the same runs one after the other" same_plant "$work/together" "$work/serial"
  expected=$((240 + runs * arrive))
  check "every charge recorded once ($expected)" \
    test "$(sqlite3 "$work/together/plant.db" 'SELECT COUNT(*) FROM matrix_bl_roof_weight_new')" -eq $expected

  # A run that finds the plant taken: --no-wait refuses and changes nothing; the default waits.
  flock "$work/serial/plant.lock" sleep 2 &
  holder=$!
  sleep 0.3
  before=$(dump "$work/serial")
  run "$work/serial" --arrive 1 --no-wait >"$work/nowait.out" 2>&1
  status=$?
  check "--no-wait on a taken plant exits 3 (got $status)" test $status -eq 3
  check "--no-wait says why" grep -q "is working on the plant" "$work/nowait.out"
  check "--no-wait changed nothing" test "$before" == "$(dump "$work/serial")"
  run "$work/serial" --arrive 1 >"$work/wait.out" 2>&1
  status=$?
  check "a waiting run succeeds after the holder (got $status)" test $status -eq 0
  check "a waiting run says it waits" grep -q "waiting for it to finish" "$work/wait.out"
  wait $holder
  ;;

kill)
  kills=${3:-3}
  started=$(date +%s%N)
  run "$work/reference" >/dev/null 2>&1 || { echo "the reference run failed"; exit 1; }
  # Kills fall within the time a whole first run takes on this machine and build, so
  # that a faster build does not finish before every kill.
  run_ms=$((($(date +%s%N) - started) / 1000000))
  ((run_ms > 10)) || run_ms=10
  # Kills early in a first run, one after every 2 ms of the first 60: the run creates the
  # plant database as it starts, and a kill there must never leave a file the next run
  # has to refuse (an engine's zero-byte file between creating it and its first page).
  torn=0
  for ((delay = 0; delay < 60; delay += 2)); do
    rm -rf "$work/early"
    start "$work/early" >/dev/null 2>&1
    pid=$!
    sleep "$(printf '0.%03d' $delay)"
    kill -9 $pid 2>/dev/null
    wait $pid 2>/dev/null
    if [ -e "$work/early/plant.db" ] && [ "$(head -c 15 "$work/early/plant.db")" != "SQLite format 3" ]; then
      torn=$((torn + 1))
    fi
  done
  check "runs killed as they start leave no unusable plant file ($torn of 30 did)" test $torn -eq 0
  run "$work/early" >"$work/rerun.out" 2>&1
  status=$?
  check "the rerun after early kills succeeds ($(tail -2 "$work/rerun.out"))" test $status -eq 0
  check "early kills and a rerun equal an uninterrupted run" same_plant "$work/early" "$work/reference"

  seed=${SEED:-$RANDOM}
  RANDOM=$seed
  echo "kill -9 at random moments (SEED=$seed)"
  # In rounds of three kills, each from a new plant: a day's run lasts a few seconds, so
  # later kills of one plant would mostly find the work done.
  hit=0
  for ((round = 0; round * 3 < kills; round++)); do
    rm -rf "$work/killed"
    for ((i = 0; i < 3 && round * 3 + i < kills; i++)); do
      start "$work/killed" >/dev/null 2>&1
      pid=$!
      sleep "$(printf '%d.%03d' $((delay_ms = RANDOM % run_ms, delay_ms / 1000)) $((delay_ms % 1000)))"
      kill -9 $pid 2>/dev/null && hit=$((hit + 1))
      wait $pid 2>/dev/null
    done
    run "$work/killed" >"$work/rerun.out" 2>&1
    status=$?
    check "round $round: the rerun after kills succeeds ($(tail -2 "$work/rerun.out"))" test $status -eq 0
    check "round $round: killed runs and a rerun leave a sound plant" sound_plant "$work/killed"
    check "round $round: killed runs and a rerun equal an uninterrupted run" same_plant "$work/killed" "$work/reference"
  done
  echo "$hit of $kills kills hit a running job"
  check "kills hit running jobs ($hit of $kills)" test $hit -gt 0

  # A failure part way through an arrival or a reset (a trigger refuses one statement of
  # it) leaves nothing of it behind, and names its cause. Each case: name | arguments |
  # trigger | what the plant must be afterwards (the reference, or it after a clean run).
  copy_plant "$work/reference" "$work/clean"
  run "$work/clean" --arrive 2 >/dev/null 2>&1
  cases=(
    "arrival cut at the charge row|--arrive 2|BEFORE INSERT ON matrix_bl_roof_weight_new|clean"
    "arrival cut at the gauge row|--arrive 2|BEFORE INSERT ON matrix_bl_roof_ruler|clean"
    "reset cut at the results|--reset --yes|BEFORE DELETE ON MODEL_RESULTBURDENDIS|reference"
  )
  for entry in "${cases[@]}"; do
    IFS='|' read -r name args trigger expected <<<"$entry"
    copy_plant "$work/reference" "$work/cut"
    sqlite3 "$work/cut/plant.db" "CREATE TRIGGER cut $trigger BEGIN SELECT RAISE(ABORT, 'power cut at the furnace'); END"
    # shellcheck disable=SC2086
    run "$work/cut" $args >"$work/cut.out" 2>&1
    status=$?
    check "$name: exit 1 (got $status)" test $status -eq 1
    check "$name: the cause is printed ($(tail -3 "$work/cut.out"))" grep -q "cause: .*power cut at the furnace" "$work/cut.out"
    sqlite3 "$work/cut/plant.db" "DROP TRIGGER cut"
    check "$name: nothing of it is left" same_plant "$work/cut" "$work/reference"
    [[ $expected == clean ]] && run "$work/cut" $args >/dev/null 2>&1
    check "$name: run again, the plant is as after an uninterrupted run" same_plant "$work/cut" "$work/$expected"
  done

  # An interrupted --reset leaves the plant whole or empty, never half: a plain rerun
  # then ends with the same day either way.
  for ((i = 0; i < kills; i++)); do
    start "$work/killed" --reset --yes >/dev/null 2>&1
    pid=$!
    sleep "0.$((RANDOM % 3))$((RANDOM % 10))"
    kill -9 $pid 2>/dev/null
    wait $pid 2>/dev/null
    run "$work/killed" >/dev/null 2>&1
    check "rerun after a killed --reset ($i) equals an uninterrupted run" same_plant "$work/killed" "$work/reference"
  done
  ;;

schema)
  run "$work/base" >/dev/null 2>&1 || { echo "cannot make a plant"; exit 1; }
  # An older plant: the plain indexes of the past, no unique keys.
  older() {
    rm -rf "$1"
    cp -r "$work/base" "$1"
    sed -i "s|^Database=.*|Database=$1/plant.db|" "$1/odbc.ini"
    sqlite3 "$1/plant.db" "DROP INDEX weight_time_key; DROP INDEX ruler_time_key; DROP INDEX angle_time_key;
      DROP INDEX result_time_key; CREATE INDEX weight_time ON matrix_bl_roof_weight_new (RECEIVETIME);
      CREATE INDEX ruler_time ON matrix_bl_roof_ruler (RECEIVETIME);
      CREATE INDEX angle_time ON matrix_bl_roof_angle (RECEIVETIME);
      CREATE INDEX result_time ON MODEL_RESULTBURDENDIS (TIMESTAMP)"
  }
  keys="angle_time_key result_time_key ruler_time_key weight_time_key"
  indexes() { sqlite3 "$1/plant.db" "SELECT name FROM sqlite_master WHERE type = 'index' ORDER BY name" | xargs; }
  older "$work/old"
  run "$work/old" --arrive 1 >"$work/old.out" 2>&1
  status=$?
  check "an older plant runs" test $status -eq 0
  check "an older plant gets its unique keys ($(indexes "$work/old"))" test "$(indexes "$work/old")" == "$keys"

  # Each case: name | SQL that records something twice | text the report must hold
  cases=(
    "charge twice|INSERT INTO matrix_bl_roof_weight_new SELECT * FROM matrix_bl_roof_weight_new LIMIT 3|matrix_bl_roof_weight_new: 3 rows more than distinct RECEIVETIME"
    "gauge reading twice|INSERT INTO matrix_bl_roof_ruler SELECT * FROM matrix_bl_roof_ruler LIMIT 1|matrix_bl_roof_ruler: 1 row more"
    "programme twice|INSERT INTO matrix_bl_roof_angle SELECT * FROM matrix_bl_roof_angle LIMIT 2|matrix_bl_roof_angle: 2 rows more"
    "result twice|INSERT INTO MODEL_RESULTBURDENDIS SELECT * FROM MODEL_RESULTBURDENDIS LIMIT 5|MODEL_RESULTBURDENDIS: 5 rows more than distinct TIMESTAMP"
  )
  for entry in "${cases[@]}"; do
    IFS='|' read -r name sql text <<<"$entry"
    older "$work/dup"
    sqlite3 "$work/dup/plant.db" "$sql"
    before=$(sqlite3 "$work/dup/plant.db" .dump)
    run "$work/dup" --arrive 1 >"$work/dup.out" 2>&1
    status=$?
    check "$name: refused with exit 1 (got $status)" test $status -eq 1
    check "$name: reported as '$text' ($(head -c 300 "$work/dup.out"))" grep -qF -- "$text" "$work/dup.out"
    check "$name: the plant is not changed" test "$before" == "$(sqlite3 "$work/dup/plant.db" .dump)"
  done
  ;;

follow)
  run "$work/plant" >/dev/null 2>&1 || { echo "cannot make a plant"; exit 1; }
  start "$work/plant" --follow --poll 0.2 >"$work/follow.out" 2>"$work/follow.err"
  follower=$!
  for _ in $(seq 100); do grep -q "following" "$work/follow.err" && break; sleep 0.1; done
  # sqlite3 waits for the follower's write lock as a charging system would, instead of
  # failing at once with "database is locked" when a slow (sanitizer) build holds it.
  results() { sqlite3 -cmd ".timeout 10000" "$work/plant/plant.db" "SELECT COUNT(*) FROM MODEL_RESULTBURDENDIS"; }
  before=$(results)
  # The charging system (here sqlite3) records three charges, a gauge reading before each.
  for n in 1 2 3; do
    sqlite3 -cmd ".timeout 10000" "$work/plant/plant.db" "
      INSERT INTO matrix_bl_roof_ruler SELECT datetime(MAX(RECEIVETIME), '+330 seconds'), 1.6, 1.6, 1.6
        FROM matrix_bl_roof_weight_new;
      INSERT INTO matrix_bl_roof_weight_new SELECT datetime(MAX(RECEIVETIME), '+360 seconds'), MAX(CHARGE) + 1,
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, (MAX(CHARGE) + 1) % 2 FROM matrix_bl_roof_weight_new"
    sleep 0.3
  done
  for _ in $(seq 100); do [[ $(results) -ge $((before + 3)) ]] && break; sleep 0.1; done
  check "the following run processed the three charges written meanwhile" test "$(results)" -eq $((before + 3))
  check "the following run is still running" kill -0 $follower
  kill -TERM $follower
  wait $follower
  status=$?
  check "SIGTERM ends the following run with exit 0 (got $status: $(tail -2 "$work/follow.err"))" test $status -eq 0
  check "its summary counts the three charges" grep -q "Charges processed: 3" "$work/follow.out"
  check "it says why it stopped" grep -q "SIGTERM received" "$work/follow.err"
  check "the plant is sound" sound_plant "$work/plant"
  ;;
*)
  echo "unknown mode $mode"
  exit 2
  ;;
esac
finish
