"""HTTPS server: the QuickBase URL space (/db/..., /up/...) and the test controls (/_emu/...)."""

import json
import mimetypes
import re
import socket
import ssl
import threading
import time
import urllib.parse
import xml.etree.ElementTree as ET
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from . import values as V
from .api import Api, Reply, Request, error_reply
from .errors import QbError, error_text

MAX_BODY = 256 * 1024 * 1024
LOG_BODY_LIMIT = 1024 * 1024
LOGGED_HEADERS = ("cookie", "user-agent", "content-type", "quickbase-action", "host",
                  "content-length", "connection", "accept")
FAULT_KINDS = ("error", "http_status", "not_quickbase", "malformed_xml", "delay", "disconnect",
               "max_records", "stream")
STREAM_PIECE = 64 * 1024


class RequestLog:
    def __init__(self, limit=10000):
        self.lock = threading.Lock()
        self.entries = []
        self.seq = 0
        self.limit = limit

    def add(self, entry):
        with self.lock:
            self.seq += 1
            entry["seq"] = self.seq
            self.entries.append(entry)
            if len(self.entries) > self.limit:
                del self.entries[:len(self.entries) - self.limit]

    def since(self, seq):
        with self.lock:
            return [e for e in self.entries if e["seq"] > seq]

    def clear(self):
        with self.lock:
            self.entries = []


class Faults:
    """Armed faults, matched in the order they were armed; each fires `count` times (-1: until
    cleared)."""

    def __init__(self, api):
        self.lock = threading.Lock()
        self.api = api
        self.items = []

    @staticmethod
    def validate(fault):
        if not isinstance(fault, dict):
            raise ValueError("a fault is a JSON object")
        kind = fault.get("kind", "error")
        if kind not in FAULT_KINDS:
            raise ValueError(f"unknown fault kind '{kind}' (one of {', '.join(FAULT_KINDS)})")
        f = {"kind": kind, "action": fault.get("action"), "dbid": fault.get("dbid"),
             "count": int(fault.get("count", -1 if kind == "max_records" else 1))}
        if kind == "error":
            f["errcode"] = int(fault["errcode"])
            f["errtext"] = fault.get("errtext")
            f["errdetail"] = fault.get("errdetail")
        elif kind == "http_status":
            f["status"] = int(fault.get("status", 500))
            if not 200 <= f["status"] <= 599:
                raise ValueError("status must be 200 to 599")
            f["body"] = fault.get("body")
        elif kind == "not_quickbase":
            f["variant"] = fault.get("variant", "html")
            if f["variant"] not in ("html", "no_errcode"):
                raise ValueError("variant is 'html' or 'no_errcode'")
            f["body"] = fault.get("body")
        elif kind == "delay":
            f["seconds"] = float(fault.get("seconds", 1.0))
            if not 0 <= f["seconds"] <= 600:
                raise ValueError("seconds must be between 0 and 600")
        elif kind == "stream":
            for key in ("head", "unit", "tail"):
                f[key] = str(fault.get(key, ""))
            f["bytes"] = int(fault.get("bytes", -1))
            f["interval"] = float(fault.get("interval", 0))
            f["errcode"] = int(fault.get("errcode", 0))
            if f["bytes"] != 0 and not f["unit"]:
                raise ValueError("a stream with bytes to repeat needs a unit")
        elif kind == "max_records":
            f["limit"] = int(fault["limit"])
        return f

    def arm(self, faults):
        items = [self.validate(s) for s in (faults if isinstance(faults, list) else [faults])]
        with self.lock:
            self.items.extend(items)
            self._sync_limit()
        return items

    def clear(self):
        with self.lock:
            self.items = []
            self._sync_limit()

    def listing(self):
        with self.lock:
            return [dict(f) for f in self.items]

    def _sync_limit(self):
        limits = [f["limit"] for f in self.items if f["kind"] == "max_records"]
        self.api.max_records = min(limits) if limits else None

    def take(self, action, dbid, kinds):
        """The first armed fault of one of kinds that matches; its count goes down by one."""
        with self.lock:
            for f in self.items:
                if f["kind"] not in kinds:
                    continue
                if f["action"] not in (None, "", "*") and f["action"].lower() != action.lower():
                    continue
                if f["dbid"] not in (None, "", "*") and f["dbid"] != dbid:
                    continue
                fired = dict(f)
                if f["count"] > 0:
                    f["count"] -= 1
                    if f["count"] == 0:
                        self.items.remove(f)
                return fired
        return None


class EmuServer(ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False
    allow_reuse_address = True

    def __init__(self, address, state, ssl_context):
        self.state = state
        self.ssl_context = ssl_context
        self.conn_lock = threading.Lock()
        self.conn_seq = 0
        if ":" in address[0]:
            self.address_family = socket.AF_INET6
        super().__init__(address, Handler)

    def finish_request(self, request, client_address):
        with self.conn_lock:
            self.conn_seq += 1
            conn_id = self.conn_seq
        try:
            request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            request.settimeout(30)
            tls = self.ssl_context.wrap_socket(request, server_side=True)
            tls.settimeout(None)
        except (ssl.SSLError, OSError):
            return
        try:
            Handler(tls, client_address, self, conn_id)
        finally:
            try:
                tls.close()
            except OSError:
                pass

    def handle_error(self, request, client_address):
        import sys
        exc = sys.exc_info()[1]
        if isinstance(exc, (ConnectionError, ssl.SSLError, TimeoutError, socket.timeout)):
            return  # a client that goes away is no error of ours
        import traceback
        traceback.print_exc()


class State:
    """What the handlers share: the data, the API, faults, the log and the options."""

    def __init__(self, store_factory, verbose=False, log_limit=10000):
        self.store_factory = store_factory
        self.store = store_factory()
        self.api = Api(self.store)
        self.faults = Faults(self.api)
        self.log = RequestLog(log_limit)
        self.verbose = verbose

    def reset(self):
        store = self.store_factory()
        store.tickets = self.store.tickets  # signed-in clients stay signed in
        limit = self.api.max_records
        self.store = store
        self.api = Api(store)
        self.api.max_records = limit
        self.faults.api = self.api


_UP_RE = re.compile(r"^/up/([^/]+)/a/r(\d+)/e(\d+)(?:/v(\d+))?/?$")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "qbemu"

    def version_string(self):
        return self.server_version

    timeout = 120

    def __init__(self, request, client_address, server, conn_id):
        self.conn_id = conn_id
        self.conn_requests = 0
        super().__init__(request, client_address, server)

    def log_message(self, fmt, *args):
        if self.server.state.verbose:
            text = fmt % args
            text = re.sub(r"(?i)((?:password|ticket)=)[^&\s\"]*", r"\1***", text)
            super().log_message("%s", text)

    # -- plumbing --------------------------------------------------------------------------

    def read_body(self):
        if "chunked" in (self.headers.get("Transfer-Encoding") or "").lower():
            chunks = []
            total = 0
            while True:
                line = self.rfile.readline(1024)
                size = int(line.split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline(1024) not in (b"\r\n", b"\n", b""):
                        pass
                    break
                total += size
                if total > MAX_BODY:
                    raise ValueError("body too large")
                chunks.append(self.rfile.read(size))
                self.rfile.readline(1024)
            return b"".join(chunks)
        length = int(self.headers.get("Content-Length") or 0)
        if length < 0 or length > MAX_BODY:
            raise ValueError("bad Content-Length")
        return self.rfile.read(length) if length else b""

    def send_reply(self, reply, qb_headers=True):
        # Log before the reply leaves, so a client that reads the log next finds this entry.
        self.commit_log_entry()
        self.send_response(reply.status)
        self.send_header("Content-Type", reply.content_type)
        self.send_header("Content-Length", str(len(reply.body)))
        if qb_headers:
            self.send_header("QUICKBASE-ERRCODE", str(reply.errcode))
            self.send_header("QUICKBASE-ERRTEXT", _header_safe(reply.errtext))
        for k, v in reply.headers:
            self.send_header(k, v)
        # Headers and body in one write: no small segments waiting for delayed ACKs.
        self._headers_buffer.append(b"\r\n")
        data = b"".join(self._headers_buffer)
        self._headers_buffer = []
        self.wfile.write(data + reply.body if self.command != "HEAD" else data)
        self.wfile.flush()

    def send_stream(self, fault):
        """The stream fault's body, chunked: head, unit repeated for `bytes` bytes (-1: until the
        client goes away), tail; with an interval, one byte per interval."""
        self.commit_log_entry()
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "text/xml")
        self.send_header("Transfer-Encoding", "chunked")
        self.send_header("QUICKBASE-ERRCODE", str(fault["errcode"]))
        self.send_header("QUICKBASE-ERRTEXT", "No error" if fault["errcode"] == 0 else "Error")
        self.end_headers()

        def body():
            yield fault["head"].encode()
            unit, left = fault["unit"].encode(), fault["bytes"]
            block = unit * max(1, STREAM_PIECE // max(1, len(unit)))
            while left != 0 and unit:
                piece = block if left < 0 else block[:left]
                left = left if left < 0 else left - len(piece)
                yield piece
            yield fault["tail"].encode()

        try:
            for piece in body():
                pieces = [piece[i:i + 1] for i in range(len(piece))] if fault["interval"] else \
                    [piece]
                for p in pieces:
                    if fault["interval"]:
                        time.sleep(fault["interval"])
                    if p:
                        self.wfile.write(b"%x\r\n%s\r\n" % (len(p), p))
            self.wfile.write(b"0\r\n\r\n")
            self.wfile.flush()
        except (ConnectionError, ssl.SSLError, OSError):
            pass  # the client went away: the end of an endless stream

    def commit_log_entry(self):
        entry, self._entry = getattr(self, "_entry", None), None
        if entry is not None:
            self.server.state.log.add(entry)

    def json_reply(self, obj, status=200):
        body = json.dumps(obj, ensure_ascii=False, indent=1).encode("utf-8")
        self.send_reply(Reply(body, content_type="application/json; charset=utf-8",
                              status=status))

    def cookies(self):
        out = {}
        for part in (self.headers.get("Cookie") or "").split(";"):
            if "=" in part:
                k, v = part.split("=", 1)
                out[k.strip()] = v.strip()
        return out

    def do_GET(self):
        self.dispatch()

    def do_POST(self):
        self.dispatch()

    def do_DELETE(self):
        self.dispatch()

    def do_PUT(self):
        self.dispatch()

    def dispatch(self):
        self.conn_requests += 1
        try:
            body = self.read_body()
        except ValueError:
            self.send_reply(Reply(b"bad request body\n", content_type="text/plain", status=400,
                                  errcode=2))
            self.close_connection = True
            return
        url = urllib.parse.urlsplit(self.path)
        path = url.path
        if path.startswith("/_emu/") or path == "/_emu":
            try:
                self.control(path, url.query, body)
            except (ValueError, KeyError, TypeError) as exc:
                self.json_reply({"error": f"{exc.__class__.__name__}: {exc}"}, status=400)
            return
        entry = {"time": time.time(), "conn": self.conn_id, "conn_request": self.conn_requests,
                 "method": self.command, "path": self.path, "action": None, "target": None,
                 "headers": {h: self.headers.get(h) for h in LOGGED_HEADERS
                             if self.headers.get(h) is not None},
                 "body": _body_text(body), "status": None, "errcode": None}
        self._entry = entry
        try:
            if path.startswith("/db/"):
                self.api_call(url, body, entry)
            elif path.startswith("/up/"):
                self.download(url, body, entry)
            else:
                reply = Reply(b"<html><body>Not found</body></html>\n",
                              content_type="text/html; charset=utf-8", status=404, errcode=102)
                entry.update(status=404, errcode=102)
                self.send_reply(reply)
        finally:
            self.commit_log_entry()

    # -- /db/ ------------------------------------------------------------------------------

    def parse_api_request(self, url, body):
        """(action or None, target, params, fields) of an API request; raises QbError(11)."""
        target = urllib.parse.unquote(url.path[len("/db/"):].strip("/"))
        params = {}
        action = None
        for k, v in urllib.parse.parse_qsl(url.query, keep_blank_values=True):
            lk = k.lower()
            if lk in ("a", "act"):
                if action is None or lk == "a":
                    action = v
            else:
                params[lk] = v
        header_action = self.headers.get("QUICKBASE-ACTION")
        if header_action is not None:
            action = header_action.strip()
        fields = []
        ctype = (self.headers.get("Content-Type") or "").lower()
        if body.strip():
            if body.lstrip()[:1] != b"<" and "xml" not in ctype:
                for k, v in urllib.parse.parse_qsl(body.decode("utf-8", "replace"),
                                                   keep_blank_values=True):
                    lk = k.lower()
                    if lk in ("a", "act") and header_action is None:
                        action = v
                    else:
                        params[lk] = v
            else:
                try:
                    root = ET.fromstring(body)
                except ET.ParseError as exc:
                    raise QbError(11, f"The request body is not well-formed XML: {exc}.") \
                        from None
                for child in root:
                    tag = child.tag.lower() if isinstance(child.tag, str) else ""
                    text = "".join(child.itertext())
                    if tag == "field":
                        fields.append(({k.lower(): v for k, v in child.attrib.items()}, text))
                    elif tag:
                        params[tag] = text
        return action, target, params, fields

    def api_call(self, url, body, entry):
        state = self.server.state
        try:
            action, target, params, fields = self.parse_api_request(url, body)
        except QbError as err:
            reply = error_reply(self.headers.get("QUICKBASE-ACTION") or "", err)
            entry.update(status=reply.status, errcode=reply.errcode)
            self.send_reply(reply)
            return
        action = action or ""
        entry["action"] = action
        entry["target"] = target
        req = Request(action, target, params, fields, self.cookies(), self.host())
        fault = state.faults.take(action, target, ("delay",))
        if fault:
            entry["delay"] = fault["seconds"]
            time.sleep(fault["seconds"])
        fault = state.faults.take(action, target, ("error", "http_status", "not_quickbase",
                                                   "malformed_xml", "disconnect", "stream"))
        if fault:
            entry["fault"] = fault["kind"]
            if fault["kind"] == "stream":
                entry.update(status=200, errcode=fault["errcode"])
                self.send_stream(fault)
                return
            if fault["kind"] == "disconnect":
                entry.update(status=0)
                self.close_connection = True
                try:
                    self.connection.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                return
            if fault["kind"] == "error":
                err = QbError(fault["errcode"], fault.get("errdetail"), fault.get("errtext"))
                reply = state.api.error_for(req, err)
            elif fault["kind"] == "http_status":
                status = fault["status"]
                text = fault.get("body") or f"<html><body>HTTP {status}</body></html>\n"
                reply = Reply(text, content_type="text/html; charset=utf-8", status=status,
                              errcode=0)
                entry.update(status=status, errcode=None)
                self.send_reply(reply, qb_headers=False)
                return
            elif fault["kind"] == "not_quickbase":
                if fault["variant"] == "html":
                    text = fault.get("body") or ("<html><head><title>Gateway</title></head>"
                                                 "<body>Service unavailable</body></html>\n")
                    reply = Reply(text, content_type="text/html; charset=utf-8")
                    entry.update(status=200, errcode=None)
                    self.send_reply(reply, qb_headers=False)
                    return
                text = fault.get("body") or ('<?xml version="1.0" ?>\n<qdbapi>\n<action>%s'
                                             '</action>\n</qdbapi>\n' % V.xml_escape(action))
                reply = Reply(text)
            else:  # malformed_xml: the true reply, cut in the middle of the document
                reply = state.api.handle(req)
                cut = max(1, len(reply.body) // 2)
                reply.body = reply.body[:cut] + b"<broken"
        else:
            reply = state.api.handle(req)
        entry.update(status=reply.status, errcode=reply.errcode)
        self.send_reply(reply)

    def host(self):
        h = self.headers.get("Host")
        if h:
            return h.strip()
        addr = self.server.server_address
        return "%s:%d" % (addr[0], addr[1])

    # -- /up/ ------------------------------------------------------------------------------

    def download(self, url, body, entry):
        state = self.server.state
        entry["action"] = "download"
        m = _UP_RE.match(url.path)
        if not m:
            reply = Reply(b"<html><body>No such file</body></html>\n",
                          content_type="text/html; charset=utf-8", status=404, errcode=81)
            entry.update(status=404, errcode=81)
            self.send_reply(reply)
            return
        dbid, rid, fid, vid = m.group(1), int(m.group(2)), int(m.group(3)), int(m.group(4) or 0)
        entry["target"] = dbid
        fault = state.faults.take("download", dbid, ("error", "http_status", "delay"))
        if fault and fault["kind"] == "delay":
            time.sleep(fault["seconds"])
            fault = None
        if fault and fault["kind"] == "http_status":
            entry.update(status=fault["status"], fault="http_status")
            self.send_reply(Reply(b"", content_type="text/plain", status=fault["status"]),
                            qb_headers=False)
            return
        try:
            if fault:
                raise QbError(fault["errcode"], fault.get("errdetail"), fault.get("errtext"))
            try:
                _a, _t, params, _f = self.parse_api_request(
                    urllib.parse.urlsplit("/db/x?" + url.query), body)
            except QbError:
                params = {}
            req = Request("download", dbid, params, [], self.cookies(), self.host())
            api = state.api
            with api.store.lock:
                table = api.store.by_dbid.get(dbid)
                if table is None or table.kind != "table":
                    raise QbError(32, f"No table has the DBID '{dbid}'.")
                api.authenticate_request(req, table)
                rec = table.records.get(rid)
                field = table.by_fid.get(fid)
                if rec is None:
                    raise QbError(30, f"No record {rid}.")
                if field is None or field.vclass != "file":
                    raise QbError(31, f"No file attachment field {fid}.")
                value = rec.values.get(fid)
                version = value.version(vid) if value is not None else None
                if version is None:
                    raise QbError(81, f"Record {rid} has no file (version {vid}) in field {fid}.")
            name, content = version
            ctype = mimetypes.guess_type(name)[0] or "application/octet-stream"
            disp = "attachment; filename*=UTF-8''" + urllib.parse.quote(name)
            reply = Reply(content, content_type=ctype, headers=[("Content-Disposition", disp)])
        except QbError as err:
            status = 200 if err.code in (4, 20, 22, 24, 2) else 404
            reply = Reply("<html><body>%s</body></html>\n" % V.xml_escape(
                err.detail or err.text), content_type="text/html; charset=utf-8", status=status,
                errcode=err.code, errtext=err.text)
        entry.update(status=reply.status, errcode=reply.errcode)
        self.send_reply(reply)

    # -- /_emu/ ----------------------------------------------------------------------------

    def control(self, path, query, body):
        state = self.server.state
        method = self.command
        qs = dict(urllib.parse.parse_qsl(query))
        data = json.loads(body.decode("utf-8")) if body.strip() else None
        parts = [p for p in path.split("/") if p][1:]
        if parts == ["health"]:
            return self.json_reply({"ok": True})
        if parts == ["info"]:
            store = state.store
            return self.json_reply({
                "address": list(self.server.server_address[:2]),
                "time_zone": store.clock.tzname,
                "applications": [{"dbid": a.dbid, "name": a.name,
                                  "tables": [{"dbid": t.dbid, "name": t.name,
                                              "records": len(t.records)} for t in a.tables]}
                                 for a in store.apps]})
        if parts == ["log"]:
            if method == "DELETE":
                state.log.clear()
                return self.json_reply({"cleared": True})
            return self.json_reply({"entries": state.log.since(int(qs.get("since", 0)))})
        if parts == ["log", "clear"] and method == "POST":
            state.log.clear()
            return self.json_reply({"cleared": True})
        if parts == ["faults"]:
            if method == "DELETE":
                state.faults.clear()
                return self.json_reply({"cleared": True})
            if method in ("POST", "PUT"):
                return self.json_reply({"armed": state.faults.arm(data)})
            return self.json_reply({"faults": state.faults.listing()})
        if parts == ["faults", "clear"] and method == "POST":
            state.faults.clear()
            return self.json_reply({"cleared": True})
        if parts == ["tickets", "expire"] and method == "POST":
            store = state.store
            with store.lock:
                who = (data or {}).get("user")
                victims = [t for t, (uid, _exp) in store.tickets.items()
                           if who is None or (store.find_user(who) or _Nobody).id == uid]
                for t in victims:
                    store.tickets[t] = (store.tickets[t][0], 0)
            return self.json_reply({"expired": len(victims)})
        if parts == ["reset"] and method == "POST":
            state.reset()
            return self.json_reply({"reset": True})
        if len(parts) == 3 and parts[0] == "tables" and parts[2] == "records":
            return self.json_reply(table_dump(state.store, parts[1]))
        return self.json_reply({"error": f"no control {method} {path}"}, status=404)


class _Nobody:
    id = None


def table_dump(store, dbid):
    with store.lock:
        table = store.by_dbid.get(dbid)
        if table is None or table.kind != "table":
            raise ValueError(f"no table {dbid}")
        out = {"dbid": table.dbid, "name": table.name,
               "fields": [{"id": f.fid, "label": f.label, "field_type": f.field_type}
                          for f in table.fields],
               "records": []}
        for rec in table.records.values():
            vals, wire = {}, {}
            for f in table.fields:
                v = store.value_of(table, rec, f)
                if v is None:
                    continue
                vals[str(f.fid)] = V.iso_text(f, v, store.clock)
                wire[str(f.fid)] = V.structured_text(f.vclass, v)
            out["records"].append({"rid": rec.rid, "update_id": rec.update_id, "values": vals,
                                   "wire": wire})
        return out


def _header_safe(text):
    return re.sub(r"[\r\n]+", " ", text).encode("latin-1", "replace").decode("latin-1")


def _body_text(body):
    text = body[:LOG_BODY_LIMIT].decode("utf-8", "replace")
    if len(body) > LOG_BODY_LIMIT:
        text += "...[%d bytes]" % len(body)
    return text


def make_ssl_context(cert, key):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_2
    ctx.load_cert_chain(cert, key)
    return ctx


__all__ = ["EmuServer", "State", "make_ssl_context", "error_text"]
