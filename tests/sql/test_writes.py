"""INSERT, UPDATE and DELETE through pyodbc, read back through the emulator's own view of its
records (not through the driver): every column type, the requests they make, the special
tables, the failures of QuickBase met while sending, and transactions with pyodbc's default
(auto-commit off)."""

import base64
import datetime
import decimal

import pyodbc
import pytest

from conftest import corpus_emulator
from odbc_env import clear_log, connection_string, emulator_control, logged_requests

WRITES = "bsqtwrt2a"  # Title 6, Notes 7, Amount 8, Price 9, Day 10, At 11, Clock 12, Span 13,
#                       Flag 14, Who 15, Doc 16, Pct 17; records 1..3


@pytest.fixture
def emulator():
    emu = corpus_emulator()
    emulator_control(emu, "POST", "/_emu/faults/clear")
    emulator_control(emu, "POST", "/_emu/reset")
    clear_log(emu)
    return emu


def connect(emulator, autocommit=True, **options):
    return pyodbc.connect(connection_string(emulator, **options), autocommit=autocommit)


def stored(emulator):
    """The table's records as QuickBase holds them: {rid: {fid: value}} (readable forms)."""
    view = emulator_control(emulator, "GET", f"/_emu/tables/{WRITES}/records")
    return {r["rid"]: {int(k): v for k, v in r["values"].items()} for r in view["records"]}


def actions(emulator):
    return [e["action"] for e in logged_requests(emulator) if e["action"] not in
            ("API_Authenticate", "API_GetSchema")]


def test_every_column_type_round_trips(emulator):
    conn = connect(emulator)
    text = 'He said "hi", then left;\nnext line, 50% — Größe'
    conn.execute(f"INSERT INTO {WRITES} (Title, Notes, Amount, Price, Day, At, Clock, Span, "
                 f"Flag, Who, Pct) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                 "Café, \"quoted\"", text, -12.5, decimal.Decimal("1234.56"),
                 datetime.date(2024, 2, 29), datetime.datetime(2024, 3, 1, 13, 45, 7),
                 datetime.time(23, 59, 59), 1.5, True, "Sam Lee", 0.25)
    conn.execute(f"INSERT INTO {WRITES} (Title, Amount, Day) VALUES ('nulls', NULL, NULL)")
    records = stored(emulator)
    new = [r for rid, r in records.items() if rid > 3]
    full = next(r for r in new if r.get(6) == 'Café, "quoted"')
    assert full[7] == text
    assert float(full[8]) == -12.5 and decimal.Decimal(full[9]) == decimal.Decimal("1234.56")
    assert full[10] == "2024-02-29" and full[11] == "2024-03-01 13:45:07"
    assert full[12] == "23:59:59" and full[14] is True and full[15] == "58213370.k2mz"
    assert abs(float(full[17]) - 0.25) < 1e-12
    nulls = next(r for r in new if r.get(6) == "nulls")
    assert 8 not in nulls and 10 not in nulls
    # And read back through the driver, the same values.
    row = conn.execute(f"SELECT Title, Notes, Amount, Price, Day, At, Clock, Span, Flag, Who, Pct "
                       f"FROM {WRITES} WHERE Amount < 0").fetchone()
    assert tuple(row) == ('Café, "quoted"', text, -12.5, decimal.Decimal("1234.56"),
                          datetime.date(2024, 2, 29), datetime.datetime(2024, 3, 1, 13, 45, 7),
                          datetime.time(23, 59, 59), 1.5, True, "Sam Lee", 0.25)


def test_a_text_column_holds_its_size_in_characters(emulator):
    # 255 characters of two, three and four bytes: more than 255 bytes, all of it kept, read
    # streamed, sorted, distinct and as an aggregate's value.
    conn = connect(emulator)
    long = ("ü€𝄞" * 85)[:255]
    conn.execute(f"INSERT INTO {WRITES} (Title) VALUES (?)", long)
    assert next(r for r in stored(emulator).values() if r.get(6, "").startswith("ü"))[6] == long
    for query in (f"SELECT Title FROM {WRITES} WHERE Title LIKE 'ü%'",
                  f"SELECT Title FROM {WRITES} WHERE Title LIKE 'ü%' ORDER BY {{fn LCASE(Title)}}",
                  f"SELECT DISTINCT Title FROM {WRITES} WHERE Title LIKE 'ü%'",
                  f"SELECT MAX(Title) FROM {WRITES} WHERE Title LIKE 'ü%'"):
        assert [tuple(r) for r in conn.execute(query).fetchall()] == [(long,)], query


def test_insert_select_is_one_import_and_identity_names_its_last_record(emulator):
    conn = connect(emulator)
    with pytest.raises(pyodbc.Error) as before:
        conn.execute("SELECT @@identity").fetchall()
    assert "No previous INSERT" in str(before.value)
    clear_log(emulator)
    cursor = conn.execute(f"INSERT INTO {WRITES} (Title, Amount) "
                          f"SELECT Title, Amount * 10 FROM {WRITES} WHERE Amount >= 1")
    assert cursor.rowcount == 3
    imports = [e for e in logged_requests(emulator) if e["action"] == "API_ImportFromCSV"]
    assert len(imports) == 1 and imports[0]["body"].count("&#13;") == 3
    newest = max(stored(emulator))
    assert newest > 3
    assert conn.execute("SELECT @@identity").fetchall()[0][0] == newest
    # The source's TOP is the number of rows inserted.
    assert conn.execute(f"INSERT INTO {WRITES} (Title) SELECT TOP 2 Title FROM {WRITES}").rowcount == 2


def test_update_and_delete_with_restrictions_sent_and_tested_here(emulator):
    conn = connect(emulator)
    cursor = conn.execute(f"UPDATE {WRITES} SET Price = Price * 2, Title = Title + '!' "
                          f"WHERE Amount >= 2 AND Title LIKE '%d'")
    assert cursor.rowcount == 2  # second, third
    records = stored(emulator)
    assert records[2][6] == "second!" and float(records[2][9]) == 5.0
    assert records[3][6] == "third!" and records[1][6] == "first"
    clear_log(emulator)
    assert conn.execute(f"DELETE FROM {WRITES} WHERE Flag = 1 AND Title <> 'first'").rowcount == 1
    assert sorted(stored(emulator)) == [1, 2]
    purges = [e["body"] for e in logged_requests(emulator) if e["action"] == "API_PurgeRecords"]
    assert len(purges) == 1 and "{'3'.EX.'3'}" in purges[0]
    # A searched change that finds nothing: no data, nothing sent.
    clear_log(emulator)
    assert conn.execute(f"DELETE FROM {WRITES} WHERE Amount > 100").rowcount == 0
    assert "API_PurgeRecords" not in actions(emulator)


def test_read_only_columns_are_refused(emulator):
    conn = connect(emulator)
    with pytest.raises(pyodbc.Error) as err:
        conn.execute(f"UPDATE {WRITES} SET [Date Created] = {{ts '2024-01-01 00:00:00'}}")
    assert "Cannot write to read-only field: 'Date Created'" in str(err.value)
    assert stored(emulator)[1][1] == "2024-01-01 08:01:00"


def test_a_file_attachment_is_written_at_once(emulator):
    conn = connect(emulator, FILE="1")
    clear_log(emulator)
    conn.execute(f"INSERT INTO {WRITES} (Title, Doc) VALUES ('with file', 'Hello, file!')")
    assert "API_AddRecord" in actions(emulator)
    record = next(r for r in stored(emulator).values() if r.get(6) == "with file")
    assert base64.b64decode(record[16]["base64"]) == b"Hello, file!"


def test_the_configuration_table_holds_imports_until_a_flush(emulator):
    conn = connect(emulator)
    conn.execute("INSERT INTO \"KELVRA CONNECTION CONFIG\" (qPARAMETER, qVALUE) "
                 "VALUES ('SAVE_WRITES_UNTIL_CONNECTION_CLOSE', 'TRUE')")
    clear_log(emulator)
    conn.execute(f"INSERT INTO {WRITES} (Title) VALUES ('held 1')")
    conn.execute(f"INSERT INTO {WRITES} (Title) VALUES ('held 2')")
    assert "API_ImportFromCSV" not in actions(emulator)
    assert len(stored(emulator)) == 3
    # Flushing a table that holds nothing says so; flushing this one sends both.
    with pytest.raises(pyodbc.Error) as err:
        conn.execute("INSERT INTO \"KELVRA CONNECTION CONFIG\" (qPARAMETER, qVALUE) "
                     "VALUES ('FLUSH_THIS_DBID_CACHE_TO_QUICKBASE', 'Nothing bsqtcat2a')")
    assert "Could not flush bsqtcat2a." in str(err.value) or \
        "Could not find the cache for 'bsqtcat2a' to flush." in str(err.value)
    conn.execute("INSERT INTO \"KELVRA CONNECTION CONFIG\" (qPARAMETER, qVALUE) "
                 f"VALUES ('FLUSH_THIS_DBID_CACHE_TO_QUICKBASE', 'Writes {WRITES}')")
    assert actions(emulator).count("API_ImportFromCSV") == 1
    assert len(stored(emulator)) == 5
    # Held again, they go at disconnect.
    conn.execute(f"INSERT INTO {WRITES} (Title) VALUES ('held 3')")
    assert len(stored(emulator)) == 5
    conn.close()
    assert len(stored(emulator)) == 6


@pytest.mark.parametrize("fault, saying", [
    ({"kind": "error", "action": "API_ImportFromCSV", "errcode": 2, "errtext": "Refused"}, "Refused"),
    ({"kind": "disconnect", "action": "API_ImportFromCSV", "count": 2}, "QuickBase"),
    ({"kind": "error", "action": "API_ImportFromCSV", "errcode": 75}, "75"),
])
def test_a_failed_send_is_reported_and_not_sent_later(emulator, fault, saying):
    conn = connect(emulator)
    emulator_control(emulator, "POST", "/_emu/faults", fault)
    with pytest.raises(pyodbc.Error) as err:
        conn.execute(f"INSERT INTO {WRITES} (Title) VALUES ('kept')")
    assert saying in str(err.value)
    # The statement failed: its row is not stored, and not sent with a later statement either
    # (the client may well repeat it).
    conn.execute(f"UPDATE {WRITES} SET Amount = 7 WHERE Title = 'first'")
    records = stored(emulator)
    assert not any(r.get(6) == "kept" for r in records.values()) and float(records[1][8]) == 7
    assert [r[0] for r in conn.execute(f"SELECT Title FROM {WRITES} WHERE Title = 'kept'")] == []


def test_transactions_with_pyodbcs_default(emulator):
    conn = connect(emulator, autocommit=False)
    conn.execute(f"INSERT INTO {WRITES} (Title, Amount) VALUES ('pending', 42)")
    conn.execute(f"DELETE FROM {WRITES} WHERE Title = 'second'")
    # This connection sees its changes; QuickBase has none of them yet.
    assert sorted(r[0] for r in conn.execute(f"SELECT Title FROM {WRITES}").fetchall()) == \
        ["first", "pending", "third"]
    assert sorted(r[6] for r in stored(emulator).values()) == ["first", "second", "third"]
    conn.rollback()
    assert sorted(r[0] for r in conn.execute(f"SELECT Title FROM {WRITES}").fetchall()) == \
        ["first", "second", "third"]
    # An insert and a delete of the same record in one transaction send nothing for it.
    clear_log(emulator)
    conn.execute(f"INSERT INTO {WRITES} (Title) VALUES ('gone')")
    conn.execute(f"DELETE FROM {WRITES} WHERE Title = 'gone'")
    conn.execute(f"INSERT INTO {WRITES} (Title) VALUES ('kept')")
    conn.commit()
    assert actions(emulator).count("API_ImportFromCSV") == 1
    assert "API_PurgeRecords" not in actions(emulator)
    assert sorted(r[6] for r in stored(emulator).values()) == ["first", "kept", "second", "third"]
    conn.close()
