"""Result files leave nothing in the temporary directory: while a grouped, sorted or DISTINCT
result is open its files are open in $TMPDIR without a name, and the directory stays empty
after the results end, after the statement is freed, after disconnecting, and after the
process is killed between statements."""

import os
import signal
import subprocess
import sys
import tempfile

import pyodbc

from conftest import corpus_emulator
from odbc_env import connection_string

QUERIES = [
    "SELECT Category, COUNT(*) FROM bsqtitm2a GROUP BY Category ORDER BY COUNT(*) DESC",
    "SELECT DISTINCT {fn UCASE(Name)} FROM bsqtitm2a ORDER BY {fn UCASE(Name)}",
    "SELECT Name FROM bsqtitm2a ORDER BY (Qty * 2)",
]

CHILD = """
import sys, pyodbc
cursor = pyodbc.connect(sys.argv[1], autocommit=True).cursor()
cursor.execute(sys.argv[2]).fetchone()
print("open", flush=True)
sys.stdin.read()
"""


def files_in(pid, directory):
    """What the process holds open in the directory, as /proc shows the links."""
    held = []
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            target = os.readlink(f"/proc/{pid}/fd/{fd}")
        except OSError:
            continue  # closed meanwhile
        if target.startswith(directory + "/"):
            held.append(target)
    return held


def test_no_file_left_in_process(monkeypatch):
    text = connection_string(corpus_emulator())  # the emulator keeps its own files elsewhere
    directory = tempfile.mkdtemp(prefix="kelvra-tmp-")
    monkeypatch.setenv("TMPDIR", directory)
    connection = pyodbc.connect(text, autocommit=True)
    for sql in QUERIES:
        cursor = connection.cursor()
        cursor.execute(sql).fetchone()
        held = files_in(os.getpid(), directory)
        assert held and all(h.endswith(" (deleted)") for h in held), (sql, held)
        assert os.listdir(directory) == []
        cursor.fetchall()
        assert os.listdir(directory) == []
        cursor.close()
        assert files_in(os.getpid(), directory) == [], sql
    cursor = connection.cursor()
    cursor.execute(QUERIES[0]).fetchone()
    connection.close()  # the open statement is freed with its connection
    assert files_in(os.getpid(), directory) == [] and os.listdir(directory) == []
    os.rmdir(directory)


def test_no_file_left_when_killed():
    directory = tempfile.mkdtemp(prefix="kelvra-tmp-")
    child = subprocess.Popen(
        [sys.executable, "-c", CHILD, connection_string(corpus_emulator()), QUERIES[1]],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
        env=dict(os.environ, TMPDIR=directory))
    try:
        assert child.stdout.readline() == "open\n"
        assert files_in(child.pid, directory), "the result file is not in $TMPDIR"
    finally:
        child.send_signal(signal.SIGKILL)
        child.wait()
    assert os.listdir(directory) == []
    os.rmdir(directory)
