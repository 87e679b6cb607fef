"""Changes through a cursor, through the driver manager: SQLSetPos (update, delete, add, refresh)
on keyset-driven cursors with rowsets of one and three rows, SQLBulkOperations (add, and by
bookmark), ignored columns and NULLs, data at execution in pieces, read-only cursors refused,
and a send that QuickBase refuses. What QuickBase holds is read through the emulator's own view
of its records."""

import ctypes
import os
import shutil
import subprocess

import pytest

from odbc_env import Emulator, clear_log, connection_string, emulator_control, logged_requests
from test_cursors import Connection

WRITES = "bsqtwrt2a"  # Title 6, Amount 8; records 1 "first", 2 "second", 3 "third"
SQL_C_CHAR, SQL_C_SLONG, SQL_C_DOUBLE = 1, -16, 8
REFRESH, UPDATE, DELETE, ADD = 1, 2, 3, 4
UPDATE_BY_BOOKMARK, DELETE_BY_BOOKMARK, FETCH_BY_BOOKMARK = 5, 6, 7
ROW_SUCCESS, ROW_DELETED, ROW_UPDATED, ROW_ADDED, ROW_ERROR = 0, 1, 2, 4, 5
NULL_DATA, COLUMN_IGNORE, LEN_DATA_AT_EXEC = -1, -6, -100
ERROR, NEED_DATA = -1, 99
CURSOR_TYPE, CONCURRENCY, USE_BOOKMARKS = 6, 7, 12
ROW_STATUS_PTR, ROW_ARRAY_SIZE = 25, 27
KEYSET, CONCUR_READ_ONLY, CONCUR_LOCK = 1, 1, 2
TITLE_SIZE = 1200


@pytest.fixture(scope="module")
def emulator():
    emu = Emulator(os.path.join(os.environ["KELVRA_SOURCE_DIR"], "tests", "sql", "fixture.json"))
    os.environ["CURL_CA_BUNDLE"] = emu.ca
    yield emu
    emu.stop()


@pytest.fixture
def odbc(emulator):
    emulator_control(emulator, "POST", "/_emu/faults/clear")
    emulator_control(emulator, "POST", "/_emu/reset")
    odbc = Connection()
    rc, _ = odbc.driver_connect(connection_string(emulator))
    assert rc == 0, odbc.diagnostic()
    yield odbc
    odbc.free_statements()
    odbc.disconnect()
    odbc.close()


def stored(emulator, text_fid="6"):
    """{rid: (Title (or another text field), Amount)} as QuickBase holds them."""
    view = emulator_control(emulator, "GET", f"/_emu/tables/{WRITES}/records")
    amount = lambda v: None if v is None else float(v)  # noqa: E731
    return {r["rid"]: (r["values"].get(text_fid), amount(r["values"].get("8")))
            for r in view["records"]}


class Rows:
    """A keyset cursor over `sql` (changeable unless `concurrency` says otherwise) with Title
    and Amount bound column-wise for rowsets of `size` rows, and the row statuses."""

    def __init__(self, odbc, size, sql=None, concurrency=CONCUR_LOCK, bookmarks=False,
                 cursor=KEYSET):
        self.stmt = stmt = odbc.statement()
        self.lib, self.size = stmt.lib, size
        stmt.keep.append(self)
        for attribute, value in [(CURSOR_TYPE, cursor), (CONCURRENCY, concurrency),
                                 (USE_BOOKMARKS, int(bookmarks)), (ROW_ARRAY_SIZE, size)]:
            assert stmt.set_attr(attribute, value) == 0
        self.statuses = (ctypes.c_ushort * size)()
        assert stmt.set_attr(ROW_STATUS_PTR, ctypes.addressof(self.statuses)) == 0
        sql = sql or f"SELECT [Record ID_], Title, Amount FROM {WRITES} ORDER BY [Record ID_]"
        assert stmt.exec_direct(sql) == 0, stmt.diagnostic()
        self.titles = (ctypes.c_char * (TITLE_SIZE * size))()
        self.title_lengths = (ctypes.c_long * size)()
        self.amounts = (ctypes.c_double * size)()
        self.amount_lengths = (ctypes.c_long * size)()
        self.marks = (ctypes.c_int32 * size)()
        self.mark_lengths = (ctypes.c_long * size)()
        binds = [(2, SQL_C_CHAR, self.titles, TITLE_SIZE, self.title_lengths),
                 (3, SQL_C_DOUBLE, self.amounts, 8, self.amount_lengths)]
        if bookmarks:
            binds.append((0, SQL_C_SLONG, self.marks, 4, self.mark_lengths))
        for column, ctype, data, size_, lengths in binds:
            assert self.lib.SQLBindCol(stmt.handle, column, ctype, data, ctypes.c_long(size_),
                                       lengths) == 0, stmt.diagnostic()

    def fetch(self, orientation=2, offset=0):
        assert self.stmt.fetch_scroll(orientation, offset) == 0, self.stmt.diagnostic()

    def title(self, row):
        return self.titles[row * TITLE_SIZE:(row + 1) * TITLE_SIZE].split(b"\0")[0].decode()

    def set(self, row, title=None, amount=None, title_length=None, amount_length=None):
        """Row `row` (0-based) of the bound arrays: a title and an amount, or their lengths
        (NULL_DATA, COLUMN_IGNORE, a data-at-execution length)."""
        if title is not None:
            data = title.encode()
            ctypes.memmove(ctypes.addressof(self.titles) + row * TITLE_SIZE, data + b"\0",
                           len(data) + 1)
        self.title_lengths[row] = title_length if title_length is not None else -3
        if amount is not None:
            self.amounts[row] = amount
        self.amount_lengths[row] = amount_length if amount_length is not None else 8

    def set_pos(self, row, operation):
        return self.lib.SQLSetPos(self.stmt.handle, ctypes.c_ulong(row), operation, 0)

    def bulk(self, operation):
        return self.lib.SQLBulkOperations(self.stmt.handle, operation)


def test_set_pos_on_a_rowset_of_one(odbc, emulator):
    # The text column here is Notes (multi-line text): a value of 1,000 bytes arrives whole.
    rows = Rows(odbc, 1, f"SELECT [Record ID_], Notes, Amount FROM {WRITES}")
    rows.fetch()
    notes = ("Größe, \"quoted\"\n" * 60)[:1000 - 40] + "z" * 40
    rows.set(0, title=notes, amount_length=NULL_DATA)
    assert rows.set_pos(1, UPDATE) == 0, rows.stmt.diagnostic()
    assert rows.statuses[0] == ROW_UPDATED
    assert stored(emulator, "7")[1] == (notes, None)
    # A refresh reads the record again into the bound buffers.
    rows.set(0, title="scribbled")
    assert rows.set_pos(1, REFRESH) == 0 and rows.title(0) == notes
    assert rows.amount_lengths[0] == NULL_DATA and rows.statuses[0] == ROW_SUCCESS
    # Delete the second record; add one from the buffers, its amount left out.
    rows.fetch(1)
    assert rows.set_pos(1, DELETE) == 0 and rows.statuses[0] == ROW_DELETED
    rows.set(0, title="added", amount=9.0, amount_length=COLUMN_IGNORE)
    assert rows.set_pos(1, ADD) == 0 and rows.statuses[0] == ROW_ADDED
    records = stored(emulator)
    assert 2 not in records and records[4] == (None, None) and 3 in records
    assert stored(emulator, "7")[4] == ("added", None)


def test_set_pos_on_a_rowset_of_three(odbc, emulator):
    rows = Rows(odbc, 3)
    rows.fetch()
    assert [rows.title(i) for i in range(3)] == ["first", "second", "third"]
    rows.set(0, title="one", amount=7.5)
    rows.set(1, title="two, \"quoted\"", amount_length=NULL_DATA)
    rows.set(2, title="three", amount=3.25)
    clear_log(emulator)
    assert rows.set_pos(0, UPDATE) == 0, rows.stmt.diagnostic()
    assert list(rows.statuses) == [ROW_UPDATED] * 3
    # The three rows travel in one import.
    assert len(logged_requests(emulator, "API_ImportFromCSV")) == 1
    assert stored(emulator) == {1: ("one", 7.5), 2: ('two, "quoted"', None), 3: ("three", 3.25)}
    assert rows.set_pos(2, DELETE) == 0 and rows.statuses[1] == ROW_DELETED
    assert rows.set_pos(4, DELETE) == ERROR and rows.stmt.diagnostic()[1] == 1073
    assert sorted(stored(emulator)) == [1, 3]


def test_bulk_operations(odbc, emulator):
    rows = Rows(odbc, 2, bookmarks=True)
    rows.fetch()
    # Update records 1 and 3 by their bookmarks, then read them back by bookmark.
    rows.marks[0], rows.marks[1] = 1, 3
    rows.set(0, title="one", amount_length=COLUMN_IGNORE)
    rows.set(1, title="three", amount=33.0)
    assert rows.bulk(UPDATE_BY_BOOKMARK) == 0, rows.stmt.diagnostic()
    assert list(rows.statuses) == [ROW_UPDATED] * 2
    rows.set(0, title="x")
    rows.set(1, title="y")
    assert rows.bulk(FETCH_BY_BOOKMARK) == 0
    assert [rows.title(0), rows.title(1), rows.amounts[1]] == ["one", "three", 33.0]
    # Add two records in one import, then delete the second record by its bookmark.
    rows.set(0, title="new 1", amount=1.0)
    rows.set(1, title="new 2", amount_length=NULL_DATA)
    clear_log(emulator)
    assert rows.bulk(ADD) == 0 and list(rows.statuses) == [ROW_ADDED] * 2
    assert len(logged_requests(emulator, "API_ImportFromCSV")) == 1
    rows.stmt.set_attr(ROW_ARRAY_SIZE, 1)
    rows.marks[0] = 2
    assert rows.bulk(DELETE_BY_BOOKMARK) == 0 and rows.statuses[0] == ROW_DELETED
    assert stored(emulator) == {1: ("one", 1), 3: ("three", 33), 4: ("new 1", 1),
                                5: ("new 2", None)}
    # Without a bound bookmark the by-bookmark operations cannot work.
    assert rows.lib.SQLBindCol(rows.stmt.handle, 0, SQL_C_SLONG, None, 0, None) == 0
    assert rows.bulk(DELETE_BY_BOOKMARK) == ERROR and rows.stmt.diagnostic()[1] == 1084


def test_data_at_execution_in_pieces(odbc, emulator):
    rows = Rows(odbc, 1)
    rows.fetch(5, 2)
    rows.set(0, title_length=LEN_DATA_AT_EXEC, amount=4.25)
    lib, handle = rows.lib, rows.stmt.handle
    assert rows.set_pos(1, UPDATE) == NEED_DATA
    # A fetch meanwhile is out of sequence for the driver manager.
    assert rows.stmt.fetch_scroll(1) == ERROR
    token = ctypes.c_void_p()
    assert lib.SQLParamData(handle, ctypes.byref(token)) == NEED_DATA
    assert token.value == ctypes.addressof(rows.titles)
    # SQLCancel ends the wait: nothing is written, and the change can start again.
    assert lib.SQLCancel(handle) == 0
    assert rows.set_pos(1, UPDATE) == NEED_DATA
    assert lib.SQLParamData(handle, ctypes.byref(token)) == NEED_DATA
    for piece in (b"in ", b"three ", b"pieces"):
        assert lib.SQLPutData(handle, piece, ctypes.c_long(len(piece))) == 0
    assert lib.SQLParamData(handle, ctypes.byref(token)) == 0, rows.stmt.diagnostic()
    assert rows.statuses[0] == ROW_UPDATED
    assert stored(emulator)[2] == ("in three pieces", 4.25)


@pytest.mark.parametrize("concurrency, sql", [
    (CONCUR_READ_ONLY, None),
    (None, None),  # a forward-only cursor
    (CONCUR_LOCK, f"SELECT w.[Record ID_], w.Title, v.Amount FROM [{WRITES}] w, [{WRITES}] v"),
    (CONCUR_LOCK, f"SELECT Flag, MAX(Title), SUM(Amount) FROM {WRITES} GROUP BY Flag"),
    (CONCUR_LOCK, f"SELECT DISTINCT [Record ID_], Title, Amount FROM {WRITES}"),
    (CONCUR_LOCK, f"SELECT [Record ID_], Title + 'x', Amount FROM {WRITES}"),
])
def test_read_only_cursors_refuse(odbc, emulator, concurrency, sql):
    if concurrency is None:
        rows = Rows(odbc, 1, concurrency=CONCUR_LOCK, cursor=0)
        rows.fetch(1)
    else:
        rows = Rows(odbc, 1, sql=sql, concurrency=concurrency)
        rows.fetch()
    rows.set(0, title="never", amount_length=COLUMN_IGNORE)
    for call in (lambda: rows.set_pos(1, UPDATE), lambda: rows.bulk(ADD)):
        assert call() == ERROR
        state, native, message = rows.stmt.diagnostic()
        assert native == 1075 and message == "[Kelvra ODBC]Cursor is read-only."
    assert rows.set_pos(1, REFRESH) == 0
    assert sorted(v[0] for v in stored(emulator).values()) == ["first", "second", "third"]


def test_a_refused_send_is_an_error(odbc, emulator):
    rows = Rows(odbc, 1)
    rows.fetch()
    emulator_control(emulator, "POST", "/_emu/faults",
                     {"kind": "error", "action": "API_ImportFromCSV", "errcode": 24,
                      "errtext": "Invalid application token"})
    rows.set(0, title="refused", amount_length=COLUMN_IGNORE)
    assert rows.set_pos(1, UPDATE) == ERROR
    assert "Invalid application token" in rows.stmt.diagnostic()[2]
    assert rows.statuses[0] == ROW_ERROR
    assert stored(emulator)[1][0] == "first"
    # Nothing of it is sent later.
    rows.set(0, title="sent", amount_length=COLUMN_IGNORE)
    assert rows.set_pos(1, UPDATE) == 0
    assert stored(emulator)[1][0] == "sent"


def test_info_tells_what_cursors_change(odbc):
    exists = ctypes.c_ushort()
    assert odbc.lib.SQLGetFunctions(odbc.dbc, 24, ctypes.byref(exists)) == 0 and exists.value
    value = ctypes.c_uint32()
    for info, wanted in [(150, 0xF1E4F), (79, 31)]:  # keyset attributes 1, SQL_POS_OPERATIONS
        assert odbc.lib.SQLGetInfo(odbc.dbc, info, ctypes.byref(value), 4, None) == 0
        assert value.value == wanted


# Access looks for the record it has just inserted by a NULL record id.
HOST_SCRIPT = f"""
import pyodbc, sys
conn = pyodbc.connect(sys.argv[1], autocommit=True)
conn.execute("INSERT INTO {WRITES} (Title) VALUES ('from access')")
sql = "SELECT Title FROM {WRITES} WHERE [Record ID_] = ?"
print([r[0] for r in conn.execute(sql, None).fetchall()])
"""


@pytest.mark.parametrize("host, found", [("msaccess.exe", "['from access']"), ("python3", "[]")])
def test_access_finds_its_new_record_by_a_null_id(odbc, emulator, tmp_path, host, found):
    shutil.copy("/usr/bin/python3", tmp_path / host)
    run = subprocess.run([tmp_path / host, "-c", HOST_SCRIPT, connection_string(emulator)],
                         capture_output=True, text=True, timeout=120)
    assert run.stdout.strip() == found, run.stderr


def test_with_auto_commit_off_changes_wait_for_the_commit(odbc, emulator):
    assert odbc.lib.SQLSetConnectAttr(odbc.dbc, 102, ctypes.c_void_p(0), 0) == 0
    rows = Rows(odbc, 3)
    rows.fetch()
    assert rows.set_pos(2, DELETE) == 0
    rows.set(2, title="changed", amount_length=COLUMN_IGNORE)
    assert rows.set_pos(3, UPDATE) == 0
    assert sorted(stored(emulator)) == [1, 2, 3]
    # The deleted row keeps its place in the keyset, marked and without values.
    assert rows.stmt.fetch_scroll(2) == 1 and rows.stmt.diagnostic()[1] == 1074
    assert list(rows.statuses) == [ROW_SUCCESS, ROW_DELETED, ROW_SUCCESS]
    assert rows.title(2) == "changed"
    assert odbc.lib.SQLEndTran(2, odbc.dbc, 1) == 0  # rollback
    rows.fetch()
    assert list(rows.statuses) == [ROW_SUCCESS] * 3 and rows.title(2) == "third"
    assert rows.set_pos(1, DELETE) == 0 and odbc.lib.SQLEndTran(2, odbc.dbc, 0) == 0
    assert sorted(stored(emulator)) == [2, 3]


def test_a_row_purged_since_the_keyset_was_made_is_deleted(odbc, emulator):
    rows = Rows(odbc, 3)
    rows.fetch()
    assert odbc.statement().exec_direct(f"DELETE FROM {WRITES} WHERE [Record ID_] = 2") == 0
    assert sorted(stored(emulator)) == [1, 3]
    assert rows.stmt.fetch_scroll(2) == 1 and rows.stmt.diagnostic()[1] == 1074
    assert list(rows.statuses) == [ROW_SUCCESS, ROW_DELETED, ROW_SUCCESS]
    assert [rows.title(0), rows.title(2)] == ["first", "third"]
