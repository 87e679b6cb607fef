"""Large data: 100,000 generated records served in 1,024-record DoQuery pages; the fixture
generator script writes the same records in the fixture's readable forms."""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import emuclient as E

BENCH = "bqbench3t"
N = 100_000
EMU = None


def setUpModule():
    global EMU
    start = time.monotonic()
    EMU = E.Emulator(args=("--bench-records", str(N)))
    print(f"\nqbemu with {N} records started in {time.monotonic() - start:.2f} s",
          file=sys.stderr)


def tearDownModule():
    EMU.stop()


def page(skip, query="", slist="3", order="A", clist="3.6.7.9.10.11.12.13.14.15"):
    start = time.monotonic()
    r = EMU.call("API_DoQuery", BENCH, {"fmt": "structured", "query": query, "clist": clist,
                                        "slist": slist,
                                        "options": f"num-1024.skp-{skip}.sortorder-{order}"})
    elapsed = time.monotonic() - start
    assert r.errcode == 0, r.text
    return r, elapsed


class LargeTable(unittest.TestCase):
    def test_paging_through_everything(self):
        r = EMU.call("API_DoQueryCount", BENCH)
        self.assertEqual(r.find("numMatches"), str(N))
        seen = []
        times = []
        for skip in range(0, N, 1024):
            r, elapsed = page(skip, clist="3")
            times.append(elapsed)
            seen += [int(f.text) for f in r.root.iter("f")]
        self.assertEqual(seen, list(range(1, N + 1)))
        print(f"\n{len(times)} pages of 1024: slowest {max(times) * 1000:.0f} ms, mean "
              f"{sum(times) / len(times) * 1000:.1f} ms", file=sys.stderr)

    def test_filtered_sorted_pages(self):
        query = "{'14'.EX.'Open'}AND{'7'.GT.'5000'}"
        r = EMU.call("API_DoQueryCount", BENCH, {"query": query})
        total = int(r.find("numMatches"))
        self.assertGreater(total, 1024 * 2)
        first, t1 = page(0, query, slist="9.3", order="DA")
        second, t2 = page(1024, query, slist="9.3", order="DA")
        records = first.root.findall(".//record") + second.root.findall(".//record")
        self.assertEqual(len(records), 2048)
        keys = []
        for rec in records:
            f = {x.get("id"): x.text for x in rec}
            self.assertEqual(f["14"], "Open")
            self.assertGreater(float(f["7"]), 5000)
            keys.append((-int(f["9"]), int(f["3"])))
        self.assertEqual(keys, sorted(keys))
        print(f"\nfiltered pages: first {t1 * 1000:.0f} ms, second {t2 * 1000:.0f} ms",
              file=sys.stderr)


class Generator(unittest.TestCase):
    def test_fixture_file_matches_in_memory_records(self):
        tmp = tempfile.mkdtemp(prefix="qbemu-gen-")
        try:
            path = os.path.join(tmp, "big.json")
            subprocess.run([sys.executable, os.path.join(E.QBEMU_DIR, "gen_fixture.py"),
                            "--records", "500", "--out", path], check=True, timeout=120)
            with open(path, encoding="utf-8") as fh:
                data = json.load(fh)
            self.assertEqual(len(data["applications"][-1]["tables"][0]["records"]), 500)
            emu = E.Emulator(fixture=path)
            try:
                clist = "3.6.7.8.9.10.11.12.13.14.15"
                params = {"fmt": "structured", "clist": clist, "slist": "3",
                          "options": "num-500"}
                from_file = emu.call("API_DoQuery", BENCH, params)
                in_memory = EMU.call("API_DoQuery", BENCH, params)
                a = [[f.text for f in r] for r in from_file.root.iter("record")]
                b = [[f.text for f in r] for r in in_memory.root.iter("record")]
                self.assertEqual(len(a), 500)
                self.assertEqual(a, b)
            finally:
                emu.stop()
        finally:
            shutil.rmtree(tmp)


if __name__ == "__main__":
    unittest.main()
