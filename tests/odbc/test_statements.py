"""Preparing and executing statements through the driver manager, against the demo data:
what a prepared statement describes, the special statements, cursor names, batches, data at
execution, and isql running a query."""

import ctypes
import os
import subprocess

import pytest

from odbc_env import PAT, Odbc, clear_log, connection_string, logged_requests, write_odbc_ini

PROJECTS, TASKS = "bq8kx2mea", "bq8kx2mfb"
SQL_NEED_DATA, SQL_DATA_AT_EXEC, SQL_C_CHAR, SQL_VARCHAR = 99, -2, 1, 12


@pytest.fixture
def odbc(emulator):
    odbc = Odbc()
    rc, _ = odbc.driver_connect(connection_string(emulator))
    assert rc == 0, odbc.diagnostic()
    yield odbc
    odbc.disconnect()
    odbc.close()


def test_a_prepared_statement_describes_its_columns_and_parameters(odbc):
    stmt = odbc.statement()
    assert stmt.prepare(f"SELECT Name, Budget * 2 AS Twice, {{d '2024-01-31'}} "
                        f"FROM \"Projects {PROJECTS}\"") == 0
    assert stmt.columns() == [("Name", 12, 255, 0, 1), ("Twice", 2, 19, 2, 1), ("", 91, 10, 0, 1)]
    assert stmt.parameters() == []
    assert stmt.prepare(f"SELECT * FROM {TASKS} WHERE Estimate > ? AND Title LIKE ?") == 0
    assert stmt.parameters() == [(8, 15, 0), (12, 255, 0)]
    # The statements that change records: no columns, parameters typed by their columns.
    for sql, params in [
            (f"INSERT INTO {PROJECTS} (Name, Budget, [Start Date]) VALUES (?, ?, ?)",
             [(12, 255, 0), (2, 19, 2), (91, 10, 0)]),
            (f"UPDATE {PROJECTS} SET Active = ? WHERE [Kickoff At] < ?", [(-7, 1, 0), (93, 23, 3)]),
            (f"DELETE FROM {TASKS} WHERE [Hours Logged] BETWEEN ? AND ?", [(8, 15, 0), (8, 15, 0)])]:
        assert stmt.prepare(sql) == 0, stmt.diagnostic()
        assert stmt.columns() == []
        assert stmt.parameters() == params, sql


def test_every_name_form_binds_the_same_table_with_one_schema_request(emulator, odbc):
    clear_log(emulator)
    stmt = odbc.statement()
    described = []
    for name in [PROJECTS, f"\"Projects {PROJECTS}\"", f"\"DBID{PROJECTS}\"",
                 f"\"Kelvra Projects_{PROJECTS}\"", f"\"Kelvra Projects:Projects {PROJECTS}\""]:
        assert stmt.prepare(f"SELECT * FROM {name}") == 0, (name, stmt.diagnostic())
        described.append(stmt.columns())
    assert all(d == described[0] for d in described) and len(described[0]) > 10
    assert len(logged_requests(emulator, "API_GetSchema")) == 1


def test_special_statements_and_cursor_names(odbc):
    stmt = odbc.statement()
    assert stmt.prepare("SELECT Config, nValue FROM MSysConf") == -1
    assert stmt.diagnostic() == ("S0000", 5, "[Kelvra ODBC]No MSysConf table available")
    assert stmt.prepare("SELECT @@IDENTITY") == 0
    assert stmt.columns() == [("Newest Record ID", 4, 10, 0, 1)]

    def name(statement):
        buffer, length = ctypes.create_string_buffer(32), ctypes.c_short()
        assert odbc.lib.SQLGetCursorName(statement.handle, buffer, len(buffer),
                                         ctypes.byref(length)) == 0
        return buffer.value.decode()

    other = odbc.statement()
    assert name(stmt) == "SQL_CUR_0"
    assert name(other) == "SQL_CUR_1"
    assert odbc.lib.SQLSetCursorName(stmt.handle, b"Orders", -3) == 0
    assert odbc.lib.SQLSetCursorName(other.handle, b"ORDERS", -3) == -1
    assert other.diagnostic()[0] == "3C000"
    assert odbc.lib.SQLSetCursorName(other.handle, b"a" * 19, -3) == -1
    assert other.diagnostic()[0] == "34000"


def test_a_batch_returns_the_last_statements_result(odbc):
    stmt = odbc.statement()
    assert stmt.exec_direct(f"SELECT Name FROM {PROJECTS} WHERE [Record ID_] = 1; "
                            f"SELECT Title FROM {TASKS} WHERE [Record ID_] = 2") == 0
    assert stmt.fetch_texts(1) == [("Choose CMS",)]
    # The cursor stays open until it is closed.
    assert stmt.exec_direct(f"SELECT Name FROM {PROJECTS}") == -1
    assert stmt.diagnostic()[0] == "24000"
    assert stmt.close_cursor() == 0
    # A failure ends the batch: what follows it does not run.
    assert stmt.exec_direct(f"SELECT Nope FROM {PROJECTS}; SELECT Name FROM {PROJECTS}") == -1
    assert stmt.diagnostic()[1] == 1021


def test_data_at_execution_supplies_a_parameter_in_pieces(odbc):
    stmt = odbc.statement()
    assert stmt.prepare(f"SELECT Name FROM {PROJECTS} WHERE Client = ?") == 0
    length = ctypes.c_long(SQL_DATA_AT_EXEC)
    token = ctypes.c_void_p(0x1234)
    assert odbc.lib.SQLBindParameter(stmt.handle, 1, 1, SQL_C_CHAR, SQL_VARCHAR, 255, 0, token,
                                     0, ctypes.byref(length)) == 0
    assert stmt.execute() == SQL_NEED_DATA
    asked = ctypes.c_void_p()
    assert odbc.lib.SQLParamData(stmt.handle, ctypes.byref(asked)) == SQL_NEED_DATA
    assert asked.value == 0x1234
    for piece in ["Café ", "Zür", "ich"]:
        data = piece.encode()
        assert odbc.lib.SQLPutData(stmt.handle, data, len(data)) == 0
    assert odbc.lib.SQLParamData(stmt.handle, ctypes.byref(asked)) == 0
    assert stmt.fetch_texts(1) == [("Website Relaunch",)]


def test_isql_runs_a_query(emulator):
    write_odbc_ini({"KelvraQuery": {"Driver": "Kelvra ODBC", "QUICKBASESERVER": emulator.server}})
    run = subprocess.run(["isql", "-b", "KelvraQuery", PAT[0], PAT[1]],
                         input=f"SELECT Name, Budget FROM {PROJECTS} WHERE Budget > 50000\n",
                         capture_output=True, text=True, timeout=60, env=os.environ)
    assert "Mobile App" in run.stdout and "Data Warehouse" in run.stdout, run.stdout + run.stderr
    assert "Office Move" not in run.stdout


def test_ansi_text_that_is_not_utf8_is_refused_before_quickbase(emulator, odbc):
    # Latin-1 bytes through the ANSI calls of an ANSI connection: refused, nothing sent.
    clear_log(emulator)
    stmt = odbc.statement()
    latin1 = f"SELECT Client FROM {PROJECTS} WHERE Client = 'Caf\xe9 Z\xfcrich'".encode("latin-1")
    table = "Caf\xe9".encode("latin-1")
    calls = [
        (lambda: stmt.lib.SQLExecDirect(stmt.handle, latin1, len(latin1)), stmt.diagnostic,
         "the SQL statement is not valid UTF-8"),
        (lambda: stmt.lib.SQLPrepare(stmt.handle, latin1, -3), stmt.diagnostic,
         "the SQL statement is not valid UTF-8"),
        (lambda: stmt.lib.SQLTables(stmt.handle, None, 0, None, 0, table, -3, None, 0),
         stmt.diagnostic, "the table name is not valid UTF-8"),
        (lambda: stmt.lib.SQLColumns(stmt.handle, None, 0, None, 0, b"x", -3, table, -3),
         stmt.diagnostic, "the column name is not valid UTF-8"),
        (lambda: odbc.lib.SQLNativeSql(odbc.dbc, latin1, len(latin1), None, 0, None),
         odbc.diagnostic, "the SQL statement is not valid UTF-8"),
    ]
    for call, diagnostic, saying in calls:
        assert call() == -1, saying
        assert diagnostic() == ("22021", 1095, "[Kelvra ODBC]Invalid text encoding: " + saying)
    assert logged_requests(emulator) == []
    # The same statement in UTF-8 runs.
    assert stmt.exec_direct(latin1.decode("latin-1")) == 0, stmt.diagnostic()
    assert set(stmt.fetch_texts(1)) == {("Café Zürich",)}
