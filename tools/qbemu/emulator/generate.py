"""Large data for benchmarks: the application 'Kelvra Bench' with one table of N records.

In memory (--bench-records N) the records are made directly in their stored form; for a
fixture file (gen_fixture.py) they are written in the readable forms of the fixture format.
Both are deterministic: record i has the same values either way."""

import datetime as dt
from decimal import Decimal

from . import values as V

BENCH_APP = "bqbench2a"
BENCH_TABLE = "bqbench3t"
STATUSES = ["Open", "In progress", "Blocked", "Done"]
WORDS = ["alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india",
         "juliett", "kilo", "lima", "mike", "november", "oscar", "papa"]
BASE_DAY = dt.date(2024, 1, 1)

FIELDS = [
    {"id": 6, "label": "Name", "field_type": "text", "required": 1},
    {"id": 7, "label": "Amount", "field_type": "currency", "decimal_places": 2},
    {"id": 8, "label": "Quantity", "field_type": "float"},
    {"id": 9, "label": "Due", "field_type": "date"},
    {"id": 10, "label": "Checked At", "field_type": "timestamp"},
    {"id": 11, "label": "Done", "field_type": "checkbox"},
    {"id": 12, "label": "Assignee", "field_type": "userid"},
    {"id": 13, "label": "Notes", "field_type": "text", "num_lines": 4},
    {"id": 14, "label": "Status", "field_type": "text",
     "choices": STATUSES},
    {"id": 15, "label": "Effort", "field_type": "duration"},
]


def bench_application(n, readable=False, users=None):
    """The fixture entry of the bench application (records generated at load unless readable)."""
    table = {"dbid": BENCH_TABLE, "name": "Items", "fields": FIELDS}
    if readable:
        table["records"] = [readable_record(i, users or []) for i in range(1, n + 1)]
    else:
        table["generate"] = n
    return {"dbid": BENCH_APP, "name": "Kelvra Bench", "tables": [table]}


def _parts(i):
    name = "%s %s %06d" % (WORDS[i % 16], WORDS[(i * 7) % 16], i)
    cents = (i * 7919) % 1_000_000
    qty = Decimal((i * 31) % 1000) / 4
    day = (i * 13) % 1096
    seconds = (i * 104729) % (1096 * 86400)
    done = i % 3 == 0
    note = "Line one of %d\nLine two" % i if i % 5 == 0 else ""
    status = STATUSES[i % 4]
    effort_min = (i * 17) % 4800
    return name, cents, qty, day, seconds, done, note, status, effort_min


def readable_record(i, users):
    name, cents, qty, day, seconds, done, note, status, effort_min = _parts(i)
    stamp = dt.datetime(2024, 1, 1) + dt.timedelta(seconds=seconds)
    rec = {"Name": name, "Amount": float(Decimal(cents) / 100), "Quantity": float(qty),
           "Due": (BASE_DAY + dt.timedelta(days=day)).isoformat(),
           "Checked At": stamp.strftime("%Y-%m-%d %H:%M:%S"), "Done": done,
           "Status": status, "Effort": "%d min" % effort_min}
    if note:
        rec["Notes"] = note
    if users:
        rec["Assignee"] = users[i % len(users)]["email"]
    return rec


def fill_table(store, table, n, owner):
    from .model import Record
    users = list(store.users.values())
    base_day_ms = V.date_to_ms(BASE_DAY)
    base_ms = store.clock.local_to_ms(dt.datetime(2024, 1, 1))
    created = table.app.cre_date
    records = table.records
    for i in range(1, n + 1):
        name, cents, qty, day, seconds, done, note, status, effort_min = _parts(i)
        uid = users[i % len(users)].id
        vals = {1: created + i * 1000, 2: created + i * 1000, 4: owner.id, 5: owner.id,
                6: name, 7: Decimal(cents) / 100, 8: qty, 9: base_day_ms + day * V.MS_PER_DAY,
                10: base_ms + seconds * 1000, 11: done, 12: uid, 14: status,
                15: effort_min * 60_000}
        if note:
            vals[13] = note
        records[i] = Record(i, vals, vals[2])
    table.next_rid = n + 1
    table.mod_date = created + n * 1000
