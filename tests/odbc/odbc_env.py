"""What the tests through the unixODBC driver manager share: an emulator of QuickBase on a free
loopback port, and odbc.ini/odbcinst.ini files of the tests' own (never the machine's), set up
before pyodbc loads the driver manager. Imported by the conftest.py files of tests/odbc and
tests/sql."""

import atexit
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
    def __init__(self, data=DEMO):
        self.ca = os.path.join(CONFIG_DIR, "qbemu-ca.pem")
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", QBEMU, "--data", data, "--port", "0", "--ca-out", self.ca],
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


def emulator_control(emulator, method, path):
    """A request to the emulator's test controls (JSON in and out)."""
    import json
    import ssl
    import urllib.request
    context = ssl.create_default_context(cafile=emulator.ca)
    request = urllib.request.Request(f"https://{emulator.server}{path}", method=method)
    with urllib.request.urlopen(request, context=context, timeout=30) as reply:
        body = reply.read()
    return json.loads(body) if body else None
