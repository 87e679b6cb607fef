"""The API calls: a parsed request in, a reply out (quickbase-api.md sections 1 to 10)."""

import base64
import binascii
import csv
import io

from . import model as M
from . import query as Q
from . import values as V
from .errors import QbError, error_text

XML_HEAD = '<?xml version="1.0" ?>\n'


class Request:
    """One API request: the action as spelled, its target (DBID or 'main') and parameters."""

    def __init__(self, action, target, params, fields, cookies, host):
        self.action = action
        self.action_key = action.lower()
        self.target = target
        self.params = params      # lower-cased parameter name -> text (last one wins)
        self.fields = fields      # [(attrs dict, text)] of <field> elements, in order
        self.cookies = cookies
        self.host = host
        self.user = None

    def get(self, name, default=None):
        return self.params.get(name.lower(), default)

    def flag(self, name):
        return (self.get(name) or "").strip().lower() in ("1", "true", "yes")


class Reply:
    def __init__(self, body, content_type="text/xml; charset=utf-8", errcode=0, errtext=None,
                 status=200, headers=None):
        self.body = body if isinstance(body, bytes) else body.encode("utf-8")
        self.content_type = content_type
        self.errcode = errcode
        self.errtext = errtext if errtext is not None else error_text(errcode)
        self.status = status
        self.headers = headers or []


def xml_reply(req, parts, headers=None):
    head = [XML_HEAD, "<qdbapi>\n<action>", V.xml_escape(req.action),
            "</action>\n<errcode>0</errcode>\n<errtext>No error</errtext>\n"]
    udata = req.get("udata")
    if udata is not None:
        head += ["<udata>", V.xml_escape(udata), "</udata>\n"]
    return Reply("".join(head + parts + ["</qdbapi>\n"]), headers=headers)


def error_reply(action, err, udata=None):
    parts = [XML_HEAD, "<qdbapi>\n<action>", V.xml_escape(action), "</action>\n<errcode>",
             str(err.code), "</errcode>\n<errtext>", V.xml_escape(err.text), "</errtext>\n"]
    if err.detail:
        parts += ["<errdetail>", V.xml_escape(err.detail), "</errdetail>\n"]
    if udata is not None:
        parts += ["<udata>", V.xml_escape(udata), "</udata>\n"]
    parts.append("</qdbapi>\n")
    return Reply("".join(parts), errcode=err.code, errtext=err.text)


def el(name, text):
    return "<%s>%s</%s>\n" % (name, V.xml_escape(str(text)), name)


# ---------------------------------------------------------------------------------------------

class Api:
    def __init__(self, store):
        self.store = store
        self.handlers = {
            "api_authenticate": (self.authenticate, "main"),
            "api_signout": (self.signout, "main"),
            "api_getuserinfo": (self.get_user_info, "main"),
            "api_granteddbs": (self.granted_dbs, "main"),
            "api_finddbbyname": (self.find_db_by_name, "main"),
            "api_getschema": (self.get_schema, "any"),
            "api_getdbinfo": (self.get_db_info, "any"),
            "api_doquery": (self.do_query, "table"),
            "api_doquerycount": (self.do_query_count, "table"),
            "api_getnumrecords": (self.get_num_records, "table"),
            "api_genresultstable": (self.gen_results_table, "table"),
            "api_importfromcsv": (self.import_from_csv, "table"),
            "api_purgerecords": (self.purge_records, "table"),
            "api_addrecord": (self.add_record, "table"),
            "api_editrecord": (self.edit_record, "table"),
            "api_deleterecord": (self.delete_record, "table"),
            "api_getrecordinfo": (self.get_record_info, "table"),
        }
        # Limit set by the "max_records" fault: replies with more records fail with 75.
        self.max_records = None

    # -- entry -----------------------------------------------------------------------------

    def handle(self, req):
        """Any reply for an API request; errors become QuickBase error replies."""
        try:
            with self.store.lock:
                return self._dispatch(req)
        except QbError as err:
            return self.error_for(req, err)
        except Exception as exc:  # a bug of ours still answers in QuickBase's form
            import traceback
            traceback.print_exc()
            return self.error_for(req, QbError(1, f"Internal error: {exc.__class__.__name__}: "
                                                  f"{exc}"))

    @staticmethod
    def error_for(req, err):
        """The error reply of a call: XML, or text with the headers for a CSV report."""
        if req.action_key == "api_genresultstable" and "csv" in (
                req.get("options") or "").lower().split("."):
            return Reply(f"Error {err.code}: {err.detail or err.text}\r\n",
                         content_type="text/plain; charset=utf-8", errcode=err.code,
                         errtext=err.text)
        return error_reply(req.action, err, req.get("udata"))

    def _dispatch(self, req):
        if req.action_key == "":
            return self.table_page(req)
        entry = self.handlers.get(req.action_key)
        if entry is None:
            raise QbError(5, f"The API call '{req.action}' is not implemented by this server.")
        fn, kind = entry
        target = None
        if kind != "main":
            target = self.resolve_target(req, kind)
        self.authenticate_request(req, target)
        return fn(req, target) if kind != "main" else fn(req)

    def resolve_target(self, req, kind):
        if req.target == "main" or req.target == "":
            raise QbError(14, f"{req.action} needs the DBID of "
                              f"{'a table' if kind == 'table' else 'an application or table'}.")
        obj = self.store.by_dbid.get(req.target)
        if obj is None:
            raise QbError(32, f"No application or table has the DBID '{req.target}'.")
        if kind == "table" and obj.kind != "table":
            raise QbError(14, f"{req.action} is invoked on a table DBID; '{req.target}' is an "
                              f"application.")
        return obj

    def authenticate_request(self, req, target, for_ticket=False):
        store = self.store
        username = req.get("username")
        if username is not None:
            u = store.find_user(username)
            if u is None or u.password != (req.get("password") or ""):
                raise QbError(20, "No account matches that e-mail/user name and password.")
            user = u
        else:
            ticket = req.get("ticket")
            if ticket is None:
                ticket = req.cookies.get("TICKET")
            if not ticket:
                raise QbError(22, "Sign in with a ticket or a user name and password.")
            user = store.user_of_ticket(ticket)
            if user is None:
                raise QbError(4, "Your ticket has expired or is invalid. Please sign in again.")
        req.user = user
        if target is not None:
            app = target if target.kind == "app" else target.app
            if not store.user_can_see(user, app):
                raise QbError(2, f"You do not have access to the application '{app.name}'.")
            if app.apptokens:
                token = req.get("apptoken")
                if token not in app.apptokens:
                    raise QbError(24, "The application token is missing or does not match "
                                      "one of the tokens of this application.")
        return user

    # -- main calls ------------------------------------------------------------------------

    def authenticate(self, req):
        user = req.user
        try:
            hours = float(req.get("hours") or 12)
        except ValueError:
            raise QbError(2, "hours must be a number.") from None
        hours = min(max(hours, 0.0), 4380.0)
        ticket = self.store.new_ticket(user, hours)
        cookie = f"TICKET={ticket}; path=/; secure"
        return xml_reply(req, [el("ticket", ticket), el("userid", user.id)],
                         headers=[("Set-Cookie", cookie)])

    def signout(self, req):
        return xml_reply(req, [], headers=[
            ("Set-Cookie", "TICKET=; path=/; expires=Thu, 01 Jan 1970 00:00:00 GMT")])

    def get_user_info(self, req):
        email = req.get("email")
        u = req.user if not email else self.store.find_user(email)
        if u is None:
            raise QbError(21, f"No user '{email}'.")
        return xml_reply(req, ['<user id="%s">\n' % V.xml_attr(u.id), el("firstName", u.first),
                               el("lastName", u.last), el("login", u.screen_name or u.email),
                               el("email", u.email), el("screenName", u.screen_name),
                               "</user>\n"])

    def visible_apps(self, user):
        return [a for a in self.store.apps if self.store.user_can_see(user, a)]

    def granted_dbs(self, req):
        def opt(name, default):
            v = req.get(name)
            return default if v is None or v.strip() == "" else v.strip() == "1"
        with_tables = opt("withembeddedtables", True)
        exclude_parents = opt("excludeparents", False)
        ancestors = opt("includeancestors", False)
        parts = ["<databases>\n"]
        for app in self.visible_apps(req.user):
            entries = []
            if not exclude_parents:
                entries.append((app.name, app.dbid))
            if with_tables:
                entries += [(f"{app.name}:{t.name}", t.dbid) for t in app.tables]
            for name, dbid in entries:
                parts += ["<dbinfo>\n", el("dbname", name), el("dbid", dbid)]
                if ancestors:
                    parts += [el("ancestorappid", ""), el("oldestancestorappid", "")]
                parts.append("</dbinfo>\n")
        parts.append("</databases>\n")
        return xml_reply(req, parts)

    def find_db_by_name(self, req):
        name = req.get("dbname")
        if name is None or name.strip() == "":
            raise QbError(2, "The parameter dbname is missing.")
        parents_only = req.flag("ParentsOnly")
        found = []
        for app in self.visible_apps(req.user):
            if app.name.lower() == name.strip().lower():
                if not parents_only and len(app.tables) == 1:
                    found.append(app.tables[0].dbid)
                else:
                    found.append(app.dbid)
        if not found:
            raise QbError(2, f"No application named '{name}' was found.")
        return xml_reply(req, [el("dbid", d) for d in found])

    # -- schema ----------------------------------------------------------------------------

    def tz_parts(self, app):
        return [el("time_zone", self.store.clock.time_zone_text()),
                el("date_format", app.date_format)]

    def original_xml(self, obj, with_key):
        if obj.kind == "app":
            return ["<original>\n", el("app_id", obj.dbid), el("table_id", obj.dbid),
                    el("cre_date", obj.cre_date), el("mod_date", max(
                        [obj.mod_date] + [t.mod_date for t in obj.tables])),
                    el("next_record_id", 1), el("next_field_id", 1), el("next_query_id", 1),
                    el("def_sort_fid", 0), el("def_sort_order", 1), "</original>\n"]
        parts = ["<original>\n", el("table_id", obj.dbid), el("app_id", obj.app.dbid),
                 el("cre_date", obj.cre_date), el("mod_date", obj.mod_date),
                 el("next_record_id", obj.next_rid), el("next_field_id", obj.next_field_id),
                 el("next_query_id", max([int(q["id"]) for q in obj.queries] + [0]) + 1),
                 el("def_sort_fid", obj.def_sort_fid), el("def_sort_order", obj.def_sort_order)]
        if with_key:
            parts.append(el("key_fid", obj.key_fid))
        parts.append("</original>\n")
        return parts

    @staticmethod
    def variables_xml(app):
        parts = ["<variables>\n"]
        for k, v in app.variables.items():
            parts.append('<var name="%s">%s</var>\n' % (V.xml_attr(k), V.xml_escape(v)))
        parts.append("</variables>\n")
        return parts

    @staticmethod
    def queries_xml(table):
        parts = ["<queries>\n"]
        for q in table.queries:
            parts.append('<query id="%s">\n' % V.xml_attr(str(q["id"])))
            for k in ("qyname", "qytype", "qydesc", "qycrit", "qyclst", "qyslst", "qyopts",
                      "qycalst"):
                if k in q:
                    parts.append(el(k, q[k]))
            parts.append("</query>\n")
        parts.append("</queries>\n")
        return parts

    def table_head(self, table, fields, with_key=True):
        parts = [el("name", table.name), el("desc", table.desc)]
        parts += self.original_xml(table, with_key)
        parts += self.variables_xml(table.app)
        parts += self.queries_xml(table)
        parts.append("<fields>\n")
        parts += [field_xml(f) for f in fields]
        parts.append("</fields>\n")
        return parts

    def get_schema(self, req, obj):
        if obj.kind == "app":
            parts = self.tz_parts(obj) + ["<table>\n", el("name", obj.name), el("desc", obj.desc)]
            parts += self.original_xml(obj, False)
            parts += self.variables_xml(obj)
            parts.append("<chdbids>\n")
            for t in obj.tables:
                parts.append('<chdbid name="%s">%s</chdbid>\n' % (
                    V.xml_attr(M.chdbid_name(t.name)), t.dbid))
            parts += ["</chdbids>\n", "<fields>\n</fields>\n", "</table>\n"]
            return xml_reply(req, parts)
        parts = self.tz_parts(obj.app) + ["<table>\n"]
        parts += self.table_head(obj, obj.fields)
        parts.append("</table>\n")
        return xml_reply(req, parts)

    def get_db_info(self, req, obj):
        if obj.kind == "app":
            n = 0
            mod = max([obj.mod_date] + [t.mod_date for t in obj.tables])
        else:
            n = len(obj.records)
            mod = obj.mod_date
        owner = next(iter(self.store.users.values()))
        return xml_reply(req, [el("dbname", obj.name), el("lastRecModTime", mod),
                               el("lastModifiedTime", mod), el("createdTime", obj.cre_date),
                               el("numRecords", n), el("mgrID", owner.id),
                               el("mgrName", owner.name), el("version", "2.0"),
                               el("time_zone", self.store.clock.time_zone_text())])

    # -- selecting records -----------------------------------------------------------------

    def named_query(self, req, table):
        qid, qname = req.get("qid"), req.get("qname")
        if qid is None and qname is None:
            return None
        for q in table.queries:
            if (qid is not None and str(q["id"]) == qid.strip()) or (
                    qname is not None and q.get("qyname", "").lower() == qname.strip().lower()):
                return q
        raise QbError(33, f"No query {'id ' + qid if qid is not None else 'named ' + qname} in "
                          f"table {table.dbid}.")

    def parse_options(self, text):
        opts = {"num": None, "skp": 0, "sortorder": "", "nosort": False, "tokens": set()}
        for tok in (text or "").split("."):
            t = tok.strip()
            if not t:
                continue
            low = t.lower()
            try:
                if low.startswith("num-"):
                    opts["num"] = int(t[4:])
                    if opts["num"] < 0:
                        raise ValueError
                elif low.startswith("skp-"):
                    opts["skp"] = int(t[4:])
                    if opts["skp"] < 0:
                        raise ValueError
                elif low.startswith("sortorder-"):
                    letters = t[10:].upper()
                    if set(letters) - {"A", "D"}:
                        raise ValueError
                    opts["sortorder"] = letters
                elif low == "nosort":
                    opts["nosort"] = True
                else:
                    opts["tokens"].add(low)
            except ValueError:
                raise QbError(2, f"Invalid option '{t}'.") from None
        return opts

    def parse_fid_list(self, table, text, what):
        out = []
        for part in text.split("."):
            p = part.strip()
            if not p:
                continue
            if not p.isdigit():
                raise QbError(2, f"'{p}' in {what} is not a field id.")
            fid = int(p)
            table.field(fid)
            out.append(fid)
        return out

    def clist_fields(self, table, text, named):
        t = (text or "").strip()
        if not t and named and named.get("qyclst"):
            t = named["qyclst"]
        if t.lower() == "a":
            return list(table.fields)
        if not t:
            return [f for f in table.fields if f.appears_by_default] or list(table.fields)
        return [table.field(fid) for fid in self.parse_fid_list(table, t, "clist")]

    def select(self, req, table):
        """The records a DoQuery-style request selects, sorted, before paging."""
        named = self.named_query(req, table)
        qtext = req.get("query")
        if qtext is None and named is not None:
            qtext = named.get("qycrit", "")
        qtext = qtext or ""
        opts = self.parse_options(req.get("options"))
        if named is not None and named.get("qyopts"):
            for tok in named["qyopts"].split("."):
                if tok.lower().startswith("so-") and not opts["sortorder"]:
                    opts["sortorder"] = tok[3:].upper()
        slist_text = (req.get("slist") or "").strip()
        if not slist_text and named is not None:
            slist_text = named.get("qyslst", "")
        slist = self.parse_fid_list(table, slist_text, "slist")
        if not slist and not opts["nosort"]:
            slist = [table.def_sort_fid] if table.def_sort_fid in table.by_fid else []
            dirs = [table.def_sort_order != 1 and table.def_sort_order != 0]
            if opts["sortorder"]:
                dirs = [c == "D" for c in opts["sortorder"]]
        else:
            dirs = [c == "D" for c in opts["sortorder"]]
        if opts["nosort"]:
            slist = []
        low = qtext.lower()
        cacheable = not any(w in low for w in ("today", "now", ".ir.", ".xir.", "yesterday",
                                               "tomorrow"))
        key = (qtext, tuple(slist), tuple(dirs), req.user.id if "_curuser_" in qtext else "")
        recs = table.query_cache.get(key) if cacheable else None
        if recs is None:
            tree = Q.parse(qtext)
            ids = Q.record_ids(tree) if tree is not None else None
            if ids is not None:
                # Ids ascend in the table's own order, so a lookup keeps that order.
                recs = [table.records[i] for i in sorted(set(ids)) if i in table.records]
            else:
                pred = Q.compile_query(tree, Q.EvalContext(self.store, table, req.user))
                recs = table.records.values()
                if pred is not None:
                    recs = [r for r in recs if pred(r)]
            recs = Q.sort_records(self.store, table, recs, slist, dirs) if slist else list(recs)
            if cacheable:
                if len(table.query_cache) > 16:
                    table.query_cache.clear()
                table.query_cache[key] = recs
        return recs, opts, named

    def page(self, recs, opts):
        start = opts["skp"]
        end = len(recs) if opts["num"] is None else start + opts["num"]
        page = recs[start:end]
        if self.max_records is not None and len(page) > self.max_records:
            raise QbError(75, f"The report would hold {len(page)} records, more than this "
                              f"server returns at once ({self.max_records}). Narrow the query "
                              f"or page it with num-N and skp-N.")
        return page

    # -- DoQuery ---------------------------------------------------------------------------

    def do_query(self, req, table):
        recs, opts, named = self.select(req, table)
        fields = self.clist_fields(table, req.get("clist"), named)
        page = self.page(recs, opts)
        if (req.get("fmt") or "").strip().lower() != "structured":
            return self.unstructured(req, table, fields, page)
        with_rids = req.flag("includeRids")
        pct = req.flag("returnpercentage")
        store = self.store
        host = req.host
        parts = [el("qid", named["id"] if named else -1),
                 el("qname", named.get("qyname", "") if named else ""), "<table>\n"]
        parts += self.table_head(table, fields, with_key=True)
        user_ids = {}
        user_fields = [f for f in fields if f.vclass in ("user", "multiuser")]
        for rec in page:
            for f in user_fields:
                v = store.value_of(table, rec, f)
                if v is None:
                    continue
                for uid in ((v,) if isinstance(v, str) else v):
                    user_ids.setdefault(uid, None)
        parts.append(el("lastluserid", 0))
        parts.append("<lusers>\n")
        for uid in user_ids:
            u = store.users.get(uid)
            parts.append('<luser id="%s">%s</luser>\n' % (
                V.xml_attr(uid), V.xml_escape(u.name if u else uid)))
        parts.append("</lusers>\n<records>\n")
        plan = []
        for f in fields:
            simple = f.lookup is None and f.fid != 3
            plan.append((f.fid, f.vclass, simple, f, '<f id="%d">' % f.fid,
                         '<f id="%d"/>\n' % f.fid))
        esc = V.xml_escape
        brk = V.xml_text_with_breaks
        stext = V.structured_text
        out = parts.append
        for rec in page:
            out('<record rid="%d">\n' % rec.rid if with_rids else "<record>\n")
            vals = rec.values
            for fid, vc, simple, f, open_tag, empty_tag in plan:
                v = vals.get(fid) if simple else store.value_of(table, rec, f)
                if v is None:
                    out(empty_tag)
                elif vc == "text":
                    out(open_tag + brk(v) + "</f>\n")
                elif vc == "file":
                    url = "https://%s/up/%s/a/r%d/e%d/v0" % (host, table.dbid, rec.rid, fid)
                    out(open_tag + esc(v.name) + "<url>" + esc(url) + "</url></f>\n")
                elif vc == "percent":
                    out(open_tag + stext(vc, v, pct) + "</f>\n")
                else:
                    out(open_tag + esc(stext(vc, v)) + "</f>\n")
            out("</record>\n")
        parts.append("</records>\n</table>\n")
        return xml_reply(req, parts)

    def unstructured(self, req, table, fields, page):
        store = self.store
        parts = ["<dbinfo>\n", el("name", table.name), el("desc", table.desc), "</dbinfo>\n"]
        parts += self.variables_xml(table.app)
        parts.append("<chdbids>\n")
        for t in table.app.tables:
            parts.append('<chdbid name="%s">%s</chdbid>\n' % (
                V.xml_attr(M.chdbid_name(t.name)), t.dbid))
        parts.append("</chdbids>\n")
        for rec in page:
            parts.append("<record>\n")
            for f in fields:
                v = store.value_of(table, rec, f)
                text = V.display_text(f, v, store.clock, table.app.date_format, store.users)
                parts.append("<%s>%s</%s>\n" % (f.name, V.xml_text_with_breaks(text), f.name))
            parts.append(el("update_id", rec.update_id))
            parts.append("</record>\n")
        return xml_reply(req, parts)

    def do_query_count(self, req, table):
        recs, _opts, _named = self.select(req, table)
        return xml_reply(req, [el("numMatches", len(recs))])

    def get_num_records(self, req, table):
        return xml_reply(req, [el("num_records", len(table.records))])

    # -- GenResultsTable -------------------------------------------------------------------

    def gen_results_table(self, req, table):
        recs, opts, named = self.select(req, table)
        fields = self.clist_fields(table, req.get("clist"), named)
        page = self.page(recs, opts)
        store = self.store
        rows = [[V.display_text(f, store.value_of(table, r, f), store.clock,
                                table.app.date_format, store.users) for f in fields]
                for r in page]
        labels = [f.label for f in fields]
        tokens = opts["tokens"]
        if "csv" in tokens or "tsv" in tokens:
            sep = "," if "csv" in tokens else "\t"
            lines = [sep.join(_csv_cell(c) for c in labels)]
            lines += [sep.join(_csv_cell(c) for c in row) for row in rows]
            body = "".join(line + "\r\n" for line in lines)
            ctype = "text/csv; charset=utf-8" if sep == "," else \
                "text/tab-separated-values; charset=utf-8"
            return Reply(body, content_type=ctype)
        if (req.get("jsa") or "").strip() == "1":
            out = ["var qdb_numrows = %d;\n" % len(rows), "var qdb_numcols = %d;\n" % len(labels),
                   "var qdb_heading = new Array(%s);\n" % ",".join(_js(x) for x in labels),
                   "var qdb_data = new Array(\n"]
            out.append(",\n".join("new Array(%s)" % ",".join(_js(c) for c in row)
                                  for row in rows))
            out.append(");\n")
            return Reply("".join(out), content_type="application/javascript; charset=utf-8")
        html = ['<table class="qdbresults">\n<tr>']
        html += ["<th>%s</th>" % V.xml_escape(x) for x in labels]
        html.append("</tr>\n")
        for row in rows:
            html.append("<tr>" + "".join("<td>%s</td>" % V.xml_text_with_breaks(c)
                                         for c in row) + "</tr>\n")
        html.append("</table>\n")
        text = "".join(html)
        if req.get("jht"):
            text = "function qdbWrite()\n{\ndocument.write(%s);\n}\n" % _js(text)
            return Reply(text, content_type="application/javascript; charset=utf-8")
        return Reply(text, content_type="text/html; charset=utf-8")

    # -- writes ----------------------------------------------------------------------------

    def input_ctx(self, req, table, decimal_percent=False):
        return M.InputContext(self.store, table, req.user, ms_in_utc=req.flag("msInUTC"),
                              ms_duration=req.flag("msAsDurationDefault"),
                              decimal_percent=decimal_percent)

    def convert(self, field, text, ctx):
        try:
            return M.convert_input(field, text, ctx)
        except ValueError as exc:
            raise QbError(2, f"Field '{field.label}' (fid {field.fid}): {exc}.") from None

    def check_unique(self, table, field, value, rid):
        if value is None:
            return
        for r in table.records.values():
            if r.rid != rid and r.values.get(field.fid) == value:
                raise QbError(51, f"The field '{field.label}' is marked unique and the value "
                                  f"'{V.structured_text(field.vclass, value)}' is already used "
                                  f"by record {r.rid}.")

    def new_record(self, table, vals, user, now):
        rid = table.next_rid
        table.next_rid += 1
        for f in table.fields:
            if f.fid not in vals and f.writable:
                if f.vclass == "checkbox":
                    vals[f.fid] = False
                elif f.default_value not in (None, ""):
                    vals[f.fid] = M.fixture_value(f, f.default_value, M.InputContext(
                        self.store, table, user))
        vals[1] = now
        vals[2] = now
        vals[4] = user.id
        vals[5] = user.id
        rec = M.Record(rid, vals, self.store.new_update_id())
        table.records[rid] = rec
        return rec

    def check_required(self, table, vals):
        missing = [f.label for f in table.fields
                   if f.required and f.writable and vals.get(f.fid) in (None, "", ())]
        if missing:
            raise QbError(50, "Required field(s) missing: " + ", ".join(missing) + ".")

    def field_values(self, req, table, ignore_builtin):
        """The <field> elements of AddRecord/EditRecord as [(Field, stored value or file)]."""
        ctx = self.input_ctx(req, table)
        out = []
        seen = set()
        for attrs, text in req.fields:
            fid = attrs.get("fid")
            name = attrs.get("name")
            if fid is not None:
                if not fid.strip().isdigit():
                    raise QbError(2, f"'{fid}' is not a field id.")
                f = table.field(int(fid))
            elif name is not None:
                f = table.by_name.get(name.strip().lower())
                if f is None:
                    raise QbError(31, f"No field named '{name}' in table {table.dbid}.")
            else:
                raise QbError(2, "A field element needs a fid or name attribute.")
            if f.fid in seen:
                raise QbError(52, f"The field '{f.label}' is given twice.")
            seen.add(f.fid)
            if not f.writable:
                if f.type_key == "dblink" or ignore_builtin:
                    continue
                raise QbError(34, f"The field '{f.label}' (fid {f.fid}) cannot be written.")
            if f.vclass == "file":
                filename = attrs.get("filename")
                if filename is None:
                    if (text or "").strip() == "":
                        out.append((f, None))
                        continue
                    raise QbError(2, f"The file attachment field '{f.label}' needs a filename "
                                     f"attribute and Base64 content.")
                try:
                    content = base64.b64decode("".join((text or "").split()), validate=True)
                except (binascii.Error, ValueError):
                    raise QbError(2, f"The content of the file attachment field '{f.label}' "
                                     f"is not valid Base64.") from None
                if filename.strip() == "" and not content:
                    out.append((f, None))
                else:
                    out.append((f, (filename, content)))
                continue
            out.append((f, self.convert(f, text, ctx)))
        return out

    @staticmethod
    def apply_value(rec, f, v):
        """Store one value; returns True when the record changed."""
        old = rec.values.get(f.fid)
        if f.vclass == "file":
            if v is None:
                if old is None:
                    return False
                del rec.values[f.fid]
                return True
            name, content = v
            if old is None:
                rec.values[f.fid] = V.FileValue(name, content)
            else:
                old.add_version(name, content)
            return True
        if v is None:
            if old is None:
                return False
            del rec.values[f.fid]
            return True
        if old == v and type(old) is type(v):
            return False
        rec.values[f.fid] = v
        return True

    def add_record(self, req, table):
        vals = self.field_values(req, table, req.flag("ignoreError"))
        now = self.store.now_ms()
        stored = {}
        for f, v in vals:
            if v is not None and f.vclass != "file":
                stored[f.fid] = v
        self.check_required(table, {**stored, **{f.fid: 1 for f, v in vals
                                                 if f.vclass == "file" and v}})
        for f, v in vals:
            if f.unique:
                self.check_unique(table, f, stored.get(f.fid), None)
        rec = self.new_record(table, stored, req.user, now)
        for f, v in vals:
            if f.vclass == "file" and v is not None:
                self.apply_value(rec, f, v)
        table.touch(now)
        return xml_reply(req, [el("rid", rec.rid), el("update_id", rec.update_id)])

    def find_record(self, req, table):
        rid, key = req.get("rid"), req.get("key")
        if rid is not None and rid.strip():
            try:
                rec = table.records.get(int(rid.strip()))
            except ValueError:
                raise QbError(2, f"'{rid}' is not a record id.") from None
            if rec is None:
                raise QbError(30, f"No record has the id {rid.strip()}.")
            return rec
        if key is not None and key.strip():
            kf = table.by_fid[table.key_fid]
            if kf.fid == 3:
                req.params["rid"] = key
                return self.find_record(req, table)
            want = self.convert(kf, key, self.input_ctx(req, table))
            for r in table.records.values():
                if r.values.get(kf.fid) == want:
                    return r
            raise QbError(30, f"No record has the key '{key}'.")
        raise QbError(2, "The parameter rid (or key) is missing.")

    def edit_record(self, req, table):
        rec = self.find_record(req, table)
        uid = req.get("update_id")
        if uid is not None and uid.strip() and uid.strip() != str(rec.update_id):
            raise QbError(60, f"Record {rec.rid} was changed since update_id {uid.strip()}.")
        vals = self.field_values(req, table, req.flag("ignoreError"))
        after = dict(rec.values)
        for f, v in vals:
            if f.vclass != "file":
                if v is None:
                    after.pop(f.fid, None)
                else:
                    after[f.fid] = v
        self.check_required(table, {k: v for k, v in after.items()} | {
            f.fid: 1 for f in table.fields if f.vclass == "file" and f.fid in rec.values})
        for f, v in vals:
            if f.unique and f.vclass != "file":
                self.check_unique(table, f, v, rec.rid)
        changed = sum(1 for f, v in vals if self.apply_value(rec, f, v))
        now = self.store.now_ms()
        if changed:
            rec.values[2] = now
            rec.values[5] = req.user.id
            rec.update_id = self.store.new_update_id()
            table.touch(now)
        return xml_reply(req, [el("rid", rec.rid), el("num_fields_changed", changed),
                               el("update_id", rec.update_id)])

    def delete_record(self, req, table):
        rec = self.find_record(req, table)
        del table.records[rec.rid]
        table.touch(self.store.now_ms())
        return xml_reply(req, [el("rid", rec.rid)])

    def get_record_info(self, req, table):
        rec = self.find_record(req, table)
        store = self.store
        parts = [el("rid", rec.rid), el("num_fields", len(table.fields)),
                 el("update_id", rec.update_id)]
        for f in table.fields:
            v = store.value_of(table, rec, f)
            raw = V.structured_text(f.vclass, v) if v is not None else ""
            shown = V.display_text(f, v, store.clock, table.app.date_format, store.users)
            parts += ["<field>\n", el("fid", f.fid), el("name", f.label),
                      el("type", f.field_type), "<value>", V.xml_text_with_breaks(raw),
                      "</value>\n"]
            if shown != raw:
                parts += ["<printable>", V.xml_text_with_breaks(shown), "</printable>\n"]
            parts.append("</field>\n")
        return xml_reply(req, parts)

    def purge_records(self, req, table):
        recs, _opts, _named = self.select(req, table)
        for r in recs:
            del table.records[r.rid]
        if recs:
            table.touch(self.store.now_ms())
        return xml_reply(req, [el("num_records_deleted", len(recs))])

    def import_from_csv(self, req, table):
        text = req.get("records_csv")
        if text is None:
            raise QbError(2, "The parameter records_csv is missing.")
        store = self.store
        decimal_percent = req.flag("decimalPercent")
        ctx = self.input_ctx(req, table, decimal_percent)
        clist_text = (req.get("clist") or "").strip()
        if clist_text:
            cols = []
            for part in clist_text.split("."):
                p = part.strip()
                if not p.isdigit():
                    raise QbError(2, f"'{p}' in clist is not a field id.")
                fid = int(p)
                cols.append(None if fid == 0 else table.field(fid))
        else:
            cols = [f for f in table.fields if f.writable and f.vclass != "file"]
        merge = req.get("mergeFieldId")
        if merge is not None and merge.strip():
            if not clist_text:
                raise QbError(2, "mergeFieldId needs a clist.")
            key_field = table.field(int(merge.strip()))
        else:
            key_field = table.by_fid[table.key_fid]
        key_index = next((i for i, f in enumerate(cols) if f is not None and
                          f.fid == key_field.fid), None)
        rows = list(csv.reader(io.StringIO(text, newline="")))
        if req.flag("skipfirst") and rows:
            rows = rows[1:]
        rows = [r for r in rows if any(c.strip() for c in r)]
        # First pass: convert and decide add/update for every row; nothing changes on error.
        plan = []
        for n, row in enumerate(rows, 1):
            vals = {}
            for i, f in enumerate(cols):
                if f is None or i == key_index or not f.writable or f.vclass == "file":
                    continue
                cell = row[i] if i < len(row) else ""
                try:
                    vals[f.fid] = M.convert_input(f, cell, ctx)
                except ValueError as exc:
                    raise QbError(2, f"Row {n}, field '{f.label}': {exc}.") from None
                except QbError as exc:
                    exc.detail = f"Row {n}: {exc.detail}"
                    raise
            key_cell = row[key_index].strip() if key_index is not None and \
                key_index < len(row) else ""
            target = None
            if key_cell:
                if key_field.fid == 3:
                    try:
                        target = table.records.get(int(V.parse_number(key_cell, False)))
                    except ValueError:
                        raise QbError(2, f"Row {n}: '{key_cell}' is not a record id.") from None
                    if target is None:
                        raise QbError(30, f"Row {n}: no record has the id {key_cell}.")
                else:
                    kv = M.convert_input(key_field, key_cell, ctx)
                    target = next((r for r in table.records.values()
                                   if r.values.get(key_field.fid) == kv), None)
                    if target is None:
                        vals[key_field.fid] = kv
            plan.append((target, vals))
        adds = [vals for target, vals in plan if target is None]
        if adds:
            missing = sorted({f.label for f in table.fields if f.required and f.writable
                              for vals in adds if vals.get(f.fid) in (None, "", ())})
            if missing:
                raise QbError(53, "Required fields missing from the import data: " +
                              ", ".join(missing) + ".")
        now = store.now_ms()
        rid_parts = []
        added = updated = 0
        for target, vals in plan:
            if target is None:
                rec = self.new_record(table, {k: v for k, v in vals.items() if v is not None},
                                      req.user, now)
                rid_parts.append("<rid>%d</rid>\n" % rec.rid)
                added += 1
            else:
                changed = False
                for fid, v in vals.items():
                    changed |= self.apply_value(target, table.by_fid[fid], v)
                if changed:
                    target.values[2] = now
                    target.values[5] = req.user.id
                    target.update_id = store.new_update_id()
                rid_parts.append('<rid update_id="%d">%d</rid>\n' % (target.update_id,
                                                                     target.rid))
                updated += 1
        if plan:
            table.touch(now)
        parts = [el("num_recs_input", len(plan)), el("num_recs_added", added),
                 el("num_recs_updated", updated), "<rids>\n"] + rid_parts + ["</rids>\n"]
        return xml_reply(req, parts)

    # -- the page of an empty action -------------------------------------------------------

    def table_page(self, req):
        obj = self.store.by_dbid.get(req.target)
        if obj is None:
            raise QbError(32, f"No application or table has the DBID '{req.target}'.")
        self.authenticate_request(req, obj)
        title = obj.name if obj.kind == "app" else f"{obj.app.name}: {obj.name}"
        lines = ["<!DOCTYPE html>", "<html><head>",
                 "<title>%s</title>" % V.xml_escape(title), "<script>",
                 'var gDBID\t\t\t= "%s";' % obj.dbid]
        if obj.kind == "table":
            lines.append('var gParentDBID\t\t\t= "%s";' % obj.app.dbid)
        lines += ['var gUserID\t\t\t= "%s";' % req.user.id, "</script>", "</head>",
                  "<body><h1>%s</h1></body></html>" % V.xml_escape(title), ""]
        return Reply("\n".join(lines), content_type="text/html; charset=utf-8")


def _csv_cell(text):
    return '"' + text.replace('"', '""') + '"'


def _js(text):
    return "'" + text.replace("\\", "\\\\").replace("'", "\\'").replace("\n", "\\n").replace(
        "\r", "\\r").replace("</", "<\\/") + "'"


# ---------------------------------------------------------------------------------------------
# <field> elements of schema replies

_COMMON = ["nowrap", "bold", "required", "appears_by_default", "find_enabled",
           "allow_new_choices", "sort_as_given", "carrychoices", "foreignkey", "unique",
           "doesdatacopy", "fieldhelp"]


def field_xml(f):
    cached = getattr(f, "_xml", None)
    if cached is not None:
        return cached
    props = {"nowrap": 0, "bold": 0, "required": int(f.required),
             "appears_by_default": int(f.appears_by_default), "find_enabled": int(f.find_enabled),
             "allow_new_choices": int(f.allow_new_choices), "sort_as_given": 0,
             "carrychoices": 1, "foreignkey": 0, "unique": int(f.unique), "doesdatacopy": 0,
             "fieldhelp": ""}
    vc, tk = f.vclass, f.type_key
    if f.default_value is not None:
        props["default_value"] = f.default_value
    if vc == "text" or vc == "multitext":
        if f.num_lines is not None or tk == "text":
            props["num_lines"] = f.num_lines if f.num_lines is not None else 1
        props.update(append_only=0, allowHTML=0)
        if tk == "phone":
            props["has_extension"] = 1
        if tk == "url":
            props.update(appears_as="", abbreviate=0)
    if vc in ("number", "percent", "recordid"):
        if f.decimal_places is not None:
            props["decimal_places"] = f.decimal_places
        props.update(comma_start=0, does_average=0, does_total=0, blank_is_zero=0)
        if tk == "currency":
            props.update(currency_symbol="$", currency_format=0)
    if vc in ("date", "timestamp"):
        props.update(display_time=1 if vc == "timestamp" else 0, display_relative=0,
                     display_month="number", default_today=0, display_dow=0, display_zone=0)
    if vc == "duration":
        props["format"] = 6
    if vc in ("user", "multiuser"):
        props.update(display_user="fullnamelf", default_kind="none")
    if vc == "file":
        props.update(max_versions=3, see_versions=0, use_new_window=0)
    if vc == "checkbox":
        props["display_graphic"] = 1
    if f.lookup is not None:
        props.update(lutfid=f.lookup.get("via"), lusfid=f.lookup.get("fid"))
    props.update(f.extra)
    attrs = ' id="%d" field_type="%s" base_type="%s"' % (f.fid, f.field_type, f.base_type)
    if f.role:
        attrs += ' role="%s"' % V.xml_attr(f.role)
    if f.mode:
        attrs += ' mode="%s"' % V.xml_attr(f.mode)
    parts = ["<field%s>\n" % attrs, el("label", f.label)]
    for k, v in props.items():
        if isinstance(v, bool):
            v = int(v)
        if isinstance(v, (dict, list)):
            continue
        parts.append(el(k, v))
    if f.choices:
        parts.append("<choices>" + "".join("<choice>%s</choice>" % V.xml_escape(c)
                                           for c in f.choices) + "</choices>\n")
    parts.append("</field>\n")
    f._xml = "".join(parts)
    return f._xml
