"""Part of the demo: browses the demo account through pyodbc and prints what it finds."""

import sys

import pyodbc

TYPE_NAMES = {getattr(pyodbc, n): n for n in dir(pyodbc) if n.startswith("SQL_") and
              n[4:].split("_")[0] in ("BIT", "INTEGER", "VARCHAR", "LONGVARCHAR", "NUMERIC",
                                      "DOUBLE", "TYPE", "LONGVARBINARY")}


def main(dsn):
    # QuickBase has no transactions: the driver works in auto-commit mode only.
    conn = pyodbc.connect(f"DSN={dsn}", autocommit=True)
    print(f"Connected to {conn.getinfo(pyodbc.SQL_DBMS_NAME)} "
          f"{conn.getinfo(pyodbc.SQL_DBMS_VER)} as {conn.getinfo(pyodbc.SQL_USER_NAME)}")
    cursor = conn.cursor()
    tables = cursor.tables().fetchall()
    for table in tables:
        print(f"\n{table.table_name}   (catalog {table.table_cat})")
        for col in cursor.columns(table=table.table_name).fetchall():
            size = f"{col.column_size}" + (f",{col.decimal_digits}" if col.decimal_digits else "")
            print(f"    {col.column_name:<20} {col.type_name:<12} {size:<12} "
                  f"{'NULL' if col.nullable else 'NOT NULL'}")
        keys = [k.column_name for k in cursor.primaryKeys(table=table.table_name)]
        print(f"    key: {', '.join(keys) or '(none)'}")
    for fk in cursor.foreignKeys(table=tables[0].table_name).fetchall():
        print(f"\nRelationship: {fk.fktable_name}.{fk.fkcolumn_name} -> "
              f"{fk.pktable_name}.{fk.pkcolumn_name}")
    conn.close()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "KelvraDemo")
