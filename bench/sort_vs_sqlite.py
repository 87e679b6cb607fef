#!/usr/bin/python3
"""ORDER BY and GROUP BY of the same generated rows through the driver's sort engine
(bench_sort) and through SQLite, in one run; prints both timings and their ratio.

    bench/sort_vs_sqlite.py [--rows N] [--bench build/bench/bench_sort]

SQLite gets an in-memory table and 64 MB of cache (the sort engine's default budget); its
queries use COLLATE NOCASE, the engine's text-key comparison. Its rows are stepped from Python,
so its figures include Python's cost of making the result tuples; "scan" shows that cost alone
(the same rows without sorting).
"""
import argparse
import os
import sqlite3
import subprocess
import sys
import tempfile
import time


def engine_figures(bench, rows, dump):
    out = subprocess.run([bench, str(rows), "--dump", dump], check=True,
                         capture_output=True, text=True).stdout
    return dict(line.split("=", 1) for line in out.split())


def timed(db, sql):
    start = time.perf_counter()
    result = list(db.execute(sql))
    return time.perf_counter() - start, result


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=1000000)
    parser.add_argument("--bench", default=os.path.join(here, "..", "build", "bench", "bench_sort"))
    args = parser.parse_args()

    with tempfile.NamedTemporaryFile(prefix="kelvra-bench-", suffix=".tsv") as dump:
        figures = engine_figures(args.bench, args.rows, dump.name)
        db = sqlite3.connect(":memory:")
        db.execute("PRAGMA cache_size=-65536")
        db.execute("CREATE TABLE t (k TEXT, d REAL)")
        with open(dump.name) as rows:
            db.executemany("INSERT INTO t VALUES (?, ?)",
                           (line.rstrip("\n").split("\t") for line in rows))
        db.commit()

    scan, _ = timed(db, "SELECT k, d FROM t")
    order, _ = timed(db, "SELECT k, d FROM t ORDER BY k COLLATE NOCASE")
    group, groups = timed(db, "SELECT k, SUM(d) FROM t GROUP BY k COLLATE NOCASE")
    total = sum(row[1] for row in groups)

    ours_order = float(figures["order_by_s"])
    ours_group = float(figures["group_by_s"])
    print(f"rows {args.rows}, {figures['row_bytes']}-byte rows, "
          f"sort budget {figures['budget_mb']} MB")
    print(f"{'':10}{'engine s':>10}{'sqlite s':>10}{'ratio':>8}")
    print(f"{'ORDER BY':10}{ours_order:10.3f}{order:10.3f}{ours_order / order:8.2f}")
    print(f"{'GROUP BY':10}{ours_group:10.3f}{group:10.3f}{ours_group / group:8.2f}")
    print(f"{'scan':10}{'':10}{scan:10.3f}   (SQLite rows stepped from Python, no sort)")
    print(f"engine peak memory {figures['peak_rss_mb']} MB (whole process, rows generated "
          f"into the file as they are made)")
    same = int(figures["groups"]) == len(groups) and float(figures["group_sum"]) == total
    print(f"groups: engine {figures['groups']}, sqlite {len(groups)}; "
          f"sums {figures['group_sum']} and {total:.0f}: {'equal' if same else 'DIFFERENT'}")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
