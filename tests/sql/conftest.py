"""The SQL test corpus: every *.test file of this directory is a list of records, each a
statement with its expected rows or its expected error, run in order through pyodbc against
the emulator serving fixture.json. One connection per file: records share its state.

Records are separated by blank lines; "#" starts a comment line.

    statement ok
    <SQL>

    statement error <SQLSTATE>
    <SQL>
    ----
    <a fragment of the message>

    query <types> [nosort|rowsort]
    <SQL>
    ----
    <one line per row: the values separated by tabs>

An expected row may instead be "= <Python expression>": its value (one value, or a tuple for a
row of several) computed by Python (math, decimal, struct, datetime, date, time, timedelta,
Decimal) and printed as fetched values are, so that results are checked against an independent
computation.

A record may start with "params: <Python list>", the statement's parameter values (date, time,
datetime, Decimal and b"" are available). <types> has one letter per column, checked against
the value fetched:
T text, I integer, R float, N decimal, D date/time/timestamp, B bit, X binary. Values print as
NULL, (empty) for an empty text, numbers as Python prints them (floats with up to 12 significant
digits), dates and times in ISO form, binary as hex; a line break inside a text prints as \\n,
a tab as \\t. "rowsort" compares the rows sorted as printed; "nosort" (the default) as fetched.
"""

import datetime
import decimal
import math
import os
import struct
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "odbc"))
from odbc_env import Emulator, connection_string  # noqa: E402

import pyodbc  # noqa: E402

FIXTURE = os.path.join(os.path.dirname(__file__), "fixture.json")
PARAM_NAMES = {"date": datetime.date, "time": datetime.time, "datetime": datetime.datetime,
               "Decimal": decimal.Decimal}
EXPECTED_NAMES = dict(PARAM_NAMES, math=math, decimal=decimal, struct=struct,
                      timedelta=datetime.timedelta,
                      int=int, float=float, abs=abs, round=round, len=len, str=str, chr=chr,
                      ord=ord, tuple=tuple)
TYPE_CHECKS = {
    "T": (str,),
    "I": (int,),
    "R": (float,),
    "N": (decimal.Decimal,),
    "D": (datetime.date, datetime.time, datetime.datetime),
    "B": (bool,),
    "X": (bytes, bytearray),
}

_emulator = None


def corpus_emulator():
    global _emulator
    if _emulator is None:
        _emulator = Emulator(FIXTURE, ["--bench-records", "10000"])
        os.environ["CURL_CA_BUNDLE"] = _emulator.ca
    return _emulator


@pytest.fixture(scope="module")
def corpus_connection():
    """A connection to the corpus's emulator, for the test modules beside the .test files."""
    connection = pyodbc.connect(connection_string(corpus_emulator()), autocommit=True)
    yield connection
    connection.close()


def pytest_unconfigure(config):
    if _emulator is not None:
        _emulator.stop()


def render(value):
    if value is None:
        return "NULL"
    if isinstance(value, bool):
        return "1" if value else "0"
    if isinstance(value, float):
        return f"{value:.12g}"
    if isinstance(value, (bytes, bytearray)):
        return value.hex()
    if isinstance(value, datetime.datetime):
        return value.isoformat(sep=" ")
    if isinstance(value, (datetime.date, datetime.time)):
        return value.isoformat()
    text = str(value)
    if text == "":
        return "(empty)"
    return text.replace("\\", "\\\\").replace("\n", "\\n").replace("\t", "\\t")


def expected_row(line):
    """An expected row as written, or the row a "= <expression>" line computes."""
    if not line.startswith("= "):
        return line
    value = eval(line[2:], {"__builtins__": {}, **EXPECTED_NAMES})  # test data
    return "\t".join(render(v) for v in (value if isinstance(value, tuple) else (value,)))


class Record:
    def __init__(self, path, line, kind, words, sql, expected, params):
        self.path, self.line, self.kind, self.words = path, line, kind, words
        self.sql, self.expected, self.params = sql, expected, params


def parse_records(path):
    records = []
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        if not line.strip() or line.startswith("#"):
            i += 1
            continue
        start = i + 1
        params = []
        if line.startswith("params:"):
            params = eval(line[len("params:"):], {"__builtins__": {}}, PARAM_NAMES)  # test data
            i += 1
            line = lines[i]
        words = line.split()
        kind = words[0]
        if kind not in ("statement", "query"):
            raise ValueError(f"{path}:{i + 1}: a record starts with statement or query: {line!r}")
        i += 1
        sql = []
        while i < len(lines) and lines[i].strip() and lines[i] != "----":
            sql.append(lines[i])
            i += 1
        expected = []
        if i < len(lines) and lines[i] == "----":
            i += 1
            while i < len(lines) and lines[i] != "":
                expected.append(lines[i])
                i += 1
        records.append(Record(path, start, kind, words[1:], "\n".join(sql), expected, params))
    return records


class CorpusFile(pytest.File):
    def collect(self):
        for record in parse_records(str(self.path)):
            yield CorpusItem.from_parent(self, name=f"line {record.line}", record=record)


class CorpusItem(pytest.Item):
    connections = {}

    def __init__(self, *, record, **kwargs):
        super().__init__(**kwargs)
        self.record = record

    def connection(self):
        path = self.record.path
        if path not in self.connections:
            self.connections[path] = pyodbc.connect(connection_string(corpus_emulator()),
                                                    autocommit=True)
        return self.connections[path]

    def runtest(self):
        r = self.record
        cursor = self.connection().cursor()
        try:
            cursor.execute(r.sql, *r.params)
            # A failure may come with the rows: fetching is part of the statement.
            rows = cursor.fetchall() if cursor.description else []
        except pyodbc.Error as e:
            if r.kind == "statement" and r.words[:1] == ["error"]:
                state = r.words[1] if len(r.words) > 1 else None
                assert state is None or e.args[0] == state, f"SQLSTATE {e.args[0]}: {e.args[1]}"
                for fragment in r.expected:
                    assert fragment in e.args[1], e.args[1]
                return
            raise
        if r.kind == "statement":
            assert r.words[:1] == ["ok"], "the statement succeeded; an error was expected"
            return
        types = r.words[0]
        if rows:
            assert len(rows[0]) == len(types), f"{len(rows[0])} columns, {len(types)} types"
        rendered = []
        for row in rows:
            for value, letter in zip(row, types):
                assert value is None or isinstance(value, TYPE_CHECKS[letter]), \
                    f"{value!r} is not of type {letter}"
            rendered.append("\t".join(render(v) for v in row))
        expected = [expected_row(line) for line in r.expected]
        if "rowsort" in r.words[1:]:
            rendered.sort()
            expected.sort()
        assert rendered == expected

    def repr_failure(self, excinfo):
        return f"{self.record.path}:{self.record.line}\n{self.record.sql}\n{excinfo.value}"

    def reportinfo(self):
        return self.record.path, self.record.line, self.record.sql.splitlines()[0]


def pytest_collect_file(parent, file_path):
    if file_path.suffix == ".test":
        return CorpusFile.from_parent(parent, path=file_path)
    return None
