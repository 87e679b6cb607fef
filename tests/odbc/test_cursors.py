"""Cursors through the driver manager: scrolling in every orientation on keyset-driven cursors,
bookmarks, row limits, block cursors (row-wise and column-wise, with row statuses), statement
attributes and the ODBC 2 options, descriptors (explicit ones, copies, the IRD and IPD), and
parameter arrays. Against an emulator serving the bench table of 200,000 records."""

import ctypes
import os

import pyodbc
import pytest

from odbc_env import Emulator, Odbc, clear_log, connection_string, logged_requests

BENCH = "bqbench3t"
RECORDS = 200_000

SQL_C_CHAR, SQL_C_SLONG, SQL_INTEGER, SQL_VARCHAR = 1, -16, 4, 12
NEXT, FIRST, LAST, PRIOR, ABSOLUTE, RELATIVE, BOOKMARK = 1, 2, 3, 4, 5, 6, 8
OK, INFO, NO_DATA, ERROR = 0, 1, 100, -1
ROW_SUCCESS, ROW_NOROW, ROW_ERROR = 0, 3, 5
# Statement attributes.
MAX_ROWS, KEYSET_SIZE, BIND_TYPE, CURSOR_TYPE, CONCURRENCY = 1, 8, 5, 6, 7
ROWSET_SIZE, USE_BOOKMARKS, ROW_NUMBER, FETCH_BOOKMARK_PTR = 9, 12, 14, 16
PARAM_OPERATION_PTR, PARAM_STATUS_PTR, PARAMS_PROCESSED_PTR, PARAMSET_SIZE = 19, 20, 21, 22
ROW_STATUS_PTR, ROWS_FETCHED_PTR, ROW_ARRAY_SIZE = 25, 26, 27
APP_ROW_DESC, APP_PARAM_DESC, IMP_ROW_DESC, IMP_PARAM_DESC = 10010, 10011, 10012, 10013
KEYSET = 1
# Descriptor fields.
DESC_COUNT, DESC_TYPE, DESC_OCTET_LENGTH, DESC_DATA_PTR = 1001, 1002, 1013, 1010
DESC_INDICATOR_PTR, DESC_OCTET_LENGTH_PTR, DESC_NAME, DESC_NULLABLE = 1009, 1004, 1011, 1008
DESC_CONCISE_TYPE, DESC_LENGTH, DESC_BASE_COLUMN_NAME, DESC_TABLE_NAME = 2, 1003, 22, 15
DESC_ARRAY_SIZE = 20


@pytest.fixture(scope="module")
def bench():
    emu = Emulator(options=("--bench-records", str(RECORDS)))
    os.environ["CURL_CA_BUNDLE"] = emu.ca
    yield emu
    emu.stop()


class Connection(Odbc):
    """A connection that frees its statements before the buffers bound to them go: a statement
    keeps what it writes into (`keep`), and the driver writes into some of it when it frees the
    statement."""

    def __init__(self):
        super().__init__()
        self.statements = []

    def statement(self):
        stmt = super().statement()
        stmt.keep = []
        self.statements.append(stmt)
        return stmt

    def free_statements(self):
        for stmt in self.statements:
            stmt.free()
        self.statements = []


@pytest.fixture
def odbc(bench):
    odbc = Connection()
    rc, _ = odbc.driver_connect(connection_string(bench))
    assert rc == 0, odbc.diagnostic()
    yield odbc
    odbc.free_statements()
    odbc.disconnect()
    odbc.close()


def ids_query(last, order=True):
    return (f"SELECT [Record ID_] FROM {BENCH} WHERE [Record ID_] <= {last}"
            + (" ORDER BY [Record ID_]" if order else ""))


class Rowset:
    """Column 1 bound column-wise as a 4-byte integer array of `size` rows, with the row status
    array and the rows-fetched count."""

    def __init__(self, stmt, size):
        self.stmt, self.size = stmt, size
        stmt.keep.append(self)
        self.ids = (ctypes.c_int32 * size)()
        self.lengths = (ctypes.c_long * size)()
        self.statuses = (ctypes.c_ushort * size)()
        self.fetched = ctypes.c_ulong()
        lib = stmt.lib
        assert stmt.set_attr(ROW_ARRAY_SIZE, size) == 0
        assert stmt.set_attr(ROW_STATUS_PTR, ctypes.addressof(self.statuses)) == 0
        assert stmt.set_attr(ROWS_FETCHED_PTR, ctypes.addressof(self.fetched)) == 0
        assert lib.SQLBindCol(stmt.handle, 1, SQL_C_SLONG, self.ids, ctypes.c_long(4),
                              self.lengths) == 0

    def scroll(self, orientation, offset=0):
        """(return code, ids of the rows fetched, statuses)."""
        rc = self.stmt.fetch_scroll(orientation, offset)
        n = self.fetched.value
        return rc, list(self.ids[:n]), list(self.statuses)


def keyset_statement(odbc, sql):
    stmt = odbc.statement()
    assert stmt.set_attr(CURSOR_TYPE, KEYSET) == 0
    assert stmt.exec_direct(sql) == 0, stmt.diagnostic()
    return stmt


# Each step: orientation, offset, then the return code and the first row of the rowset (None
# for no rows). A rowset of 3 over 10 rows, moving as ODBC's positioning rules say.
SCROLL_3 = [
    (NEXT, 0, OK, 1), (NEXT, 0, OK, 4), (PRIOR, 0, OK, 1), (PRIOR, 0, NO_DATA, None),
    (NEXT, 0, OK, 1), (LAST, 0, OK, 8), (NEXT, 0, NO_DATA, None), (PRIOR, 0, OK, 8),
    (ABSOLUTE, -1, OK, 10), (RELATIVE, -2, OK, 8), (ABSOLUTE, 0, NO_DATA, None),
    (RELATIVE, 2, OK, 2), (RELATIVE, -1, OK, 1), (ABSOLUTE, 2, OK, 2),
    (PRIOR, 0, INFO, 1),  # stops at the first row: 01S06
    (ABSOLUTE, -12, NO_DATA, None), (ABSOLUTE, 11, NO_DATA, None), (FIRST, 0, OK, 1),
    (RELATIVE, 0, OK, 1), (RELATIVE, 20, NO_DATA, None), (RELATIVE, -1, OK, 10),
]
# The same moves one row at a time.
SCROLL_1 = [
    (NEXT, 0, OK, 1), (NEXT, 0, OK, 2), (PRIOR, 0, OK, 1), (PRIOR, 0, NO_DATA, None),
    (LAST, 0, OK, 10), (NEXT, 0, NO_DATA, None), (PRIOR, 0, OK, 10), (ABSOLUTE, -3, OK, 8),
    (ABSOLUTE, 4, OK, 4), (ABSOLUTE, 11, NO_DATA, None), (ABSOLUTE, -11, NO_DATA, None),
    (ABSOLUTE, 0, NO_DATA, None), (RELATIVE, 3, OK, 3), (RELATIVE, -2, OK, 1),
    (RELATIVE, -1, NO_DATA, None), (FIRST, 0, OK, 1), (RELATIVE, 9, OK, 10),
    (RELATIVE, 1, NO_DATA, None),
]


@pytest.mark.parametrize("size,steps", [(3, SCROLL_3), (1, SCROLL_1)])
def test_keyset_cursor_scrolls_in_every_orientation(odbc, size, steps):
    stmt = keyset_statement(odbc, ids_query(10))
    rows = Rowset(stmt, size)
    for i, (orientation, offset, rc, first) in enumerate(steps):
        got_rc, ids, statuses = rows.scroll(orientation, offset)
        assert got_rc == rc, (i, stmt.diagnostic())
        if first is None:
            assert ids == [] and statuses == [ROW_NOROW] * size, i
            continue
        expected = list(range(first, min(first + size, 11)))
        assert ids == expected, i
        assert statuses == [ROW_SUCCESS] * len(expected) + [ROW_NOROW] * (size - len(expected))
        if rc == INFO:
            assert stmt.diagnostic()[0] == "01S06"


def test_scrolling_needs_a_keyset_cursor_and_bookmarks_find_their_rows(odbc):
    stmt = odbc.statement()
    assert stmt.exec_direct(ids_query(10)) == 0
    assert stmt.fetch_scroll(PRIOR) == ERROR and stmt.diagnostic()[0] == "HY106"
    stmt.free()

    stmt = odbc.statement()
    assert stmt.set_attr(USE_BOOKMARKS, 1) == 0
    assert stmt.set_attr(CURSOR_TYPE, KEYSET) == 0
    assert stmt.exec_direct(ids_query(10)) == 0
    rows = Rowset(stmt, 1)
    assert rows.scroll(ABSOLUTE, 3)[1] == [3]
    bookmark, length = ctypes.c_int32(), ctypes.c_long()
    assert stmt.lib.SQLGetData(stmt.handle, 0, SQL_C_SLONG, ctypes.byref(bookmark), 4,
                               ctypes.byref(length)) == 0
    assert bookmark.value == 3
    assert stmt.set_attr(FETCH_BOOKMARK_PTR, ctypes.addressof(bookmark)) == 0
    assert rows.scroll(FIRST)[1] == [1]
    assert rows.scroll(BOOKMARK, 0)[1] == [3]
    assert rows.scroll(BOOKMARK, 4)[1] == [7]
    assert rows.scroll(BOOKMARK, 8)[0] == NO_DATA
    bookmark.value = 11
    assert rows.scroll(BOOKMARK, 0)[0] == ERROR and stmt.diagnostic()[0] == "HY111"
    # The ODBC 2 view of the current row.
    assert rows.scroll(ABSOLUTE, 6)[1] == [6]
    assert stmt.get_attr(ROW_NUMBER) == (0, 6)


def test_max_rows_and_top_limit_every_cursor(odbc):
    for cursor, sql, max_rows, expected in [
            (0, ids_query(50), 5, 5), (0, f"SELECT TOP 3 [Record ID_] FROM {BENCH}", 5, 3),
            (0, f"SELECT TOP 8 [Record ID_] FROM {BENCH}", 4, 4),
            (KEYSET, ids_query(50), 7, 7), (KEYSET, ids_query(50), 0, 50)]:
        stmt = odbc.statement()
        assert stmt.set_attr(CURSOR_TYPE, cursor) == 0
        assert stmt.set_attr(MAX_ROWS, max_rows) == 0
        assert stmt.exec_direct(sql) == 0, stmt.diagnostic()
        assert len(stmt.fetch_texts(1)) == expected, sql
        if cursor == KEYSET:
            # The last row is the last one within the limit.
            rows = Rowset(stmt, 1)
            assert rows.scroll(LAST)[1] == [expected]
        stmt.free()


def test_a_block_cursor_returns_the_rows_of_row_by_row_fetching(odbc):
    sql = (f"SELECT [Record ID_], Name FROM {BENCH} WHERE [Record ID_] <= 100000 "
           f"ORDER BY [Record ID_]")
    stmt = odbc.statement()
    assert stmt.exec_direct(sql) == 0
    one_id, one_name, length = ctypes.c_int32(), ctypes.create_string_buffer(64), ctypes.c_long()
    lib = stmt.lib
    stmt.keep += [one_id, one_name, length]
    assert lib.SQLBindCol(stmt.handle, 1, SQL_C_SLONG, ctypes.byref(one_id), 4, None) == 0
    assert lib.SQLBindCol(stmt.handle, 2, SQL_C_CHAR, one_name, ctypes.c_long(64),
                          ctypes.byref(length)) == 0
    single = []
    while lib.SQLFetch(stmt.handle) == 0:
        single.append((one_id.value, one_name.value))
    stmt.free()
    assert len(single) == 100_000

    # Column-wise: an array per column.
    size = 1000
    stmt = odbc.statement()
    assert stmt.exec_direct(sql) == 0
    rows = Rowset(stmt, size)
    names = (ctypes.c_char * (64 * size))()
    name_lengths = (ctypes.c_long * size)()
    assert lib.SQLBindCol(stmt.handle, 2, SQL_C_CHAR, names, ctypes.c_long(64), name_lengths) == 0
    stmt.keep += [names, name_lengths]
    block, calls = [], 0
    while lib.SQLFetch(stmt.handle) == 0:
        calls += 1
        n = rows.fetched.value
        assert list(rows.statuses[:n]) == [ROW_SUCCESS] * n
        for i in range(n):
            block.append((rows.ids[i], names[64 * i:64 * i + name_lengths[i]]))
    assert calls == 100 and block == single
    assert rows.fetched.value == 0 and list(rows.statuses) == [ROW_NOROW] * size


class Item(ctypes.Structure):
    _fields_ = [("id", ctypes.c_int32), ("id_len", ctypes.c_long),
                ("name", ctypes.c_char * 32), ("name_len", ctypes.c_long)]


def test_row_wise_binding_with_a_bind_offset_and_a_short_last_rowset(odbc):
    stmt = keyset_statement(odbc, f"SELECT [Record ID_], Name FROM {BENCH} "
                                  f"WHERE [Record ID_] <= 7 ORDER BY [Record ID_]")
    items = (Item * 8)()
    statuses, fetched = (ctypes.c_ushort * 4)(), ctypes.c_ulong()
    offset = ctypes.c_long(0)
    stmt.keep += [items, statuses, fetched, offset]
    lib = stmt.lib
    assert stmt.set_attr(ROW_ARRAY_SIZE, 4) == 0
    assert stmt.set_attr(BIND_TYPE, ctypes.sizeof(Item)) == 0
    assert stmt.set_attr(ROW_STATUS_PTR, ctypes.addressof(statuses)) == 0
    assert stmt.set_attr(ROWS_FETCHED_PTR, ctypes.addressof(fetched)) == 0
    assert stmt.set_attr(23, ctypes.addressof(offset)) == 0  # SQL_ATTR_ROW_BIND_OFFSET_PTR
    base = ctypes.addressof(items[0])
    assert lib.SQLBindCol(stmt.handle, 1, SQL_C_SLONG, ctypes.c_void_p(base + Item.id.offset),
                          ctypes.c_long(4), ctypes.c_void_p(base + Item.id_len.offset)) == 0
    assert lib.SQLBindCol(stmt.handle, 2, SQL_C_CHAR, ctypes.c_void_p(base + Item.name.offset),
                          ctypes.c_long(32), ctypes.c_void_p(base + Item.name_len.offset)) == 0
    assert lib.SQLFetch(stmt.handle) == 0
    assert [items[i].id for i in range(4)] == [1, 2, 3, 4] and fetched.value == 4
    assert items[1].name.startswith(b"charlie ") and items[1].name_len == len(items[1].name)
    # The offset is read at each fetch: the next rowset lands four items further on.
    offset.value = 4 * ctypes.sizeof(Item)
    assert lib.SQLFetch(stmt.handle) == 0
    assert fetched.value == 3 and list(statuses) == [0, 0, 0, ROW_NOROW]
    assert [items[i].id for i in range(4, 7)] == [5, 6, 7] and items[7].id == 0
    assert lib.SQLFetch(stmt.handle) == NO_DATA

    # SQLGetData reads the row SQLSetPos chose, the first by default.
    assert stmt.fetch_scroll(FIRST) == 0
    buffer, length = ctypes.create_string_buffer(32), ctypes.c_long()
    for row, expected in [(None, 1), (3, 3), (1, 1), (4, 4)]:
        if row is not None:
            assert lib.SQLSetPos(stmt.handle, ctypes.c_ulong(row), 0, 0) == 0
        assert lib.SQLGetData(stmt.handle, 1, SQL_C_CHAR, buffer, 32, ctypes.byref(length)) == 0
        assert buffer.value == str(expected).encode()
    assert lib.SQLSetPos(stmt.handle, ctypes.c_ulong(5), 0, 0) == ERROR
    assert stmt.diagnostic()[0] == "HY107"

    # A forward-only cursor cannot go back within its rowset.
    forward = odbc.statement()
    assert forward.exec_direct(ids_query(10, order=False)) == 0
    Rowset(forward, 3)
    assert lib.SQLFetch(forward.handle) == 0
    assert lib.SQLGetData(forward.handle, 1, SQL_C_CHAR, buffer, 32, ctypes.byref(length)) == ERROR
    assert forward.diagnostic()[0] == "HY109"


def test_extended_fetch_uses_the_rowset_size(odbc):
    stmt = keyset_statement(odbc, ids_query(10))
    assert stmt.lib.SQLSetStmtOption(stmt.handle, ROWSET_SIZE, ctypes.c_ulong(4)) == 0
    ids = (ctypes.c_int32 * 4)()
    assert stmt.lib.SQLBindCol(stmt.handle, 1, SQL_C_SLONG, ids, ctypes.c_long(4), None) == 0
    count, statuses = ctypes.c_ulong(), (ctypes.c_ushort * 4)()
    stmt.keep += [ids, count, statuses]
    for orientation, row, rc, expected in [(NEXT, 0, OK, [1, 2, 3, 4]), (LAST, 0, OK, [7, 8, 9, 10]),
                                           (ABSOLUTE, 9, OK, [9, 10]), (BOOKMARK, 5, OK, [5, 6, 7, 8]),
                                           (BOOKMARK, 12, ERROR, [])]:
        got = stmt.lib.SQLExtendedFetch(stmt.handle, orientation, ctypes.c_long(row),
                                        ctypes.byref(count), statuses)
        assert got == rc and list(ids[:count.value]) == expected, (orientation, row)
        assert list(statuses[:len(expected)]) == [ROW_SUCCESS] * len(expected)


# attribute, value set, value read back, return code, SQLSTATE
STATEMENT_ATTRIBUTES = [
    (MAX_ROWS, 25, 25, OK, None), (BIND_TYPE, 48, 48, OK, None),
    (CURSOR_TYPE, KEYSET, KEYSET, OK, None), (CURSOR_TYPE, 3, KEYSET, INFO, "01S02"),
    (CONCURRENCY, 2, 2, OK, None), (CONCURRENCY, 4, 2, INFO, "01S02"),
    (ROWSET_SIZE, 50, 50, OK, None), (USE_BOOKMARKS, 1, 1, OK, None),
    (11, 0, 0, OK, None),  # SQL_ATTR_RETRIEVE_DATA
    (KEYSET_SIZE, 5, 0, INFO, "01S02"), (0, 30, 0, INFO, "01S02"),  # query timeout
    (3, 10, 0, INFO, "01S02"),  # max length
    (2, 1, 0, ERROR, "HYC00"), (4, 1, 0, ERROR, "HYC00"),  # no scan, async
    (ROW_ARRAY_SIZE, 10, 10, OK, None), (ROW_ARRAY_SIZE, 10_000, 10_000, OK, None),
    (ROW_ARRAY_SIZE, 500_000, 100_000, INFO, "01S02"), (ROW_ARRAY_SIZE, 0, 1, ERROR, "HY024"),
    (PARAMSET_SIZE, 300, 300, OK, None), (PARAMSET_SIZE, 0, 1, ERROR, "HY024"),
    (18, 64, 64, OK, None),  # SQL_ATTR_PARAM_BIND_TYPE
    (-1, 1, 1, OK, None), (-1, 7, 0, ERROR, "HY024"),  # SQL_ATTR_CURSOR_SCROLLABLE
    (-2, 1, 0, ERROR, "HYC00"),  # SQL_ATTR_CURSOR_SENSITIVITY
    (15, 0, 0, OK, None), (10014, 1, 1, OK, None),  # auto IPD, metadata id
    (13, 1, None, ERROR, "HY092"), (9999, 1, None, ERROR, "HY092"),
]


@pytest.mark.parametrize("attribute,value,read,rc,state", STATEMENT_ATTRIBUTES)
def test_statement_attributes_set_and_read_back(odbc, attribute, value, read, rc, state):
    stmt = odbc.statement()
    assert stmt.set_attr(attribute, value) == rc
    if state:
        assert stmt.diagnostic()[0] == state
    if read is not None:
        assert stmt.get_attr(attribute) == (0, read)
    else:
        assert stmt.get_attr(attribute)[0] == ERROR


@pytest.mark.parametrize("option,value,read,rc", [
    (MAX_ROWS, 9, 9, OK), (CURSOR_TYPE, KEYSET, KEYSET, OK), (CONCURRENCY, 3, 2, INFO),
    (ROWSET_SIZE, 20, 20, OK), (USE_BOOKMARKS, 1, 1, OK), (BIND_TYPE, 16, 16, OK),
    (KEYSET_SIZE, 3, 0, INFO), (10, 1, None, ERROR)])
def test_odbc2_statement_options_set_and_read_back(odbc, option, value, read, rc):
    stmt = odbc.statement()
    lib = stmt.lib
    assert lib.SQLSetStmtOption(stmt.handle, option, ctypes.c_ulong(value)) == rc
    answer = ctypes.c_uint64()
    got = lib.SQLGetStmtOption(stmt.handle, option, ctypes.byref(answer))
    assert (got, answer.value) == ((OK, read) if read is not None else (ERROR, 0))
    # The ODBC 3 attribute reads the same value.
    if read is not None:
        assert stmt.get_attr(option) == (0, read)


def test_scroll_options_and_connection_defaults(odbc):
    stmt = odbc.statement()
    lib = stmt.lib
    # Keyset-driven, lock concurrency, 5 rows per rowset.
    assert lib.SQLSetScrollOptions(stmt.handle, 2, ctypes.c_long(-1), 5) == 0
    assert [stmt.get_attr(a)[1] for a in (CONCURRENCY, CURSOR_TYPE, ROWSET_SIZE)] == [2, 1, 5]
    # A static cursor is answered with a keyset-driven one.
    assert lib.SQLSetScrollOptions(stmt.handle, 1, ctypes.c_long(-3), 1) == INFO
    # Connection defaults reach existing and new statements.
    assert lib.SQLSetConnectAttr(odbc.dbc, USE_BOOKMARKS, ctypes.c_void_p(1), 0) == 0
    assert lib.SQLSetConnectAttr(odbc.dbc, CURSOR_TYPE, ctypes.c_void_p(0), 0) == 0
    other = odbc.statement()
    for s in (stmt, other):
        assert s.get_attr(USE_BOOKMARKS) == (0, 1) and s.get_attr(CURSOR_TYPE) == (0, 0)
    # A statement with a result keeps its cursor type.
    assert stmt.exec_direct(ids_query(3)) == 0
    assert stmt.set_attr(CURSOR_TYPE, KEYSET) == ERROR and stmt.diagnostic()[0] == "24000"


def desc_of(stmt, attribute):
    return ctypes.c_void_p(stmt.get_attr(attribute)[1])


def get_desc_number(lib, desc, record, field):
    value, length = ctypes.c_int64(), ctypes.c_int()
    rc = lib.SQLGetDescField(desc, record, field, ctypes.byref(value), 8, ctypes.byref(length))
    size = length.value if rc == 0 else 8
    return rc, value.value & ((1 << (8 * size)) - 1) if size < 8 else value.value


def get_desc_text(lib, desc, record, field):
    buffer, length = ctypes.create_string_buffer(128), ctypes.c_int()
    rc = lib.SQLGetDescField(desc, record, field, buffer, 128, ctypes.byref(length))
    return rc, buffer.value.decode()


def test_the_ird_describes_the_result_after_prepare_and_after_execute(odbc):
    stmt = odbc.statement()
    lib = stmt.lib
    ird = desc_of(stmt, IMP_ROW_DESC)
    assert lib.SQLGetDescField(ird, 1, DESC_NAME, None, 0, None) == ERROR
    assert odbc.state(ird, 4) == "HY007"
    assert stmt.prepare(f"SELECT Name, Quantity, Due, Budget FROM {BENCH}") == ERROR
    assert stmt.prepare(f"SELECT Name, Quantity AS Q, Due FROM \"Items {BENCH}\"") == 0
    expected = [("Name", 12, 1, "Name", "Items bqbench3t"), ("Q", 8, 1, "Quantity", "Items bqbench3t"),
                ("Due", 91, 1, "Due", "Items bqbench3t")]
    for moment in ("prepared", "executed"):
        assert get_desc_number(lib, ird, 0, DESC_COUNT) == (0, 3), moment
        for i, (name, concise, nullable, base, table) in enumerate(expected, start=1):
            assert get_desc_text(lib, ird, i, DESC_NAME) == (0, name)
            assert get_desc_number(lib, ird, i, DESC_CONCISE_TYPE) == (0, concise)
            assert get_desc_number(lib, ird, i, DESC_TYPE) == (0, 9 if concise == 91 else concise)
            assert get_desc_number(lib, ird, i, DESC_NULLABLE) == (0, nullable)
            assert get_desc_text(lib, ird, i, DESC_TABLE_NAME) == (0, table)
        assert get_desc_number(lib, ird, 1, DESC_LENGTH) == (0, 255)
        assert get_desc_number(lib, ird, 3, DESC_OCTET_LENGTH) == (0, 6)
        assert get_desc_number(lib, ird, 4, DESC_NAME)[0] == NO_DATA
        if moment == "prepared":
            assert stmt.execute() == 0, stmt.diagnostic()
    # The IRD is the driver's to describe; the IPD takes its types from the markers.
    assert lib.SQLSetDescField(ird, 1, DESC_CONCISE_TYPE, ctypes.c_void_p(4), 0) == ERROR
    assert odbc.state(ird, 4) == "HY016"
    stmt.close_cursor()
    assert stmt.prepare(f"SELECT Name FROM {BENCH} WHERE Quantity > ? AND Name = ?") == 0
    ipd = desc_of(stmt, IMP_PARAM_DESC)
    assert get_desc_number(lib, ipd, 0, DESC_COUNT) == (0, 2)
    assert [get_desc_number(lib, ipd, i, DESC_CONCISE_TYPE)[1] for i in (1, 2)] == [8, 12]
    assert get_desc_number(lib, ipd, 3, DESC_CONCISE_TYPE)[0] == NO_DATA
    assert lib.SQLGetDescField(ipd, 1, 9999, None, 0, None) == ERROR
    assert odbc.state(ipd, 4) == "HY091"


def test_explicit_descriptors_serve_as_ard_and_apd_and_copy_to_another_statement(odbc):
    lib = odbc.lib
    ard, apd = ctypes.c_void_p(), ctypes.c_void_p()
    assert lib.SQLAllocHandle(4, odbc.dbc, ctypes.byref(ard)) == 0
    assert lib.SQLAllocHandle(4, odbc.dbc, ctypes.byref(apd)) == 0
    ids, indicators = (ctypes.c_int32 * 3)(), (ctypes.c_long * 3)()
    # The ARD: column 1 as 4-byte integers in an array of three, through the descriptor calls.
    assert lib.SQLSetDescField(ard, 0, DESC_ARRAY_SIZE, ctypes.c_void_p(3), 0) == 0
    assert lib.SQLSetDescRec(ard, 1, SQL_C_SLONG, 0, ctypes.c_long(4), 0, 0, ids, None,
                             indicators) == 0
    assert get_desc_number(lib, ard, 0, DESC_COUNT) == (0, 1)
    assert get_desc_number(lib, ard, 5, DESC_DATA_PTR)[0] == NO_DATA
    # The APD: parameter 1 an integer.
    limit, limit_ind = ctypes.c_int32(5), ctypes.c_long(4)
    for field, value in [(DESC_CONCISE_TYPE, SQL_C_SLONG), (DESC_DATA_PTR, ctypes.addressof(limit)),
                         (DESC_INDICATOR_PTR, ctypes.addressof(limit_ind)),
                         (DESC_OCTET_LENGTH_PTR, ctypes.addressof(limit_ind))]:
        assert lib.SQLSetDescField(apd, 1, field, ctypes.c_void_p(value), 0) == 0

    stmt = odbc.statement()
    assert stmt.set_attr(APP_ROW_DESC, ard.value) == 0
    assert stmt.set_attr(APP_PARAM_DESC, apd.value) == 0
    assert stmt.get_attr(APP_ROW_DESC) == (0, ard.value)
    assert stmt.exec_direct(f"SELECT [Record ID_] FROM {BENCH} WHERE [Record ID_] <= ? "
                            f"ORDER BY [Record ID_]") == 0, stmt.diagnostic()
    assert lib.SQLFetch(stmt.handle) == 0 and list(ids) == [1, 2, 3]
    assert lib.SQLFetch(stmt.handle) == 0 and list(ids[:2]) == [4, 5]
    stmt.close_cursor()

    # Another statement's implicit ARD takes a copy of the explicit one.
    other = odbc.statement()
    target = desc_of(other, APP_ROW_DESC)
    assert lib.SQLCopyDesc(ard, target) == 0
    assert other.exec_direct(ids_query(10)) == 0
    ids[:] = [0, 0, 0]
    assert lib.SQLFetch(other.handle) == 0 and list(ids) == [1, 2, 3]
    # An implicit descriptor of another statement is no ARD; the IRD is no copy target.
    assert stmt.set_attr(APP_ROW_DESC, target.value) == ERROR
    assert stmt.diagnostic()[0] == "HY017"
    assert lib.SQLCopyDesc(ard, desc_of(other, IMP_ROW_DESC)) == ERROR
    # The IRD copied into an explicit descriptor: a record per result column.
    assert lib.SQLCopyDesc(desc_of(other, IMP_ROW_DESC), apd) == 0
    assert get_desc_number(lib, apd, 0, DESC_COUNT) == (0, 1)
    # Freeing the explicit ARD gives the statement its own again.
    assert lib.SQLFreeHandle(4, ard) == 0
    assert stmt.get_attr(APP_ROW_DESC)[1] != ard.value
    assert lib.SQLFreeHandle(4, apd) == 0
    odbc.free_statements()


def test_parameter_arrays_report_a_status_per_set(odbc):
    stmt = odbc.statement()
    lib = stmt.lib
    size = 4
    names = (ctypes.c_char * (16 * size))()
    lengths = (ctypes.c_long * size)(*[-3] * size)
    statuses, processed = (ctypes.c_ushort * size)(), ctypes.c_ulong()
    operations = (ctypes.c_ushort * size)(0, 1, 0, 0)  # the second set is skipped
    stmt.keep += [names, lengths, statuses, processed, operations]
    for i in range(size):
        names[16 * i:16 * i + 6] = b"Item %d" % i
    assert stmt.prepare(f"SELECT Name FROM {BENCH} WHERE Name = ?") == 0
    assert lib.SQLBindParameter(stmt.handle, 1, 1, SQL_C_CHAR, SQL_VARCHAR, ctypes.c_ulong(16), 0,
                                names, ctypes.c_long(16), lengths) == 0
    assert stmt.set_attr(PARAMSET_SIZE, size) == 0
    assert stmt.set_attr(PARAM_STATUS_PTR, ctypes.addressof(statuses)) == 0
    assert stmt.set_attr(PARAMS_PROCESSED_PTR, ctypes.addressof(processed)) == 0
    assert stmt.set_attr(PARAM_OPERATION_PTR, ctypes.addressof(operations)) == 0
    # A query has one result: it takes one parameter set.
    assert stmt.execute() == ERROR
    # The statements that change records run once per set.
    assert stmt.prepare(f"DELETE FROM {BENCH} WHERE Name = ?") == 0
    rc = stmt.execute()
    assert processed.value == size
    assert statuses[1] == 7  # SQL_PARAM_UNUSED
    ran = [statuses[i] for i in (0, 2, 3)]
    assert ran == [0] * 3 or (rc == ERROR and ran == [5] * 3), (rc, list(statuses))


def test_fast_executemany_inserts_rows_in_one_import(bench):
    connection = pyodbc.connect(connection_string(bench), autocommit=True)
    cursor = connection.cursor()
    cursor.fast_executemany = True
    rows = [(f"bulk {i:05d}", i) for i in range(10_000)]
    clear_log(bench)
    cursor.executemany(f"INSERT INTO {BENCH} (Name, Quantity) VALUES (?, ?)", rows)
    cursor.close()
    assert len(logged_requests(bench, "API_ImportFromCSV")) == 1
    got = connection.cursor().execute(
        f"SELECT Name, Quantity FROM {BENCH} WHERE Name LIKE 'bulk %' ORDER BY Name").fetchall()
    assert [tuple(r) for r in got] == [(n, float(q)) for n, q in rows]
    # And they go again, purged 100 ids to a request, leaving the table as it was.
    clear_log(bench)
    assert connection.execute(f"DELETE FROM {BENCH} WHERE Name LIKE 'bulk %'").rowcount == 10_000
    assert len(logged_requests(bench, "API_PurgeRecords")) == 100
    assert connection.execute(f"SELECT COUNT(*) FROM {BENCH}").fetchone()[0] == RECORDS
    connection.close()


def test_distinct_rows_come_back_in_order_by_order(odbc):
    stmt = odbc.statement()
    assert stmt.exec_direct(f"SELECT DISTINCT [Record ID_], Status FROM {BENCH} "
                            f"ORDER BY Status DESC, [Record ID_]") == 0, stmt.diagnostic()
    rows = Rowset(stmt, 1000)
    status = (ctypes.c_char * (16 * 1000))()
    status_len = (ctypes.c_long * 1000)()
    assert stmt.lib.SQLBindCol(stmt.handle, 2, SQL_C_CHAR, status, ctypes.c_long(16),
                               status_len) == 0
    stmt.keep += [status, status_len]
    got = []
    while stmt.lib.SQLFetch(stmt.handle) == 0:
        n = rows.fetched.value
        got.extend((status[16 * i:16 * i + status_len[i]].decode(), rows.ids[i]) for i in range(n))
    statuses = ["Open", "In progress", "Blocked", "Done"]
    expected = sorted(((statuses[i % 4], i) for i in range(1, RECORDS + 1)),
                      key=lambda r: (tuple(-ord(c) for c in r[0]), r[1]))
    assert got == expected
