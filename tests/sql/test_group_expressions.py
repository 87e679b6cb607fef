"""GROUP BY against Python's own grouping of the same rows: each key of the table below (a
column of every type, or an expression) groups the Items rows as its Python twin does (NULL a
group of its own), with the count, sum and minimum of each group."""

import datetime

import pytest


def upper(text):
    """Letters folded one for one; ß has no one-letter capital and stays."""
    return "".join(c.upper() if len(c.upper()) == 1 else c for c in text)


COLUMNS = "Name, Qty, Price, Made, Stamp, At, Span, Ok, Owner, Category"
KEYS = [(column, lambda r, c=column: getattr(r, c)) for column in COLUMNS.split(", ")] + [
    ("{fn YEAR(Made)}", lambda r: r.Made.year),
    ("{fn MONTH(Made)} * 100 + {fn DAYOFMONTH(Made)}", lambda r: r.Made.month * 100 + r.Made.day),
    ("Qty * 2", lambda r: r.Qty * 2),
    ("Price * 2", lambda r: None if r.Price is None else r.Price * 2),
    ("-Span", lambda r: None if r.Span is None else -r.Span),
    ("{fn UCASE(Name)}", lambda r: upper(r.Name)),
    ("{fn LEFT(Category, 2)}", lambda r: r.Category[:2]),
    ("{fn CONVERT(Stamp, SQL_DATE)}", lambda r: r.Stamp and r.Stamp.date()),
    ("{fn TIMESTAMPADD(SQL_TSI_DAY, 1, Made)}",
     lambda r: datetime.datetime.combine(r.Made, datetime.time()) + datetime.timedelta(days=1)),
    ("{fn IFNULL(Span, 0)} + Qty", lambda r: (r.Span or 0) + r.Qty),
]


@pytest.mark.parametrize("key, twin", KEYS, ids=[k for k, _ in KEYS])
def test_groups_match_python(corpus_connection, key, twin):
    cursor = corpus_connection.cursor()
    rows = cursor.execute(f"SELECT {COLUMNS} FROM bsqtitm2a").fetchall()
    expected = {}
    for r in rows:
        count, total, first = expected.get(twin(r), (0, 0.0, None))
        expected[twin(r)] = (count + 1, total + r.Qty, min(first or r.Made, r.Made))
    got = cursor.execute(
        f"SELECT {key}, COUNT(*), SUM(Qty), MIN(Made) FROM bsqtitm2a GROUP BY {key}").fetchall()
    actual = {value: (count, total, first) for value, count, total, first in got}
    assert len(actual) == len(got), "a group came out twice"
    assert actual == expected
