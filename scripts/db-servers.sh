#!/usr/bin/env bash
# Starts, stops or reports the test database servers: private instances of PostgreSQL and
# MariaDB that belong to this repository alone, on 127.0.0.1 only. They keep their data in
# build/db (see db_dir below), listen on their own ports (PostgreSQL 55432, MariaDB 53306;
# DBPLATFORM_PG_PORT and DBPLATFORM_MARIA_PORT choose others) and their own unix sockets, and
# are started and stopped by this script alone, never through systemd or the system's
# service scripts. The machine's own servers, clusters and configuration are never touched,
# whether they run or not. Each instance has the database "adotest" and the user
# adotest / adotest_pw (password login over TCP).
# It also writes a private ODBC configuration (never /etc) into $DBPLATFORM_ODBC_DIR
# (default: build/odbc): odbcinst.ini with SQLite3, "PostgreSQL Unicode", "MariaDB Unicode"
# and the alias "MySQL", odbc.ini with the DSNs ado_sqlite, ado_pg and ado_maria, and
# env.sh to source for ODBCSYSINI, ODBCINI and the DBPLATFORM_TEST_* variables.
# Starting twice is harmless. Usage:
#   scripts/db-servers.sh start|stop|status [postgres|mariadb]   (no name: both)
#   scripts/db-servers.sh odbc-config
# status exits with 0 when every named instance runs, else 3.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
odbc_dir=${DBPLATFORM_ODBC_DIR:-$root/build/odbc}
pg_port=${DBPLATFORM_PG_PORT:-55432}
maria_port=${DBPLATFORM_MARIA_PORT:-53306}

die() { echo "db-servers: $*" >&2; exit 1; }

# A port must be a plain number a non-root server may also bind, and the two must differ.
for entry in "DBPLATFORM_PG_PORT=$pg_port" "DBPLATFORM_MARIA_PORT=$maria_port"; do
  value=${entry#*=}
  if ! [[ $value =~ ^[0-9]{4,5}$ ]] || ((10#$value < 1024 || 10#$value > 65535)); then
    echo "db-servers: ${entry%%=*} must be a port number from 1024 to 65535, not '$value'" >&2
    exit 2
  fi
done
pg_port=$((10#$pg_port)); maria_port=$((10#$maria_port))
((pg_port != maria_port)) || { echo "db-servers: PostgreSQL and MariaDB cannot share port $pg_port" >&2; exit 2; }

# The servers refuse to run as root: as root they run as the packages' system users, as
# anybody else they run as that user.
if (($(id -u) == 0)); then pg_user=postgres; maria_user=mysql; else pg_user=$(id -un); maria_user=$pg_user; fi
as_user() {  # as_user USER COMMAND...: runs COMMAND as USER (only root switches)
  local user=$1; shift
  if (($(id -u) == 0)); then runuser -u "$user" -- "$@"; else "$@"; fi
}

# The ODBC driver library: from the file list of the Debian package that ships it, else from
# the ODBC folders of the multiarch library folders.
driver_path() {  # driver_path FILE PACKAGE
  local path
  path=$(dpkg -L "$2" 2>/dev/null | grep -m1 "/$1\$" || true)
  [[ -n $path && -f $path ]] || path=$(ls /usr/lib/*/odbc/"$1" /usr/lib/odbc/"$1" 2>/dev/null | head -1 || true)
  echo "${path:-/usr/lib/odbc/$1}"
}

# The PostgreSQL server programs: version 15 (what the tests were written against), else
# the newest installed major version.
pg_bin_dir() {
  local dir
  for dir in /usr/lib/postgresql/15/bin $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    [[ -x $dir/initdb && -x $dir/pg_ctl ]] && { echo "$dir"; return; }
  done
  die "no PostgreSQL server programs under /usr/lib/postgresql (scripts/install-deps.sh --servers)"
}

# Whether USER can reach and use DIR: the servers' system users need to pass every folder
# above their data, which a repository under /root (mode 700) does not allow.
user_can_enter() {  # user_can_enter USER DIR
  (($(id -u) != 0)) || [[ $1 == root ]] || runuser -u "$1" -- test -x "$2" 2>/dev/null
}

# The folder that holds both instances. build/db in the repository, unless the servers'
# users cannot enter it or its unix socket paths would be too long (the kernel allows 107
# bytes): then a folder of this repository's own under /var/tmp, named after its path.
# DBPLATFORM_DB_DIR names one explicitly. The choice depends only on the path and its
# permissions, so start, stop and status always agree on it.
choose_db_dir() {
  if [[ -n ${DBPLATFORM_DB_DIR:-} ]]; then
    mkdir -p "$DBPLATFORM_DB_DIR" && chmod 755 "$DBPLATFORM_DB_DIR"
    db_dir=$(cd "$DBPLATFORM_DB_DIR" && pwd)
    { user_can_enter "$pg_user" "$db_dir" && user_can_enter "$maria_user" "$db_dir"; } ||
      die "the users $pg_user and $maria_user cannot enter DBPLATFORM_DB_DIR=$db_dir (check the modes of the folders above it)"
    ((${#db_dir} <= 80)) || die "DBPLATFORM_DB_DIR=$db_dir is too long for the servers' unix sockets (at most 80 characters)"
    return
  fi
  db_dir=$root/build/db
  mkdir -p "$db_dir" && chmod 755 "$db_dir"
  if ((${#db_dir} <= 80)) && user_can_enter "$pg_user" "$db_dir" && user_can_enter "$maria_user" "$db_dir"; then
    return
  fi
  db_dir_note="the servers' users cannot enter $db_dir (or its socket paths are too long), so the data is elsewhere"
  db_dir=/var/tmp/dbplatform-db-$(printf '%s' "$root" | sha1sum | cut -c1-12)
  mkdir -p "$db_dir" && chmod 755 "$db_dir"
  # /var/tmp is shared: a folder someone else made there is not ours to run servers from.
  [[ $(stat -c %u "$db_dir") == $(id -u) ]] || die "$db_dir belongs to another user"
}

# --- PostgreSQL: an initdb cluster in $db_dir/pg, its socket in the data folder itself.

pg_data() { echo "$db_dir/pg"; }

pg_running() { [[ -f $(pg_data)/PG_VERSION ]] && as_user "$pg_user" "$(pg_bin_dir)/pg_ctl" -D "$(pg_data)" status >/dev/null 2>&1; }

# The port the running instance listens on (the fourth line of its postmaster.pid).
pg_running_port() { sed -n 4p "$(pg_data)/postmaster.pid" 2>/dev/null; }

# SQL as the instance's superuser, who logs in over its unix socket by peer authentication.
pg_sql() { as_user "$pg_user" psql -qX -v ON_ERROR_STOP=1 -h "$(pg_data)" -p "$pg_port" -U "$pg_user" -d postgres; }

start_postgres() {
  local data bin; data=$(pg_data); bin=$(pg_bin_dir)
  if pg_running; then
    [[ $(pg_running_port) == "$pg_port" ]] ||
      die "the private PostgreSQL already runs on port $(pg_running_port), not $pg_port: stop it first"
  else
    if [[ ! -f $data/PG_VERSION ]]; then
      rm -rf "$data"; mkdir -m 700 "$data"; (($(id -u) != 0)) || chown "$pg_user:" "$data"
      # Local logins by peer (only the server's own user), TCP logins by password.
      as_user "$pg_user" "$bin/initdb" -D "$data" -U "$pg_user" --auth-local=peer --auth-host=scram-sha-256 \
        -E UTF8 --locale=C.UTF-8 >"$db_dir/pg-initdb.log" 2>&1 ||
        { cat "$db_dir/pg-initdb.log" >&2; die "initdb failed in $data"; }
      echo "include 'dbplatform.conf'" | as_user "$pg_user" tee -a "$data/postgresql.conf" >/dev/null
    fi
    # Where it listens, rewritten on every start so that a new port takes effect.
    printf "listen_addresses = '127.0.0.1'\nport = %d\nunix_socket_directories = '%s'\n" "$pg_port" "$data" |
      as_user "$pg_user" tee "$data/dbplatform.conf" >/dev/null
    as_user "$pg_user" "$bin/pg_ctl" -D "$data" -l "$data/server.log" -w -t 60 start >/dev/null ||
      { tail -20 "$data/server.log" >&2; die "PostgreSQL did not start on 127.0.0.1:$pg_port (log: $data/server.log)"; }
  fi
  pg_sql <<'SQL'
SELECT 'CREATE ROLE adotest LOGIN' WHERE NOT EXISTS (SELECT FROM pg_roles WHERE rolname='adotest')\gexec
ALTER ROLE adotest LOGIN CREATEDB PASSWORD 'adotest_pw';
SELECT 'CREATE DATABASE adotest OWNER adotest' WHERE NOT EXISTS (SELECT FROM pg_database WHERE datname='adotest')\gexec
SQL
}

stop_postgres() {
  pg_running || return 0
  as_user "$pg_user" "$(pg_bin_dir)/pg_ctl" -D "$(pg_data)" -m fast -w -t 60 stop >/dev/null
}

# --- MariaDB: mariadb-install-db in $db_dir/maria, configured only by $db_dir/maria.cnf.

maria_data() { echo "$db_dir/maria"; }
maria_cnf() { echo "$db_dir/maria.cnf"; }
maria_socket() { echo "$(maria_data)/mariadb.sock"; }
maria_pid_file() { echo "$(maria_data)/mariadb.pid"; }

# Whether the process of the instance's pid file is alive: a zombie left behind (PID 1 may
# not reap) or a pid reused by another program does not count.
maria_running() {
  local pid state
  pid=$(cat "$(maria_pid_file)" 2>/dev/null) || return 1
  [[ $pid =~ ^[0-9]+$ ]] || return 1
  state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) || return 1
  [[ $state != Z ]] && grep -qa mariadbd "/proc/$pid/cmdline" 2>/dev/null
}

maria_running_port() { sed -n 's/^port *= *//p' "$(maria_cnf)" 2>/dev/null; }

# The server's only option file: nothing from /etc/mysql or ~/.my.cnf applies. The
# character set is the one Debian's own server configuration sets.
write_maria_cnf() {
  cat >"$(maria_cnf)" <<CNF
[mariadbd]
$( (($(id -u) == 0)) && echo "user=$maria_user")
datadir=$(maria_data)
bind-address=127.0.0.1
port=$maria_port
socket=$(maria_socket)
pid-file=$(maria_pid_file)
log-error=$(maria_data)/error.log
init-file=$db_dir/maria-init.sql
character-set-server=utf8mb4
collation-server=utf8mb4_general_ci
CNF
  # The test database and user, made (or repaired) by the server itself on every start, so
  # that no administrator login is needed.
  cat >"$db_dir/maria-init.sql" <<'SQL'
CREATE DATABASE IF NOT EXISTS adotest;
CREATE USER IF NOT EXISTS 'adotest'@'localhost' IDENTIFIED BY 'adotest_pw';
CREATE USER IF NOT EXISTS 'adotest'@'127.0.0.1' IDENTIFIED BY 'adotest_pw';
ALTER USER 'adotest'@'localhost' IDENTIFIED BY 'adotest_pw';
ALTER USER 'adotest'@'127.0.0.1' IDENTIFIED BY 'adotest_pw';
GRANT ALL PRIVILEGES ON adotest.* TO 'adotest'@'localhost';
GRANT ALL PRIVILEGES ON adotest.* TO 'adotest'@'127.0.0.1';
-- Tests whose table names are fixed make a database of their own, named adotest_...
GRANT ALL PRIVILEGES ON `adotest\_%`.* TO 'adotest'@'localhost';
GRANT ALL PRIVILEGES ON `adotest\_%`.* TO 'adotest'@'127.0.0.1';
SQL
  chmod 644 "$(maria_cnf)" "$db_dir/maria-init.sql"
}

start_mariadb() {
  local data pid; data=$(maria_data)
  if maria_running; then
    [[ $(maria_running_port) == "$maria_port" ]] ||
      die "the private MariaDB already runs on port $(maria_running_port), not $maria_port: stop it first"
    return 0
  fi
  write_maria_cnf
  if [[ ! -d $data/mysql ]]; then
    rm -rf "$data"; mkdir -m 700 "$data"; (($(id -u) != 0)) || chown "$maria_user:" "$data"
    mariadb-install-db --defaults-file="$(maria_cnf)" --user="$maria_user" --datadir="$data" \
      --auth-root-authentication-method=socket --skip-test-db >"$db_dir/maria-install.log" 2>&1 ||
      { cat "$db_dir/maria-install.log" >&2; die "mariadb-install-db failed in $data"; }
  fi
  rm -f "$(maria_pid_file)"
  setsid /usr/sbin/mariadbd --defaults-file="$(maria_cnf)" >>"$db_dir/maria-console.log" 2>&1 </dev/null &
  pid=$!
  for _ in $(seq 600); do
    # Over the instance's own socket: whatever else may answer on its port is not asked.
    if mariadb-admin --no-defaults --protocol=socket --socket="$(maria_socket)" ping >/dev/null 2>&1 && maria_running; then
      return 0
    fi
    kill -0 "$pid" 2>/dev/null && [[ $(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) != Z ]] || break
    sleep 0.1
  done
  tail -20 "$data/error.log" >&2 2>/dev/null || true
  die "MariaDB did not start on 127.0.0.1:$maria_port (log: $data/error.log)"
}

stop_mariadb() {
  maria_running || return 0
  local pid; pid=$(cat "$(maria_pid_file)")
  kill -TERM "$pid"
  # mariadbd shuts down cleanly on SIGTERM; wait until the process is gone.
  for _ in $(seq 600); do
    maria_running || return 0
    sleep 0.1
  done
  maria_running && die "MariaDB (pid $pid) did not stop within 60 s"
  return 0
}

write_odbc_config() {
  mkdir -p "$odbc_dir"
  cat >"$odbc_dir/odbcinst.ini" <<INI
[SQLite3]
Driver=$(driver_path libsqlite3odbc.so libsqliteodbc)
[PostgreSQL Unicode]
Driver=$(driver_path psqlodbcw.so odbc-postgresql)
[MariaDB Unicode]
Driver=$(driver_path libmaodbc.so odbc-mariadb)
[MySQL]
Driver=$(driver_path libmaodbc.so odbc-mariadb)
INI
  cat >"$odbc_dir/odbc.ini" <<INI
[ado_sqlite]
Driver=SQLite3
Database=$odbc_dir/ado_sqlite.db
StepAPI=1
[ado_pg]
Driver=PostgreSQL Unicode
Servername=127.0.0.1
Port=$pg_port
Database=adotest
Username=adotest
Password=adotest_pw
[ado_maria]
Driver=MariaDB Unicode
Server=127.0.0.1
Port=$maria_port
Database=adotest
User=adotest
Password=adotest_pw
INI
  cat >"$odbc_dir/env.sh" <<ENV
export ODBCSYSINI=$odbc_dir
export ODBCINI=$odbc_dir/odbc.ini
export DBPLATFORM_TEST_ODBC_DIR=$odbc_dir
export DBPLATFORM_TEST_PG="Provider=PostgreSQL;Data Source=127.0.0.1:$pg_port;Location=adotest;User ID=adotest;Password=adotest_pw"
export DBPLATFORM_TEST_PG_ODBC="DRIVER={PostgreSQL Unicode};Server=127.0.0.1;Port=$pg_port;Database=adotest;Uid=adotest;Pwd=adotest_pw"
export DBPLATFORM_TEST_MARIA_ODBC="Driver=MySQL;Server=127.0.0.1;Port=$maria_port;Database=adotest;Uid=adotest;Pwd=adotest_pw"
ENV
}

command=${1:-}
servers=${2:-both}
case $servers in
  both|postgres|mariadb) ;;
  *) echo "db-servers: unknown server '$servers' (postgres or mariadb)" >&2; exit 2 ;;
esac
want() { [[ $servers == both || $servers == "$1" ]]; }

case $command in
  start)
    choose_db_dir
    write_odbc_config
    want postgres && start_postgres
    want mariadb && start_mariadb
    [[ -z ${db_dir_note:-} ]] || echo "db-servers: $db_dir_note"
    want postgres && echo "db-servers: private PostgreSQL on 127.0.0.1:$pg_port is up (data in $(pg_data))"
    want mariadb && echo "db-servers: private MariaDB on 127.0.0.1:$maria_port is up (data in $(maria_data))"
    echo "db-servers: ODBC configuration in $odbc_dir (source $odbc_dir/env.sh)"
    ;;
  stop)
    choose_db_dir
    want postgres && stop_postgres
    want mariadb && stop_mariadb
    ;;
  status)
    choose_db_dir
    down=0
    if want postgres; then
      if pg_running; then echo "PostgreSQL: running on 127.0.0.1:$(pg_running_port) (data in $(pg_data))"
      else echo "PostgreSQL: stopped (data in $(pg_data))"; down=1; fi
    fi
    if want mariadb; then
      if maria_running; then echo "MariaDB: running on 127.0.0.1:$(maria_running_port) (data in $(maria_data))"
      else echo "MariaDB: stopped (data in $(maria_data))"; down=1; fi
    fi
    exit $((down ? 3 : 0))
    ;;
  odbc-config)
    write_odbc_config
    ;;
  *)
    echo "usage: $0 start|stop|status [postgres|mariadb] | odbc-config" >&2
    exit 2
    ;;
esac
