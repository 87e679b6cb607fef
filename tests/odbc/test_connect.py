"""Connecting through the unixODBC driver manager: pyodbc with a DSN and without, isql,
data sources set up through the installer library, and the errors a client sees."""

import ctypes
import os
import subprocess

import pyodbc
import pytest

from odbc_env import DRIVER, PAT, Odbc, connection_string, write_odbc_ini


def test_dsn_less_connect_and_info(emulator):
    conn = pyodbc.connect(connection_string(emulator), autocommit=True)
    assert conn.getinfo(pyodbc.SQL_DBMS_NAME) == "Kelvra for QuickBase"
    assert conn.getinfo(pyodbc.SQL_DBMS_VER) == "3.8.1.44"
    assert conn.getinfo(pyodbc.SQL_DRIVER_VER) == "3.8.1.44"
    assert conn.getinfo(pyodbc.SQL_DRIVER_ODBC_VER) == "03.51"
    assert conn.getinfo(pyodbc.SQL_USER_NAME) == PAT[0]
    assert conn.getinfo(pyodbc.SQL_TXN_CAPABLE) == 1  # SQL_TC_DML
    conn.close()


def test_braced_values(emulator):
    # Braces enclose a value as ODBC defines; they are not part of it.
    conn = pyodbc.connect(connection_string(emulator, user="{%s}" % PAT[0],
                                            password="{%s}" % PAT[1]), autocommit=True)
    conn.close()
    # A ";" inside braces belongs to the value: the password is the whole braced text.
    with pytest.raises(pyodbc.Error) as err:
        pyodbc.connect(connection_string(emulator, password="{%s;x}" % PAT[1]), autocommit=True)
    assert "[Kelvra][QuickBase]" in str(err.value)


def test_wrong_password_then_right_one(emulator):
    with pytest.raises(pyodbc.Error) as err:
        pyodbc.connect(connection_string(emulator, password="wrong"), autocommit=True)
    state, message = err.value.args[0], err.value.args[1]
    # QuickBase answers a wrong password with code 20 or 4 (28000).
    assert state in ("IM020", "28000")
    assert "[Kelvra][QuickBase]" in message
    assert "wrong" not in message  # the password never shows
    # The same application connects right after.
    conn = pyodbc.connect(connection_string(emulator), autocommit=True)
    conn.close()


def test_dsn_connect_reads_the_data_source(emulator):
    write_odbc_ini({"KelvraTest": {"Driver": "Kelvra ODBC", "QUICKBASESERVER": emulator.server,
                                   "UID": PAT[0], "PWD": PAT[1]}})
    conn = pyodbc.connect("DSN=KelvraTest", autocommit=True)
    assert conn.getinfo(pyodbc.SQL_DATA_SOURCE_NAME) == "KelvraTest"
    assert conn.getinfo(pyodbc.SQL_USER_NAME) == PAT[0]
    conn.close()
    # Values in the string override the data source's.
    with pytest.raises(pyodbc.Error):
        pyodbc.connect("DSN=KelvraTest;PWD=wrong", autocommit=True)


def test_isql_connects_with_a_dsn(emulator):
    write_odbc_ini({"KelvraIsql": {"Driver": "Kelvra ODBC", "QUICKBASESERVER": emulator.server}})
    run = subprocess.run(["isql", "-v", "KelvraIsql", PAT[0], PAT[1]], input="quit\n",
                         capture_output=True, text=True, timeout=60, env=os.environ)
    assert "Connected!" in run.stdout, run.stdout + run.stderr
    run = subprocess.run(["isql", "-v", "KelvraIsql", PAT[0], "wrong"], input="quit\n",
                         capture_output=True, text=True, timeout=60, env=os.environ)
    assert "[Kelvra][QuickBase]" in run.stdout + run.stderr


def test_handle_states_through_the_driver_manager(emulator):
    odbc = Odbc()
    rc, out = odbc.driver_connect(connection_string(emulator))
    assert rc == 0, odbc.state()
    assert out == (f"DRIVER={DRIVER};QUICKBASESERVER={emulator.server};UID={PAT[0]};"
                   f"PWD={PAT[1]};SERVER=QuickBase")
    # A second connect on a connected handle.
    rc, _ = odbc.driver_connect(connection_string(emulator))
    assert rc == -1 and odbc.state() == "08002"
    # Disconnect, then connect again on the same handle.
    assert odbc.disconnect() == 0
    rc, _ = odbc.driver_connect(connection_string(emulator))
    assert rc == 0, odbc.state()
    assert odbc.disconnect() == 0
    odbc.close()


def test_setup_through_the_installer(emulator):
    inst = ctypes.CDLL("libodbcinst.so.2")
    write_odbc_ini({})

    def config(request, attributes):
        packed = "\0".join(attributes).encode() + b"\0\0"
        return inst.SQLConfigDataSource(None, request, b"Kelvra ODBC", packed)

    ODBC_ADD_DSN, ODBC_CONFIG_DSN, ODBC_REMOVE_DSN = 1, 2, 3
    assert config(ODBC_ADD_DSN, ["DSN=Made", f"UID={PAT[0]}", "PWD=wrong",
                                 f"QUICKBASESERVER={emulator.server}"])
    ini = open(os.environ["ODBCINI"]).read()
    assert "[Made]" in ini and f"UID={PAT[0]}" in ini
    odbc = Odbc()
    assert odbc.connect("Made", "", "") == -1  # the stored password is wrong
    # Change it, and SQLConnect reads the new one.
    assert config(ODBC_CONFIG_DSN, ["DSN=Made", f"PWD={PAT[1]}"])
    assert odbc.connect("Made", "", "") == 0, odbc.state()
    odbc.disconnect()
    odbc.close()
    # Added without a server, the default host is stored.
    assert config(ODBC_ADD_DSN, ["DSN=Plain", "UID=someone"])
    assert "QUICKBASESERVER=www.quickbase.com" in open(os.environ["ODBCINI"]).read()
    assert config(ODBC_REMOVE_DSN, ["DSN=Made"])
    assert "[Made]" not in open(os.environ["ODBCINI"]).read()
    assert not config(ODBC_REMOVE_DSN, ["DSN="])
    assert not config(ODBC_ADD_DSN, ["=x"])


def test_native_sql_checks_the_syntax_and_returns_the_text(emulator):
    odbc = Odbc()
    rc, _ = odbc.driver_connect(connection_string(emulator))
    assert rc == 0, odbc.state()
    text = "SELECT a, {fn UCASE(b)} FROM t WHERE c LIKE 'x!%' ESCAPE '!'; DROP TABLE u"
    assert odbc.native_sql(text, 512) == (0, text, len(text))
    # A buffer too small: the text cut, its whole length reported, 01004.
    assert odbc.native_sql(text, 10) == (1, text[:9], len(text))
    assert odbc.state() == "01004"
    for bad, native, message in [
            ("SELECT a FROM t WHERE a = 1 b", 1017, "Unexpected extra token: b"),
            ("SELECT a FROM t ORDER BY 4294967297", 1016, "Malformed number: 4294967297"),
            ("SELECT a FROM", 1015, "SQL statement element missing: found '' instead of "
                                    "<identifier>"),
            ("SELECT 'abc", 1013, "Unexpected end of SQL statement")]:
        rc, _, _ = odbc.native_sql(bad, 512)
        assert rc == -1, bad
        assert odbc.diagnostic() == ("42000", native, "[Kelvra ODBC]" + message), bad
    assert odbc.disconnect() == 0
    odbc.close()


def test_setup_refuses_values_it_cannot_write(emulator):
    """A line break in a value would write a setting of its own (WINHTTP=1 turns certificate
    checks off); a value longer than its field would be cut. Both are refused, and say why."""
    inst = ctypes.CDLL("libodbcinst.so.2")
    write_odbc_ini({})

    def config(attributes):
        packed = "\0".join(attributes).encode() + b"\0\0"
        return inst.SQLConfigDataSource(None, 1, b"Kelvra ODBC", packed)

    def installer_error():
        code, length = ctypes.c_uint32(), ctypes.c_ushort()
        text = ctypes.create_string_buffer(512)
        inst.SQLInstallerError(1, ctypes.byref(code), text, len(text), ctypes.byref(length))
        return code.value, text.value.decode()

    ODBC_ERROR_INVALID_KEYWORD_VALUE, ODBC_ERROR_INVALID_DSN = 8, 9
    cases = [
        (["DSN=Inj", "PWD=pw\nWINHTTP=1"], ODBC_ERROR_INVALID_KEYWORD_VALUE, "PWD holds a control"),
        (["DSN=Inj", "UID=pat\r\nWINHTTP=1"], ODBC_ERROR_INVALID_KEYWORD_VALUE, "UID holds"),
        (["DSN=Inj", "QUICKBASESERVER=h\tx"], ODBC_ERROR_INVALID_KEYWORD_VALUE, "QUICKBASESERVER"),
        (["DSN=Inj\nWINHTTP=1"], ODBC_ERROR_INVALID_DSN, "DSN holds a control"),
        (["DSN=Inj", "PWD=" + "p" * 64], ODBC_ERROR_INVALID_KEYWORD_VALUE,
         "PWD is longer than 63 characters"),
        (["DSN=" + "d" * 33], ODBC_ERROR_INVALID_DSN, "DSN is longer than 32 characters"),
    ]
    for attributes, code, saying in cases:
        assert not config(attributes), attributes
        error = installer_error()
        assert error[0] == code and saying in error[1], (attributes, error)
        ini = open(os.environ["ODBCINI"]).read()
        assert "WINHTTP" not in ini and "[Inj" not in ini, ini
    # The longest values that fit are written whole.
    assert config(["DSN=" + "d" * 32, "PWD=" + "p" * 63])
    assert "PWD=" + "p" * 63 + "\n" in open(os.environ["ODBCINI"]).read()
