"""Browsing a QuickBase account through the driver manager: tables, columns, keys,
statistics, special columns, relationships and data types, as pyodbc and isql show them."""

import os
import subprocess

import pyodbc
import pytest

from odbc_env import (PAT, clear_log, connection_string, emulator_control, logged_requests,
                      write_odbc_ini)

PROJECTS = "Kelvra Projects:Projects bq8kx2mea"
TASKS = "Kelvra Projects:Tasks bq8kx2mfb"
MEMBERS = "Kelvra Projects:Team Members bq8kx2mgc"
CONTACTS = "Kelvra Contacts:Contacts v1_2 bq8kx2mje"


@pytest.fixture()
def cursor(emulator):
    conn = pyodbc.connect(connection_string(emulator), autocommit=True)
    yield conn.cursor()
    conn.close()


def columns(cursor, table, **kw):
    return {r.column_name: r for r in cursor.columns(table=table, **kw)}


def test_tables_list_every_granted_table(cursor):
    rows = cursor.tables().fetchall()
    assert [(r.table_cat, r.table_name, r.table_type) for r in rows] == [
        ("Kelvra Projects", PROJECTS, "TABLE"),
        ("Kelvra Projects", TASKS, "TABLE"),
        ("Kelvra Projects", MEMBERS, "TABLE"),
        ("Kelvra Contacts", CONTACTS, "TABLE"),
    ]
    assert all(r.table_schem is None and r.remarks == "from QuickBase" for r in rows)
    # The catalogs, and the one table type.
    assert [r.table_cat for r in cursor.tables(catalog="%")] == ["Kelvra Projects",
                                                                 "Kelvra Contacts"]
    assert [r.table_type for r in cursor.tables(tableType="%")] == ["TABLE"]
    assert cursor.tables(tableType="VIEW").fetchall() == []
    assert cursor.tables(tableType="'SYSTEM TABLE'").fetchall() == []


def test_name_patterns(cursor):
    assert [r.table_name for r in cursor.tables(table="%Ta_ks%")] == [TASKS]
    assert [r.table_name for r in cursor.tables(table="kelvra projects:t%")] == [TASKS, MEMBERS]
    # "_" matches any one character; escaped it matches only itself.
    assert [r.table_name for r in cursor.tables(table="%v1_2%")] == [CONTACTS]
    assert [r.table_name for r in cursor.tables(table="%v1\\_2%")] == [CONTACTS]
    assert cursor.tables(table="%v1\\_3%").fetchall() == []
    assert [r.table_name for r in cursor.tables(table="%1_2 %")] == [CONTACTS]
    assert cursor.tables(table="%v\\_%").fetchall() == []
    names = [r.column_name for r in cursor.columns(table="%Projects bq8kx2mea",
                                                   column="Date%")]
    assert names == ["Date Created", "Date Modified"]
    assert [r.column_name for r in cursor.columns(table=PROJECTS, column="Record ID\\_")] == [
        "Record ID_"]
    assert [r.column_name for r in cursor.columns(table=PROJECTS, column="%_At")] == [
        "Kickoff At"]


def test_column_types_follow_the_field_types(cursor):
    projects = columns(cursor, PROJECTS)
    tasks = columns(cursor, TASKS)
    expected = {
        (PROJECTS, "Record ID_"): (pyodbc.SQL_INTEGER, "INTEGER", 10, 0, 0),
        (PROJECTS, "Name"): (pyodbc.SQL_VARCHAR, "VARCHAR", 255, 0, 1),
        (PROJECTS, "Start Date"): (pyodbc.SQL_TYPE_DATE, "DATE", 10, 0, 1),
        (PROJECTS, "Budget"): (pyodbc.SQL_NUMERIC, "NUMERIC", 19, 2, 1),
        (PROJECTS, "Completion"): (pyodbc.SQL_DOUBLE, "DOUBLE", 15, 2, 1),
        (PROJECTS, "Description"): (pyodbc.SQL_LONGVARCHAR, "LONGVARCHAR", 65534, 0, 1),
        (PROJECTS, "Active"): (pyodbc.SQL_BIT, "BIT", 1, 0, 1),
        (PROJECTS, "Client"): (pyodbc.SQL_VARCHAR, "VARCHAR", 80, 0, 1),  # size variable
        (PROJECTS, "Manager"): (pyodbc.SQL_VARCHAR, "VARCHAR", 255, 0, 1),  # a user
        (PROJECTS, "Kickoff At"): (pyodbc.SQL_TYPE_TIMESTAMP, "DATETIME", 23, 3, 1),
        (TASKS, "Estimate"): (pyodbc.SQL_DOUBLE, "DOUBLE", 15, 2, 1),  # a duration
        (TASKS, "Start Time"): (pyodbc.SQL_TYPE_TIME, "TIME", 8, 6, 1),
        (TASKS, "Attachment"): (pyodbc.SQL_VARCHAR, "VARCHAR", 255, 0, 1),  # the file's URL
        (TASKS, "Notes"): (pyodbc.SQL_LONGVARCHAR, "LONGVARCHAR", 65534, 0, 1),
    }
    for (table, name), (data_type, type_name, size, digits, nullable) in expected.items():
        row = (projects if table == PROJECTS else tasks)[name]
        assert (row.data_type, row.type_name, row.column_size, row.decimal_digits,
                row.nullable) == (data_type, type_name, size, digits, nullable), name
        assert row.table_name == table and row.table_cat == "Kelvra Projects"
    # Report links and virtual URL formulas are not columns; ordinals count from 1.
    assert "Tasks" not in projects
    assert [r.ordinal_position for r in cursor.columns(table=PROJECTS)][:3] == [1, 2, 3]
    row = projects["Start Date"]
    assert (row.sql_data_type, row.sql_datetime_sub, row.buffer_length) == (9, 1, 6)
    assert projects["Budget"].buffer_length == 21 and projects["Budget"].num_prec_radix == 10
    assert projects["Name"].char_octet_length == 255 and projects["Name"].is_nullable == "YES"
    assert projects["Record ID_"].is_nullable == "NO"


def test_file_option_makes_attachments_binary(emulator):
    conn = pyodbc.connect(connection_string(emulator, FILE="1"), autocommit=True)
    row = columns(conn.cursor(), TASKS)["Attachment"]
    assert (row.data_type, row.column_size) == (pyodbc.SQL_LONGVARBINARY, 100000000)
    conn.close()


def test_keys_statistics_and_special_columns(cursor):
    assert [tuple(r) for r in cursor.primaryKeys(table=PROJECTS)] == [
        ("Kelvra Projects", None, PROJECTS, "Record ID_", 1, "Record ID_")]
    stats = cursor.statistics(table=TASKS).fetchall()
    assert [(r.type, r.index_name, r.column_name, r.asc_or_desc) for r in stats] == [
        (0, None, None, None), (3, "PrimaryKey", "Record ID_", "A")]
    special = cursor.rowIdColumns(table=TASKS).fetchall()
    assert [tuple(r) for r in special] == [(2, "Record ID_", pyodbc.SQL_INTEGER, "INTEGER", 10, 4,
                                            0, 0)]
    assert cursor.rowVerColumns(table=TASKS).fetchall() == []


def test_one_table_by_every_name(cursor):
    # By its catalog name, by its DBID (also with "DBID" in front) and by a name ending in
    # "_DBID": the same table every time.
    for name in (TASKS, "bq8kx2mfb", "DBIDbq8kx2mfb", "my_tasks_bq8kx2mfb"):
        keys = cursor.primaryKeys(table=name).fetchall()
        assert [(r.table_name, r.column_name) for r in keys] == [(TASKS, "Record ID_")], name
    # An application of a single table is found by its name, and stands for that table.
    keys = cursor.primaryKeys(table="Kelvra Contacts").fetchall()
    assert [(r.table_name, r.column_name) for r in keys] == [(CONTACTS, "Record ID_")]
    with pytest.raises(pyodbc.Error) as err:
        cursor.primaryKeys(table="bq8kx2md9").fetchall()  # the application itself
    assert "Parent tables have no columns" in str(err.value)
    assert "bq8kx2mea" in str(err.value) and "bq8kx2mfb" in str(err.value)
    with pytest.raises(pyodbc.Error) as err:
        cursor.primaryKeys(table="No Such Table").fetchall()
    assert "[Kelvra][QuickBase]" in str(err.value)


def test_tables_and_columns_take_the_per_table_name_forms(cursor, emulator):
    # A table argument that matches no listed name as a pattern is taken as a name form.
    for name in ("bq8kx2mfb", "DBIDbq8kx2mfb", "my_tasks_bq8kx2mfb", "Tasks bq8kx2mfb"):
        assert [(r.table_cat, r.table_name) for r in cursor.tables(table=name)] == [
            ("Kelvra Projects", TASKS)], name
        names = [(r.table_name, r.column_name) for r in cursor.columns(table=name,
                                                                        column="Record%")]
        assert names == [(TASKS, "Record ID_"), (TASKS, "Record Owner")], name
    assert [r.table_name for r in cursor.tables(table="Kelvra Contacts")] == [CONTACTS]
    # What names no table lists nothing, without a diagnostic: an application, an unknown
    # name, and a search (an unescaped "%") that found nothing, which is never resolved.
    clear_log(emulator)
    for name in ("bq8kx2md9", "No Such Table", "%bq8kx2mzz%"):
        assert cursor.tables(table=name).fetchall() == [], name
        assert cursor.columns(table=name).fetchall() == [], name
    bodies = [e.get("body") or "" for e in logged_requests(emulator)]
    assert any("No Such Table" in b for b in bodies) and not any("bq8kx2mzz" in b for b in bodies)


def test_foreign_keys_from_report_links(cursor):
    expected = [(PROJECTS, "Record ID_", TASKS, "Related Project", 1)]
    got = cursor.foreignKeys(table=PROJECTS).fetchall()
    assert [(r.pktable_name, r.pkcolumn_name, r.fktable_name, r.fkcolumn_name, r.key_seq)
            for r in got] == expected
    got = cursor.foreignKeys(foreignTable=TASKS).fetchall()
    assert [(r.pktable_name, r.pkcolumn_name, r.fktable_name, r.fkcolumn_name, r.key_seq)
            for r in got] == expected
    assert cursor.foreignKeys(table=PROJECTS, foreignTable=MEMBERS).fetchall() == []
    assert cursor.foreignKeys(table=CONTACTS).fetchall() == []


def test_type_information(cursor):
    rows = cursor.getTypeInfo().fetchall()
    assert [r.type_name for r in rows] == ["BIT", "LONGVARBINARY", "LONGVARCHAR", "NUMERIC",
                                           "INTEGER", "DOUBLE", "DATE", "TIME", "DATETIME",
                                           "VARCHAR"]
    assert [r.data_type for r in cursor.getTypeInfo(pyodbc.SQL_TYPE_TIMESTAMP)] == [93]
    assert cursor.getTypeInfo(pyodbc.SQL_SMALLINT).fetchall() == []
    numeric = cursor.getTypeInfo(pyodbc.SQL_NUMERIC).fetchone()
    assert (numeric.create_params, numeric.minimum_scale, numeric.maximum_scale) == (
        "precision, scale", 0, 19)


def test_granted_tables_are_asked_for_once(cursor, emulator):
    emulator_control(emulator, "DELETE", "/_emu/log")
    cursor.tables().fetchall()
    cursor.tables().fetchall()
    cursor.columns(table=TASKS).fetchall()
    log = emulator_control(emulator, "GET", "/_emu/log")
    entries = log["entries"] if isinstance(log, dict) else log
    granted = [e for e in entries if e.get("action") == "API_GrantedDBs"]
    assert len(granted) == 1, granted


def test_isql_help(emulator):
    write_odbc_ini({"KelvraBrowse": {"Driver": "Kelvra ODBC",
                                     "QUICKBASESERVER": emulator.server}})
    run = subprocess.run(["isql", "-v", "KelvraBrowse", PAT[0], PAT[1]],
                         input="help\nhelp %bq8kx2mje\nquit\n", capture_output=True, text=True,
                         timeout=60, env=os.environ)
    assert TASKS in run.stdout and CONTACTS in run.stdout, run.stdout + run.stderr
    assert "Last Contacted" in run.stdout and "VIP" in run.stdout, run.stdout
    # A table by its bare DBID.
    run = subprocess.run(["isql", "-v", "KelvraBrowse", PAT[0], PAT[1]],
                         input="help bq8kx2mea\nquit\n", capture_output=True, text=True,
                         timeout=60, env=os.environ)
    assert "| Kickoff At" in run.stdout and "| Budget" in run.stdout, run.stdout + run.stderr
