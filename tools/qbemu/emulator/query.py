"""The QuickBase query language (quickbase-api.md section 6): parsing and evaluation.

    query     := [ orExpr ]
    orExpr    := andExpr { "OR" andExpr }
    andExpr   := primary { "AND" primary }
    primary   := "(" orExpr ")" | criterion
    criterion := "{" fid "." OPERATOR "." value "}"

AND binds tighter than OR (the reference leaves precedence open and tells clients to
parenthesise). A quoted value runs to the next "'}" (there is no escape). A value made of
alternatives joined by " OR " (as in {'3'.EX.'17 OR 23'}) matches when any alternative does;
a negated operator then matches when none does.
"""

import datetime as dt
import re

from . import values as V
from .errors import QbError

MAX_CRITERIA = 100

POSITIVE = {"EX", "CT", "SW", "TV", "HAS", "IR", "LT", "LTE", "GT", "GTE", "BF", "OBF", "AF",
            "OAF"}
NEGATED = {"XEX": "EX", "XCT": "CT", "XSW": "SW", "XTV": "TV", "XHAS": "HAS", "XIR": "IR"}
OPERATORS = POSITIVE | set(NEGATED)
ORDER_OPS = {"LT", "LTE", "GT", "GTE", "BF", "OBF", "AF", "OAF"}


_CLOSE = re.compile(r"'\s*\}")


def bad_query(detail):
    return QbError(2, "Bad query: " + detail)


class Criterion:
    __slots__ = ("fid", "op", "value")

    def __init__(self, fid, op, value):
        self.fid = fid
        self.op = op
        self.value = value


def parse(text):
    """The query text to a tree: ("and"|"or", [children]) or a Criterion; None when empty."""
    p = _Parser(text or "")
    p.skip_ws()
    if p.at_end():
        return None
    node = p.or_expr()
    p.skip_ws()
    if not p.at_end():
        raise bad_query(f"unexpected text at position {p.pos + 1}: '{p.text[p.pos:p.pos + 20]}'")
    if p.count > MAX_CRITERIA:
        raise QbError(76, f"The query has {p.count} criteria; at most {MAX_CRITERIA} are "
                          f"allowed.")
    return node


class _Parser:
    def __init__(self, text):
        self.text = text
        self.pos = 0
        self.count = 0

    def at_end(self):
        return self.pos >= len(self.text)

    def skip_ws(self):
        while self.pos < len(self.text) and self.text[self.pos] in " \t\r\n":
            self.pos += 1

    def keyword(self, word):
        self.skip_ws()
        end = self.pos + len(word)
        if self.text[self.pos:end].upper() == word:
            return True
        return False

    def or_expr(self):
        items = [self.and_expr()]
        while self.keyword("OR"):
            self.pos += 2
            items.append(self.and_expr())
        return items[0] if len(items) == 1 else ("or", items)

    def and_expr(self):
        items = [self.primary()]
        while self.keyword("AND"):
            self.pos += 3
            items.append(self.primary())
        return items[0] if len(items) == 1 else ("and", items)

    def primary(self):
        self.skip_ws()
        if self.at_end():
            raise bad_query("the query ends where a criterion was expected")
        c = self.text[self.pos]
        if c == "(":
            self.pos += 1
            node = self.or_expr()
            self.skip_ws()
            if self.at_end() or self.text[self.pos] != ")":
                raise bad_query("a '(' is not closed")
            self.pos += 1
            return node
        if c == "{":
            return self.criterion()
        raise bad_query(f"expected '{{' or '(' at position {self.pos + 1}")

    def criterion(self):
        t = self.text
        start = self.pos
        self.pos += 1
        self.skip_ws()
        # field id, quoted or not
        if self.pos < len(t) and t[self.pos] == "'":
            end = t.find("'", self.pos + 1)
            if end < 0:
                raise bad_query(f"unterminated field id in criterion at position {start + 1}")
            fid_text = t[self.pos + 1:end]
            self.pos = end + 1
        else:
            end = t.find(".", self.pos)
            if end < 0:
                raise bad_query(f"criterion at position {start + 1} has no operator")
            fid_text = t[self.pos:end]
            self.pos = end
        fid_text = fid_text.strip()
        if not fid_text.isdigit():
            raise bad_query(f"'{fid_text}' is not a field id")
        self.skip_ws()
        if self.pos >= len(t) or t[self.pos] != ".":
            raise bad_query(f"criterion at position {start + 1}: '.' expected after field id")
        self.pos += 1
        end = t.find(".", self.pos)
        if end < 0:
            raise bad_query(f"criterion at position {start + 1} has no value")
        op = t[self.pos:end].strip()
        if op not in OPERATORS:
            raise bad_query(f"unknown operator '{op}' (operators are upper case)")
        self.pos = end + 1
        self.skip_ws()
        if self.pos < len(t) and t[self.pos] == "'":
            m = _CLOSE.search(t, self.pos + 1)
            if m is None:
                raise bad_query(f"criterion at position {start + 1} is not closed by '}}")
            value = t[self.pos + 1:m.start()]
            self.pos = m.end()
        else:
            end = t.find("}", self.pos)
            if end < 0:
                raise bad_query(f"criterion at position {start + 1} is not closed by '}}'")
            value = t[self.pos:end].strip()
            self.pos = end + 1
        self.count += 1
        return Criterion(int(fid_text), op, value)


# ---------------------------------------------------------------------------------------------
# Compiling a tree into a predicate over records

class EvalContext:
    def __init__(self, store, table, user):
        self.store = store
        self.table = table
        self.user = user
        self.clock = store.clock
        self.datefmt = table.app.date_format


def compile_query(tree, ctx):
    """A function record -> bool (None: every record matches)."""
    if tree is None:
        return None
    return _compile(tree, ctx)


def record_ids(tree):
    """The record ids a query names when it is only {3.EX.n} criteria (each value one id or
    ids joined by " OR ") joined by OR, as a client asks for records by id, so they can be
    looked up rather than scanned; else None."""
    items = tree[1] if isinstance(tree, tuple) and tree[0] == "or" else [tree]
    ids = []
    for c in items:
        if not isinstance(c, Criterion) or c.fid != 3 or c.op != "EX":
            return None
        for value in _alternatives(c.value):
            if not value.strip().isdigit():
                return None
            ids.append(int(value))
    return ids


def _compile(node, ctx):
    if isinstance(node, Criterion):
        return _compile_criterion(node, ctx)
    kind, items = node
    preds = [_compile(n, ctx) for n in items]
    if kind == "and":
        return lambda rec: all(p(rec) for p in preds)
    return lambda rec: any(p(rec) for p in preds)


def _alternatives(value):
    parts = value.split(" OR ")
    return parts if len(parts) > 1 else [value]


def _compile_criterion(c, ctx):
    table = ctx.table
    store = ctx.store
    negate = c.op in NEGATED
    op = NEGATED.get(c.op, c.op)
    if c.fid == 0:
        fields = [f for f in table.fields if f.fid != 0]
    else:
        fields = [table.field(c.fid)]
    m = re.match(r"^_fid_(\d+)$", c.value.strip())
    if m:
        other = table.field(int(m.group(1)))
        tests = [_field_to_field(f, other, op, ctx) for f in fields]
    else:
        tests = []
        for f in fields:
            alts = [_value_test(f, op, alt, ctx) for alt in _alternatives(c.value)]
            tests.append((f, alts))
        tests = [_any_alt(store, table, f, alts) for f, alts in tests]
    if len(tests) == 1:
        t = tests[0]
        return (lambda rec: not t(rec)) if negate else t
    if negate:
        return lambda rec: not any(t(rec) for t in tests)
    return lambda rec: any(t(rec) for t in tests)


def _any_alt(store, table, field, alts):
    if field.lookup is not None or field.fid == 3:
        get = lambda rec: store.value_of(table, rec, field)  # noqa: E731
    else:
        fid = field.fid
        get = lambda rec: rec.values.get(fid)  # noqa: E731
    if len(alts) == 1:
        a = alts[0]
        return lambda rec: a(get(rec))
    return lambda rec: any(a(get(rec)) for a in alts)


def _text_of(field, v):
    if v is None:
        return ""
    return V.structured_text(field.vclass, v)


def _cmp_ops(op, key_fn, start, width):
    """Range comparisons of a value against [start, start + width)."""
    end = start + width
    if op == "EX":
        return lambda v: v is not None and start <= key_fn(v) < end
    if op in ("LT", "BF"):
        return lambda v: v is not None and key_fn(v) < start
    if op in ("LTE", "OBF"):
        return lambda v: v is not None and key_fn(v) < end
    if op in ("GT", "AF"):
        return lambda v: v is not None and key_fn(v) >= end
    if op in ("GTE", "OAF"):
        return lambda v: v is not None and key_fn(v) >= start
    return None


def _value_test(field, op, value, ctx):
    """A test of a stored value (None = empty) against one criterion value."""
    vc = field.vclass
    store = ctx.store
    raw = value
    stripped = value.strip()

    # Empty criterion values: EX '' matches empty; CT/SW '' match everything.
    if stripped == "" and vc != "checkbox":
        if op in ("EX", "TV", "HAS"):
            return lambda v: v is None or v == "" or v == ()
        if op in ("CT", "SW"):
            return lambda v: True
        return lambda v: False

    if op == "IR":
        return _relative_range(field, stripped, ctx)

    if vc == "checkbox":
        if op in ("CT", "SW"):
            return _text_test(field, op, raw)
        want = V.parse_checkbox(stripped)
        if op in ("EX", "TV"):
            return lambda v: bool(v) == want
        key = 1 if want else 0
        cmp = _cmp_ops(op, lambda v: 1 if v else 0, key, 1)
        return (lambda v: cmp(bool(v))) if cmp else (lambda v: False)

    if vc in ("number", "percent", "recordid"):
        if op in ("CT", "SW"):
            return _text_test(field, op, raw)
        try:
            n = V.parse_number(stripped, lenient=False)
        except ValueError:
            return lambda v: False
        if op in ("EX", "TV", "HAS"):
            return lambda v: v is not None and v == n
        cmp = _cmp_ops(op, lambda v: v, n, 0)
        if op in ("LTE", "OBF"):
            return lambda v: v is not None and v <= n
        if op in ("GT", "AF"):
            return lambda v: v is not None and v > n
        return cmp or (lambda v: False)

    if vc in ("date", "timestamp", "timeofday", "duration"):
        if op in ("CT", "SW"):
            return _text_test(field, op, raw)
        try:
            g = _granular(field, stripped, ctx)
        except ValueError:
            return lambda v: False
        if vc == "date":
            # A date compares by its day: the criterion's start, in the app's calendar.
            day = _day_of(g.start, ctx) if not re.match(r"^-?\d+$", stripped) else \
                (g.start // V.MS_PER_DAY) * V.MS_PER_DAY
            g = V.Granular(day, V.MS_PER_DAY)
        fn = _cmp_ops("EX" if op in ("TV", "HAS") else op, lambda v: v, g.start, g.width)
        return fn or (lambda v: False)

    if vc == "user":
        if op in ("TV", "HAS"):
            if stripped == "_curuser_":
                uid = ctx.user.id if ctx.user else None
                return lambda v: v is not None and v == uid
            wants = _user_ids(store, stripped)
            return lambda v: v is not None and v in wants
        if op == "EX":
            if stripped == "_curuser_":
                uid = ctx.user.id if ctx.user else None
                return lambda v: v is not None and v == uid
            wants = _user_ids(store, stripped)
            return lambda v: v is not None and v in wants
        return _text_test(field, op, raw, display=lambda v: _user_display(store, v))

    if vc == "multiuser":
        wants = set()
        for part in stripped.split(";"):
            if part.strip() == "_curuser_" and ctx.user:
                wants.add(ctx.user.id)
            elif part.strip():
                wants |= _user_ids(store, part)
        if op in ("HAS", "TV"):
            return lambda v: bool(v) and bool(wants & set(v))
        if op == "EX":
            return lambda v: bool(v) and set(v) == wants
        return _text_test(field, op, raw,
                          display=lambda v: "; ".join(_user_display(store, u) for u in v))

    if vc == "multitext":
        if op in ("HAS", "EX", "TV"):
            want = stripped.lower()
            if op == "EX" and ";" in stripped:
                wanted = {p.strip().lower() for p in stripped.split(";") if p.strip()}
                return lambda v: bool(v) and {x.lower() for x in v} == wanted
            return lambda v: bool(v) and any(x.lower() == want for x in v)
        return _text_test(field, op, raw)

    return _text_test(field, op, raw)


def _user_ids(store, text):
    u = store.find_user(text)
    return {u.id} if u else {text.strip()}


def _user_display(store, uid):
    u = store.users.get(uid)
    return u.name if u else uid


def _text_test(field, op, raw, display=None):
    """Case-insensitive text operators (QuickBase compares text without regard to case)."""
    want = raw.casefold()
    if display is None:
        def disp(v):
            return _text_of(field, v)
    else:
        def disp(v):
            return display(v) if v is not None else ""
    if op in ("EX", "TV", "HAS"):
        return lambda v: disp(v).casefold() == want
    if op == "CT":
        return lambda v: want in disp(v).casefold()
    if op == "SW":
        return lambda v: disp(v).casefold().startswith(want)
    if op in ("LT", "BF"):
        return lambda v: v is not None and disp(v).casefold() < want
    if op in ("LTE", "OBF"):
        return lambda v: v is not None and disp(v).casefold() <= want
    if op in ("GT", "AF"):
        return lambda v: v is not None and disp(v).casefold() > want
    if op in ("GTE", "OAF"):
        return lambda v: v is not None and disp(v).casefold() >= want
    return lambda v: False


def _granular(field, text, ctx):
    vc = field.vclass
    if vc == "timeofday":
        return V.parse_timeofday_value(text)
    if vc == "duration":
        return V.Granular(V.parse_duration_value(text), 1)
    return V.parse_timestamp_value(text, ctx.clock, ctx.datefmt, ms_in_utc=True)


def _day_of(ms, ctx):
    """ms of 00:00 UTC of the calendar day (app time zone) holding the instant ms."""
    return V.date_to_ms(ctx.clock.ms_to_local(ms).date())


def _field_to_field(field, other, op, ctx):
    store, table = ctx.store, ctx.table

    def key(f, v):
        if v is None:
            return None
        if f.vclass in ("number", "percent", "recordid", "date", "timestamp", "timeofday",
                        "duration"):
            return v
        if f.vclass == "checkbox":
            return 1 if v else 0
        return V.structured_text(f.vclass, v).casefold()

    def test(rec):
        a = key(field, store.value_of(table, rec, field))
        b = key(other, store.value_of(table, rec, other))
        try:
            if op in ("EX", "TV", "HAS"):
                return a == b
            if a is None or b is None:
                return False
            if op == "CT":
                return str(b) in str(a)
            if op == "SW":
                return str(a).startswith(str(b))
            if op in ("LT", "BF"):
                return a < b
            if op in ("LTE", "OBF"):
                return a <= b
            if op in ("GT", "AF"):
                return a > b
            if op in ("GTE", "OAF"):
                return a >= b
        except TypeError:
            return False
        return False
    return test


_REL_RE = re.compile(r"^(last|next)\s+(\d+)\s+(day|days|week|weeks|month|months|year|years)$")


def _relative_range(field, text, ctx):
    """IR for dates and timestamps: today, yesterday, tomorrow, this/last/next week, month,
    year, and 'last N days' style ranges, in the application's calendar."""
    if field.vclass not in ("date", "timestamp"):
        raise bad_query(f"IR needs a date field; field {field.fid} is {field.field_type}")
    today = dt.datetime.now(ctx.clock.tz).date()
    t = text.lower().strip()

    def month_start(d, add=0):
        m = d.month - 1 + add
        return dt.date(d.year + m // 12, m % 12 + 1, 1)
    if t == "today":
        a, b = today, today + dt.timedelta(days=1)
    elif t == "yesterday":
        a, b = today - dt.timedelta(days=1), today
    elif t == "tomorrow":
        a, b = today + dt.timedelta(days=1), today + dt.timedelta(days=2)
    elif t in ("this week", "last week", "next week"):
        start = today - dt.timedelta(days=(today.weekday() + 1) % 7)
        shift = {"this week": 0, "last week": -7, "next week": 7}[t]
        a = start + dt.timedelta(days=shift)
        b = a + dt.timedelta(days=7)
    elif t in ("this month", "last month", "next month"):
        shift = {"this month": 0, "last month": -1, "next month": 1}[t]
        a = month_start(today, shift)
        b = month_start(today, shift + 1)
    elif t in ("this year", "last year", "next year"):
        shift = {"this year": 0, "last year": -1, "next year": 1}[t]
        a, b = dt.date(today.year + shift, 1, 1), dt.date(today.year + shift + 1, 1, 1)
    else:
        m = _REL_RE.match(t)
        if not m:
            raise bad_query(f"'{text}' is not a relative date range")
        n = int(m.group(2))
        unit = m.group(3).rstrip("s")
        days = {"day": 1, "week": 7, "month": 30, "year": 365}[unit] * n
        if m.group(1) == "last":
            a, b = today - dt.timedelta(days=days - 1), today + dt.timedelta(days=1)
        else:
            a, b = today, today + dt.timedelta(days=days)
    if field.vclass == "date":
        lo, hi = V.date_to_ms(a), V.date_to_ms(b)
    else:
        lo = ctx.clock.local_to_ms(dt.datetime(a.year, a.month, a.day))
        hi = ctx.clock.local_to_ms(dt.datetime(b.year, b.month, b.day))
    return lambda v: v is not None and lo <= v < hi


# ---------------------------------------------------------------------------------------------
# Sorting

def sort_key_fn(store, table, field):
    vc = field.vclass
    if field.lookup is not None or field.fid == 3:
        get = lambda rec: store.value_of(table, rec, field)  # noqa: E731
    else:
        fid = field.fid
        get = lambda rec: rec.values.get(fid)  # noqa: E731
    if vc in ("number", "percent", "recordid", "date", "timestamp", "timeofday", "duration"):
        def key(rec):
            v = get(rec)
            return (0, 0) if v is None else (1, v)
    elif vc == "checkbox":
        def key(rec):
            return (1, 1 if get(rec) else 0)
    elif vc in ("user", "multiuser"):
        users = store.users

        def key(rec):
            v = get(rec)
            if v is None:
                return (0, "")
            ids = (v,) if isinstance(v, str) else v
            return (1, "; ".join(users[u].name if u in users else u for u in ids).casefold())
    else:
        def key(rec):
            v = get(rec)
            return (0, "") if v is None else (1, V.structured_text(vc, v).casefold())
    return key


def sort_records(store, table, recs, slist, directions):
    """Stable multi-key sort: apply keys from the last to the first."""
    recs = list(recs)
    for i in range(len(slist) - 1, -1, -1):
        field = table.field(slist[i])
        desc = directions[i] if i < len(directions) else False
        recs.sort(key=sort_key_fn(store, table, field), reverse=desc)
    return recs
