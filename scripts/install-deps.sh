#!/usr/bin/env bash
# Installs, idempotently, the Debian packages a job needs.
# Usage: scripts/install-deps.sh [--main-job | --servers]
#   --main-job  only what building and running morvane-demo needs (a plant machine)
#   (none)      that, and the test toolchain (googletest, clang, a decimal-comma locale)
#   --servers   all of that, and PostgreSQL, MariaDB and their ODBC drivers
set -euo pipefail

mode=${1:-}
case $mode in
  ""|--main-job|--servers) ;;
  *) echo "usage: $0 [--main-job | --servers]" >&2; exit 2 ;;
esac

# Building and running the libraries and the main job.
packages=(build-essential cmake pkg-config libsqlite3-dev libpq-dev unixodbc unixodbc-dev odbcinst
          libsqliteodbc libcli11-dev help2man libedit-dev tzdata)
if [[ $mode != --main-job ]]; then
  packages+=(clang libclang-rt-dev googletest libgtest-dev sqlite3 locales)
fi
if [[ $mode == --servers ]]; then
  packages+=(postgresql-15 postgresql-client-15 odbc-postgresql mariadb-server mariadb-client odbc-mariadb)
fi

SUDO=""; [[ $(id -u) -ne 0 ]] && SUDO=sudo
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "install-deps: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# A locale with a decimal comma, for the LC_NUMERIC tests.
if [[ $mode != --main-job ]] && ! locale -a 2>/dev/null | grep -qi '^de_DE.utf8$'; then
  $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  $SUDO locale-gen >/dev/null
fi
