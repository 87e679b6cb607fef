#!/usr/bin/env python3
"""Writes a fixture with N generated records, for benchmarks:

    python3 tools/qbemu/gen_fixture.py --records 100000 --out /tmp/big.json [--from demo.json]

The fixture holds the users (and applications) of --from (default: demo.json beside this
script) plus the application 'Kelvra Bench' whose table 'Items' holds the N records in the
fixture's readable forms. The emulator can also make the same records in memory at start:
qbemu.py --data demo.json --bench-records N."""

import argparse
import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from emulator.generate import bench_application  # noqa: E402


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--records", type=int, required=True, help="number of records")
    p.add_argument("--out", required=True, help="fixture file to write ('-': standard output)")
    p.add_argument("--from", dest="base", default=os.path.join(HERE, "demo.json"),
                   help="fixture whose users and applications come along")
    args = p.parse_args()
    if args.records < 0:
        p.error("--records must not be negative")
    with open(args.base, encoding="utf-8") as fh:
        data = json.load(fh)
    data.setdefault("applications", []).append(
        bench_application(args.records, readable=True, users=data.get("users") or []))
    text = json.dumps(data, ensure_ascii=False, separators=(",", ":"))
    if args.out == "-":
        sys.stdout.write(text)
    else:
        with open(args.out, "w", encoding="utf-8") as fh:
            fh.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
