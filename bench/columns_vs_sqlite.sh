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
sqlite_driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so

if [ ! -e "$sqlite_driver" ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends libsqliteodbc
fi

work=$(mktemp -d)
emulator_pid=
cleanup() {
  [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null && wait "$emulator_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

/usr/bin/python3 "$tree/tools/qbemu/qbemu.py" --data "$tree/tools/qbemu/demo.json" --port 0 \
  --ca-out "$work/ca.pem" > "$work/emu.out" &
emulator_pid=$!
for _ in $(seq 1 300); do
  grep -q listening "$work/emu.out" 2>/dev/null && break
  sleep 0.1
done
server=$(sed -n 's|qbemu listening on https://||p' "$work/emu.out")
[ -n "$server" ] || { echo "the emulator did not start" >&2; exit 1; }
export CURL_CA_BUNDLE="$work/ca.pem"

# As many columns as the Projects table of the demo (20), of the same kinds of type.
columns="id INTEGER PRIMARY KEY"
for i in $(seq 1 6); do columns+=", t$i VARCHAR(255), d$i DATE, n$i NUMERIC(19,2)"; done
columns+=", memo TEXT"

"$build/bench/bench_columns" --calls "$calls" \
  "DRIVER=$build/libkelodbc.so;QUICKBASESERVER=$server;UID=pat.doe@example.com;PWD=kelvra-demo" \
  "Kelvra Projects:Projects bq8kx2mea" \
  "DRIVER=$sqlite_driver;Database=$work/bench.db" "projects" \
  "CREATE TABLE projects ($columns)"
