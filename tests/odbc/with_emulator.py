#!/usr/bin/python3
"""Runs a test program against the QuickBase emulator: starts it on a free loopback port, gives
the program its address (KELVRA_QBEMU_SERVER) and CA file (CURL_CA_BUNDLE), with the tests' own
odbc.ini and odbcinst.ini (those of conftest), and stops it when the program ends.

    with_emulator.py [--data FIXTURE] PROGRAM [ARGS...]

The emulator serves the demo data, or FIXTURE.
"""

import os
import subprocess
import sys

# Run by hand (benchmarks), the source tree is the one this script is in.
os.environ.setdefault("KELVRA_SOURCE_DIR",
                      os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
os.environ.setdefault("KELODBC_PATH", "libkelodbc.so")

from conftest import Emulator  # noqa: E402  (reads the two variables above)

args = sys.argv[1:]
data = {}
if args[:1] == ["--data"]:
    data = {"data": args[1]}
    args = args[2:]
emulator = Emulator(**data)
os.environ["KELVRA_QBEMU_SERVER"] = emulator.server
os.environ["CURL_CA_BUNDLE"] = emulator.ca
try:
    status = subprocess.call(args)
finally:
    emulator.stop()
sys.exit(status)
