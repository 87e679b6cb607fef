"""The session's emulator of QuickBase, serving the demo data, for the tests of this directory."""

import os

import pytest

from odbc_env import Emulator


@pytest.fixture(scope="session")
def emulator():
    emu = Emulator()
    # The driver verifies the emulator's certificate against the CA it wrote.
    os.environ["CURL_CA_BUNDLE"] = emu.ca
    yield emu
    emu.stop()
