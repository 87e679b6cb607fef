"""The read calls over HTTPS against the demo fixture: each reply's structure and encodings as
quickbase-api.md describes them, credentials, request forms and error codes."""

import csv
import io
import unittest

import emuclient as E

EMU = E.SharedEmulator()
setUpModule = EMU.start
tearDownModule = EMU.stop


def fields_of(r):
    return {f.get("id"): f for f in r.root.iter("field")}


class Envelope(unittest.TestCase):
    def test_every_reply_carries_the_error_headers(self):
        replies = [
            EMU.call("API_GetSchema", E.TASKS),
            EMU.call("API_GetSchema", "bq8kx2zzz"),
            EMU.call("API_GenResultsTable", E.TASKS, {"clist": "3", "options": "csv"}),
            EMU.request("GET", f"/up/{E.TASKS}/a/r1/e16/v0",
                        headers={"Cookie": "TICKET=" + EMU.ticket()}),
            EMU.request("GET", "/nowhere"),
        ]
        for r, code in zip(replies, ["0", "32", "0", "0", "102"]):
            self.assertEqual(r.header("QUICKBASE-ERRCODE"), code)
            self.assertTrue(r.header("QUICKBASE-ERRTEXT"))

    def test_action_echoed_as_spelled_from_header_a_or_act(self):
        for style in ("header", "a", "act"):
            r = EMU.call("api_getSchema", E.TASKS, style=style)
            self.assertEqual(r.find("action"), "api_getSchema")
            self.assertEqual(r.errcode, 0)
            self.assertEqual(r.root.tag, "qdbapi")

    def test_url_form_get(self):
        r = EMU.request("GET", f"/db/main?a=API_Authenticate&username={E.PAT[0]}"
                               f"&password={E.PAT[1]}")
        self.assertEqual(r.errcode, 0)
        t = r.find("ticket")
        r = EMU.request("GET", f"/db/{E.TASKS}?a=API_DoQuery&query=%7B3.EX.2%7D&clist=3.6"
                               f"&fmt=structured&ticket={t}")
        self.assertEqual([f.text for f in r.root.iter("f")], ["2", "Choose CMS"])

    def test_udata_echo_and_errdetail(self):
        r = EMU.call("API_GetSchema", "bq8kx2zzz", {"udata": "x<1>"})
        self.assertEqual(r.find("udata"), "x<1>")
        self.assertEqual(r.errcode, 32)
        self.assertIn("bq8kx2zzz", r.find("errdetail"))

    def test_errors(self):
        cases = [
            (("API_DoQuery", E.APP), 14),            # application DBID for a table call
            (("API_DoQuery", "main"), 14),
            (("API_GetSchema", "main"), 14),
            (("API_DoQuery", "bq8kx2zzz"), 32),      # unknown DBID
            (("API_NoSuchCall", E.TASKS), 5),
        ]
        for (action, target), code in cases:
            with self.subTest(action=action, target=target):
                self.assertEqual(EMU.call(action, target).errcode, code)
        r = EMU.call("API_DoQuery", E.TASKS, {"clist": "3.99"})
        self.assertEqual(r.errcode, 31)
        r = EMU.call("API_DoQuery", E.TASKS, {"query": "{'6'.EX.'x'"})
        self.assertEqual(r.errcode, 2)
        r = EMU.call("API_DoQuery", E.TASKS, {"options": "num-x"})
        self.assertEqual(r.errcode, 2)
        r = EMU.call("API_DoQuery", E.TASKS, body=b"<qdbapi><ticket>")
        self.assertEqual(r.errcode, 11)
        self.assertEqual(r.header("QUICKBASE-ERRCODE"), "11")

    def test_credentials(self):
        self.assertEqual(EMU.call("API_GetSchema", E.TASKS, auth=("cookie", E.PAT)).errcode, 0)
        self.assertEqual(EMU.call("API_GetSchema", E.TASKS, auth=None).errcode, 22)
        r = EMU.call("API_GetSchema", E.TASKS, {"username": E.SAM[0], "password": E.SAM[1]},
                     auth=None)
        self.assertEqual(r.errcode, 0)
        r = EMU.call("API_GetSchema", E.TASKS, {"ticket": "9_bogus_ab3c_a_x"}, auth=None)
        self.assertEqual((r.errcode, r.find("errtext")), (4, "Bad ticket"))
        # A bad ticket followed by user name and password (a client's retry) is accepted.
        r = EMU.call("API_GetSchema", E.TASKS, [("ticket", "9_bogus"), ("username", E.PAT[0]),
                                                 ("password", E.PAT[1])], auth=None)
        self.assertEqual(r.errcode, 0)
        # The guest may not see the projects application.
        self.assertEqual(EMU.call("API_GetSchema", E.TASKS, auth=E.GUEST).errcode, 2)
        self.assertEqual(EMU.call("API_GetSchema", E.CONTACTS, auth=E.GUEST).errcode, 0)


class Authenticate(unittest.TestCase):
    def test_ticket_userid_and_cookie(self):
        r = EMU.call("API_Authenticate", "main", {"username": E.PAT[0], "password": E.PAT[1],
                                                  "hours": "2"}, auth=None)
        self.assertEqual(r.errcode, 0)
        ticket = r.find("ticket")
        self.assertRegex(ticket, r"^\d_[a-z2-9]+_[a-z0-9]+_[a-z]_[a-z2-9]+$")
        self.assertEqual(r.find("userid"), E.PAT[2])
        self.assertEqual(r.header("Set-Cookie").split(";")[0], "TICKET=" + ticket)
        # A ticket gets a fresh ticket; by user name too.
        r2 = EMU.call("API_Authenticate", "main", {"ticket": ticket}, auth=None)
        self.assertEqual(r2.find("userid"), E.PAT[2])
        self.assertNotEqual(r2.find("ticket"), ticket)
        r3 = EMU.call("API_Authenticate", "main", {"username": "samlee", "password": E.SAM[1]},
                      auth=None)
        self.assertEqual(r3.find("userid"), E.SAM[2])

    def test_wrong_password(self):
        r = EMU.call("API_Authenticate", "main", {"username": E.PAT[0], "password": "nope"},
                     auth=None)
        self.assertEqual((r.errcode, r.find("errtext")), (20, "Unknown username/password"))
        self.assertIsNone(r.find("ticket"))
        self.assertIsNone(r.header("Set-Cookie"))
        self.assertEqual(r.header("QUICKBASE-ERRCODE"), "20")


class Schema(unittest.TestCase):
    def test_application(self):
        r = EMU.call("API_GetSchema", E.APP)
        self.assertEqual(r.errcode, 0)
        self.assertEqual(r.find("table/name"), "Kelvra Projects")
        self.assertEqual(r.find("table/original/app_id"), E.APP)
        self.assertEqual(r.find("time_zone"), "(UTC+00:00) UTC")
        self.assertEqual(r.find("date_format"), "MM-DD-YYYY")
        ch = [(c.get("name"), c.text) for c in r.root.findall("table/chdbids/chdbid")]
        self.assertEqual(ch, [("_dbid_projects", E.PROJECTS), ("_dbid_tasks", E.TASKS),
                              ("_dbid_team_members", E.MEMBERS)])
        var = {v.get("name"): v.text for v in r.root.findall("table/variables/var")}
        self.assertEqual(var["KELVRA_TEXT_SIZE_bq8kx2mea_11"], "4000")
        self.assertEqual(r.root.findall("table/fields/field"), [])

    def test_table(self):
        r = EMU.call("API_GetSchema", E.PROJECTS)
        t = r.root.find("table")
        self.assertIsNone(t.find("chdbids"))
        self.assertEqual(t.findtext("original/table_id"), E.PROJECTS)
        self.assertEqual(t.findtext("original/app_id"), E.APP)
        self.assertEqual(t.findtext("original/key_fid"), "3")
        self.assertEqual(t.findtext("original/next_record_id"), "6")
        self.assertEqual(t.findtext("original/next_field_id"), "22")
        self.assertEqual(t.findtext("variables/var[@name='TaxRate']"), "0.07")
        self.assertEqual([q.findtext("qyname") for q in t.findall("queries/query")],
                         ["List All", "List Changes"])
        ids = [f.get("id") for f in t.findall("fields/field")]
        self.assertEqual(ids[0], "3")
        self.assertEqual(ids[-4:], ["1", "2", "4", "5"])
        f = fields_of(r)
        self.assertEqual((f["3"].get("field_type"), f["3"].get("base_type"), f["3"].get("role"),
                          f["3"].get("mode")), ("recordid", "int32", "recordid", "virtual"))
        self.assertEqual(f["1"].get("role"), "created")
        self.assertEqual(f["5"].get("role"), "modifier")
        self.assertEqual(f["6"].findtext("label"), "Name")
        self.assertEqual(f["6"].findtext("required"), "1")
        self.assertEqual(f["6"].findtext("num_lines"), "1")
        self.assertEqual(f["11"].findtext("num_lines"), "6")
        self.assertEqual(f["9"].get("field_type"), "currency")
        self.assertEqual(f["9"].get("base_type"), "float")
        self.assertEqual(f["9"].findtext("decimal_places"), "2")
        self.assertIsNone(f["14"].find("decimal_places"))
        self.assertEqual([c.text for c in f["7"].findall("choices/choice")],
                         ["Planned", "Active", "On hold", "Done"])
        self.assertEqual(f["8"].get("base_type"), "int64")
        self.assertEqual(f["12"].get("base_type"), "bool")
        self.assertEqual(f["10"].get("base_type"), "int32")
        self.assertEqual((f["18"].get("field_type"), f["18"].get("mode")), ("dblink", "virtual"))
        self.assertEqual(f["18"].findtext("target_dbid"), E.TASKS)
        self.assertEqual(f["19"].get("mode"), "virtual")
        self.assertTrue(f["19"].findtext("formula").startswith("[Budget]"))
        for fid in ("15", "16", "17", "20"):
            self.assertEqual(f[fid].get("base_type"), "text")

    def test_types_of_tasks(self):
        f = fields_of(EMU.call("API_GetSchema", E.TASKS))
        expect = {"8": ("text", "text"), "11": ("duration", "int64"),
                  "13": ("timeofday", "int64"), "14": ("timestamp", "int64"),
                  "16": ("file", "text"), "18": ("rating", "float"),
                  "19": ("multitext", "text"), "20": ("multiuserid", "text")}
        for fid, (ft, bt) in expect.items():
            self.assertEqual((f[fid].get("field_type"), f[fid].get("base_type")), (ft, bt))
        self.assertEqual(f["8"].get("mode"), "lookup")
        self.assertEqual((f["8"].findtext("lutfid"), f["8"].findtext("lusfid")), ("7", "6"))
        self.assertEqual(f["7"].findtext("foreignkey"), "1")


class FindAndGranted(unittest.TestCase):
    def test_find_db_by_name(self):
        r = EMU.call("API_FindDBByName", "main", {"dbname": "Kelvra Projects"})
        self.assertEqual([d.text for d in r.root.findall("dbid")], [E.APP])
        # An application with exactly one table yields the table unless ParentsOnly is set.
        r = EMU.call("API_FindDBByName", "main", {"dbname": "kelvra contacts"})
        self.assertEqual(r.find("dbid"), E.CONTACTS)
        r = EMU.call("API_FindDBByName", "main", {"dbname": "Kelvra Contacts",
                                                  "ParentsOnly": "1"})
        self.assertEqual(r.find("dbid"), E.CONTACTS_APP)
        self.assertEqual(EMU.call("API_FindDBByName", "main", {"dbname": "Nope"}).errcode, 2)
        self.assertEqual(EMU.call("API_FindDBByName", "main",
                                  {"dbname": "Kelvra Projects"}, auth=E.GUEST).errcode, 2)

    def granted(self, params, auth=E.PAT):
        r = EMU.call("API_GrantedDBs", "main", params, auth=auth)
        self.assertEqual(r.errcode, 0)
        return [(d.findtext("dbname"), d.findtext("dbid"))
                for d in r.root.findall("databases/dbinfo")]

    def test_granted_dbs(self):
        everything = self.granted({})
        self.assertEqual(everything[:4], [("Kelvra Projects", E.APP),
                                          ("Kelvra Projects:Projects", E.PROJECTS),
                                          ("Kelvra Projects:Tasks", E.TASKS),
                                          ("Kelvra Projects:Team Members", E.MEMBERS)])
        tables = self.granted({"withembeddedtables": "1", "Excludeparents": "1"})
        self.assertEqual([d for _n, d in tables], [E.PROJECTS, E.TASKS, E.MEMBERS, E.CONTACTS])
        self.assertIn(("Kelvra Contacts:Contacts v1.2", E.CONTACTS), tables)
        apps = self.granted({"withembeddedtables": "0", "Excludeparents": "0"})
        self.assertEqual(apps, [("Kelvra Projects", E.APP), ("Kelvra Contacts", E.CONTACTS_APP)])
        self.assertEqual(self.granted({"excludeparents": "1"}, auth=E.GUEST),
                         [("Kelvra Contacts:Contacts v1.2", E.CONTACTS)])


class DoQuery(unittest.TestCase):
    def query(self, params, target=E.TASKS):
        p = {"fmt": "structured"}
        p.update(params)
        r = EMU.call("API_DoQuery", target, p)
        self.assertEqual(r.errcode, 0, r.text)
        return r

    def values(self, r):
        return [[f.text or "" for f in rec.findall("f")] for rec in r.root.iter("record")]

    def test_reply_structure(self):
        r = self.query({"query": "{'3'.EX.'1'}", "clist": "3.6.10"})
        top = [c.tag for c in r.root]
        self.assertEqual(top, ["action", "errcode", "errtext", "qid", "qname", "table"])
        self.assertEqual((r.find("qid"), r.find("qname")), ("-1", ""))
        t = [c.tag for c in r.root.find("table")]
        self.assertEqual(t, ["name", "desc", "original", "variables", "queries", "fields",
                             "lastluserid", "lusers", "records"])
        self.assertEqual([f.get("id") for f in r.root.findall("table/fields/field")],
                         ["3", "6", "10"])
        rec = r.root.find("table/records/record")
        self.assertIsNone(rec.get("rid"))
        self.assertEqual([(f.get("id"), f.text) for f in rec],
                         [("3", "1"), ("6", "Design mock-ups"), ("10", E.RENEE_ID)])
        self.assertEqual([(u.get("id"), u.text) for u in r.root.iter("luser")],
                         [(E.RENEE_ID, "Renée Müller")])

    def test_value_encodings(self):
        r = self.query({"query": "{'3'.EX.'1'}", "clist": "a", "includeRids": "1"})
        rec = r.root.find("table/records/record")
        self.assertEqual(rec.get("rid"), "1")
        f = {x.get("id"): x for x in rec.findall("f")}
        self.assertEqual(len(f), 20)
        self.assertEqual(f["9"].text, "1706659200000")          # date: UTC midnight
        self.assertEqual(f["14"].text, "1706636700000")         # timestamp 2024-01-30 17:45 UTC
        self.assertEqual(f["13"].text, "32400000")              # 09:00
        self.assertEqual(f["11"].text, "259200000")             # 3 days
        self.assertEqual(f["12"].text, "1")                     # checkbox
        self.assertEqual(f["17"].text, "22.5")
        self.assertEqual(f["18"].text, "4")
        self.assertEqual(f["7"].text, "1")
        self.assertEqual(f["8"].text, "Website Relaunch")       # lookup
        self.assertEqual(f["19"].text, "design;frontend")
        self.assertEqual(f["10"].text, E.RENEE_ID)
        self.assertIsNone(f["20"].text)                          # empty: <f id="20"/>
        self.assertEqual(len(f["20"]), 0)
        # Multi-line text: <BR/> elements, no text lost around them.
        notes = f["15"]
        self.assertEqual(notes.text, "First draft approved.")
        self.assertEqual([c.tag for c in notes], ["BR"])
        self.assertEqual(notes[0].tail, "Second round: colours.")
        self.assertIn(b'<f id="15">First draft approved.<BR/>Second round: colours.</f>',
                      r.body)
        # File: the name, then <url>.
        self.assertEqual(f["16"].text, "mockups.txt")
        self.assertEqual(f["16"].findtext("url"),
                         f"https://localhost:{EMU.port}/up/{E.TASKS}/a/r1/e16/v0")
        # Built-ins.
        self.assertEqual(f["4"].text, E.PAT[2])
        self.assertRegex(f["1"].text, r"^\d{13}$")

    def test_project_encodings(self):
        r = self.query({"query": "{'3'.EX.'2 OR 3'}", "clist": "3.9.13.14.15.17.11.16.19.18"},
                       target=E.PROJECTS)
        self.assertEqual(self.values(r),
                         [["2", "120000.5", "Acme & Sons", "0", "http://acme.example.com",
                           "2125550199", "Native apps for iOS and Android.",
                           "it@acme.example.com", "40000.17", ""],
                          ["3", "75250.75", "Globex <Holdings>", "0.2", "", "",
                           "Consolidate reporting.", "", "25083.58", ""]])
        self.assertIn(b"<f id=\"13\">Acme &amp; Sons</f>", r.body)
        self.assertIn(b"<f id=\"11\">Consolidate reporting.<BR/><BR/>Blocked on licences.</f>",
                      r.body)
        r = self.query({"query": "{'3'.EX.'3'}", "clist": "14", "returnpercentage": "1"},
                       target=E.PROJECTS)
        self.assertEqual(self.values(r), [["20"]])

    def test_non_ascii(self):
        r = self.query({"query": "{'13'.CT.'zürich'}", "clist": "13"}, target=E.PROJECTS)
        self.assertEqual(self.values(r), [["Café Zürich"]])
        self.assertIn("Café Zürich".encode("utf-8"), r.body)

    def test_paging_and_sorting(self):
        def page(opts, slist="9"):
            r = self.query({"clist": "3", "slist": slist, "options": opts})
            return [int(v[0]) for v in self.values(r)]
        full = page("")
        self.assertEqual(full, [11, 10, 9, 1, 2, 12, 8, 6, 7, 3, 5, 4])
        self.assertEqual(page("sortorder-D"), full[::-1])
        self.assertEqual(page("sortorder-"), full)
        self.assertEqual(page("num-5"), full[:5])
        self.assertEqual(page("num-5.skp-5"), full[5:10])
        self.assertEqual(page("skp-10.num-5"), full[10:])
        self.assertEqual(page("num-5.skp-20"), [])
        self.assertEqual(page("num-3.skp-2.sortorder-D"), full[::-1][2:5])
        self.assertEqual(page("sortorder-DA", slist="7.9"),
                         [12, 11, 10, 9, 8, 6, 7, 1, 2, 3, 5, 4])
        self.assertEqual(page("nosort", slist="9"), list(range(1, 13)))
        # Without slist: the table's default sort (Tasks: Due Date).
        self.assertEqual(page("", slist=""), full)

    def test_default_clist_and_saved_query(self):
        r = self.query({"query": "{'3'.EX.'1'}"}, target=E.CONTACTS)
        self.assertEqual([f.get("id") for f in r.root.find("table/records/record")],
                         ["6", "7", "8", "9", "10"])
        r = self.query({"qid": "2", "clist": "3"})
        self.assertEqual(r.find("qid"), "2")
        self.assertEqual(r.find("qname"), "List Changes")
        self.assertEqual(EMU.call("API_DoQuery", E.TASKS, {"qid": "77"}).errcode, 33)

    def test_unstructured(self):
        r = EMU.call("API_DoQuery", E.TASKS, {"query": "{'3'.EX.'2'}", "clist": "3.6.9.12"})
        rec = r.root.find("record")
        self.assertEqual(rec.findtext("record_id_"), "2")
        self.assertEqual(rec.findtext("title"), "Choose CMS")
        self.assertEqual(rec.findtext("due_date"), "02-15-2024")
        self.assertEqual(rec.findtext("done"), "1")

    def test_count(self):
        r = EMU.call("API_DoQueryCount", E.TASKS, {"query": "{'7'.EX.'1'}"})
        self.assertEqual(r.find("numMatches"), "5")


class GenResultsTable(unittest.TestCase):
    def test_csv(self):
        r = EMU.call("API_GenResultsTable", E.TASKS,
                     {"fmt": "structured", "query": "{'7'.EX.'1'}", "clist": "3",
                      "slist": "9", "options": "num-3.skp-1.sortorder-D.csv"})
        self.assertEqual(r.header("QUICKBASE-ERRCODE"), "0")
        self.assertTrue(r.header("Content-Type").startswith("text/csv"))
        self.assertEqual(r.body, b'"Record ID#"\r\n"5"\r\n"3"\r\n"2"\r\n')

    def test_csv_values_and_quoting(self):
        r = EMU.call("API_GenResultsTable", E.PROJECTS,
                     {"query": "{'3'.EX.'1 OR 3'}", "clist": "3.6.8.9.11.13",
                      "options": "csv"})
        rows = list(csv.reader(io.StringIO(r.text, newline="")))
        self.assertEqual(rows[0], ["Record ID#", "Name", "Start Date", "Budget", "Description",
                                   "Client"])
        self.assertEqual(rows[1], ["1", "Website Relaunch", "01-08-2024", "48500.00",
                                   "Rebuild the public site.\nNew CMS, new design.\n"
                                   "Go-live before summer.", "Café Zürich"])
        self.assertEqual(rows[2][5], "Globex <Holdings>")
        self.assertTrue(r.text.endswith("\r\n"))

    def test_csv_error_in_headers(self):
        r = EMU.call("API_GenResultsTable", E.TASKS, {"clist": "3", "options": "csv",
                                                      "query": "{bad"})
        self.assertEqual(r.header("QUICKBASE-ERRCODE"), "2")
        self.assertEqual(r.header("QUICKBASE-ERRTEXT"), "Invalid input")
        self.assertFalse(r.body.startswith(b"<?xml"))

    def test_html(self):
        r = EMU.call("API_GenResultsTable", E.TASKS, {"clist": "6", "query": "{'3'.EX.'1'}"})
        self.assertIn(b"<td>Design mock-ups</td>", r.body)


class TablePage(unittest.TestCase):
    def test_parent_dbid_marker(self):
        r = EMU.call("", E.TASKS, style="a")
        self.assertEqual(r.header("QUICKBASE-ERRCODE"), "0")
        self.assertIn(f'var gParentDBID\t\t\t= "{E.APP}";', r.text)
        r = EMU.request("GET", f"/db/{E.CONTACTS}", headers={"Cookie": "TICKET=" + EMU.ticket(
            E.GUEST)})
        self.assertIn(f'var gParentDBID\t\t\t= "{E.CONTACTS_APP}";', r.text)
        r = EMU.call("", E.APP, style="a")
        self.assertNotIn("gParentDBID", r.text)
        r = EMU.call("", "bq8kx2zzz", style="a")
        self.assertEqual(r.header("QUICKBASE-ERRCODE"), "32")


class Download(unittest.TestCase):
    def test_file_url(self):
        r = EMU.call("API_DoQuery", E.TASKS, {"fmt": "structured", "query": "{'3'.EX.'6'}",
                                              "clist": "16"})
        url = r.root.find(".//f/url").text
        path = url.split(str(EMU.port), 1)[1]
        got = EMU.request("GET", path, headers={"Cookie": "TICKET=" + EMU.ticket() + ";"})
        self.assertEqual(got.status, 200)
        self.assertEqual(got.body, b"# API\n\nGET /projects\n")
        self.assertEqual(got.header("QUICKBASE-ERRCODE"), "0")
        # POST with the ticket in the body works too; no credentials do not.
        got = EMU.request("POST", path, E.build_body({"ticket": EMU.ticket()}))
        self.assertEqual(got.body, b"# API\n\nGET /projects\n")
        got = EMU.request("GET", path)
        self.assertEqual(got.header("QUICKBASE-ERRCODE"), "22")
        self.assertNotEqual(got.body, b"# API\n\nGET /projects\n")
        got = EMU.request("GET", f"/up/{E.TASKS}/a/r2/e16/v0",
                          headers={"Cookie": "TICKET=" + EMU.ticket()})
        self.assertEqual((got.status, got.header("QUICKBASE-ERRCODE")), (404, "81"))


if __name__ == "__main__":
    unittest.main()
