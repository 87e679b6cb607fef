"""What the driver asks of QuickBase for a query, read from the emulator's request log: the
criteria it sends (and those it must not), how many requests a scan and a join cost, and the
failures of QuickBase met in the middle of a fetch."""

import re
import xml.etree.ElementTree as ET

import pyodbc
import pytest

from conftest import corpus_emulator
from odbc_env import clear_log, connection_string, emulator_control, logged_requests

ITEMS, CATEGORIES, PURCHASES, BENCH = "bsqtitm2a", "bsqtcat2a", "bsqtpur2a", "bqbench3t"


@pytest.fixture
def emulator():
    emu = corpus_emulator()
    emulator_control(emu, "POST", "/_emu/faults/clear")
    clear_log(emu)
    return emu


@pytest.fixture
def connection(emulator):
    connection = pyodbc.connect(connection_string(emulator), autocommit=True)
    yield connection
    connection.close()


@pytest.fixture
def cursor(connection):
    return connection.cursor()


def queries(emulator):
    """The query texts of the record requests (ids and pages) since the log was cleared."""
    texts = []
    for entry in logged_requests(emulator):
        query = ET.fromstring(entry["body"]).find("query") if entry["body"] else None
        if query is not None:
            texts.append(query.text or "")
    return texts


def rows(cursor, sql, *params):
    return [tuple(r) for r in cursor.execute(sql, *params).fetchall()]


@pytest.mark.parametrize("where, criterion", [
    # Text equality asks for what starts with the value: QuickBase's own equality would miss
    # texts that differ only by trailing blanks, which are equal here.
    ("Name = 'banana'", r"\{'6'\.SW\.'banana'\}"),
    ("Qty <> 10", r"\{'7'\.XEX\.'10'\}"),
    ("Qty > 3 AND Qty <= 10", r"\{'7'\.GT\.'3'\}AND\{'7'\.LTE\.'10'\}"),
    ("Qty BETWEEN 5 AND 1", r"\{'7'\.GTE\.'1'\}AND\{'7'\.LTE\.'5'\}"),
    ("Qty IN (1, 3)", r"\{'7'\.EX\.'1 OR 3'\}"),
    ("Name LIKE 'Ap%'", r"\{'6'\.SW\.'Ap'\}"),
    ("Name LIKE '%pp%'", r"\{'6'\.CT\.'pp'\}"),
    ("Owner = 'Pat Doe'", r"\{'14'\.TV\.'Pat Doe'\}"),
    ("Made >= {d '2024-03-01'}", r"\{'9'\.GTE\.'2024-03-01'\}"),
])
def test_restrictions_reach_quickbase(emulator, cursor, where, criterion):
    expected = rows(cursor, f"SELECT Name FROM {ITEMS} WHERE {where} AND Qty + 0 = Qty")
    clear_log(emulator)
    got = rows(cursor, f"SELECT Name FROM {ITEMS} WHERE {where}")
    # The criterion was sent, and the rows are those the same condition gives locally.
    assert any(re.search(criterion, q) for q in queries(emulator)), queries(emulator)
    assert sorted(got) == sorted(expected) and got


def test_unsafe_values_are_tested_here_and_never_sent(emulator, cursor):
    assert rows(cursor, f"SELECT Name FROM {ITEMS} WHERE Name = 'x''}}OR{{''3''.GT.''0'") == []
    assert rows(cursor, f"SELECT Name FROM {ITEMS} WHERE Name = 'Rock OR Roll'") == \
        [("Rock OR Roll",)]
    assert rows(cursor, f"SELECT Name FROM {ITEMS} WHERE Code IN ('R''}}1', 'r-1')") == \
        [("Rock OR Roll",), ("Rock",)]
    for q in queries(emulator):
        assert "}OR{" not in q and "Rock OR Roll" not in q and "R'}" not in q, q


def test_a_scan_costs_one_id_request_and_a_request_per_page(emulator, cursor):
    assert len(rows(cursor, f"SELECT Name, Amount FROM {BENCH}")) == 10000
    assert len(logged_requests(emulator, "API_GenResultsTable")) == 1
    assert len(logged_requests(emulator, "API_DoQuery")) == 10


def test_the_same_scan_again_sends_nothing(emulator, cursor):
    # pyodbc prepares a statement with parameters once and executes the same text again.
    sql = f"SELECT Name, Qty FROM {ITEMS} WHERE Qty > ?"
    first = rows(cursor, sql, 2)
    clear_log(emulator)
    assert rows(cursor, sql, 2) == first
    assert logged_requests(emulator) == []


def test_a_join_costs_no_request_per_outer_row(emulator, cursor):
    got = rows(cursor, f"SELECT i.Name, p.Amount FROM [{PURCHASES}] p, [{ITEMS}] i "
                       f"WHERE i.[Record ID_] = p.Item")
    assert sorted(got) == [("Apple", 1.0), ("Größe", 4.0), ("apple", 2.0), ("apple", 3.0)]
    # Each table scanned once at most: an id request and a page each.
    requests = logged_requests(emulator)
    assert len([r for r in requests if r["action"] in ("API_DoQuery", "API_GenResultsTable")]) <= 4


@pytest.mark.parametrize("fault, message", [
    ({"kind": "error", "action": "API_DoQuery", "errcode": 2, "errtext": "Bad luck"}, "Bad luck"),
    # A dropped keep-alive connection is retried once on a fresh one: twice in a row fails.
    ({"kind": "disconnect", "action": "API_DoQuery", "count": 2}, "QuickBase"),
    ({"kind": "malformed_xml", "action": "API_DoQuery"}, "XML"),
])
def test_a_failure_in_the_middle_of_a_fetch(emulator, connection, cursor, fault, message):
    cursor.execute(f"SELECT Name, Quantity FROM {BENCH}")
    assert len(cursor.fetchmany(1000)) == 1000  # the first page
    emulator_control(emulator, "POST", "/_emu/faults", fault)
    with pytest.raises(pyodbc.Error) as failure:
        cursor.fetchall()
    assert message in str(failure.value)
    cursor.close()
    # The statement runs again once QuickBase answers.
    assert len(connection.cursor().execute(f"SELECT Name FROM {BENCH}").fetchall()) == 10000


def test_a_reply_too_large_is_asked_for_in_smaller_pages(emulator, cursor):
    expected = rows(cursor, f"SELECT Name FROM {BENCH} WHERE Quantity >= 0")
    emulator_control(emulator, "POST", "/_emu/faults", {"kind": "max_records", "limit": 300})
    clear_log(emulator)
    try:
        got = rows(cursor, f"SELECT Name FROM {BENCH} WHERE Quantity >= 0 AND Quantity < 1E9")
    finally:
        emulator_control(emulator, "POST", "/_emu/faults/clear")
    assert got == expected and len(got) > 300
    answered = [(e["errcode"], re.search(r"num-(\d+)", e["body"])) for e in logged_requests(emulator)]
    # Refused with 75 at first, then asked for in pages of half the size until they fit.
    assert ("75" in [str(code) for code, _ in answered])
    assert {int(m.group(1)) for code, m in answered if str(code) == "0" and m} == {256}
