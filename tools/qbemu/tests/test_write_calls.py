"""The write calls: ImportFromCSV (adds, updates, rids, counts), PurgeRecords, AddRecord and
EditRecord with file attachments, input value forms; checked through the records control."""

import base64
import unittest

import emuclient as E

EMU = E.SharedEmulator()
setUpModule = EMU.start
tearDownModule = EMU.stop


def import_csv(target, csv_text, clist=None, **extra):
    params = [("records_csv", csv_text)]
    if clist is not None:
        params.append(("clist", clist))
    params += list(extra.items())
    return EMU.call("API_ImportFromCSV", target, params, cdata=("records_csv",))


class Base(unittest.TestCase):
    def setUp(self):
        EMU.reset()


class ImportFromCSV(Base):
    def test_adds_and_updates_in_one_call(self):
        csv_text = ('"2","Choose a CMS (done)","1"\r\n'
                    '"","New task, with comma","0"\r\n'
                    '"11","Pack ""all"" boxes",""\r\n'
                    '"","Another",yes\r\n')
        r = import_csv(E.TASKS, csv_text, "3.6.12")
        self.assertEqual(r.errcode, 0, r.text)
        self.assertEqual((r.find("num_recs_input"), r.find("num_recs_added"),
                          r.find("num_recs_updated")), ("4", "2", "2"))
        rids = r.root.findall("rids/rid")
        self.assertEqual([x.text for x in rids], ["2", "13", "11", "14"])
        self.assertIsNotNone(rids[0].get("update_id"))
        self.assertIsNone(rids[1].get("update_id"))
        recs = EMU.records(E.TASKS)
        self.assertEqual(recs[2]["values"]["6"], "Choose a CMS (done)")
        self.assertEqual(recs[13]["values"]["6"], "New task, with comma")
        self.assertEqual(recs[13]["values"]["12"], False)
        self.assertEqual(recs[11]["values"]["6"], 'Pack "all" boxes')
        self.assertEqual(recs[11]["values"]["12"], False)
        self.assertEqual(recs[14]["values"]["12"], True)
        self.assertEqual(recs[14]["values"]["4"], E.PAT[2])       # owner: the caller
        self.assertEqual(str(rids[0].get("update_id")), str(recs[2]["update_id"]))
        # Untouched fields stay.
        self.assertEqual(recs[2]["values"]["9"], "2024-02-15")

    def test_value_forms(self):
        csv_text = ('"Forms","2024-07-04","2024-07-04 13:05:09","14:30","1.5","80",'
                    '"sam.lee@example.com","a\nb","12.5"\r\n'
                    '"Millis","1720051200000","1720098309000","52200000","0.25","0.5",'
                    '"Pat Doe","","7"\r\n'
                    '"US forms","07-04-2024","07-04-2024 01:05 PM","2:30 PM","2 hours","",'
                    '"<61523471.ab3c>","",""\r\n')
        r = import_csv(E.TASKS, csv_text, "6.9.14.13.11.18.10.15.17", msInUTC="1")
        self.assertEqual(r.errcode, 0, r.text)
        recs = EMU.records(E.TASKS)
        a, b, c = recs[13]["wire"], recs[14]["wire"], recs[15]["wire"]
        self.assertEqual((a["9"], a["14"], a["13"], a["11"]),
                         ("1720051200000", "1720098309000", "52200000", "129600000"))
        self.assertEqual((b["9"], b["14"], b["13"], b["11"]),
                         ("1720051200000", "1720098309000", "52200000", "21600000"))
        self.assertEqual((c["9"], c["14"], c["13"], c["11"]),
                         ("1720051200000", "1720098300000", "52200000", "7200000"))
        self.assertEqual((a["10"], b["10"], c["10"]), (E.SAM[2], E.PAT[2], E.PAT[2]))
        self.assertEqual(a["15"], "a\nb")
        self.assertEqual((a["17"], b["17"]), ("12.5", "7"))
        self.assertNotIn("17", c)

    def test_skipfirst_and_skipped_columns(self):
        r = import_csv(E.TASKS, "Title,ignored,Hours\r\nX,zzz,3\r\n", "6.0.17", skipfirst="1")
        self.assertEqual(r.find("num_recs_added"), "1")
        rec = EMU.records(E.TASKS)[13]["values"]
        self.assertEqual((rec["6"], rec["17"]), ("X", "3"))

    def test_refusals_change_nothing(self):
        before = EMU.records(E.TASKS)
        cases = [
            ('"","no title"\r\n', "6.17", 2),        # 'no title' is not a number
            ('"","","4"\r\n', "3.6.17", 53),         # required Title missing on an add
            ('"99","x"\r\n', "3.6", 30),              # no record 99
            ('"1","x"\r\n', "3.77", 31),              # no field 77
            ('"1","nobody@example.com"\r\n', "3.10", 21),
        ]
        for text, clist, code in cases:
            with self.subTest(clist=clist):
                r = import_csv(E.TASKS, '"","Fine"\r\n' + text, clist)
                self.assertEqual(r.errcode, code, r.text)
        self.assertEqual(EMU.records(E.TASKS), before)
        self.assertEqual(import_csv(E.TASKS, None or "", "6").find("num_recs_input"), "0")

    def test_choices_and_unique_key_field(self):
        r = import_csv(E.PROJECTS, '"Another","active"\r\n', "6.7")
        self.assertEqual(r.errcode, 0)
        self.assertEqual(EMU.records(E.PROJECTS)[6]["values"]["7"], "Active")
        self.assertEqual(import_csv(E.PROJECTS, '"Third","Cancelled"\r\n', "6.7").errcode, 9)
        # Team Members allows new choices.
        r = import_csv(E.MEMBERS, '"guest@example.com","Tester"\r\n', "6.7")
        self.assertEqual(r.errcode, 0, r.text)

    def test_cdata_split(self):
        r = import_csv(E.TASKS, '"a]]>b"\r\n', "6")
        self.assertEqual(r.errcode, 0, r.text)
        self.assertEqual(EMU.records(E.TASKS)[13]["values"]["6"], "a]]>b")


class Purge(Base):
    def test_purge_by_query_and_all(self):
        r = EMU.call("API_PurgeRecords", E.TASKS, {"query": "{'7'.EX.'1'}"})
        self.assertEqual(r.errcode, 0)
        self.assertEqual(r.find("num_records_deleted"), "5")
        self.assertEqual(sorted(EMU.records(E.TASKS)), [6, 7, 8, 9, 10, 11, 12])
        r = EMU.call("API_PurgeRecords", E.TASKS, {"query": "{'3'.EX.'6 OR 9'}"})
        self.assertEqual(r.find("num_records_deleted"), "2")
        r = EMU.call("API_PurgeRecords", E.TASKS, {"query": ""})
        self.assertEqual(r.find("num_records_deleted"), "5")
        self.assertEqual(EMU.records(E.TASKS), {})
        self.assertEqual(EMU.call("API_PurgeRecords", E.PROJECTS).find("num_records_deleted"),
                         "5")
        self.assertEqual(EMU.call("API_PurgeRecords", E.TASKS, {"query": "{x"}).errcode, 2)
        # The next record id is not reused.
        r = import_csv(E.TASKS, '"after purge"\r\n', "6")
        self.assertEqual(r.find("rids/rid"), "13")


class AddEdit(Base):
    def test_add_record_with_file(self):
        content = "Überblick\nline 2\n".encode("utf-8")
        r = EMU.call("API_AddRecord", E.TASKS, fields=[
            ({"fid": "6"}, "With file"),
            ({"name": "due_date"}, "2024-08-01"),
            ({"fid": "16", "filename": "notes ü.txt"}, base64.b64encode(content).decode()),
            ({"fid": "12"}, "true"),
        ])
        self.assertEqual(r.errcode, 0, r.text)
        rid = r.find("rid")
        self.assertEqual(rid, "13")
        self.assertRegex(r.find("update_id"), r"^\d{13}$")
        q = EMU.call("API_DoQuery", E.TASKS, {"fmt": "structured", "query": f"{{'3'.EX.'{rid}'}}",
                                              "clist": "3.6.9.12.16"})
        f = {x.get("id"): x for x in q.root.iter("f")}
        self.assertEqual((f["6"].text, f["9"].text, f["12"].text),
                         ("With file", "1722470400000", "1"))
        self.assertEqual(f["16"].text, "notes ü.txt")
        url = f["16"].findtext("url")
        got = EMU.request("GET", url.split(str(EMU.port), 1)[1],
                          headers={"Cookie": f"TICKET={EMU.ticket()}"})
        self.assertEqual(got.body, content)
        self.assertIn("filename*=UTF-8''notes%20%C3%BC.txt", got.header("Content-Disposition"))

    def test_edit_record_and_versions(self):
        r = EMU.call("API_EditRecord", E.TASKS, [("rid", "6")], fields=[
            ({"fid": "16", "filename": "api-v2.md"}, base64.b64encode(b"v2").decode()),
            ({"fid": "17"}, "13.25"),
            ({"fid": "6"}, "API design")])          # unchanged value
        self.assertEqual(r.errcode, 0, r.text)
        self.assertEqual((r.find("rid"), r.find("num_fields_changed")), ("6", "2"))
        hdr = {"Cookie": f"TICKET={EMU.ticket()}"}
        self.assertEqual(EMU.request("GET", f"/up/{E.TASKS}/a/r6/e16/v0", headers=hdr).body,
                         b"v2")
        self.assertEqual(EMU.request("GET", f"/up/{E.TASKS}/a/r6/e16/v1", headers=hdr).body,
                         b"# API\n\nGET /projects\n")
        rec = EMU.records(E.TASKS)[6]
        self.assertEqual(rec["values"]["17"], "13.25")
        self.assertEqual(rec["values"]["16"]["versions"], 2)
        self.assertEqual(rec["values"]["5"], E.PAT[2])
        self.assertEqual(str(rec["update_id"]), r.find("update_id"))
        # Clearing a value; an empty file field removes the attachment.
        r = EMU.call("API_EditRecord", E.TASKS, [("rid", "6")], fields=[
            ({"fid": "17"}, ""), ({"fid": "16"}, "")])
        self.assertEqual(r.find("num_fields_changed"), "2")
        vals = EMU.records(E.TASKS)[6]["values"]
        self.assertNotIn("17", vals)
        self.assertNotIn("16", vals)

    def test_update_conflict_and_errors(self):
        r = EMU.call("API_EditRecord", E.TASKS, [("rid", "1")], fields=[({"fid": "17"}, "1")])
        uid = r.find("update_id")
        stale = str(int(uid) - 1)
        cases = [
            ([("rid", "1"), ("update_id", stale)], [({"fid": "17"}, "2")], 60),
            ([("rid", "1"), ("update_id", uid)], [({"fid": "17"}, "2")], 0),
            ([("rid", "999")], [({"fid": "17"}, "2")], 30),
            ([("rid", "1")], [({"fid": "99"}, "2")], 31),
            ([("rid", "1")], [({"name": "no_such"}, "2")], 31),
            ([("rid", "1")], [({"fid": "8"}, "x")], 34),       # lookup
            ([("rid", "1")], [({"fid": "1"}, "x")], 34),       # built-in
            ([("rid", "1")], [({"fid": "6"}, "")], 50),        # required
            ([("rid", "1")], [({"fid": "16", "filename": "x"}, "%%%")], 2),
            ([], [({"fid": "17"}, "2")], 2),
        ]
        for params, fields, code in cases:
            with self.subTest(params=params, fields=fields):
                self.assertEqual(EMU.call("API_EditRecord", E.TASKS, params,
                                          fields=fields).errcode, code)
        r = EMU.call("API_EditRecord", E.TASKS, [("rid", "1"), ("ignoreError", "1")],
                     fields=[({"fid": "1"}, "x"), ({"fid": "17"}, "5")])
        self.assertEqual((r.errcode, r.find("num_fields_changed")), (0, "1"))

    def test_add_record_refusals(self):
        self.assertEqual(EMU.call("API_AddRecord", E.TASKS,
                                  fields=[({"fid": "17"}, "1")]).errcode, 50)
        self.assertEqual(EMU.call("API_AddRecord", E.PROJECTS,
                                  fields=[({"fid": "6"}, "Mobile App")]).errcode, 51)
        self.assertEqual(EMU.call("API_AddRecord", E.TASKS,
                                  fields=[({"fid": "6"}, "x"), ({"fid": "6"}, "y")]).errcode, 52)
        self.assertEqual(EMU.call("API_AddRecord", E.APP,
                                  fields=[({"fid": "6"}, "x")]).errcode, 14)
        self.assertEqual(sorted(EMU.records(E.TASKS)), list(range(1, 13)))

    def test_defaults_and_input_forms(self):
        r = EMU.call("API_AddRecord", E.PROJECTS, [("msInUTC", "1")], fields=[
            ({"fid": "6"}, "Forms"), ({"fid": "9"}, "$1,234.50"), ({"fid": "14"}, "80"),
            ({"fid": "15"}, "example.com"), ({"fid": "17"}, "(555) 123-4567 x89"),
            ({"fid": "10"}, "_curuser_"), ({"fid": "21"}, "1720098309000")])
        self.assertEqual(r.errcode, 0, r.text)
        w = EMU.records(E.PROJECTS)[6]["wire"]
        self.assertEqual(w["7"], "Planned")                    # default value
        self.assertEqual((w["9"], w["14"], w["15"], w["17"]),
                         ("1234.5", "0.8", "http://example.com", "5551234567x89"))
        self.assertEqual((w["10"], w["21"], w["12"]), (E.PAT[2], "1720098309000", "0"))


if __name__ == "__main__":
    unittest.main()
