"""Clients nobody here wrote (curl, urllib) verify the emulator's certificate and read its
replies; the command line starts, refuses bad input clearly and stops on SIGTERM/SIGINT."""

import json
import os
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import unittest
import urllib.error
import urllib.request
import xml.etree.ElementTree as ET

import emuclient as E

EMU = E.SharedEmulator()
setUpModule = EMU.start
tearDownModule = EMU.stop


AUTH_BODY = (f"<qdbapi><username>{E.PAT[0]}</username><password>{E.PAT[1]}</password>"
             f"</qdbapi>")


@unittest.skipUnless(shutil.which("curl"), "curl is not installed")
class Curl(unittest.TestCase):
    def curl(self, *args):
        return subprocess.run(["curl", "-sS", *args], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=60)

    def test_verified_authenticate(self):
        for host in ("localhost", "127.0.0.1"):
            p = self.curl("--cacert", EMU.ca, "-D", "-", "-H",
                          "QUICKBASE-ACTION: API_Authenticate", "-H",
                          "Content-Type: application/xml", "--data-binary", AUTH_BODY,
                          f"https://{host}:{EMU.port}/db/main")
            self.assertEqual(p.returncode, 0, p.stderr)
            head, _, body = p.stdout.decode().partition("\r\n\r\n")
            self.assertIn("QUICKBASE-ERRCODE: 0", head)
            self.assertIn("Set-Cookie: TICKET=", head)
            root = ET.fromstring(body)
            self.assertEqual(root.findtext("userid"), E.PAT[2])

    def test_expect_continue_and_chunked_bodies(self):
        body = AUTH_BODY + " " * 4096
        for extra in (["-H", "Expect: 100-continue"], ["-H", "Transfer-Encoding: chunked"]):
            p = self.curl("--cacert", EMU.ca, *extra, "-H", "Content-Type: text/xml",
                          "--data-binary", body,
                          f"https://localhost:{EMU.port}/db/main?a=API_Authenticate")
            self.assertEqual(p.returncode, 0, p.stderr)
            self.assertEqual(ET.fromstring(p.stdout).findtext("userid"), E.PAT[2])

    def test_unverified_without_the_ca(self):
        p = self.curl(f"https://localhost:{EMU.port}/db/main?a=API_Authenticate")
        self.assertEqual(p.returncode, 60)   # peer certificate cannot be authenticated

    def test_url_form_and_keep_alive(self):
        url = (f"https://localhost:{EMU.port}/db/main?a=API_Authenticate"
               f"&username={E.PAT[0]}&password={E.PAT[1]}")
        p = self.curl("--cacert", EMU.ca, url, url)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual(p.stdout.count(b"<errcode>0</errcode>"), 2)


class Urllib(unittest.TestCase):
    def test_verified_authenticate(self):
        ctx = ssl.create_default_context(cafile=EMU.ca)
        req = urllib.request.Request(f"https://localhost:{EMU.port}/db/main",
                                     data=AUTH_BODY.encode(),
                                     headers={"QUICKBASE-ACTION": "API_Authenticate",
                                              "Content-Type": "application/xml"})
        with urllib.request.urlopen(req, context=ctx, timeout=60) as resp:
            self.assertEqual(resp.headers["QUICKBASE-ERRCODE"], "0")
            root = ET.fromstring(resp.read())
        self.assertEqual(root.findtext("userid"), E.PAT[2])
        self.assertTrue(root.findtext("ticket"))

    def test_default_trust_refuses(self):
        with self.assertRaises(urllib.error.URLError):
            urllib.request.urlopen(f"https://localhost:{EMU.port}/db/main", timeout=60)


def run_qbemu(*args, timeout=60):
    return subprocess.run([sys.executable, E.QBEMU, *args], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, timeout=timeout)


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="qbemu-cli-")

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def fixture(self, obj):
        path = os.path.join(self.tmp, "f.json")
        with open(path, "w") as fh:
            fh.write(obj if isinstance(obj, str) else json.dumps(obj))
        return path

    def refused(self, args, message):
        p = run_qbemu(*args)
        self.assertEqual(p.returncode, 2, p.stderr)
        self.assertEqual(p.stdout, b"")
        self.assertIn(message, p.stderr.decode())

    def test_bad_fixtures(self):
        user = {"id": "61523471.ab3c", "name": "P", "email": "p@x", "password": "x"}
        app = {"dbid": "bq8kx2md9", "name": "A", "tables": [
            {"dbid": "bq8kx2mea", "name": "T", "fields": [{"id": 6, "label": "D",
                                                           "field_type": "date"}],
             "records": [{"D": "2024-13-45"}]}]}
        cases = [
            ("{not json", "is not valid JSON"),
            ({"users": []}, "names no users"),
            ({"users": [dict(user, id="61523471")]}, "is not of the form"),
            ({"users": [user], "applications": [dict(app, dbid="bad-1")]}, "DBID 'bad-1'"),
            ({"users": [user], "applications": [app]},
             "applications[0].tables[0].records[0]: field 'D'"),
            ({"users": [user], "applications": [dict(app, tables=[dict(
                app["tables"][0], records=[{"Nope": 1}])])]}, "no field 'Nope'"),
            ({"users": [user], "applications": [dict(app, tables=[dict(
                app["tables"][0], fields=[{"id": 6, "field_type": "blob"}])])]},
             "unknown field_type 'blob'"),
        ]
        for obj, message in cases:
            with self.subTest(message=message):
                self.refused(["--data", self.fixture(obj)], message)
        self.refused(["--data", os.path.join(self.tmp, "missing.json")], "cannot read")

    def test_bad_options(self):
        self.refused(["--data", E.DEMO, "--tz", "Mars/Olympus"], "unknown time zone")
        self.refused(["--data", E.DEMO, "--port", "70000"], "is not a port")
        self.refused(["--data", E.DEMO, "--cert", "x.pem"], "--cert and --key go together")
        p = run_qbemu("--port", "0")
        self.assertEqual(p.returncode, 2)
        self.assertIn("--data", p.stderr.decode())

    def test_signals_stop_it(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            emu = E.Emulator(args=("--tz", "Asia/Tokyo"))  # no daylight saving time
            try:
                r = emu.call("API_GetSchema", E.APP)
                self.assertEqual(r.find("time_zone"), "(UTC+09:00) Asia/Tokyo")
                emu.proc.send_signal(sig)
                self.assertEqual(emu.proc.wait(30), 0)
            finally:
                emu.stop()

    def test_time_zone_applies_to_text_forms(self):
        emu = E.Emulator(args=("--tz", "+02:00"))
        try:
            r = emu.call("API_DoQuery", E.TASKS, {"fmt": "structured", "clist": "14",
                                                  "query": "{'3'.EX.'1'}"})
            # 2024-01-30 17:45:00 at UTC+2 is 15:45 UTC.
            self.assertEqual(r.find(".//f"), "1706629500000")
        finally:
            emu.stop()


if __name__ == "__main__":
    unittest.main()
