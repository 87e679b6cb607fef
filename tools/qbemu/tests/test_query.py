"""The query language against the demo fixture, evaluated in-process (no server): every
operator, each field type's comparison, AND/OR/parentheses, and malformed queries."""

import datetime as dt
import unittest

import emuclient as E
from emulator import model, query, values
from emulator.errors import QbError

STORE = model.load_fixture(E.DEMO, values.Clock("UTC"))
PAT = STORE.users[E.PAT[2]]


def rids(dbid, text, user=PAT):
    table = STORE.by_dbid[dbid]
    pred = query.compile_query(query.parse(text), query.EvalContext(STORE, table, user))
    return sorted(r.rid for r in table.records.values() if pred is None or pred(r))


class Parsing(unittest.TestCase):
    def test_empty_and_match_all(self):
        self.assertIsNone(query.parse(""))
        self.assertIsNone(query.parse("   "))
        self.assertEqual(rids(E.TASKS, ""), list(range(1, 13)))
        self.assertEqual(rids(E.TASKS, "{'0'.CT.''}"), list(range(1, 13)))
        self.assertEqual(rids(E.TASKS, "{'3'.XEX.''}"), list(range(1, 13)))

    def test_quoted_and_unquoted_fid_and_value(self):
        self.assertEqual(rids(E.TASKS, "{'7'.EX.'2'}"), [6, 7, 8])
        self.assertEqual(rids(E.TASKS, "{7.EX.'2'}"), [6, 7, 8])
        self.assertEqual(rids(E.TASKS, "{7.EX.2}"), [6, 7, 8])
        self.assertEqual(rids(E.TASKS, " { '7' . EX . '2' } "), [6, 7, 8])

    def test_value_runs_to_quote_brace(self):
        # A quote not followed by '}' is part of the value.
        self.assertEqual(rids(E.TASKS, "{'15'.CT.'\"legacy\" FTP'}"), [12])
        self.assertEqual(rids(E.PROJECTS, "{'13'.EX.'Acme & Sons'}"), [2])

    def test_record_id_lookups_select_what_a_scan_selects(self):
        for text in ("{'3'.EX.'4 OR 2 OR 99 OR 2'}", "{3.EX.5}OR{'3'.EX.'1 OR 12'}"):
            ids = query.record_ids(query.parse(text))
            table = STORE.by_dbid[E.TASKS]
            self.assertEqual(sorted(i for i in set(ids) if i in table.records), rids(E.TASKS, text))
        for text in ("{3.EX.5}AND{3.EX.6}", "{3.GT.5}", "{6.EX.5}", "{3.EX.'5 OR x'}"):
            self.assertIsNone(query.record_ids(query.parse(text)))

    def test_and_or_parentheses_and_precedence(self):
        self.assertEqual(rids(E.TASKS, "{'7'.EX.'1'}AND{'12'.EX.'1'}"), [1, 2])
        self.assertEqual(rids(E.TASKS, "{'7'.EX.'4'}OR{'7'.EX.'5'}"), [11, 12])
        self.assertEqual(rids(E.TASKS, "({'7'.EX.'1'}OR{'7'.EX.'2'})AND{'18'.GTE.'4'}"),
                         [1, 3, 5, 6])
        # AND binds tighter than OR.
        self.assertEqual(rids(E.TASKS, "{'7'.EX.'3'}OR{'7'.EX.'1'}AND{'18'.EX.'5'}"),
                         [3, 9, 10])
        self.assertEqual(rids(E.TASKS, "(({'7'.EX.'3'}))"), [9, 10])
        self.assertEqual(rids(E.TASKS, "{'7'.EX.'3'} and {'12'.EX.'1'}"), [10])

    def test_value_alternatives(self):
        self.assertEqual(rids(E.TASKS, "{'3'.EX.'2 OR 5 OR 11'}"), [2, 5, 11])
        self.assertEqual(rids(E.TASKS, "{'3'.XEX.'2 OR 5 OR 11'}"),
                         [1, 3, 4, 6, 7, 8, 9, 10, 12])
        self.assertEqual(rids(E.PROJECTS, "{'6'.SW.'mob OR off'}"), [2, 4])

    def test_malformed(self):
        for text in ["{'7'.EX.'1'", "{'7'.ex.'1'}", "{'7'.EQ.'1'}", "{'x'.EX.'1'}",
                     "({'7'.EX.'1'}", "{'7'.EX.'1'}AND", "{'7'.EX.'1'}{'7'.EX.'2'}",
                     "7.EX.1", "{'7'EX'1'}", "{'7'.EX}", "{'7'.IR.'today'}"]:
            with self.subTest(text=text), self.assertRaises(QbError) as cm:
                rids(E.TASKS, text)
            self.assertEqual(cm.exception.code, 2, text)

    def test_unknown_field_is_31(self):
        with self.assertRaises(QbError) as cm:
            rids(E.TASKS, "{'99'.EX.'1'}")
        self.assertEqual(cm.exception.code, 31)

    def test_too_many_criteria_is_76(self):
        text = "OR".join("{'3'.EX.'%d'}" % i for i in range(101))
        with self.assertRaises(QbError) as cm:
            rids(E.TASKS, text)
        self.assertEqual(cm.exception.code, 76)
        self.assertEqual(len(rids(E.TASKS, "OR".join("{'3'.EX.'%d'}" % i
                                                     for i in range(100)))), 12)


class Operators(unittest.TestCase):
    def test_text_case_insensitive(self):
        self.assertEqual(rids(E.PROJECTS, "{'6'.EX.'mobile app'}"), [2])
        self.assertEqual(rids(E.PROJECTS, "{'6'.XEX.'MOBILE APP'}"), [1, 3, 4, 5])
        self.assertEqual(rids(E.PROJECTS, "{'6'.CT.'AT'}"), [3])
        self.assertEqual(rids(E.PROJECTS, "{'6'.XCT.'at'}"), [1, 2, 4, 5])
        self.assertEqual(rids(E.PROJECTS, "{'6'.SW.'o'}"), [4])
        self.assertEqual(rids(E.PROJECTS, "{'6'.XSW.'o'}"), [1, 2, 3, 5])
        self.assertEqual(rids(E.PROJECTS, "{'6'.LT.'data warehouse'}"), [])
        self.assertEqual(rids(E.PROJECTS, "{'6'.LTE.'data warehouse'}"), [3])
        self.assertEqual(rids(E.PROJECTS, "{'6'.GT.'Office Move'}"), [1, 5])
        self.assertEqual(rids(E.PROJECTS, "{'6'.GTE.'office move'}"), [1, 4, 5])

    def test_non_ascii_text(self):
        self.assertEqual(rids(E.PROJECTS, "{'13'.EX.'café zürich'}"), [1])
        self.assertEqual(rids(E.PROJECTS, "{'13'.CT.'Zür'}"), [1])

    def test_empty_values(self):
        self.assertEqual(rids(E.PROJECTS, "{'11'.EX.''}"), [5])
        self.assertEqual(rids(E.PROJECTS, "{'11'.XEX.''}"), [1, 2, 3, 4])
        self.assertEqual(rids(E.TASKS, "{'14'.EX.''}"), [4, 5, 7])
        self.assertEqual(rids(E.PROJECTS, "{'9'.GT.''}"), [])

    def test_numbers_compare_as_numbers(self):
        # As text '9.25' > '22.5'; as numbers it is not.
        self.assertEqual(rids(E.TASKS, "{'17'.GT.'9.5'}"), [1, 3, 6, 10])
        self.assertEqual(rids(E.TASKS, "{'17'.GTE.'9.25'}"), [1, 2, 3, 6, 10])
        self.assertEqual(rids(E.TASKS, "{'17'.LT.'4'}"), [5, 7, 9])
        self.assertEqual(rids(E.TASKS, "{'17'.LTE.'4'}"), [5, 7, 8, 9])
        self.assertEqual(rids(E.TASKS, "{'17'.EX.'8.00'}"), [11])
        self.assertEqual(rids(E.PROJECTS, "{'9'.EX.'9999.99'}"), [4])
        self.assertEqual(rids(E.PROJECTS, "{'9'.GT.'50000'}"), [2, 3])
        self.assertEqual(rids(E.TASKS, "{'17'.EX.'abc'}"), [])
        self.assertEqual(rids(E.TASKS, "{'3'.GT.'10'}"), [11, 12])

    def test_percent_is_a_fraction(self):
        self.assertEqual(rids(E.PROJECTS, "{'14'.GTE.'0.45'}"), [1, 4])

    def test_dates(self):
        self.assertEqual(rids(E.TASKS, "{'9'.EX.'2024-01-31'}"), [1])
        self.assertEqual(rids(E.TASKS, "{'9'.EX.'01-31-2024'}"), [1])
        self.assertEqual(rids(E.TASKS, "{'9'.EX.'1706659200000'}"), [1])
        self.assertEqual(rids(E.TASKS, "{'9'.BF.'2024-01-01'}"), [10, 11])
        self.assertEqual(rids(E.TASKS, "{'9'.LT.'2024-01-01'}"), [10, 11])
        self.assertEqual(rids(E.TASKS, "{'9'.OBF.'2024-01-19'}"), [9, 10, 11])
        self.assertEqual(rids(E.TASKS, "{'9'.AF.'2024-04-30'}"), [4, 5])
        self.assertEqual(rids(E.TASKS, "{'9'.OAF.'2024-04-30'}"), [3, 4, 5])
        self.assertEqual(rids(E.TASKS, "{'9'.GTE.'2024-04-30'}AND{'9'.LTE.'2024-05-10'}"),
                         [3, 5])
        # A date/time value on a date field compares by its day.
        self.assertEqual(rids(E.TASKS, "{'9'.EX.'2024-01-31 23:59:00'}"), [1])

    def test_timestamps(self):
        # Task 1 checked in at 2024-01-30 17:45:00 (UTC here).
        self.assertEqual(rids(E.TASKS, "{'14'.EX.'2024-01-30 17:45:00'}"), [1])
        self.assertEqual(rids(E.TASKS, "{'14'.EX.'2024-01-30 17:45:00.000'}"), [1])
        self.assertEqual(rids(E.TASKS, "{'14'.EX.'2024-01-30 17:45:01'}"), [])
        self.assertEqual(rids(E.TASKS, "{'14'.EX.'2024-01-30'}"), [1])
        self.assertEqual(rids(E.TASKS, "{'14'.EX.'1706636700000'}"), [1])
        self.assertEqual(rids(E.TASKS, "{'14'.GT.'2024-03-20 10:05:00'}"), [3])
        self.assertEqual(rids(E.TASKS, "{'14'.GTE.'2024-03-20 10:05:00'}"), [3, 6])
        self.assertEqual(rids(E.TASKS, "{'14'.LT.'2023-12-21 18:00:00.001'}"), [10, 11])
        self.assertEqual(rids(E.TASKS, "{'14'.AF.'2024-03-20'}"), [3])
        self.assertEqual(rids(E.TASKS, "{'14'.OAF.'2024-03-20'}"), [3, 6])

    def test_time_of_day_and_duration(self):
        self.assertEqual(rids(E.TASKS, "{'13'.EX.'09:00:00'}"), [1, 10])
        self.assertEqual(rids(E.TASKS, "{'13'.EX.'9:00 AM'}"), [1, 10])
        self.assertEqual(rids(E.TASKS, "{'13'.GTE.'15:30'}"), [8, 9])
        self.assertEqual(rids(E.TASKS, "{'13'.EX.'32400000'}"), [1, 10])
        # Durations: a bare number is days, as QuickBase reads one.
        self.assertEqual(rids(E.TASKS, "{'11'.EX.'1.5'}"), [2])
        self.assertEqual(rids(E.TASKS, "{'11'.LT.'0.5'}"), [4, 11])
        self.assertEqual(rids(E.TASKS, "{'11'.GT.'5 days'}"), [3, 7])

    def test_checkbox(self):
        done = [1, 2, 10, 11]
        self.assertEqual(rids(E.TASKS, "{'12'.EX.'1'}"), done)
        self.assertEqual(rids(E.TASKS, "{'12'.EX.'true'}"), done)
        self.assertEqual(rids(E.TASKS, "{'12'.EX.'yes'}"), done)
        self.assertEqual(rids(E.TASKS, "{'12'.EX.'0'}"), [3, 4, 5, 6, 7, 8, 9, 12])
        self.assertEqual(rids(E.TASKS, "{'12'.XEX.'1'}"), [3, 4, 5, 6, 7, 8, 9, 12])

    def test_users(self):
        pat = [2, 4, 8, 9]
        self.assertEqual(rids(E.TASKS, "{'10'.TV.'%s'}" % E.PAT[2]), pat)
        self.assertEqual(rids(E.TASKS, "{'10'.TV.'pat.doe@example.com'}"), pat)
        self.assertEqual(rids(E.TASKS, "{'10'.EX.'Pat Doe'}"), pat)
        self.assertEqual(rids(E.TASKS, "{'10'.EX.'_curuser_'}"), pat)
        self.assertEqual(rids(E.TASKS, "{'10'.XTV.'%s'}" % E.PAT[2]),
                         [1, 3, 5, 6, 7, 10, 11, 12])
        self.assertEqual(rids(E.TASKS, "{'10'.CT.'müll'}"), [1, 5, 7, 10])
        self.assertEqual(rids(E.TASKS, "{'20'.HAS.'sam.lee@example.com'}"), [2])
        self.assertEqual(rids(E.TASKS, "{'20'.XHAS.'sam.lee@example.com'}"),
                         [1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12])

    def test_multi_choice_text(self):
        self.assertEqual(rids(E.TASKS, "{'19'.HAS.'legal'}"), [5, 9, 12])
        self.assertEqual(rids(E.TASKS, "{'19'.CT.'end'}"), [1, 2, 3, 5, 6, 10])

    def test_lookup_field(self):
        self.assertEqual(rids(E.TASKS, "{'8'.EX.'Mobile App'}"), [6, 7, 8])

    def test_any_field_and_field_to_field(self):
        self.assertEqual(rids(E.PROJECTS, "{'0'.CT.'globex'}"), [3])
        self.assertEqual(rids(E.PROJECTS, "{'0'.XCT.'e'}"), [])
        # Priority above the related project's record id.
        self.assertEqual(rids(E.TASKS, "{'18'.GT.'_fid_7'}"), [1, 2, 3, 4, 5, 6, 7, 10])
        self.assertEqual(rids(E.TASKS, "{'18'.EX.'_fid_7'}"), [8, 12])

    def test_relative_ranges(self):
        # Computed from the clock, so the test holds on any day.
        today = dt.datetime.now(dt.timezone.utc).date()
        due = {r.rid: values.ms_to_date(r.values[9])
               for r in STORE.by_dbid[E.TASKS].records.values()}
        on_today = sorted(rid for rid, d in due.items() if d == today)
        this_year = sorted(rid for rid, d in due.items() if d.year == today.year)
        self.assertEqual(rids(E.TASKS, "{'9'.IR.'today'}"), on_today)
        self.assertEqual(rids(E.TASKS, "{'9'.XIR.'today'}"),
                         sorted(set(due) - set(on_today)))
        self.assertEqual(rids(E.TASKS, "{'9'.IR.'this year'}"), this_year)
        with self.assertRaises(QbError):
            rids(E.TASKS, "{'9'.IR.'someday'}")


class Sorting(unittest.TestCase):
    def sort(self, dbid, slist, dirs):
        table = STORE.by_dbid[dbid]
        return [r.rid for r in query.sort_records(STORE, table, table.records.values(), slist,
                                                  dirs)]

    def test_by_type_and_direction(self):
        self.assertEqual(self.sort(E.TASKS, [17], [False]),
                         [4, 5, 7, 9, 8, 12, 11, 2, 6, 1, 10, 3])
        self.assertEqual(self.sort(E.PROJECTS, [6], [True]), [1, 5, 4, 2, 3])
        self.assertEqual(self.sort(E.TASKS, [7, 9], [True, False]),
                         [12, 11, 10, 9, 8, 6, 7, 1, 2, 3, 5, 4])
        self.assertEqual(self.sort(E.TASKS, [10, 3], [False, True]),
                         [9, 8, 4, 2, 10, 7, 5, 1, 12, 11, 6, 3])


if __name__ == "__main__":
    unittest.main()
