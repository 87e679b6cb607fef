#!/usr/bin/env bash
# Warm SQLColumns of this driver against the QuickBase emulator next to SQLite ODBC's on a local
# table of as many columns, in one run. Installs SQLite ODBC (Debian libsqliteodbc) when it is
# missing: it serves this benchmark only.
#
#   bench/columns_vs_sqlite.sh [BUILD_DIR] [CALLS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tree=$(dirname "$here")
build=${1:-$tree/build}
calls=${2:-200}
. "$here/sqlite_odbc.sh"
need_sqlite_odbc

work=$(mktemp -d)
. "$here/emulator.sh"
start_emulator

# As many columns as the Projects table of the demo (20), of the same kinds of type.
columns="id INTEGER PRIMARY KEY"
for i in $(seq 1 6); do columns+=", t$i VARCHAR(255), d$i DATE, n$i NUMERIC(19,2)"; done
columns+=", memo TEXT"

"$build/bench/bench_columns" --calls "$calls" \
  "DRIVER=$build/libkelodbc.so;QUICKBASESERVER=$server;UID=pat.doe@example.com;PWD=kelvra-demo" \
  "Kelvra Projects:Projects bq8kx2mea" \
  "DRIVER=$sqlite_driver;Database=$work/bench.db" "projects" \
  "CREATE TABLE projects ($columns)"
