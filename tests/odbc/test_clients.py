"""The driver as the ODBC clients packaged by Debian use it: isql and iusql, pyodbc, Perl
DBD::ODBC, PHP odbc and PDO_ODBC, R RODBC and Ruby odbc_utf8 (scripts under clients/), against
the SQL corpus data. Each connects by data source and by connection string as Renée Müller,
lists the Maße table and its columns by its DBID, runs a SELECT with a non-ASCII literal and
reads names and values back; its output is compared byte for byte. scripts/setup installs the
clients; a missing one fails its test."""

import os
import shutil
import subprocess

import pytest

from odbc_env import DRIVER, Emulator, write_odbc_ini

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURE = os.path.join(HERE, "..", "sql", "fixture.json")
CLIENTS = os.path.join(HERE, "clients")
DSN, USER, PASSWORD = "KelvraClients", "Renée Müller", "kelvra-demo-3"
DBID = "bsqtumz2a"
SELECT = "SELECT Name, Größe, Grüße, \"Notiz 📝\" FROM bsqtumz2a WHERE Name = 'Café Zürich'"

TABLE = "SQL Tests:Maße bsqtumz2a"
COLUMNS = ["Record ID_", "Name", "Größe", "Grüße", "Notiz 📝", "Date Created", "Date Modified",
           "Record Owner", "Last Modified By"]
NAMES = ["Name", "Größe", "Grüße", "Notiz 📝"]
ROW = ["Café Zürich", "1.5", "Grüezi 👋 aus Zürich", "𝄞 Ständchen"]


def block(label, listing=True, columns=len(COLUMNS), result=len(NAMES)):
    """What a client script prints; a client that cannot show every character prints the first
    `columns` of the table and the first `result` columns of the SELECT."""
    lines = [label]
    if listing:
        lines += [f"tables\t{TABLE}", "columns\t" + "|".join(COLUMNS[:columns])]
    lines += ["names\t" + "|".join(NAMES[:result]), "row\t" + "|".join(ROW[:result])]
    return "".join(line + "\n" for line in lines)


@pytest.fixture(scope="module")
def server():
    emulator = Emulator(FIXTURE)
    os.environ["CURL_CA_BUNDLE"] = emulator.ca
    write_odbc_ini({DSN: {"Driver": "Kelvra ODBC", "QUICKBASESERVER": emulator.server}})
    yield emulator.server
    emulator.stop()


def connection_string(server):
    return f"DRIVER={DRIVER};QUICKBASESERVER={server};UID={USER};PWD={PASSWORD}"


def run(command, stdin=b"", env=None):
    if shutil.which(command[0]) is None:
        pytest.fail(f"{command[0]} is not installed (scripts/setup installs it)")
    done = subprocess.run(command, input=stdin, capture_output=True, timeout=120,
                          env=dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8", **(env or {})))
    assert done.returncode == 0, done.stderr.decode(errors="replace")
    return done.stdout


def script(interpreter, name, server, env=None):
    return run([interpreter, os.path.join(CLIENTS, name), DSN, USER, PASSWORD,
                connection_string(server)], env=env)


def test_perl_dbd_odbc(server):
    assert script("perl", "dbd_odbc.pl", server) == (block("dsn") + block("dsn-less")).encode()


def test_php_odbc_and_pdo_odbc(server):
    expected = (block("odbc dsn") + block("odbc dsn-less") + block("pdo dsn", False) +
                block("pdo dsn-less", False))
    assert script("php", "php_odbc.php", server) == expected.encode()


def test_r_rodbc(server):
    assert script("Rscript", "rodbc.R", server) == (block("dsn") + block("dsn-less")).encode()


def test_ruby_odbc_utf8(server):
    # Debian's ruby-odbc looks for the driver manager as libodbc.so (a development link) or
    # libodbc.so.1; unixODBC 2.3 is libodbc.so.2.
    # It garbles characters outside the Basic Multilingual Plane on its own: it reads the first
    # four columns of the table and selects two.
    output = script("ruby", "ruby_odbc_utf8.rb", server, {"LD_PRELOAD": "libodbc.so.2"})
    expected = block("dsn", columns=4, result=2) + block("dsn-less", columns=4, result=2)
    assert output == expected.encode()


def test_pyodbc(server):
    import pyodbc
    output = ""
    for label, text in [("dsn", f"DSN={DSN};UID={USER};PWD={PASSWORD}"),
                        ("dsn-less", connection_string(server))]:
        connection = pyodbc.connect(text, autocommit=True)
        cursor = connection.cursor()
        tables = [r.table_name for r in cursor.tables(table=DBID)]
        columns = [r.column_name for r in cursor.columns(table=DBID)]
        cursor.execute(SELECT)
        names = [d[0] for d in cursor.description]
        rows = ["|".join(str(v) for v in row) for row in cursor.fetchall()]
        output += (f"{label}\ntables\t{'|'.join(tables)}\ncolumns\t{'|'.join(columns)}\n"
                   f"names\t{'|'.join(names)}\n" + "".join(f"row\t{r}\n" for r in rows))
        connection.close()
    assert output == block("dsn") + block("dsn-less")


def isql_fields(output, column):
    """Field `column` of every line after the header, as isql -d| -c prints a result."""
    return [line.split(b"|")[column] for line in output.splitlines()[1:]]


def test_isql(server):
    # isql takes the ANSI calls: UTF-8 in and out as it is.
    for way in ([DSN, USER, PASSWORD], [connection_string(server), "-k"]):
        command = ["isql", *way, "-b", "-d|", "-c"]
        assert TABLE.encode() in isql_fields(run(command, b"help\n"), 2)
        assert isql_fields(run(command, f"help {DBID}\n".encode()), 3) == [
            c.encode() for c in COLUMNS]
        assert run(command, SELECT.encode() + b"\n") == (
            "|".join(NAMES) + "\n" + "|".join(ROW) + "\n").encode()


def test_iusql(server):
    # iusql takes the wide calls, but widens its input a byte at a time with the sign (0xE9
    # becomes U+FFE9) and narrows its output to the low byte of each unit: only ASCII goes in,
    # and Latin-1 comes out (the halves of a surrogate pair as two bytes of no meaning). So it
    # signs in as Pat Doe, selects with ASCII only, and reads names and values as Latin-1 bytes.
    # DSN-less: iusql has no -k; an empty data source name lets the rest of the string follow.
    for way in ([DSN, "pat.doe@example.com", "kelvra-demo"],
                [f";DRIVER={DRIVER};QUICKBASESERVER={server};UID=pat.doe@example.com;"
                 f"PWD=kelvra-demo"]):
        command = ["iusql", *way, "-b", "-d|", "-c"]
        assert TABLE.encode("latin-1") in isql_fields(run(command, b"help\n"), 2)
        assert isql_fields(run(command, f"help {DBID}\n".encode()), 3)[2:4] == [
            "Größe".encode("latin-1"), "Grüße".encode("latin-1")]
        output = run(command, b"SELECT * FROM bsqtumz2a WHERE Name LIKE 'Caf%'\n")
        header, row = output.splitlines()
        assert header.split(b"|")[1:4] == [b"Name", "Größe".encode("latin-1"),
                                           "Grüße".encode("latin-1")]
        assert row.split(b"|")[1:4] == ["Café Zürich".encode("latin-1"), b"1.5",
                                        "Grüezi =K aus Zürich".encode("latin-1")]
