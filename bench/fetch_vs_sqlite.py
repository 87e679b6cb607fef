"""Fetching the emulator's bench table through pyodbc with this driver, and the same rows (same
values, same types) from a SQLite file through SQLite ODBC, in one run. Prints this process's
CPU time per row for each (the emulator is another process and does not count), the requests
the driver made for one scan, and the ratio. fetch_vs_sqlite.sh starts the emulator and runs it.

    fetch_vs_sqlite.py OURS-CONNECTION SQLITE-DRIVER WORK-DIR LOG-URL RECORDS [REPEATS]
"""

import collections
import datetime as dt
import decimal
import json
import math
import os
import sqlite3
import ssl
import sys
import time
import urllib.request

import pyodbc

QUERY = "SELECT * FROM {}"
OURS_TABLE = "bqbench3t"

# SQLite column types by Python value type: the declared types SQLite ODBC reports back as the
# SQL types our driver gives the same columns.
SQLITE_TYPES = {str: "VARCHAR(255)", decimal.Decimal: "NUMERIC(19,2)", float: "DOUBLE",
                int: "INTEGER", bool: "BIT", dt.date: "DATE", dt.datetime: "TIMESTAMP"}


def sqlite_value(v):
    if isinstance(v, dt.datetime):
        return v.isoformat(" ", "milliseconds")
    if isinstance(v, dt.date):
        return v.isoformat()
    if isinstance(v, decimal.Decimal):
        return str(v)
    if isinstance(v, bool):
        return int(v)
    return v


def same_value(ours, theirs, numeric):
    """SQLite ODBC reads a double through text of 15 digits: equal to that precision."""
    if numeric and ours is not None:
        ours = float(ours)
    if isinstance(ours, float) and isinstance(theirs, float):
        return math.isclose(ours, theirs, rel_tol=1e-14)
    return ours == theirs


def requests_logged(log_url, since=0):
    context = ssl.create_default_context(cafile=os.environ["CURL_CA_BUNDLE"])
    with urllib.request.urlopen(f"{log_url}?since={since}", context=context) as reply:
        entries = json.load(reply)["entries"]
    return [e for e in entries if (e.get("action") or "").lower() != "api_authenticate"]


def fetch_cpu(connection, table, repeats):
    """Least CPU seconds of `repeats` scans (each: execute, fetchall), and the last rows."""
    best, rows = math.inf, None
    for _ in range(repeats):
        cursor = connection.cursor()
        start = time.process_time()
        cursor.execute(QUERY.format(table))
        rows = cursor.fetchall()
        best = min(best, time.process_time() - start)
        description = cursor.description
        cursor.close()
    return best, rows, description


def make_sqlite(path, description, rows):
    columns = []
    for name, type_code, *_ in description:
        columns.append('"%s" %s' % (name, SQLITE_TYPES[type_code]))
    db = sqlite3.connect(path)
    db.execute("CREATE TABLE items (%s)" % ", ".join(columns))
    marks = ", ".join("?" * len(columns))
    db.executemany(f"INSERT INTO items VALUES ({marks})",
                   ([sqlite_value(v) for v in row] for row in rows))
    db.commit()
    db.close()


def main():
    ours_text, sqlite_driver, work, log_url, records = sys.argv[1:6]
    records = int(records)
    repeats = int(sys.argv[6]) if len(sys.argv) > 6 else 3

    # Auto-commit on, as ODBC connections start (pyodbc would turn it off).
    ours = pyodbc.connect(ours_text, autocommit=True)
    # The first scan, not timed: the driver reads the schema, the emulator fills its caches.
    mark = len(requests_logged(log_url))
    fetch_cpu(ours, OURS_TABLE, 1)
    sent = [e for e in requests_logged(log_url)[mark:]
            if e.get("action") in ("API_DoQuery", "API_GenResultsTable")]
    cpu, rows, description = fetch_cpu(ours, OURS_TABLE, repeats)
    ours.close()
    if len(rows) != records:
        sys.exit(f"our driver returned {len(rows)} rows, expected {records}")

    path = os.path.join(work, "bench.db")
    make_sqlite(path, description, rows)
    lite = pyodbc.connect(f"DRIVER={sqlite_driver};Database={path}", autocommit=True)
    lite_cpu, lite_rows, lite_description = fetch_cpu(lite, "items", repeats)
    lite.close()
    # SQLite ODBC has no exact numeric type: it reports NUMERIC columns as DOUBLE.
    numeric = [d[1] is decimal.Decimal and e[1] is float
               for d, e in zip(description, lite_description)]
    same_types = all(d[1] is e[1] or n for d, e, n in zip(description, lite_description, numeric))
    same_values = len(rows) == len(lite_rows) and all(
        all(same_value(a, b, n) for a, b, n in zip(r, s, numeric)) for r, s in zip(rows, lite_rows))

    print(f"{records} rows of {len(description)} columns, least CPU of {repeats} scans each")
    print(f"  Kelvra ODBC  {cpu * 1e6 / records:6.2f} us CPU/row   record requests of the first "
          f"scan: {len(sent)} (1 + ceil(N/1024) = {1 + math.ceil(records / 1024)})")
    actions = collections.Counter(e.get("action") for e in sent)
    print("               " + ", ".join(f"{a} x{n}" for a, n in sorted(actions.items())))
    print(f"  SQLite ODBC  {lite_cpu * 1e6 / records:6.2f} us CPU/row")
    print(f"  ratio        {cpu / lite_cpu:6.2f}x   same types: {same_types}, "
          f"same values: {same_values}")
    for d, n in zip(description, numeric):
        if n:
            print(f"  (column {d[0]}: NUMERIC here, DOUBLE through SQLite ODBC, which has no "
                  f"exact numeric type)")
    if not (same_types and same_values):
        for d, e, n in zip(description, lite_description, numeric):
            if d[1] is not e[1] and not n:
                print(f"  column {d[0]}: {d[1].__name__} here, {e[1].__name__} in SQLite")
        for r, s in zip(rows, lite_rows):
            if not all(same_value(a, b, n) for a, b, n in zip(r, s, numeric)):
                print(f"  first different row: {tuple(r)}\n  through SQLite ODBC: {tuple(s)}")
                break
        sys.exit(1)


if __name__ == "__main__":
    main()
