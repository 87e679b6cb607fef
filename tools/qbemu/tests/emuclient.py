"""Test helper: starts qbemu on a free loopback port, talks to it like a QuickBase client.

Only the standard library: http.client over TLS, verified against the CA the emulator writes.
"""

import http.client
import json
import os
import select
import ssl
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
QBEMU_DIR = os.path.dirname(HERE)
QBEMU = os.path.join(QBEMU_DIR, "qbemu.py")
DEMO = os.path.join(QBEMU_DIR, "demo.json")

sys.path.insert(0, QBEMU_DIR)

# The demo fixture's identifiers.
APP = "bq8kx2md9"
PROJECTS = "bq8kx2mea"
TASKS = "bq8kx2mfb"
MEMBERS = "bq8kx2mgc"
CONTACTS_APP = "bq8kx2mhd"
CONTACTS = "bq8kx2mje"
PAT = ("pat.doe@example.com", "kelvra-demo", "61523471.ab3c")
SAM = ("sam.lee@example.com", "kelvra-demo-2", "58213370.k2mz")
RENEE_ID = "60012345.x9qa"
GUEST = ("guest@example.com", "guest-pass", "57700001.gst7")


class Result:
    def __init__(self, status, headers, body):
        self.status = status
        self.headers = headers
        self.body = body
        self._root = None

    def header(self, name):
        for k, v in self.headers:
            if k.lower() == name.lower():
                return v
        return None

    @property
    def text(self):
        return self.body.decode("utf-8")

    @property
    def root(self):
        if self._root is None:
            self._root = ET.fromstring(self.body)
        return self._root

    def find(self, path):
        return self.root.findtext(path)

    @property
    def errcode(self):
        return int(self.root.findtext("errcode"))


def xml_escape(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def build_body(params=(), fields=(), cdata=()):
    """A <qdbapi> body: params as (name, value) pairs, fields as (attrs, value), cdata names."""
    parts = ['<?xml version="1.0" encoding="UTF-8"?>\n<qdbapi>']
    for name, value in (params.items() if isinstance(params, dict) else params):
        if name in cdata:
            value = value.replace("]]>", "]]]]><![CDATA[>")
            parts.append(f"<{name}><![CDATA[{value}]]></{name}>")
        else:
            parts.append(f"<{name}>{xml_escape(str(value))}</{name}>")
    for attrs, value in fields:
        a = "".join(f' {k}="{xml_escape(str(v))}"' for k, v in attrs.items())
        parts.append(f"<field{a}>{xml_escape(str(value))}</field>")
    parts.append("</qdbapi>")
    return "".join(parts).encode("utf-8")


class Emulator:
    def __init__(self, fixture=DEMO, args=()):
        self.tmp = tempfile.mkdtemp(prefix="qbemu-test-")
        self.ca = os.path.join(self.tmp, "ca.pem")
        self.stderr_path = os.path.join(self.tmp, "stderr.txt")
        with open(self.stderr_path, "wb") as err:
            self.proc = subprocess.Popen(
                [sys.executable, QBEMU, "--data", fixture, "--port", "0", "--ca-out", self.ca,
                 *args],
                stdout=subprocess.PIPE, stderr=err, stdin=subprocess.DEVNULL)
        line = self._read_line(60)
        prefix = "qbemu listening on https://"
        if not line.startswith(prefix):
            with open(self.stderr_path, encoding="utf-8", errors="replace") as fh:
                err = fh.read()
            self.stop()
            raise RuntimeError(f"qbemu did not start: {line!r} {err}")
        hostport = line[len(prefix):].strip()
        self.host, port = hostport.rsplit(":", 1)
        self.port = int(port)
        self.ssl = ssl.create_default_context(cafile=self.ca)
        self._conn = None
        self._ticket = {}

    def _read_line(self, timeout):
        deadline = time.time() + timeout
        buf = b""
        fd = self.proc.stdout.fileno()
        while time.time() < deadline:
            r, _, _ = select.select([fd], [], [], 0.5)
            if r:
                chunk = os.read(fd, 1)
                if not chunk:
                    break
                buf += chunk
                if chunk == b"\n":
                    return buf.decode()
            elif self.proc.poll() is not None:
                break
        return buf.decode()

    def stop(self):
        if self._conn is not None:
            self._conn.close()
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(20)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.proc.stdout:
            self.proc.stdout.close()
        for name in os.listdir(self.tmp):
            os.unlink(os.path.join(self.tmp, name))
        os.rmdir(self.tmp)

    # -- HTTP -------------------------------------------------------------------------------

    def connection(self, host="localhost"):
        return http.client.HTTPSConnection(host, self.port, context=self.ssl, timeout=60)

    def request(self, method, path, body=None, headers=None, conn=None):
        own = conn is None
        if own:
            if self._conn is None:
                self._conn = self.connection()
            conn = self._conn
        try:
            conn.request(method, path, body=body, headers=headers or {})
            resp = conn.getresponse()
        except (http.client.HTTPException, OSError):
            if not own:
                raise
            conn.close()
            self._conn = conn = self.connection()
            conn.request(method, path, body=body, headers=headers or {})
            resp = conn.getresponse()
        data = resp.read()
        return Result(resp.status, resp.getheaders(), data)

    def ticket(self, who=PAT):
        if who not in self._ticket:
            r = self.call("API_Authenticate", "main", {"username": who[0], "password": who[1]},
                          auth=None)
            assert r.errcode == 0, r.text
            self._ticket[who] = r.find("ticket")
        return self._ticket[who]

    def call(self, action, target="main", params=(), fields=(), auth=PAT, style="header",
             cdata=(), headers=None, conn=None, body=None):
        """One API call. auth: a user tuple (ticket element), None, or ("cookie", user)."""
        params = list(params.items() if isinstance(params, dict) else params)
        hdrs = {"Content-Type": "application/xml"}
        if isinstance(auth, tuple) and auth and auth[0] == "cookie":
            hdrs["Cookie"] = "TICKET=" + self.ticket(auth[1]) + ";"
        elif auth is not None:
            params.insert(0, ("ticket", self.ticket(auth)))
        path = f"/db/{target}"
        if style == "header":
            hdrs["QUICKBASE-ACTION"] = action
        elif style == "a":
            path += f"?a={action}"
        elif style == "act":
            path += f"?act={action}"
        hdrs.update(headers or {})
        if body is None:
            body = build_body(params, fields, cdata)
        return self.request("POST", path, body, hdrs, conn)

    # -- controls ---------------------------------------------------------------------------

    def control(self, method, path, data=None):
        body = json.dumps(data).encode() if data is not None else None
        r = self.request(method, "/_emu/" + path, body,
                         {"Content-Type": "application/json"} if body else {})
        return r.status, json.loads(r.body)

    def reset(self):
        self.control("POST", "reset")
        self.control("DELETE", "faults")
        self.control("DELETE", "log")

    def records(self, dbid):
        return {r["rid"]: r for r in self.control("GET", f"tables/{dbid}/records")[1]["records"]}

    def log(self):
        return self.control("GET", "log")[1]["entries"]


class SharedEmulator:
    """One emulator for all the tests of a module: start() for setUpModule, stop() for
    tearDownModule; in between it stands for the running Emulator."""

    def __init__(self):
        self._emulator = None

    def start(self):
        self._emulator = Emulator()

    def stop(self):
        if self._emulator is not None:
            self._emulator.stop()
            self._emulator = None

    def __getattr__(self, name):
        if self._emulator is None:
            raise RuntimeError("the module's emulator is not running")
        return getattr(self._emulator, name)
