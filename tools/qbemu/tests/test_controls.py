"""The test controls under /_emu/: the request log with connection ids, every armed fault,
ticket expiry, the records view and reset; keep-alive and concurrent connections."""

import http.client
import threading
import time
import unittest

import emuclient as E

EMU = E.SharedEmulator()
setUpModule = EMU.start
tearDownModule = EMU.stop


class Base(unittest.TestCase):
    def setUp(self):
        EMU.reset()


class RequestLog(Base):
    def test_entries_and_keep_alive(self):
        conn = EMU.connection()
        ticket = EMU.ticket()
        EMU.control("DELETE", "log")
        body = E.build_body({"ticket": ticket, "query": "{'3'.EX.'1'}"})
        for _ in range(3):
            EMU.request("POST", f"/db/{E.TASKS}?a=API_DoQuery", body,
                        {"Content-Type": "text/xml", "User-Agent": "Kelvra ODBC/test (Linux)",
                         "Cookie": f"TICKET={ticket};"}, conn=conn)
        other = EMU.connection()
        EMU.call("API_GetSchema", E.TASKS, conn=other)
        log = EMU.log()
        self.assertEqual(len(log), 4)
        first = log[0]
        self.assertEqual((first["method"], first["action"], first["target"]),
                         ("POST", "API_DoQuery", E.TASKS))
        self.assertEqual(first["path"], f"/db/{E.TASKS}?a=API_DoQuery")
        self.assertEqual(first["headers"]["user-agent"], "Kelvra ODBC/test (Linux)")
        self.assertEqual(first["headers"]["content-type"], "text/xml")
        self.assertEqual(first["headers"]["cookie"], f"TICKET={ticket};")
        self.assertIn("<query>{'3'.EX.'1'}</query>", first["body"])
        self.assertEqual((first["status"], first["errcode"]), (200, 0))
        # One connection for the first three requests, another for the fourth.
        self.assertEqual({e["conn"] for e in log[:3]}, {first["conn"]})
        self.assertEqual([e["conn_request"] for e in log[:3]], [1, 2, 3])
        self.assertNotEqual(log[3]["conn"], first["conn"])
        self.assertEqual(log[3]["headers"]["quickbase-action"], "API_GetSchema")
        self.assertEqual([e["seq"] for e in log], sorted(e["seq"] for e in log))
        since = EMU.control("GET", f"log?since={log[1]['seq']}")[1]["entries"]
        self.assertEqual([e["seq"] for e in since], [log[2]["seq"], log[3]["seq"]])
        # Controls are not logged; clearing empties the log.
        self.assertEqual(EMU.control("POST", "log/clear")[1], {"cleared": True})
        self.assertEqual(EMU.log(), [])
        conn.close()
        other.close()

    def test_concurrent_connections(self):
        results = []

        def worker():
            conn = EMU.connection()
            for _ in range(5):
                r = EMU.call("API_DoQuery", E.TASKS, {"clist": "3", "fmt": "structured"},
                             conn=conn)
                results.append(len(r.root.findall(".//record")))
            conn.close()
        EMU.ticket()
        EMU.control("DELETE", "log")
        threads = [threading.Thread(target=worker) for _ in range(6)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(60)
        self.assertEqual(results, [12] * 30)
        self.assertEqual(len({e["conn"] for e in EMU.log()}), 6)


class Faults(Base):
    def arm(self, **fault):
        status, reply = EMU.control("POST", "faults", fault)
        self.assertEqual(status, 200, reply)
        return reply

    def test_error_for_next_calls_of_an_action(self):
        self.arm(kind="error", action="API_DoQuery", errcode=14, count=2)
        self.assertEqual(EMU.call("API_GetSchema", E.TASKS).errcode, 0)
        codes = [EMU.call("API_DoQuery", E.TASKS).errcode for _ in range(3)]
        self.assertEqual(codes, [14, 14, 0])
        r = self.arm(kind="error", action="api_getschema", dbid=E.PROJECTS, errcode=75,
                     errdetail="too big")
        self.assertEqual(r["armed"][0]["count"], 1)
        self.assertEqual(EMU.call("API_GetSchema", E.TASKS).errcode, 0)
        r = EMU.call("API_GetSchema", E.PROJECTS)
        self.assertEqual((r.errcode, r.find("errtext"), r.find("errdetail")),
                         (75, "View too large", "too big"))
        self.assertEqual(r.header("QUICKBASE-ERRCODE"), "75")
        self.assertEqual(EMU.log()[-1]["fault"], "error")
        self.assertEqual(EMU.control("GET", "faults")[1]["faults"], [])

    def test_error_4_and_a_client_retry(self):
        """Code 4 for the next call; the client's retry with user name and password works."""
        self.arm(kind="error", errcode=4)
        r = EMU.call("API_DoQuery", E.TASKS)
        self.assertEqual((r.errcode, r.find("errtext")), (4, "Bad ticket"))
        r = EMU.call("API_DoQuery", E.TASKS, [("username", E.PAT[0]), ("password", E.PAT[1])],
                     auth=None)
        self.assertEqual(r.errcode, 0)

    def test_ticket_expiry(self):
        ticket = EMU.ticket(E.SAM)
        pat = EMU.ticket(E.PAT)
        self.assertEqual(EMU.control("POST", "tickets/expire", {"user": E.SAM[0]})[1],
                         {"expired": 1})
        r = EMU.call("API_GetSchema", E.TASKS, auth=E.SAM)
        self.assertEqual(r.errcode, 4)
        self.assertEqual(EMU.call("API_GetSchema", E.TASKS, auth=("cookie", E.SAM)).errcode, 4)
        self.assertEqual(EMU.call("API_GetSchema", E.TASKS, {"ticket": pat}, auth=None).errcode,
                         0)
        EMU.control("POST", "tickets/expire")
        self.assertEqual(EMU.call("API_GetSchema", E.TASKS, auth=E.PAT).errcode, 4)
        EMU._ticket.clear()
        self.assertNotEqual(EMU.ticket(E.SAM), ticket)

    def test_max_records(self):
        self.arm(kind="max_records", limit=4)
        r = EMU.call("API_DoQuery", E.TASKS, {"fmt": "structured", "options": "num-5"})
        self.assertEqual(r.errcode, 75)
        r = EMU.call("API_DoQuery", E.TASKS, {"fmt": "structured", "options": "num-4.skp-4"})
        self.assertEqual(len(r.root.findall(".//record")), 4)
        r = EMU.call("API_GenResultsTable", E.TASKS, {"clist": "3", "options": "csv"})
        self.assertEqual(r.header("QUICKBASE-ERRCODE"), "75")
        # It stays until the faults are cleared.
        self.assertEqual(EMU.call("API_DoQuery", E.TASKS, {"fmt": "structured"}).errcode, 75)
        EMU.control("DELETE", "faults")
        self.assertEqual(EMU.call("API_DoQuery", E.TASKS, {"fmt": "structured"}).errcode, 0)

    def test_http_status(self):
        self.arm(kind="http_status", status=503, action="API_GetSchema")
        r = EMU.call("API_GetSchema", E.TASKS)
        self.assertEqual(r.status, 503)
        self.assertIsNone(r.header("QUICKBASE-ERRCODE"))
        self.assertEqual(EMU.call("API_GetSchema", E.TASKS).status, 200)

    def test_not_quickbase(self):
        self.arm(kind="not_quickbase")
        r = EMU.call("API_GetSchema", E.TASKS)
        self.assertEqual(r.status, 200)
        self.assertIsNone(r.header("QUICKBASE-ERRCODE"))
        self.assertIn(b"<html>", r.body)
        self.arm(kind="not_quickbase", variant="no_errcode")
        r = EMU.call("API_GetSchema", E.TASKS)
        self.assertEqual(r.root.tag, "qdbapi")
        self.assertIsNone(r.root.find("errcode"))

    def test_malformed_xml(self):
        self.arm(kind="malformed_xml", action="API_DoQuery")
        r = EMU.call("API_DoQuery", E.TASKS, {"fmt": "structured"})
        self.assertEqual(r.header("QUICKBASE-ERRCODE"), "0")
        self.assertTrue(r.body.startswith(b'<?xml version="1.0" ?>\n<qdbapi>'))
        with self.assertRaises(Exception):
            r.root

    def test_delay(self):
        self.arm(kind="delay", seconds=0.3, action="API_GetSchema")
        start = time.monotonic()
        r = EMU.call("API_GetSchema", E.TASKS)
        self.assertGreaterEqual(time.monotonic() - start, 0.3)
        self.assertEqual(r.errcode, 0)
        self.assertEqual(EMU.log()[-1]["delay"], 0.3)

    def test_disconnect(self):
        self.arm(kind="disconnect", action="API_GetSchema")
        conn = EMU.connection()
        with self.assertRaises((http.client.HTTPException, OSError)):
            EMU.call("API_GetSchema", E.TASKS, conn=conn)
        conn.close()
        self.assertEqual(EMU.call("API_GetSchema", E.TASKS).errcode, 0)

    def test_stream(self):
        # A complete reply built from its parts, and one that never ends.
        self.arm(kind="stream", action="API_GrantedDBs", head="<qdbapi><errcode>0</errcode>",
                 unit="<dbinfo/>", bytes=9 * 1000, tail="</qdbapi>")
        r = EMU.call("API_GrantedDBs")
        self.assertEqual(r.header("Transfer-Encoding"), "chunked")
        self.assertEqual(r.header("QUICKBASE-ERRCODE"), "0")
        self.assertEqual(len(r.root.findall("dbinfo")), 1000)
        self.arm(kind="stream", unit="x", head="<qdbapi><dbname>", errcode=7)
        conn = EMU.connection()
        conn.request("POST", "/db/main?a=API_GrantedDBs", body=b"<qdbapi/>")
        resp = conn.getresponse()
        self.assertEqual(resp.getheader("QUICKBASE-ERRCODE"), "7")
        received = b""
        while len(received) < 1 << 20:
            received += resp.read1(1 << 16)
        self.assertTrue(received.startswith(b"<qdbapi><dbname>xxx"))
        conn.close()
        # One byte per interval.
        self.arm(kind="stream", head="<qdbapi/>", bytes=0, interval=0.05)
        start = time.monotonic()
        self.assertEqual(EMU.call("API_GrantedDBs").body, b"<qdbapi/>")
        self.assertGreaterEqual(time.monotonic() - start, 0.4)

    def test_download_faults(self):
        self.arm(kind="error", action="download", errcode=4)
        r = EMU.request("GET", f"/up/{E.TASKS}/a/r1/e16/v0",
                        headers={"Cookie": "TICKET=" + EMU.ticket()})
        self.assertEqual(r.header("QUICKBASE-ERRCODE"), "4")

    def test_bad_fault_specs(self):
        for fault in ({"kind": "explode"}, {"kind": "error"}, {"kind": "http_status",
                                                               "status": 99},
                      {"kind": "stream", "head": "<a/>"}):
            self.assertEqual(EMU.control("POST", "faults", fault)[0], 400)


class Records(Base):
    def test_records_view_and_reset(self):
        recs = EMU.records(E.PROJECTS)
        self.assertEqual(sorted(recs), [1, 2, 3, 4, 5])
        v = recs[1]["values"]
        self.assertEqual(v["6"], "Website Relaunch")
        self.assertEqual(v["8"], "2024-01-08")
        self.assertEqual(v["21"], "2024-01-08 09:30:00")
        self.assertEqual(v["9"], "48500")
        self.assertEqual(v["12"], True)
        self.assertEqual(v["13"], "Café Zürich")
        self.assertEqual(v["20"]["name"], "charter.txt")
        self.assertEqual(recs[1]["wire"]["8"], "1704672000000")
        EMU.call("API_PurgeRecords", E.PROJECTS)
        self.assertEqual(EMU.records(E.PROJECTS), {})
        ticket = EMU.ticket()
        EMU.control("POST", "reset")
        self.assertEqual(sorted(EMU.records(E.PROJECTS)), [1, 2, 3, 4, 5])
        # Signed-in clients stay signed in across a reset.
        self.assertEqual(EMU.call("API_GetSchema", E.TASKS, {"ticket": ticket},
                                  auth=None).errcode, 0)
        self.assertEqual(EMU.control("GET", "tables/bq8kx2zzz/records")[0], 400)
        self.assertEqual(EMU.control("GET", "nothing")[0], 404)
        info = EMU.control("GET", "info")[1]
        self.assertEqual(info["applications"][0]["tables"][1],
                         {"dbid": E.TASKS, "name": "Tasks", "records": 12})


if __name__ == "__main__":
    unittest.main()
