#!/usr/bin/python3
"""ORDER BY and GROUP BY (of a column and of expressions) of the emulator's bench table through
the driver and pyodbc, beside SQLite's own ORDER BY and GROUP BY of the same rows, in one run.

    bench/sql_vs_sqlite.py [--records N] [--repeat R] [--driver build/libkelodbc.so]

The driver's figures include reading the records from the emulator (HTTP and XML on
loopback). Each query has a baseline that reads the same columns without ordering or grouping
(the rows unsorted; one aggregate over all rows), so its sorting and grouping cost is the
difference, which is set against SQLite's time; each figure is the best of R runs. SQLite gets the rows a scan fetched, in
memory, and compares text without regard to case and trailing blanks, as the driver does. Each pair of results is
checked to be the same (groups as sets); peak memory is the whole process's (Python, pyodbc
and the driver).
"""
import argparse
import os
import resource
import sqlite3
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
os.environ.setdefault("KELVRA_SOURCE_DIR", os.path.dirname(HERE))

# name, the driver's query, its baseline, SQLite's query (over t(Name, Quantity, Status, Due)).
QUERIES = [
    ("ORDER BY expression",
     "SELECT Name, Quantity FROM bqbench3t ORDER BY (Quantity * 2) DESC, Name",
     "SELECT Name, Quantity FROM bqbench3t",
     "SELECT Name, Quantity FROM t ORDER BY Quantity * 2 DESC, Name COLLATE NOCASE"),
    ("GROUP BY column",
     "SELECT Status, COUNT(*), SUM(Quantity) FROM bqbench3t GROUP BY Status",
     "SELECT COUNT(Status), SUM(Quantity) FROM bqbench3t",
     "SELECT Status, COUNT(*), SUM(Quantity) FROM t GROUP BY Status"),
    ("GROUP BY expressions",
     "SELECT {fn YEAR(Due)}, {fn MONTH(Due)}, COUNT(*), SUM(Quantity) FROM bqbench3t "
     "GROUP BY {fn YEAR(Due)}, {fn MONTH(Due)}",
     "SELECT COUNT(Due), SUM(Quantity) FROM bqbench3t",
     "SELECT CAST(substr(Due, 1, 4) AS INTEGER) y, CAST(substr(Due, 6, 2) AS INTEGER) m, "
     "COUNT(*), SUM(Quantity) FROM t GROUP BY y, m"),
    ("GROUP BY text function",
     "SELECT {fn LEFT(Name, 5)}, COUNT(*) FROM bqbench3t GROUP BY {fn LEFT(Name, 5)}",
     "SELECT COUNT(Name) FROM bqbench3t",
     "SELECT rtrim(substr(Name, 1, 5)) k, COUNT(*) FROM t GROUP BY k"),
]


def timed(run, repeat=1):
    """The best time of `repeat` runs (the machine may be shared), and the rows."""
    best = None
    for _ in range(repeat):
        start = time.perf_counter()
        rows = [tuple(r) for r in run()]
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best, rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--records", type=int, default=100000)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--driver", default=os.path.join(HERE, "..", "build", "libkelodbc.so"))
    args = parser.parse_args()
    os.environ.setdefault("KELODBC_PATH", os.path.abspath(args.driver))
    sys.path.insert(0, os.path.join(HERE, "..", "tests", "odbc"))
    from odbc_env import Emulator, connection_string  # noqa: E402  (reads the variables above)
    import pyodbc  # noqa: E402

    emulator = Emulator(options=("--bench-records", str(args.records)))
    os.environ["CURL_CA_BUNDLE"] = emulator.ca
    try:
        cursor = pyodbc.connect(connection_string(emulator), autocommit=True).cursor()
        _, rows = timed(lambda: cursor.execute(
            "SELECT Name, Quantity, Status, Due FROM bqbench3t").fetchall())
        db = sqlite3.connect(":memory:")
        db.execute("CREATE TABLE t (Name TEXT, Quantity REAL, Status TEXT, Due TEXT)")
        db.executemany("INSERT INTO t VALUES (?, ?, ?, ?)",
                       ((n, q, s, d.isoformat()) for n, q, s, d in rows))
        print(f"{args.records} records")
        print(f"{'':24}{'driver s':>10}{'baseline':>10}{'sqlite s':>10}{'ratio':>8}  same")
        failed = 0
        for name, ours, baseline, theirs in QUERIES:
            driver, got = timed(lambda: cursor.execute(ours).fetchall(), args.repeat)
            base, _ = timed(lambda: cursor.execute(baseline).fetchall(), args.repeat)
            lite, expected = timed(lambda: db.execute(theirs), args.repeat)
            if not name.startswith("ORDER"):
                got, expected = sorted(got), sorted(expected)
            same = got == expected
            failed += not same
            print(f"{name:24}{driver:10.3f}{base:10.3f}{lite:10.3f}"
                  f"{(driver - base) / lite:8.2f}  {'yes' if same else 'NO'}")
        peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
        print(f"peak memory {peak:.0f} MB (the whole process)")
        return 1 if failed else 0
    finally:
        emulator.stop()


if __name__ == "__main__":
    sys.exit(main())
