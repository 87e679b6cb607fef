"""Field types and value forms: what QuickBase accepts on input, what it sends back.

Internal representation of a stored value, by the field's value class (`value_class`):

    text      str                     (text, email, phone, url, dblink, predecessor, buttons)
    number    decimal.Decimal         (float, currency, rating, numeric int32 fields)
    percent   decimal.Decimal, the fraction (25 % is 0.25)
    recordid  int
    date      int, ms since the epoch at 00:00 UTC of the day
    timestamp int, ms since the epoch (an instant)
    timeofday int, ms since midnight
    duration  int, ms
    checkbox  bool (never empty)
    user      str, the user id
    multiuser tuple of user ids
    multitext tuple of str
    file      FileValue

An empty value is None (absent from the record).
"""

import base64
import datetime as dt
import re
from decimal import Decimal, InvalidOperation

MS_PER_DAY = 86_400_000
EPOCH = dt.datetime(1970, 1, 1, tzinfo=dt.timezone.utc)

DBID_ALPHABET = "abcdefghijkmnpqrstuvwxyz23456789"
_DBID_RE = re.compile(r"^[%s]{6,13}$" % DBID_ALPHABET)
_USERID_RE = re.compile(r"^[0-9]+\.[0-9a-z]{4}$")

# field_type -> (base_type, value class); field types compare case-insensitively.
FIELD_TYPES = {
    "text": ("text", "text"),
    "multitext": ("text", "multitext"),
    "float": ("float", "number"),
    "currency": ("float", "number"),
    "percent": ("float", "percent"),
    "rating": ("float", "number"),
    "checkbox": ("bool", "checkbox"),
    "date": ("int64", "date"),
    "timestamp": ("int64", "timestamp"),
    "timeofday": ("int64", "timeofday"),
    "duration": ("int64", "duration"),
    "userid": ("int32", "user"),
    "multiuserid": ("text", "multiuser"),
    "email": ("text", "text"),
    "phone": ("text", "text"),
    "url": ("text", "text"),
    "file": ("text", "file"),
    "recordid": ("int32", "recordid"),
    "dblink": ("text", "text"),
    "predecessor": ("text", "text"),
    "icalendarbutton": ("text", "text"),
    "vcardbutton": ("text", "text"),
}

# The spelling QuickBase uses in replies.
CANONICAL_FIELD_TYPES = {"icalendarbutton": "ICalendarButton", "vcardbutton": "vCardButton"}


def is_valid_dbid(text):
    return bool(_DBID_RE.match(text or ""))


def is_valid_userid(text):
    return bool(_USERID_RE.match(text or ""))


class FileValue:
    """A file attachment: every version uploaded, the latest last."""

    __slots__ = ("versions",)

    def __init__(self, name, content):
        self.versions = [(name, bytes(content))]

    @property
    def name(self):
        return self.versions[-1][0]

    @property
    def content(self):
        return self.versions[-1][1]

    def add_version(self, name, content):
        self.versions.append((name, bytes(content)))

    def version(self, vid):
        """v0 is the latest version; v1, v2 ... count from the first upload."""
        if vid == 0:
            return self.versions[-1]
        if 1 <= vid <= len(self.versions):
            return self.versions[vid - 1]
        return None


# ---------------------------------------------------------------------------------------------
# Time zone

class Clock:
    """The application time zone (option --tz) and the date format used for text forms."""

    def __init__(self, tzname="UTC"):
        self.tzname = tzname
        self.tz = make_tz(tzname)

    def local_to_ms(self, naive):
        """A naive local date-time of the application's zone to ms since the epoch."""
        aware = naive.replace(tzinfo=self.tz)
        return int(round((aware - EPOCH).total_seconds() * 1000))

    def ms_to_local(self, ms):
        return (EPOCH + dt.timedelta(milliseconds=ms)).astimezone(self.tz)

    def offset_ms(self, ms):
        return int(self.ms_to_local(ms).utcoffset().total_seconds() * 1000)

    def today_ms(self):
        """ms of 00:00 UTC of the application's current calendar day (a date value)."""
        return date_to_ms(dt.datetime.now(self.tz).date())

    def time_zone_text(self):
        off = dt.datetime.now(self.tz).utcoffset() or dt.timedelta(0)
        minutes = int(off.total_seconds() // 60)
        sign = "+" if minutes >= 0 else "-"
        minutes = abs(minutes)
        return "(UTC%s%02d:%02d) %s" % (sign, minutes // 60, minutes % 60, self.tzname)


_OFFSET_RE = re.compile(r"^(?:UTC|GMT)?([+-])(\d{1,2})(?::?(\d{2}))?$")


def make_tz(name):
    if name in ("UTC", "GMT", "Z", "utc"):
        return dt.timezone.utc
    m = _OFFSET_RE.match(name)
    if m:
        delta = dt.timedelta(hours=int(m.group(2)), minutes=int(m.group(3) or 0))
        return dt.timezone(delta if m.group(1) == "+" else -delta, name)
    try:
        import zoneinfo
        return zoneinfo.ZoneInfo(name)
    except Exception as exc:  # ZoneInfoNotFoundError, ValueError, missing tzdata
        raise ValueError(f"unknown time zone '{name}' ({exc.__class__.__name__})") from None


def date_to_ms(d):
    return (d - dt.date(1970, 1, 1)).days * MS_PER_DAY


def ms_to_date(ms):
    return dt.date(1970, 1, 1) + dt.timedelta(days=ms // MS_PER_DAY)


# ---------------------------------------------------------------------------------------------
# Text forms of dates and times (input)

_ISO_DATE = re.compile(r"^(\d{4})[-/.](\d{1,2})[-/.](\d{1,2})$")
_OTHER_DATE = re.compile(r"^(\d{1,2})[-/.](\d{1,2})[-/.](\d{2}|\d{4})$")
_TIME = re.compile(
    r"^(\d{1,2}):(\d{2})(?::(\d{2})(?:\.(\d{1,9}))?)?\s*([AaPp]\.?[Mm]\.?)?$")
_INT = re.compile(r"^-?\d+$")


class Granular:
    """A parsed date/time criterion or input: a start in ms and the width of its precision."""

    __slots__ = ("start", "width")

    def __init__(self, start, width):
        self.start = start
        self.width = width


def parse_date_part(text, date_format="MM-DD-YYYY"):
    """yyyy-mm-dd, or the app's date format order (MM-DD-YYYY, DD-MM-YYYY); '-', '/' or '.'."""
    text = text.strip()
    m = _ISO_DATE.match(text)
    if m:
        y, mo, d = int(m.group(1)), int(m.group(2)), int(m.group(3))
        return dt.date(y, mo, d)
    m = _OTHER_DATE.match(text)
    if m:
        a, b, y = int(m.group(1)), int(m.group(2)), m.group(3)
        year = int(y)
        if len(y) == 2:
            year += 2000 if year < 70 else 1900
        if date_format.upper().startswith("DD"):
            return dt.date(year, b, a)
        return dt.date(year, a, b)
    raise ValueError(f"cannot read '{text}' as a date")


def parse_time_part(text):
    """hh:mm[:ss[.fff]] with an optional AM/PM; returns (ms since midnight, width in ms)."""
    m = _TIME.match(text.strip())
    if not m:
        raise ValueError(f"cannot read '{text}' as a time of day")
    h, mi = int(m.group(1)), int(m.group(2))
    s = int(m.group(3) or 0)
    frac = m.group(4)
    ampm = (m.group(5) or "").replace(".", "").upper()
    if ampm:
        if not 1 <= h <= 12:
            raise ValueError(f"cannot read '{text}' as a time of day")
        h = h % 12 + (12 if ampm == "PM" else 0)
    if h > 23 or mi > 59 or s > 59:
        raise ValueError(f"cannot read '{text}' as a time of day")
    ms = ((h * 60 + mi) * 60 + s) * 1000
    if frac:
        ms += int((frac + "00")[:3])
        width = 1
    elif m.group(3) is not None:
        width = 1000
    else:
        width = 60_000
    return ms, width


def split_date_time(text):
    text = text.strip()
    if "T" in text and _ISO_DATE.match(text.split("T", 1)[0]):
        return text.split("T", 1)
    parts = text.split(None, 1)
    if len(parts) == 2 and (":" in parts[1]):
        return parts
    return text, None


def parse_date_value(text, clock, date_format, ms_in_utc=False):
    """A date: its text forms, 'today', or ms since the epoch. Returns ms at 00:00 UTC."""
    t = text.strip()
    if t.lower() == "today":
        return clock.today_ms()
    if _INT.match(t):
        return (int(t) // MS_PER_DAY) * MS_PER_DAY
    dpart, _tpart = split_date_time(t)
    return date_to_ms(parse_date_part(dpart, date_format))


def parse_timestamp_value(text, clock, date_format, ms_in_utc=False):
    """A date/time: local text (app time zone), 'now', 'today', or ms. Returns Granular."""
    t = text.strip()
    low = t.lower()
    if low == "now":
        return Granular(int(dt.datetime.now(dt.timezone.utc).timestamp() * 1000), 1)
    if low == "today":
        d = dt.datetime.now(clock.tz).date()
        start = clock.local_to_ms(dt.datetime(d.year, d.month, d.day))
        return Granular(start, _day_width(clock, d))
    if _INT.match(t):
        ms = int(t)
        if not ms_in_utc:
            ms -= clock.offset_ms(ms)
        return Granular(ms, 1)
    dpart, tpart = split_date_time(t)
    d = parse_date_part(dpart, date_format)
    if tpart is None:
        start = clock.local_to_ms(dt.datetime(d.year, d.month, d.day))
        return Granular(start, _day_width(clock, d))
    tms, width = parse_time_part(tpart)
    naive = dt.datetime(d.year, d.month, d.day) + dt.timedelta(milliseconds=tms)
    return Granular(clock.local_to_ms(naive), width)


def _day_width(clock, d):
    nxt = d + dt.timedelta(days=1)
    return (clock.local_to_ms(dt.datetime(nxt.year, nxt.month, nxt.day))
            - clock.local_to_ms(dt.datetime(d.year, d.month, d.day)))


def parse_timeofday_value(text):
    """hh:mm[:ss[.fff]] [AM/PM], or ms since midnight. Returns Granular."""
    t = text.strip()
    if _INT.match(t):
        return Granular(int(t), 1)
    dpart, tpart = split_date_time(t)
    if tpart is not None:
        t = tpart
    ms, width = parse_time_part(t)
    return Granular(ms, width)


_DURATION_UNITS = {
    "ms": 1, "msec": 1, "milliseconds": 1, "millisecond": 1,
    "s": 1000, "sec": 1000, "secs": 1000, "second": 1000, "seconds": 1000,
    "m": 60_000, "min": 60_000, "mins": 60_000, "minute": 60_000, "minutes": 60_000,
    "h": 3_600_000, "hr": 3_600_000, "hrs": 3_600_000, "hour": 3_600_000, "hours": 3_600_000,
    "d": MS_PER_DAY, "day": MS_PER_DAY, "days": MS_PER_DAY,
    "w": 7 * MS_PER_DAY, "wk": 7 * MS_PER_DAY, "week": 7 * MS_PER_DAY, "weeks": 7 * MS_PER_DAY,
}
_DURATION_RE = re.compile(r"^(-?\d+(?:\.\d*)?|-?\.\d+)\s*([A-Za-z]*)$")
_HMS_RE = re.compile(r"^(-?)(\d+):(\d{2})(?::(\d{2}))?$")


def parse_duration_value(text, ms_default=False):
    """A number (days, or ms with msAsDurationDefault), a number with a unit, or h:mm[:ss]."""
    t = text.strip()
    m = _HMS_RE.match(t)
    if m:
        ms = (int(m.group(2)) * 3600 + int(m.group(3)) * 60 + int(m.group(4) or 0)) * 1000
        return -ms if m.group(1) else ms
    m = _DURATION_RE.match(t)
    if not m:
        raise ValueError(f"cannot read '{text}' as a duration")
    unit = m.group(2).lower()
    if unit:
        if unit not in _DURATION_UNITS:
            raise ValueError(f"cannot read '{text}' as a duration (unit '{unit}')")
        factor = _DURATION_UNITS[unit]
    else:
        factor = 1 if ms_default else MS_PER_DAY
    return int((Decimal(m.group(1)) * factor).to_integral_value())


_NUMBER_CHARS = re.compile(r"[^0-9.\-eE+]")


def parse_number(text, lenient=True):
    """A number; with lenient, characters other than digits, '.', '-' are ignored (as QB does)."""
    t = text.strip()
    if lenient:
        t = _NUMBER_CHARS.sub("", t.replace(",", ""))
    if t in ("", "-", ".", "-."):
        raise ValueError(f"cannot read '{text}' as a number")
    try:
        d = Decimal(t)
    except InvalidOperation:
        raise ValueError(f"cannot read '{text}' as a number") from None
    if not d.is_finite():
        raise ValueError(f"cannot read '{text}' as a number")
    return d


def parse_checkbox(text):
    return text.strip().lower() in ("1", "yes", "true", "on", "y", "checked")


# ---------------------------------------------------------------------------------------------
# Output: the text of a value inside <f> (quickbase-api.md 5.4)

def format_decimal(d):
    if d == d.to_integral_value():
        return str(d.quantize(Decimal(1)))
    s = format(d.normalize(), "f")
    return s


def structured_text(vclass, value, returnpercentage=False):
    """The text QuickBase sends for a value in a structured reply (files are handled apart)."""
    if value is None:
        return ""
    if vclass == "text":
        return value
    if vclass == "number":
        return format_decimal(value)
    if vclass == "percent":
        return format_decimal(value * 100 if returnpercentage else value)
    if vclass == "checkbox":
        return "1" if value else "0"
    if vclass in ("date", "timestamp", "timeofday", "duration", "recordid"):
        return str(int(value))
    if vclass == "user":
        return value
    if vclass in ("multiuser", "multitext"):
        return ";".join(value)
    if vclass == "file":
        return value.name
    return str(value)


def display_text(field, value, clock, date_format, users):
    """The value as the UI shows it (CSV export, unstructured replies, GetRecordInfo)."""
    vc = field.vclass
    if value is None:
        return ""
    if vc == "number":
        if field.decimal_places is not None:
            return "%.*f" % (field.decimal_places, value)
        return format_decimal(value)
    if vc == "percent":
        return format_decimal(value * 100) + "%"
    if vc == "date":
        return format_date(ms_to_date(value), date_format)
    if vc == "timestamp":
        local = clock.ms_to_local(value)
        return format_date(local.date(), date_format) + " " + format_clock(
            local.hour * 3_600_000 + local.minute * 60_000)
    if vc == "timeofday":
        return format_clock(value)
    if vc == "duration":
        return format_decimal(Decimal(value) / MS_PER_DAY) + " days"
    if vc == "user":
        u = users.get(value)
        return u.name if u else value
    if vc == "multiuser":
        return "; ".join(users[v].name if v in users else v for v in value)
    return structured_text(vc, value)


def format_date(d, date_format):
    f = (date_format or "MM-DD-YYYY").upper()
    parts = {"YYYY": "%04d" % d.year, "MM": "%02d" % d.month, "DD": "%02d" % d.day}
    out = f
    for k, v in parts.items():
        out = out.replace(k, v)
    return out


def format_clock(ms):
    minutes = (ms // 60_000) % (24 * 60)
    h, m = divmod(minutes, 60)
    suffix = "AM" if h < 12 else "PM"
    return "%02d:%02d %s" % (h % 12 or 12, m, suffix)


def iso_text(field, value, clock):
    """Readable form for the test controls (what a fixture would contain)."""
    vc = field.vclass
    if value is None:
        return None
    if vc in ("number", "percent"):
        return format_decimal(value)
    if vc == "date":
        return ms_to_date(value).isoformat()
    if vc == "timestamp":
        local = clock.ms_to_local(value)
        s = local.strftime("%Y-%m-%d %H:%M:%S")
        if value % 1000:
            s += ".%03d" % (value % 1000)
        return s
    if vc == "timeofday":
        s = "%02d:%02d:%02d" % (value // 3_600_000, value // 60_000 % 60, value // 1000 % 60)
        if value % 1000:
            s += ".%03d" % (value % 1000)
        return s
    if vc == "duration":
        return int(value)
    if vc == "checkbox":
        return bool(value)
    if vc in ("multiuser", "multitext"):
        return list(value)
    if vc == "file":
        return {"name": value.name, "size": len(value.content),
                "base64": base64.b64encode(value.content).decode("ascii"),
                "versions": len(value.versions)}
    if vc == "recordid":
        return int(value)
    return value


# ---------------------------------------------------------------------------------------------
# XML text

_XML_BAD = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff]")


def xml_escape(s):
    if _XML_BAD.search(s):
        s = _XML_BAD.sub("", s)
    if "&" in s:
        s = s.replace("&", "&amp;")
    if "<" in s:
        s = s.replace("<", "&lt;")
    if ">" in s:
        s = s.replace(">", "&gt;")
    return s


def xml_attr(s):
    return xml_escape(s).replace('"', "&quot;")


_LINE_BREAK = re.compile(r"\r\n|\r|\n")


def xml_text_with_breaks(s):
    """Text whose line breaks become <BR/> elements (multi-line text in structured replies)."""
    s = xml_escape(s)
    if "\n" in s or "\r" in s:
        s = _LINE_BREAK.sub("<BR/>", s)
    return s
