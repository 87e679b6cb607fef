#!/bin/bash
# Inserting 10,000 rows through pyodbc against the emulator's bench table: with one
# INSERT ... SELECT, with 10,000 executions of a prepared parameterised INSERT in auto-commit,
# and the same with SAVE_WRITES_UNTIL_CONNECTION_CLOSE (the imports wait for the disconnect).
# Prints the requests each made (from the emulator's log) and the rows per second.
#
#     bench/write_bench.sh BUILD-DIR [ROWS]
set -euo pipefail
tree=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
rows=${2:-10000}
work=$(mktemp -d)
. "$tree/bench/emulator.sh"
start_emulator --bench-records "$rows" --log-limit $((rows * 3))
/usr/bin/python3 - "$build/libkelodbc.so" "$server" "$work/ca.pem" "$rows" <<'PY'
import collections, json, ssl, sys, time, urllib.request
import pyodbc

driver, server, ca, rows = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
table = "bqbench3t"
connection = f"DRIVER={driver};QUICKBASESERVER={server};UID=pat.doe@example.com;PWD=kelvra-demo"
context = ssl.create_default_context(cafile=ca)

def control(method, path):
    request = urllib.request.Request(f"https://{server}{path}", method=method)
    with urllib.request.urlopen(request, context=context, timeout=60) as reply:
        answer = reply.read()
    return json.loads(answer) if answer else None

def requests():
    entries = control("GET", "/_emu/log")["entries"]
    counts = collections.Counter(e.get("action") or "?" for e in entries)
    return ", ".join(f"{n} {action}" for action, n in sorted(counts.items())
                     if action not in ("API_Authenticate", "API_GetSchema"))

def run(name, body, options=()):
    control("POST", "/_emu/reset")
    conn = pyodbc.connect(connection, autocommit=True)
    cursor = conn.cursor()
    for option, value in options:
        cursor.execute("INSERT INTO [KELVRA CONNECTION CONFIG] (qPARAMETER, qVALUE) VALUES (?, ?)",
                       option, value)
    control("POST", "/_emu/log/clear")
    start = time.perf_counter()
    body(cursor)
    conn.close()  # saved imports go now
    elapsed = time.perf_counter() - start
    print(f"{name:44s} {rows / elapsed:9.0f} rows/s  requests: {requests()}")

insert = f"INSERT INTO {table} (Name, Quantity, Status) VALUES (?, ?, ?)"
def one_by_one(cursor):
    for i in range(rows):
        cursor.execute(insert, f"row {i}", i * 0.5, "Open")

run("INSERT ... SELECT",
    lambda c: c.execute(f"INSERT INTO {table} (Name, Quantity, Status) "
                        f"SELECT Name, Quantity, Status FROM {table}"))
run("prepared INSERT x rows, auto-commit", one_by_one)
run("prepared INSERT x rows, saved until close", one_by_one,
    [("SAVE_WRITES_UNTIL_CONNECTION_CLOSE", "TRUE")])
PY
