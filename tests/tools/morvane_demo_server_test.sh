#!/usr/bin/env bash
# Runs the built morvane-demo on a plant on a server: the project's PostgreSQL (through
# psqlODBC, with the data source of the README's example) and MariaDB, each in a schema
# or database of its own made and dropped here, so that runs in parallel do not meet.
# Usage: morvane_demo_server_test.sh PROGRAM README
# Needs DBPLATFORM_TEST_PG_ODBC, DBPLATFORM_TEST_MARIA_ODBC and DBPLATFORM_TEST_ODBC_DIR
# (build/odbc/env.sh); the test servers let the test user make databases named adotest_...
set -uo pipefail
program=$1
readme=$2
work=$(mktemp -d)
name="morvane_demo_$$"
failures=0
checks=0
check() {
  local what=$1
  shift
  checks=$((checks + 1))
  "$@" || { echo "FAIL: $what"; failures=$((failures + 1)); }
}
missing() {  # a server the test needs is not there: a failure in CI, else a loud skip
  echo "*** $1"
  [[ ${CI:-} == true ]] && exit 1
  exit 77
}
[[ -n ${DBPLATFORM_TEST_PG_ODBC:-} && -n ${DBPLATFORM_TEST_ODBC_DIR:-} ]] ||
  missing "the PostgreSQL data source is not configured: scripts/db-servers.sh start; source build/odbc/env.sh"

# Server, port, database, user and password of a test connection string.
value() { tr ';' '\n' <<<"$1" | sed -n "s/^$2=//Ip" | head -1; }
pg_host=$(value "$DBPLATFORM_TEST_PG_ODBC" Server) pg_port=$(value "$DBPLATFORM_TEST_PG_ODBC" Port)
pg_db=$(value "$DBPLATFORM_TEST_PG_ODBC" Database) pg_user=$(value "$DBPLATFORM_TEST_PG_ODBC" Uid)
pg_password=$(value "$DBPLATFORM_TEST_PG_ODBC" Pwd)
maria_host=$(value "${DBPLATFORM_TEST_MARIA_ODBC:-}" Server) maria_port=$(value "${DBPLATFORM_TEST_MARIA_ODBC:-}" Port)
maria_user=$(value "${DBPLATFORM_TEST_MARIA_ODBC:-}" Uid) maria_password=$(value "${DBPLATFORM_TEST_MARIA_ODBC:-}" Pwd)
maria() { MYSQL_PWD=$maria_password mariadb -h "$maria_host" -P "$maria_port" -u "$maria_user" "$@"; }
pg() { PGPASSWORD=$pg_password psql -h "$pg_host" -p "$pg_port" -U "$pg_user" -d "$pg_db" -qXAt -v ON_ERROR_STOP=1 "$@"; }
pg -c "CREATE SCHEMA $name" || missing "cannot create a schema on PostgreSQL"
maria_db=""
cleanup() {
  jobs -p | xargs -r kill -9 2>/dev/null
  pg -c "DROP SCHEMA IF EXISTS $name CASCADE" >/dev/null
  [[ -n $maria_db ]] && maria -e "DROP DATABASE IF EXISTS $maria_db"
  rm -rf "$work"
}
trap cleanup EXIT

# The data source exactly as the README shows it, pointed at the test's server and schema.
mkdir -p "$work/odbc"
cp "$DBPLATFORM_TEST_ODBC_DIR/odbcinst.ini" "$work/odbc/odbcinst.ini"
awk '/^\[furnace1\]/ { on = 1 } on && /^```/ { exit } on' "$readme" >"$work/readme.ini"
[[ -s $work/readme.ini ]] || { echo "FAIL: the README has no [furnace1] data source"; exit 1; }
sed -e "s/^Servername=.*/Servername=$pg_host/" -e "s/^Port=.*/Port=$pg_port/" -e "s/^Database=.*/Database=$pg_db/" \
  -e "s/^Username=.*/Username=$pg_user/" -e "s/search_path TO furnace1/search_path TO $name/" \
  "$work/readme.ini" >"$work/odbc/odbc.ini"
# Named on the server, so that the test can cut exactly its own connections.
echo "pqopt=application_name=$name" >>"$work/odbc/odbc.ini"
# The same with a schema that holds no tables.
sed -e "s/^\[furnace1\]/[bare]/" -e "s/search_path TO $name/search_path TO ${name}_none/" \
  "$work/odbc/odbc.ini" >>"$work/odbc/odbc.ini"
export ODBCSYSINI=$work/odbc ODBCINI=$work/odbc/odbc.ini

now="2026-03-01 12:00:00"
host() { "$program" --home "$work/home" --now "$now" "$@" </dev/null; }
# The same in the background, so that $! is the program itself.
start_host() { "$program" --home "$work/home" --now "$now" "$@" </dev/null & }
# The reference: the same day on the embedded SQLite plant.
"$program" --home "$work/sqlite" --now "$now" --export-csv "$work/sqlite.csv" >/dev/null 2>&1 ||
  { echo "the SQLite reference run failed"; exit 1; }
# Equal to the reference: times, charges and materials exactly, profiles to 1e-9 m.
same_results() {
  paste -d'|' "$work/sqlite.csv" "$1" | awk -F'|' '
    { n = split($1, a, ","); m = split($2, b, ",")
      if (n != m) { print "line " NR ": " n " and " m " fields"; bad++; next }
      for (i = 1; i <= n; i++) {
        if (i <= 3) { if (a[i] != b[i]) { print "line " NR ": " a[i] " and " b[i]; bad++ } }
        else { d = a[i] - b[i]; if (d < 0) d = -d; if (d > 1e-9) { print "line " NR " field " i ": " a[i] " and " b[i]; bad++ } } } }
    END { exit bad > 0 }' | head -3
  return "${PIPESTATUS[1]}"
}

# PostgreSQL: the password from the environment, never the command line.
export MORVANE_PASSWORD=$pg_password
host --dsn bare >"$work/out" 2>&1
status=$?
check "a data source without the tables: exit 1 ($(tail -1 "$work/out"))" test $status -eq 1
check "a data source without the tables: named, with the way out" grep -q "lacks the table(s) matrix_bl_roof_weight_new.*--create-schema" "$work/out"
host --dsn furnace1 >"$work/out" 2>&1
check "a data source without the tables: nothing created" test "$(pg -c "SELECT COUNT(*) FROM pg_tables WHERE schemaname = '$name'")" -eq 0
host --dsn furnace1 --create-schema --simulate --export-csv "$work/pg.csv" >"$work/out" 2>&1
status=$?
check "PostgreSQL: the day runs ($(tail -2 "$work/out"))" test $status -eq 0
check "PostgreSQL: the results equal the SQLite plant's" same_results "$work/pg.csv"
check "PostgreSQL: the times are keys" test "$(pg -c "SELECT COUNT(*) FROM pg_indexes WHERE schemaname = '$name' AND indexdef LIKE 'CREATE UNIQUE INDEX %time_key%'")" -eq 4

# The charging system (here psql) records charges; a host without --simulate only reads
# them. Two hosts follow the store at once: each charge gets exactly one result.
start_host --dsn furnace1 --follow --poll 0.2 >"$work/a.out" 2>"$work/a.err"
first=$!
start_host --dsn furnace1 --follow --poll 0.2 >"$work/b.out" 2>"$work/b.err"
second=$!
for _ in $(seq 200); do grep -q following "$work/a.err" && grep -q following "$work/b.err" && break; sleep 0.1; done
# The server drops both hosts' connections (as at a restart): they report it, reconnect
# and carry on.
pg -c "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = '$name'" >/dev/null
for _ in 1 2 3 4 5; do
  pg -c "SET search_path TO $name;
    INSERT INTO matrix_bl_roof_ruler SELECT MAX(RECEIVETIME) + interval '330 seconds', 1.6, 1.6, 1.6 FROM matrix_bl_roof_weight_new;
    INSERT INTO matrix_bl_roof_weight_new SELECT MAX(RECEIVETIME) + interval '360 seconds', MAX(CHARGE) + 1,
      1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, (MAX(CHARGE) + 1) % 2 FROM matrix_bl_roof_weight_new"
  sleep 0.7
done
for log in a b; do
  check "host $log: the lost connection is reported, not fatal" grep -q "trying again in" "$work/$log.err"
  check "host $log: and is connected again" grep -q "answers again" "$work/$log.err"
done
unprocessed() {
  pg -c "SET search_path TO $name; SELECT COUNT(*) FROM matrix_bl_roof_weight_new w
    WHERE (SELECT COUNT(*) FROM MODEL_RESULTBURDENDIS r WHERE r.TIMESTAMP = w.RECEIVETIME) <> 1" | tail -1
}
for _ in $(seq 100); do [[ $(unprocessed) == 0 ]] && break; sleep 0.1; done
kill -TERM $first $second
wait $first
status=$?
check "the first host ends with exit 0 on SIGTERM ($(tail -1 "$work/a.err"))" test $status -eq 0
wait $second
status=$?
check "the second host ends with exit 0 on SIGTERM ($(tail -1 "$work/b.err"))" test $status -eq 0
check "every charge written while the hosts ran has exactly one result" test "$(unprocessed)" -eq 0
processed=$(cat "$work/a.out" "$work/b.out" | sed -n 's/^Charges processed: //p' | awk '{ n += $1 } END { print n + 0 }')
# Both may compute one charge; the store keeps the first result and the count above
# proves it kept no second one.
check "the two hosts processed the five charges between them ($processed)" test "$processed" -ge 5

MORVANE_PASSWORD=not-the-password host --dsn furnace1 >"$work/out" 2>&1
status=$?
check "a wrong password: exit 1" test $status -eq 1
check "a wrong password: the server's reason is printed" grep -q "cause: .*password authentication failed" "$work/out"
check "a wrong password: never printed" bash -c "! grep -q not-the-password '$work/out'"
unset MORVANE_PASSWORD

# MariaDB: a database of its own, made as the test user; the password in the data source.
[[ -n $maria_port ]] || missing "the MariaDB server is not configured: scripts/db-servers.sh start; source build/odbc/env.sh"
maria_name="adotest_$name"
if ! maria -e "CREATE DATABASE $maria_name" 2>"$work/maria.err"; then
  missing "cannot create a MariaDB database: $(cat "$work/maria.err")"
fi
maria_db=$maria_name
printf '[maria]\nDriver=MariaDB Unicode\nServer=%s\nPort=%s\nDatabase=%s\nUser=%s\nPassword=%s\n' \
  "$maria_host" "$maria_port" "$maria_name" "$maria_user" "$maria_password" >>"$work/odbc/odbc.ini"
host --dsn maria --create-schema --simulate --export-csv "$work/maria.csv" >"$work/out" 2>&1
status=$?
check "MariaDB: the day runs ($(tail -2 "$work/out"))" test $status -eq 0
check "MariaDB: the results equal the SQLite plant's" same_results "$work/maria.csv"
check "MariaDB: the times are keys" test "$(maria -N -e "SELECT COUNT(DISTINCT TABLE_NAME) FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = '$maria_name' AND NON_UNIQUE = 0 AND INDEX_NAME LIKE '%time_key'")" -eq 4
host --dsn maria >"$work/out" 2>&1
check "MariaDB: a second run finds nothing new" grep -q "No new charges" "$work/out"

echo "$((checks - failures)) passed, $failures failed"
exit $((failures > 0))
