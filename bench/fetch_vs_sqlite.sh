#!/usr/bin/env bash
# pyodbc fetching the emulator's bench table through this driver against the same rows in a
# SQLite file through SQLite ODBC, in one run (fetch_vs_sqlite.py prints the figures). Installs
# SQLite ODBC (Debian libsqliteodbc) and pyodbc when missing: they serve this benchmark only.
#
#   bench/fetch_vs_sqlite.sh [BUILD_DIR] [RECORDS] [REPEATS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tree=$(dirname "$here")
build=$(cd "${1:-$tree/build}" && pwd)
records=${2:-100000}
. "$here/sqlite_odbc.sh"
pyodbc=()
/usr/bin/python3 -c 'import pyodbc' 2>/dev/null || pyodbc=(python3-pyodbc)
need_sqlite_odbc "${pyodbc[@]}"

work=$(mktemp -d)
. "$here/emulator.sh"
start_emulator --bench-records "$records"

/usr/bin/python3 "$here/fetch_vs_sqlite.py" \
  "DRIVER=$build/libkelodbc.so;QUICKBASESERVER=$server;UID=pat.doe@example.com;PWD=kelvra-demo" \
  "$sqlite_driver" "$work" "https://$server/_emu/log" "$records" "${3:-3}"
