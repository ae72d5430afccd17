#!/usr/bin/env bash
# Runs scripts/db-servers.sh as a developer does, on private instances of its own (a
# temporary data folder, free ports), and checks what each command leaves running, that the
# test user logs in by password over TCP only, that data outlives a restart, and that the
# machine's own database servers and their configuration are the same afterwards.
# Usage: db_servers_test.sh SCRIPT
set -uo pipefail
script=$1
work=$(mktemp -d /tmp/db_servers_test.XXXXXX)
chmod 755 "$work"
failures=0
passed=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A TCP port on 127.0.0.1 that nothing listens on now, other than the ones already chosen.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 20000))
    [[ " $* " == *" $port "* ]] && continue
    ss -Hltn "sport = :$port" | grep -q . || { echo "$port"; return; }
  done
}
pg_port=$(free_port)
maria_port=$(free_port "$pg_port")
other_port=$(free_port "$pg_port" "$maria_port")
busy_port=$(free_port "$pg_port" "$maria_port" "$other_port")

export DBPLATFORM_DB_DIR=$work/db DBPLATFORM_ODBC_DIR=$work/odbc
export DBPLATFORM_PG_PORT=$pg_port DBPLATFORM_MARIA_PORT=$maria_port
cleanup() {
  "$script" stop >/dev/null 2>&1
  kill "${busy_pid:-}" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The machine's own servers as they are now: who listens on the usual ports, and their
# configuration files.
system_state() {
  ss -Hltnp "( sport = :5432 or sport = :3306 )" | awk '{print $4, $6}' | sort
  md5sum /etc/postgresql/*/*/*.conf /etc/mysql/my.cnf /etc/mysql/mariadb.conf.d/*.cnf 2>/dev/null
}
system_before=$(system_state)

# Independent of the script: does anything answer on the port?
pg_up() { pg_isready -q -h 127.0.0.1 -p "$pg_port"; }
maria_up() { mariadb-admin --no-defaults -h 127.0.0.1 -P "$maria_port" --connect-timeout=2 ping >/dev/null 2>&1; }
listener_pid() { ss -Hltnp "sport = :$1" | grep -o 'pid=[0-9]*' | head -1; }
pg_as_test_user() {  # pg_as_test_user PASSWORD SQL
  PGPASSWORD=$1 PGCONNECT_TIMEOUT=5 psql -qXAt -h 127.0.0.1 -p "$pg_port" -U adotest -d adotest -c "$2" 2>&1
}
maria_as_test_user() {  # maria_as_test_user PASSWORD SQL
  mariadb --no-defaults -h 127.0.0.1 -P "$maria_port" -uadotest -p"$1" -N -B adotest -e "$2" 2>&1
}

# A program other than our servers on busy_port.
python3 -c "
import socket, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(('127.0.0.1', $busy_port)); s.listen(); time.sleep(600)" &
busy_pid=$!

# Each case: name | environment (VAR=value ..., or -) | arguments | exit status | text the
# output must hold (or -) | PostgreSQL up afterwards | MariaDB up afterwards | pids kept
# (the listeners' pids are the same as before the command: yes/no/-)
cases=(
  "port below 1024 refused|DBPLATFORM_PG_PORT=80|start|2|DBPLATFORM_PG_PORT must be a port number|no|no|-"
  "port not a number refused|DBPLATFORM_MARIA_PORT=33o6|start|2|not '33o6'|no|no|-"
  "port beyond 65535 refused|DBPLATFORM_MARIA_PORT=99999|start|2|DBPLATFORM_MARIA_PORT must be|no|no|-"
  "one port for both refused|DBPLATFORM_MARIA_PORT=$pg_port|start|2|cannot share port $pg_port|no|no|-"
  "unknown server named|-|start mysql|2|unknown server 'mysql'|no|no|-"
  "unknown command|-|restart|2|usage:|no|no|-"
  "status of nothing running|-|status|3|PostgreSQL: stopped|no|no|-"
  "port taken by another program|DBPLATFORM_PG_PORT=$busy_port|start postgres|1|did not start on 127.0.0.1:$busy_port|no|no|-"
  "start one server|-|start postgres|0|PostgreSQL on 127.0.0.1:$pg_port is up|yes|no|-"
  "status of one running|-|status|3|PostgreSQL: running on 127.0.0.1:$pg_port|yes|no|-"
  "start both, one already running|-|start|0|MariaDB on 127.0.0.1:$maria_port is up|yes|yes|-"
  "second start changes nothing|-|start|0|-|yes|yes|yes"
  "other port while running refused|DBPLATFORM_PG_PORT=$other_port|start|1|already runs on port $pg_port|yes|yes|yes"
  "status of both running|-|status|0|MariaDB: running on 127.0.0.1:$maria_port|yes|yes|yes"
  "stop one server|-|stop mariadb|0|-|yes|no|-"
  "stop both|-|stop|0|-|no|no|-"
  "stop when stopped|-|stop|0|-|no|no|-"
  "start again on the kept data|-|start|0|-|yes|yes|-"
)

for entry in "${cases[@]}"; do
  IFS='|' read -r name environment args expected text want_pg want_maria kept <<<"$entry"
  [[ $environment == - ]] && environment=""
  pids_before="$(listener_pid "$pg_port") $(listener_pid "$maria_port")"
  # shellcheck disable=SC2086
  out=$(env $environment "$script" $args 2>&1)
  status=$?
  ok=1
  [[ $status == "$expected" ]] || { fail "$name: exit status $status, expected $expected: $out"; ok=0; }
  [[ $text == - || $out == *"$text"* ]] || { fail "$name: output lacks '$text': $out"; ok=0; }
  pg_up && got_pg=yes || got_pg=no
  maria_up && got_maria=yes || got_maria=no
  [[ $got_pg == "$want_pg" ]] || { fail "$name: PostgreSQL up is $got_pg, expected $want_pg"; ok=0; }
  [[ $got_maria == "$want_maria" ]] || { fail "$name: MariaDB up is $got_maria, expected $want_maria"; ok=0; }
  pids_after="$(listener_pid "$pg_port") $(listener_pid "$maria_port")"
  [[ $kept != yes || $pids_before == "$pids_after" ]] || { fail "$name: servers restarted ($pids_before -> $pids_after)"; ok=0; }
  ((ok)) && passed=$((passed + 1))

  # What the first start of both made: logins, listeners, the ODBC data sources, and a table
  # that must outlive the restart at the end.
  if [[ $name == "start both, one already running" ]]; then
    [[ $(pg_as_test_user adotest_pw "CREATE TABLE kept (v int); INSERT INTO kept VALUES (7); SELECT v FROM kept") == 7 ]] ||
      fail "PostgreSQL: adotest cannot log in by password and create a table"
    [[ $(maria_as_test_user adotest_pw "CREATE TABLE kept (v int); INSERT INTO kept VALUES (8); SELECT v FROM kept") == 8 ]] ||
      fail "MariaDB: adotest cannot log in by password and create a table"
    [[ $(pg_as_test_user wrong "SELECT 1") == *"password authentication failed"* ]] ||
      fail "PostgreSQL accepts a wrong password"
    [[ $(maria_as_test_user wrong "SELECT 1") == *"Access denied"* ]] || fail "MariaDB accepts a wrong password"
    for port in "$pg_port" "$maria_port"; do
      addresses=$(ss -Hltn "sport = :$port" | awk '{print $4}' | sort -u | tr '\n' ' ')
      [[ $addresses == "127.0.0.1:$port " ]] || fail "port $port listens on '$addresses', not 127.0.0.1 alone"
    done
    (
      # shellcheck disable=SC1091
      source "$work/odbc/env.sh"
      [[ $DBPLATFORM_TEST_PG == *"127.0.0.1:$pg_port;"* ]] || echo "FAIL: env.sh: DBPLATFORM_TEST_PG=$DBPLATFORM_TEST_PG"
      [[ $DBPLATFORM_TEST_MARIA_ODBC == *"Port=$maria_port;"* ]] || echo "FAIL: env.sh: DBPLATFORM_TEST_MARIA_ODBC"
      for dsn in ado_pg ado_maria; do
        answer=$(echo "SELECT 40+2" | isql -v -b "$dsn" 2>&1)
        [[ $answer == *"| 42 "* ]] || echo "FAIL: the data source $dsn does not answer: $answer"
      done
    ) >"$work/odbc.out"
    grep -q FAIL "$work/odbc.out" && { cat "$work/odbc.out"; failures=$((failures + $(grep -c FAIL "$work/odbc.out"))); }
  fi
done

[[ $(pg_as_test_user adotest_pw "SELECT v FROM kept") == 7 ]] || fail "PostgreSQL lost its data over a restart"
[[ $(maria_as_test_user adotest_pw "SELECT v FROM kept") == 8 ]] || fail "MariaDB lost its data over a restart"
"$script" stop >/dev/null 2>&1 || fail "the final stop failed"
[[ $(system_state) == "$system_before" ]] ||
  fail "the machine's own servers changed: before '$system_before', after '$(system_state)'"

echo "$passed passed, $failures failed"
exit $((failures > 0))
