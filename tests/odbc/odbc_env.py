"""What the tests through the unixODBC driver manager share: an emulator of QuickBase on a free
loopback port, and odbc.ini/odbcinst.ini files of the tests' own (never the machine's), set up
before pyodbc loads the driver manager. Imported by the conftest.py files of tests/odbc and
tests/sql."""

import atexit
import ctypes
import os
import re
import shutil
import subprocess
import tempfile

SOURCE_DIR = os.environ["KELVRA_SOURCE_DIR"]
DRIVER = os.environ["KELODBC_PATH"]
QBEMU = os.path.join(SOURCE_DIR, "tools", "qbemu", "qbemu.py")
DEMO = os.path.join(SOURCE_DIR, "tools", "qbemu", "demo.json")

PAT = ("pat.doe@example.com", "kelvra-demo")

# The driver manager reads these when it first loads: they must be set before any connect.
CONFIG_DIR = tempfile.mkdtemp(prefix="kelvra-odbc-")
atexit.register(shutil.rmtree, CONFIG_DIR, ignore_errors=True)
os.environ["ODBCSYSINI"] = CONFIG_DIR
os.environ["ODBCINI"] = os.path.join(CONFIG_DIR, "odbc.ini")
with open(os.path.join(CONFIG_DIR, "odbcinst.ini"), "w") as f:
    f.write(f"[Kelvra ODBC]\nDescription=Kelvra ODBC for QuickBase\n"
            f"Driver={DRIVER}\nSetup={DRIVER}\n")


class Emulator:
    """tools/qbemu serving `data` on a free port; `options` are more of its command line."""

    def __init__(self, data=DEMO, options=()):
        self.ca = os.path.join(CONFIG_DIR, "qbemu-ca.pem")
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", QBEMU, "--data", data, "--port", "0", "--ca-out", self.ca,
             *options],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        line = self.proc.stdout.readline()
        m = re.match(r"qbemu listening on https://([^:]+):(\d+)", line)
        if not m:
            self.proc.kill()
            raise RuntimeError(f"the emulator did not start: {line!r}")
        self.server = f"{m.group(1)}:{m.group(2)}"

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=30)


class Odbc:
    """The driver manager's C interface, for what pyodbc does not offer: an environment (ODBC 3)
    and a connection, and statements on it."""

    SQL_HANDLE_ENV, SQL_HANDLE_DBC, SQL_HANDLE_STMT = 1, 2, 3

    def __init__(self):
        self.lib = ctypes.CDLL("libodbc.so.2")
        self.env = ctypes.c_void_p()
        assert self.lib.SQLAllocHandle(self.SQL_HANDLE_ENV, None, ctypes.byref(self.env)) == 0
        assert self.lib.SQLSetEnvAttr(self.env, 200, ctypes.c_void_p(3), 0) == 0
        self.dbc = ctypes.c_void_p()
        assert self.lib.SQLAllocHandle(self.SQL_HANDLE_DBC, self.env, ctypes.byref(self.dbc)) == 0

    def driver_connect(self, text):
        out = ctypes.create_string_buffer(512)
        out_len = ctypes.c_short()
        rc = self.lib.SQLDriverConnect(self.dbc, None, text.encode(), len(text), out,
                                       len(out), ctypes.byref(out_len), 0)
        return rc, out.value.decode()

    def connect(self, dsn, user, password):
        return self.lib.SQLConnect(self.dbc, dsn.encode(), -3, user.encode(), -3,
                                   password.encode(), -3)

    def diagnostic(self, handle=None, kind=SQL_HANDLE_DBC):
        """SQLSTATE, native error and message of the handle's first diagnostic."""
        state, native = ctypes.create_string_buffer(6), ctypes.c_int()
        message = ctypes.create_string_buffer(512)
        self.lib.SQLGetDiagRec(kind, handle if handle is not None else self.dbc, 1, state,
                               ctypes.byref(native), message, len(message), None)
        return state.value.decode(), native.value, message.value.decode()

    def state(self, handle=None, kind=SQL_HANDLE_DBC):
        return self.diagnostic(handle, kind)[0]

    def native_sql(self, text, size):
        out, out_len = ctypes.create_string_buffer(size), ctypes.c_int()
        data = text.encode()
        rc = self.lib.SQLNativeSql(self.dbc, data, len(data), out, size, ctypes.byref(out_len))
        return rc, out.value.decode(), out_len.value

    def statement(self):
        return Statement(self)

    def disconnect(self):
        return self.lib.SQLDisconnect(self.dbc)

    def close(self):
        self.lib.SQLFreeHandle(self.SQL_HANDLE_DBC, self.dbc)
        self.lib.SQLFreeHandle(self.SQL_HANDLE_ENV, self.env)


class Statement:
    """A statement handle of an Odbc connection and the calls made on it."""

    def __init__(self, odbc):
        self.odbc, self.lib = odbc, odbc.lib
        self.handle = ctypes.c_void_p()
        assert self.lib.SQLAllocHandle(Odbc.SQL_HANDLE_STMT, odbc.dbc,
                                       ctypes.byref(self.handle)) == 0

    def diagnostic(self):
        return self.odbc.diagnostic(self.handle, Odbc.SQL_HANDLE_STMT)

    def prepare(self, sql):
        data = sql.encode()
        return self.lib.SQLPrepare(self.handle, data, len(data))

    def execute(self):
        return self.lib.SQLExecute(self.handle)

    def exec_direct(self, sql):
        data = sql.encode()
        return self.lib.SQLExecDirect(self.handle, data, len(data))

    def columns(self):
        """(name, SQL type, size, digits, nullable) of each result column."""
        count = ctypes.c_short()
        assert self.lib.SQLNumResultCols(self.handle, ctypes.byref(count)) == 0
        described = []
        for column in range(1, count.value + 1):
            name, name_len = ctypes.create_string_buffer(256), ctypes.c_short()
            kind, size = ctypes.c_short(), ctypes.c_ulong()
            digits, nullable = ctypes.c_short(), ctypes.c_short()
            assert self.lib.SQLDescribeCol(self.handle, column, name, len(name),
                                           ctypes.byref(name_len), ctypes.byref(kind),
                                           ctypes.byref(size), ctypes.byref(digits),
                                           ctypes.byref(nullable)) == 0
            described.append((name.value.decode(), kind.value, size.value, digits.value,
                              nullable.value))
        return described

    def parameters(self):
        """(SQL type, size, digits) of each parameter marker."""
        count = ctypes.c_short()
        assert self.lib.SQLNumParams(self.handle, ctypes.byref(count)) == 0
        described = []
        for number in range(1, count.value + 1):
            kind, size = ctypes.c_short(), ctypes.c_ulong()
            digits, nullable = ctypes.c_short(), ctypes.c_short()
            assert self.lib.SQLDescribeParam(self.handle, number, ctypes.byref(kind),
                                             ctypes.byref(size), ctypes.byref(digits),
                                             ctypes.byref(nullable)) == 0
            described.append((kind.value, size.value, digits.value))
        return described

    def fetch_texts(self, columns):
        """Every remaining row, each column read as text with SQLGetData."""
        rows = []
        while self.lib.SQLFetch(self.handle) == 0:
            row = []
            for column in range(1, columns + 1):
                buffer, length = ctypes.create_string_buffer(4096), ctypes.c_long()
                assert self.lib.SQLGetData(self.handle, column, 1, buffer, len(buffer),
                                           ctypes.byref(length)) in (0, 1)
                row.append(None if length.value == -1 else buffer.value.decode())
            rows.append(tuple(row))
        return rows

    def close_cursor(self):
        return self.lib.SQLFreeStmt(self.handle, 0)

    def set_attr(self, attribute, value):
        """SQLSetStmtAttr with an integer or pointer value."""
        return self.lib.SQLSetStmtAttr(self.handle, attribute, ctypes.c_void_p(value), 0)

    def get_attr(self, attribute):
        """SQLGetStmtAttr: (return code, the value as an unsigned number or address)."""
        value = ctypes.c_uint64()
        rc = self.lib.SQLGetStmtAttr(self.handle, attribute, ctypes.byref(value), 8, None)
        return rc, value.value

    def fetch_scroll(self, orientation, offset=0):
        return self.lib.SQLFetchScroll(self.handle, orientation, ctypes.c_long(offset))

    def free(self):
        """Frees the handle (once; later calls do nothing)."""
        if self.handle is None:
            return 0
        rc = self.lib.SQLFreeHandle(Odbc.SQL_HANDLE_STMT, self.handle)
        self.handle = None
        return rc


def write_odbc_ini(sections):
    """Replaces the test's odbc.ini with the given {dsn: {key: value}} sections."""
    with open(os.environ["ODBCINI"], "w") as f:
        for dsn, values in sections.items():
            f.write(f"[{dsn}]\n")
            for key, value in values.items():
                f.write(f"{key}={value}\n")


def connection_string(emulator, user=PAT[0], password=PAT[1], **extra):
    pairs = {"DRIVER": DRIVER, "QUICKBASESERVER": emulator.server, "UID": user, "PWD": password}
    pairs.update(extra)
    # No trailing ";", as pyodbc users write it.
    return ";".join(f"{k}={v}" for k, v in pairs.items())


def emulator_control(emulator, method, path, body=None):
    """A request to the emulator's test controls (JSON in and out)."""
    import json
    import ssl
    import urllib.request
    context = ssl.create_default_context(cafile=emulator.ca)
    data = json.dumps(body).encode() if body is not None else None
    request = urllib.request.Request(f"https://{emulator.server}{path}", data=data, method=method)
    with urllib.request.urlopen(request, context=context, timeout=30) as reply:
        answer = reply.read()
    return json.loads(answer) if answer else None


def logged_requests(emulator, action=None):
    """The emulator's request log since it was last cleared (only `action`'s requests)."""
    entries = emulator_control(emulator, "GET", "/_emu/log")["entries"]
    return [e for e in entries if action is None or (e.get("action") or "").lower() == action.lower()]


def clear_log(emulator):
    emulator_control(emulator, "POST", "/_emu/log/clear")
