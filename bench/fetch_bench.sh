#!/bin/bash
# Block cursors and parameter arrays through the driver manager against the emulator's bench
# table of 100,000 records: CPU per row fetching with rowsets of 1 and 1,000 rows, and (with
# "insert") INSERT of 10,000 rows one by one and as one array, with the requests each made.
#
#     bench/fetch_bench.sh BUILD-DIR [insert]
set -euo pipefail
tree=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
. "$tree/bench/emulator.sh"
start_emulator --bench-records 100000
connection="DRIVER=$build/libkelodbc.so;QUICKBASESERVER=$server;UID=pat.doe@example.com;PWD=kelvra-demo"
"$build/bench/bench_fetch" "$connection" 100000 ${2:-}
if [ "${2:-}" = insert ]; then
  curl -s --cacert "$work/ca.pem" "https://$server/_emu/log" | /usr/bin/python3 -c '
import json, sys
entries = json.load(sys.stdin)["entries"]
imports = [e for e in entries if (e.get("action") or "").lower() == "api_importfromcsv"]
print("imports sent:", len(imports))'
fi
