#!/usr/bin/env bash
# Installs, idempotently, every Debian package the build, the tests and the servers need.
# Usage: scripts/install-deps.sh [--servers]
set -euo pipefail

packages=(build-essential cmake pkg-config clang libclang-rt-dev googletest libgtest-dev
          libsqlite3-dev sqlite3 libpq-dev unixodbc unixodbc-dev libsqliteodbc tzdata locales)
if [[ "${1:-}" == "--servers" ]]; then
  packages+=(postgresql-15 postgresql-client-15 odbc-postgresql mariadb-server mariadb-client odbc-mariadb)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "install-deps: installing ${missing[*]}"
  SUDO=""; [[ $(id -u) -ne 0 ]] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# A locale with a decimal comma, for the LC_NUMERIC tests.
if ! locale -a 2>/dev/null | grep -qi '^de_DE.utf8$'; then
  SUDO=""; [[ $(id -u) -ne 0 ]] && SUDO=sudo
  $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  $SUDO locale-gen >/dev/null
fi
