"""Part of the demo: runs the statements of demo_queries.sql (one a line) through pyodbc and
prints their rows."""

import os
import sys

import pyodbc


def main(dsn):
    conn = pyodbc.connect(f"DSN={dsn}", autocommit=True)
    cursor = conn.cursor()
    with open(os.path.join(os.path.dirname(__file__), "demo_queries.sql"), encoding="utf-8") as f:
        statements = [line.strip() for line in f if line.strip()]
    for sql in statements:
        print(f"\n{sql}")
        cursor.execute(sql)
        print("    " + " | ".join(d[0] for d in cursor.description))
        for row in cursor.fetchall():
            print("    " + " | ".join("NULL" if v is None else str(v) for v in row))
    conn.close()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "KelvraDemo")
