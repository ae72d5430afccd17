#!/usr/bin/env bash
# Starts, stops or reports the test database servers, on 127.0.0.1 only, without systemd:
#   PostgreSQL 15 (cluster 15/main, port 5432) and MariaDB (port 3306), each with the
#   database "adotest" and the user adotest / adotest_pw.
# It also writes a private ODBC configuration (never /etc) into $DBPLATFORM_ODBC_DIR
# (default: build/odbc): odbcinst.ini with SQLite3, "PostgreSQL Unicode", "MariaDB Unicode"
# and the alias "MySQL", odbc.ini with the DSNs ado_sqlite, ado_pg and ado_maria, and
# env.sh to source for ODBCSYSINI, ODBCINI and the DBPLATFORM_TEST_* variables.
# Starting twice is harmless. Usage: scripts/db-servers.sh start|stop|status
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
odbc_dir=${DBPLATFORM_ODBC_DIR:-$root/build/odbc}
# The path of an ODBC driver library: from the file list of the Debian package that ships
# it, else from the ODBC folders of the multiarch library folders.
driver_path() {  # driver_path FILE PACKAGE
  local path
  path=$(dpkg -L "$2" 2>/dev/null | grep -m1 "/$1\$" || true)
  [[ -n $path && -f $path ]] || path=$(ls /usr/lib/*/odbc/"$1" /usr/lib/odbc/"$1" 2>/dev/null | head -1 || true)
  echo "${path:-/usr/lib/odbc/$1}"
}
export _SYSTEMCTL_SKIP_REDIRECT=1

pg_online() { pg_lsclusters -h 2>/dev/null | awk '$1=="15" && $2=="main" {print $4}' | grep -q online; }

start_postgres() {
  mkdir -p /var/run/postgresql && chown postgres:postgres /var/run/postgresql
  if ! pg_lsclusters -h 2>/dev/null | awk '{print $1"/"$2}' | grep -qx 15/main; then
    pg_createcluster 15 main >/dev/null
  fi
  if ! pg_online; then
    pg_ctlcluster 15 main start -o "-c listen_addresses=127.0.0.1 -c port=5432"
  fi
  for _ in $(seq 300); do pg_isready -q -h 127.0.0.1 -p 5432 && break; sleep 0.1; done
  pg_isready -q -h 127.0.0.1 -p 5432 || { echo "db-servers: PostgreSQL did not start" >&2; return 1; }
  su postgres -c "psql -qX -v ON_ERROR_STOP=1" <<'SQL'
SELECT 'CREATE ROLE adotest LOGIN' WHERE NOT EXISTS (SELECT FROM pg_roles WHERE rolname='adotest')\gexec
ALTER ROLE adotest LOGIN PASSWORD 'adotest_pw';
SELECT 'CREATE DATABASE adotest OWNER adotest' WHERE NOT EXISTS (SELECT FROM pg_database WHERE datname='adotest')\gexec
SQL
  # Password login over TCP needs a scram entry for 127.0.0.1.
  local hba; hba=$(su postgres -c "psql -qXAt -c 'show hba_file'")
  if ! grep -Eq '^host[[:space:]]+all[[:space:]]+all[[:space:]]+127\.0\.0\.1/32' "$hba"; then
    echo "host all all 127.0.0.1/32 scram-sha-256" >>"$hba"
    su postgres -c "psql -qXAt -c 'select pg_reload_conf()'" >/dev/null
  fi
}

start_mariadb() {
  mkdir -p /run/mysqld && chown mysql:mysql /run/mysqld
  [ -d /var/lib/mysql/mysql ] || mariadb-install-db --user=mysql --datadir=/var/lib/mysql \
      --auth-root-authentication-method=socket >/dev/null
  if ! mariadb-admin ping >/dev/null 2>&1; then
    setsid /usr/sbin/mariadbd --user=mysql --bind-address=127.0.0.1 --port=3306 \
      --socket=/run/mysqld/mysqld.sock --pid-file=/run/mysqld/mysqld.pid \
      >>/var/log/mariadbd-dbplatform.log 2>&1 </dev/null &
    for _ in $(seq 300); do mariadb-admin ping >/dev/null 2>&1 && break; sleep 0.1; done
  fi
  mariadb-admin ping >/dev/null 2>&1 || { echo "db-servers: MariaDB did not start" >&2; return 1; }
  mariadb -uroot <<'SQL'
CREATE DATABASE IF NOT EXISTS adotest;
CREATE USER IF NOT EXISTS 'adotest'@'localhost' IDENTIFIED BY 'adotest_pw';
CREATE USER IF NOT EXISTS 'adotest'@'127.0.0.1' IDENTIFIED BY 'adotest_pw';
GRANT ALL PRIVILEGES ON adotest.* TO 'adotest'@'localhost';
GRANT ALL PRIVILEGES ON adotest.* TO 'adotest'@'127.0.0.1';
SQL
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
Port=5432
Database=adotest
Username=adotest
Password=adotest_pw
[ado_maria]
Driver=MariaDB Unicode
Server=127.0.0.1
Port=3306
Database=adotest
User=adotest
Password=adotest_pw
INI
  cat >"$odbc_dir/env.sh" <<ENV
export ODBCSYSINI=$odbc_dir
export ODBCINI=$odbc_dir/odbc.ini
export DBPLATFORM_TEST_ODBC_DIR=$odbc_dir
export DBPLATFORM_TEST_PG="Provider=PostgreSQL;Data Source=127.0.0.1:5432;Location=adotest;User ID=adotest;Password=adotest_pw"
export DBPLATFORM_TEST_PG_ODBC="DRIVER={PostgreSQL Unicode};Server=127.0.0.1;Port=5432;Database=adotest;Uid=adotest;Pwd=adotest_pw"
export DBPLATFORM_TEST_MARIA_ODBC="Driver=MySQL;Server=127.0.0.1;Port=3306;Database=adotest;Uid=adotest;Pwd=adotest_pw"
ENV
}

case "${1:-}" in
  start)
    write_odbc_config
    start_postgres
    start_mariadb
    echo "db-servers: PostgreSQL on 127.0.0.1:5432 and MariaDB on 127.0.0.1:3306 are up; ODBC config in $odbc_dir"
    ;;
  stop)
    if pg_online; then pg_ctlcluster 15 main stop -m fast || true; fi
    if mariadb-admin ping >/dev/null 2>&1; then mariadb-admin -uroot shutdown || true; fi
    ;;
  status)
    pg_isready -h 127.0.0.1 -p 5432 || true
    mariadb-admin ping 2>&1 || true
    ;;
  odbc-config)
    write_odbc_config
    ;;
  *)
    echo "usage: $0 start|stop|status|odbc-config" >&2
    exit 2
    ;;
esac
