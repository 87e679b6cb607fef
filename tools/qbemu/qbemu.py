#!/usr/bin/env python3
"""qbemu: an emulator of the QuickBase XML API on loopback. See README.md beside this file.

    python3 tools/qbemu/qbemu.py --data tools/qbemu/demo.json [--port 0] [--host 127.0.0.1]
                                 [--tz UTC] [--ca-out ca.pem] [--bench-records N]
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from emulator.cli import main  # noqa: E402

if __name__ == "__main__":
    sys.exit(main())
