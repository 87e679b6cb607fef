"""Applications, tables, fields, users and records; loading them from a JSON fixture."""

import base64
import json
import re
import threading
import time
from decimal import Decimal

from . import values as V
from .errors import QbError

BUILTIN_FIELDS = {
    1: {"label": "Date Created", "field_type": "timestamp", "role": "created"},
    2: {"label": "Date Modified", "field_type": "timestamp", "role": "modified"},
    3: {"label": "Record ID#", "field_type": "recordid", "role": "recordid", "mode": "virtual"},
    4: {"label": "Record Owner", "field_type": "userid", "role": "owner"},
    5: {"label": "Last Modified By", "field_type": "userid", "role": "modifier"},
}

# Keys of a fixture field that the emulator itself interprets; every other key is emitted
# as a child element of <field> in schema replies.
_FIELD_KEYS = {"id", "label", "field_type", "base_type", "mode", "role", "num_lines",
               "decimal_places", "required", "unique", "choices", "allow_new_choices",
               "default_value", "lookup", "appears_by_default", "find_enabled"}


class FixtureError(Exception):
    pass


def field_name(label):
    """QuickBase's field name: the label lower-cased, non-alphanumerics turned into '_'."""
    return re.sub(r"[^a-z0-9]", "_", label.lower())


def chdbid_name(table_name):
    return "_dbid_" + re.sub(r"[^a-z0-9]", "_", table_name.lower())


class User:
    __slots__ = ("id", "name", "email", "password", "screen_name", "first", "last")

    def __init__(self, uid, name, email, password, screen_name=""):
        self.id = uid
        self.name = name
        self.email = email
        self.password = password
        self.screen_name = screen_name
        parts = name.split(None, 1)
        self.first = parts[0] if parts else ""
        self.last = parts[1] if len(parts) > 1 else ""


class Field:
    def __init__(self, entry):
        self.fid = int(entry["id"])
        self.label = str(entry.get("label") or f"Field {self.fid}")
        ftype = str(entry.get("field_type") or "text")
        key = ftype.lower()
        if key not in V.FIELD_TYPES:
            raise FixtureError(f"field {self.fid}: unknown field_type '{ftype}'")
        self.type_key = key
        self.field_type = V.CANONICAL_FIELD_TYPES.get(key, key)
        base, vclass = V.FIELD_TYPES[key]
        self.base_type = str(entry.get("base_type") or base)
        self.vclass = vclass
        self.mode = str(entry.get("mode") or ("virtual" if key == "dblink" else ""))
        self.role = str(entry.get("role") or "")
        nl = entry.get("num_lines")
        self.num_lines = int(nl) if nl not in (None, "") else None
        dp = entry.get("decimal_places")
        self.decimal_places = int(dp) if dp not in (None, "") else None
        self.required = bool(int(entry.get("required", 0) or 0))
        self.unique = bool(int(entry.get("unique", 1 if key == "recordid" else 0) or 0))
        self.choices = [str(c) for c in entry.get("choices", [])]
        self.allow_new_choices = bool(int(entry.get("allow_new_choices", 0) or 0))
        self.default_value = entry.get("default_value")
        self.appears_by_default = bool(int(entry.get(
            "appears_by_default", 0 if self.fid <= 5 else 1) or 0))
        self.find_enabled = bool(int(entry.get("find_enabled", 1) or 0))
        self.lookup = entry.get("lookup")  # {"via": fid, "table": dbid, "fid": fid}
        if self.lookup is not None:
            self.mode = self.mode or "lookup"
        self.extra = {k: v for k, v in entry.items() if k not in _FIELD_KEYS}
        self.name = field_name(self.label)

    @property
    def writable(self):
        return (not self.mode and not self.role
                and self.type_key not in ("dblink", "icalendarbutton", "vcardbutton",
                                          "recordid"))


class Record:
    __slots__ = ("rid", "values", "update_id")

    def __init__(self, rid, values, update_id):
        self.rid = rid
        self.values = values
        self.update_id = update_id


class Table:
    kind = "table"

    def __init__(self, app, entry):
        self.app = app
        self.dbid = entry["dbid"]
        self.name = str(entry.get("name") or self.dbid)
        self.desc = str(entry.get("desc") or "")
        self.fields = []
        self.by_fid = {}
        self.by_name = {}
        self.records = {}
        self.next_rid = 1
        self.key_fid = int(entry.get("key_fid", 3))
        self.def_sort_fid = int(entry.get("default_sort_fid", 3))
        self.def_sort_order = int(entry.get("default_sort_order", 1))
        self.queries = entry.get("queries") or [
            {"id": 1, "qyname": "List All", "qytype": "table", "qycalst": "0.0"},
            {"id": 2, "qyname": "List Changes", "qytype": "table",
             "qydesc": "Sorted by Date Modified", "qyslst": "2", "qyopts": "so-D.",
             "qycalst": "0.0"},
        ]
        self.cre_date = app.cre_date
        self.mod_date = app.cre_date
        self.version = 0
        self.query_cache = {}

    def add_field(self, field):
        if field.fid in self.by_fid:
            raise FixtureError(f"table {self.dbid}: field id {field.fid} given twice")
        self.fields.append(field)
        self.by_fid[field.fid] = field
        self.by_name.setdefault(field.name, field)

    def field(self, fid):
        f = self.by_fid.get(fid)
        if f is None:
            raise QbError(31, f"The field with id {fid} does not exist in table {self.dbid}.")
        return f

    def touch(self, now_ms):
        self.version += 1
        self.mod_date = now_ms
        self.query_cache.clear()

    @property
    def next_field_id(self):
        return max([f.fid for f in self.fields] + [5]) + 1


class App:
    kind = "app"

    def __init__(self, entry, clock):
        self.dbid = entry["dbid"]
        self.name = str(entry.get("name") or self.dbid)
        self.desc = str(entry.get("desc") or "")
        self.date_format = str(entry.get("date_format") or "MM-DD-YYYY")
        self.variables = {str(k): str(v) for k, v in (entry.get("variables") or {}).items()}
        self.access = entry.get("users")  # None: every user
        self.apptokens = list(entry.get("apptokens") or [])
        created = entry.get("created", "2024-01-01 00:00:00")
        self.cre_date = V.parse_timestamp_value(str(created), clock, self.date_format).start
        self.mod_date = self.cre_date
        self.tables = []


class Store:
    """Everything the emulator serves. One lock guards every read and write."""

    def __init__(self, clock):
        self.clock = clock
        self.lock = threading.RLock()
        self.users = {}
        self.apps = []
        self.by_dbid = {}
        self.tickets = {}  # ticket -> (user id, expiry in s since epoch)
        self._last_update_id = 0

    # -- users -----------------------------------------------------------------------------

    def add_user(self, user):
        if user.id in self.users:
            raise FixtureError(f"user id {user.id} given twice")
        self.users[user.id] = user

    def find_user(self, text):
        """A user by id (also in <...>), e-mail, name or screen name, case-insensitively."""
        t = text.strip()
        if t.startswith("<") and t.endswith(">"):
            t = t[1:-1].strip()
        if t in self.users:
            return self.users[t]
        low = t.lower()
        for u in self.users.values():
            if low in (u.email.lower(), u.name.lower()) or (
                    u.screen_name and low == u.screen_name.lower()):
                return u
        return None

    def user_can_see(self, user, app):
        if app.access is None:
            return True
        keys = {str(a).lower() for a in app.access}
        return user.id.lower() in keys or user.email.lower() in keys or user.name.lower() in keys

    # -- ids -------------------------------------------------------------------------------

    def new_update_id(self):
        now = int(time.time() * 1000)
        self._last_update_id = max(now, self._last_update_id + 1)
        return self._last_update_id

    @staticmethod
    def now_ms():
        return int(time.time() * 1000)

    def new_ticket(self, user, hours=12.0):
        import secrets
        token = "".join(secrets.choice(V.DBID_ALPHABET) for _ in range(30))
        ticket = "9_%s_%s_%s_%s" % ("".join(secrets.choice(V.DBID_ALPHABET) for _ in range(9)),
                                     user.id.split(".")[1], "a", token)
        self.tickets[ticket] = (user.id, time.time() + hours * 3600)
        return ticket

    def user_of_ticket(self, ticket):
        entry = self.tickets.get(ticket)
        if entry is None or entry[1] < time.time():
            return None
        return self.users.get(entry[0])

    # -- records ---------------------------------------------------------------------------

    def value_of(self, table, rec, field, depth=0):
        """The value of a field in a record; lookup fields follow their reference."""
        if field.lookup is not None and depth < 8:
            lk = field.lookup
            ref = rec.values.get(int(lk["via"]))
            parent = self.by_dbid.get(lk["table"])
            if ref is None or parent is None or parent.kind != "table":
                return None
            prec = parent.records.get(int(ref))
            if prec is None:
                return None
            pfield = parent.by_fid.get(int(lk["fid"]))
            if pfield is None:
                return None
            return self.value_of(parent, prec, pfield, depth + 1)
        if field.fid == 3:
            return rec.rid
        return rec.values.get(field.fid)


# ---------------------------------------------------------------------------------------------
# Input values (AddRecord, EditRecord, ImportFromCSV; fixtures in their text forms)

class InputContext:
    def __init__(self, store, table, user, ms_in_utc=False, ms_duration=False,
                 decimal_percent=False):
        self.store = store
        self.table = table
        self.user = user
        self.ms_in_utc = ms_in_utc
        self.ms_duration = ms_duration
        self.decimal_percent = decimal_percent


_SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.\-]*:")


def convert_input(field, text, ctx):
    """The stored value for an input text (quickbase-api.md 10.3); raises QbError or
    ValueError for values QuickBase refuses."""
    vc = field.vclass
    clock = ctx.store.clock
    datefmt = ctx.table.app.date_format
    t = text if text is not None else ""
    if vc == "checkbox":
        return V.parse_checkbox(t)
    if t.strip() == "":
        return None
    if vc == "text":
        if field.type_key == "url" and not _SCHEME.match(t.strip()):
            return "http://" + t.strip()
        if field.type_key == "phone":
            return re.sub(r"[^0-9x]", "", t.lower())
        if field.choices and not field.allow_new_choices:
            for c in field.choices:
                if c.lower() == t.lower():
                    return c
            raise QbError(9, f"'{t}' is not a valid choice for the field '{field.label}'.")
        return t
    if vc == "number":
        return V.parse_number(t)
    if vc == "percent":
        stripped = t.strip()
        if stripped.endswith("%"):
            return V.parse_number(stripped[:-1]) / 100
        n = V.parse_number(stripped)
        return n if ctx.decimal_percent else n / 100
    if vc == "date":
        return V.parse_date_value(t, clock, datefmt, ctx.ms_in_utc)
    if vc == "timestamp":
        return V.parse_timestamp_value(t, clock, datefmt, ctx.ms_in_utc).start
    if vc == "timeofday":
        return V.parse_timeofday_value(t).start % V.MS_PER_DAY
    if vc == "duration":
        return V.parse_duration_value(t, ctx.ms_duration)
    if vc == "user":
        if t.strip() == "_curuser_" and ctx.user is not None:
            return ctx.user.id
        u = ctx.store.find_user(t)
        if u is None:
            raise QbError(21, f"Unknown user '{t.strip()}' for the field '{field.label}'.")
        return u.id
    if vc == "multiuser":
        out = []
        for part in t.split(";"):
            if part.strip():
                u = ctx.store.find_user(part)
                if u is None:
                    raise QbError(21, f"Unknown user '{part.strip()}'.")
                if u.id not in out:
                    out.append(u.id)
        return tuple(out) or None
    if vc == "multitext":
        out = []
        for part in t.split(";"):
            p = part.strip()
            if p and p not in out:
                out.append(p)
        if len(out) > 20:
            raise QbError(2, f"More than 20 choices for the field '{field.label}'.")
        return tuple(out) or None
    if vc == "recordid":
        return int(V.parse_number(t, lenient=False))
    raise QbError(2, f"The field '{field.label}' cannot take this value.")


def fixture_value(field, raw, ctx):
    """A fixture's readable value: JSON numbers, booleans and lists, file objects, or text."""
    vc = field.vclass
    if raw is None:
        return None
    if vc == "file":
        if isinstance(raw, str):
            return V.FileValue(raw, b"")
        name = str(raw.get("name") or "file")
        if "base64" in raw:
            content = base64.b64decode(raw["base64"])
        else:
            content = str(raw.get("content", "")).encode("utf-8")
        return V.FileValue(name, content)
    if isinstance(raw, bool):
        if vc == "checkbox":
            return raw
        raise ValueError(f"a boolean is no value for a {field.field_type} field")
    if isinstance(raw, (int, float)) and not isinstance(raw, bool):
        if vc in ("number", "percent"):
            return Decimal(repr(raw)) if isinstance(raw, float) else Decimal(raw)
        if vc == "duration":
            return int(round(Decimal(repr(raw)) * V.MS_PER_DAY))
        if vc in ("date", "timestamp", "timeofday", "recordid"):
            return convert_input(field, str(int(raw)), ctx)
        raw = str(raw)
    if isinstance(raw, list):
        raw = ";".join(str(x) for x in raw)
    if vc == "percent" and isinstance(raw, str) and not raw.strip().endswith("%"):
        return V.parse_number(raw)
    if vc == "text" and field.choices:
        return str(raw)  # fixtures may hold values outside the choice list
    return convert_input(field, str(raw), ctx)


# ---------------------------------------------------------------------------------------------
# Fixture loading

def load_fixture(path_or_data, clock, bench_records=0):
    if isinstance(path_or_data, (dict, list)):
        data = path_or_data
    else:
        try:
            with open(path_or_data, "rb") as fh:
                data = json.loads(fh.read().decode("utf-8"))
        except OSError as exc:
            raise FixtureError(f"cannot read {path_or_data}: {exc.strerror}") from None
        except (ValueError, UnicodeDecodeError) as exc:
            raise FixtureError(f"{path_or_data} is not valid JSON: {exc}") from None
    if not isinstance(data, dict):
        raise FixtureError("the fixture must be a JSON object")
    store = Store(clock)
    for i, u in enumerate(data.get("users") or []):
        where = f"users[{i}]"
        try:
            uid = str(u["id"])
            if not V.is_valid_userid(uid):
                raise FixtureError(f"{where}: user id '{uid}' is not of the form 61523471.ab3c")
            store.add_user(User(uid, str(u.get("name") or u["email"]), str(u["email"]),
                                str(u.get("password", "")), str(u.get("screen_name") or "")))
        except KeyError as exc:
            raise FixtureError(f"{where}: missing key {exc}") from None
    if not store.users:
        raise FixtureError("the fixture names no users")
    default_owner = next(iter(store.users.values()))
    apps = list(data.get("applications") or [])
    if bench_records:
        from .generate import bench_application
        apps.append(bench_application(bench_records))
    for ai, a in enumerate(apps):
        where = f"applications[{ai}]"
        try:
            _load_app(store, a, where, default_owner)
        except FixtureError as exc:
            msg = str(exc)
            raise FixtureError(msg if msg.startswith(where) else f"{where}: {msg}") from None
        except (KeyError, TypeError, ValueError) as exc:
            raise FixtureError(f"{where}: {exc.__class__.__name__}: {exc}") from None
    return store


def _check_dbid(store, dbid, where):
    if not isinstance(dbid, str) or not V.is_valid_dbid(dbid):
        raise FixtureError(f"{where}: DBID '{dbid}' is not 6 to 13 characters of "
                           f"'{V.DBID_ALPHABET}'")
    if dbid in store.by_dbid:
        raise FixtureError(f"{where}: DBID '{dbid}' given twice")


def _load_app(store, a, where, default_owner):
    _check_dbid(store, a.get("dbid"), where)
    app = App(a, store.clock)
    store.apps.append(app)
    store.by_dbid[app.dbid] = app
    for ti, t in enumerate(a.get("tables") or []):
        twhere = f"{where}.tables[{ti}]"
        _check_dbid(store, t.get("dbid"), twhere)
        table = Table(app, t)
        app.tables.append(table)
        store.by_dbid[table.dbid] = table
        entries = list(t.get("fields") or [])
        given = {int(s["id"]) for s in entries}
        fields = []
        if 3 not in given:
            fields.append(Field(dict(BUILTIN_FIELDS[3], id=3)))
        for s in entries:
            fid = int(s["id"])
            entry = dict(BUILTIN_FIELDS.get(fid, {}), **s) if fid in BUILTIN_FIELDS else s
            try:
                fields.append(Field(entry))
            except FixtureError as exc:
                raise FixtureError(f"{twhere}: {exc}") from None
        for fid in (1, 2, 4, 5):
            if fid not in given:
                fields.append(Field(dict(BUILTIN_FIELDS[fid], id=fid)))
        for f in fields:
            try:
                table.add_field(f)
            except FixtureError as exc:
                raise FixtureError(f"{twhere}: {exc}") from None
        if table.key_fid not in table.by_fid:
            raise FixtureError(f"{twhere}: key_fid {table.key_fid} is not a field")
    # Records after all tables exist, so lookups can be checked.
    for ti, t in enumerate(a.get("tables") or []):
        table = app.tables[ti]
        for f in table.fields:
            if f.lookup is not None:
                lk = f.lookup
                if int(lk.get("via", 0)) not in table.by_fid or lk.get("table") not in \
                        store.by_dbid:
                    raise FixtureError(f"{where}.tables[{ti}]: lookup field {f.fid} names an "
                                       f"unknown field or table")
        _load_records(store, table, t.get("records") or [], f"{where}.tables[{ti}]",
                      default_owner)
        if t.get("generate"):
            from .generate import fill_table
            fill_table(store, table, int(t["generate"]), default_owner)


def _load_records(store, table, records, where, default_owner):
    ctx = InputContext(store, table, default_owner)
    by_label = {f.label.lower(): f for f in table.fields}
    base_ms = table.app.cre_date
    for ri, r in enumerate(records):
        rwhere = f"{where}.records[{ri}]"
        if not isinstance(r, dict):
            raise FixtureError(f"{rwhere}: a record is a JSON object")
        vals = {}
        rid = None
        for key, raw in r.items():
            k = str(key)
            f = table.by_fid.get(int(k)) if k.isdigit() else by_label.get(k.lower())
            if f is None:
                raise FixtureError(f"{rwhere}: no field '{k}'")
            if f.lookup is not None:
                raise FixtureError(f"{rwhere}: lookup field '{f.label}' takes no value")
            try:
                if f.fid == 3:
                    rid = int(raw)
                    continue
                v = fixture_value(f, raw, ctx)
            except (ValueError, QbError) as exc:
                msg = exc.detail if isinstance(exc, QbError) else str(exc)
                raise FixtureError(f"{rwhere}: field '{f.label}': {msg}") from None
            if v is not None:
                vals[f.fid] = v
        if rid is None:
            rid = table.next_rid
        if rid < 1 or rid in table.records:
            raise FixtureError(f"{rwhere}: record id {rid} is not new")
        table.next_rid = max(table.next_rid, rid + 1)
        stamp = base_ms + rid * 60_000
        vals.setdefault(1, stamp)
        vals.setdefault(2, vals[1])
        vals.setdefault(4, default_owner.id)
        vals.setdefault(5, vals[4])
        for f in table.fields:
            if f.vclass == "checkbox" and f.fid not in vals:
                vals[f.fid] = False
        table.records[rid] = Record(rid, vals, vals[2])
        table.mod_date = max(table.mod_date, vals[2])
