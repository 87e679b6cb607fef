"""The emulator's certificates: a throw-away CA and a server certificate it signs, made with the
openssl command-line tool, for the names localhost and 127.0.0.1 (and ::1)."""

import os
import shutil
import subprocess


class TlsError(Exception):
    pass


def _run(args, cwd):
    try:
        proc = subprocess.run(args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              stdin=subprocess.DEVNULL, timeout=60)
    except FileNotFoundError:
        raise TlsError("the openssl command is not installed (Debian package 'openssl')") \
            from None
    if proc.returncode != 0:
        raise TlsError("openssl %s failed: %s" % (args[1], proc.stderr.decode(
            "utf-8", "replace").strip()))


def make_certificates(directory, extra_names=()):
    """Writes ca.pem, server.pem and server.key into directory; returns their paths."""
    openssl = shutil.which("openssl")
    if openssl is None:
        raise TlsError("the openssl command is not installed (Debian package 'openssl')")
    os.makedirs(directory, exist_ok=True)
    names = ["DNS:localhost", "IP:127.0.0.1", "IP:::1"]
    for n in extra_names:
        entry = ("IP:" if _looks_like_ip(n) else "DNS:") + n
        if entry not in names:
            names.append(entry)
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    _run([openssl, "req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "30",
          "-subj", "/CN=qbemu test CA", "-addext", "basicConstraints=critical,CA:TRUE",
          "-addext", "keyUsage=critical,keyCertSign,cRLSign"], directory)
    _run([openssl, "req", "-new", *ec, "-keyout", "server.key", "-out", "server.csr",
          "-subj", "/CN=localhost"], directory)
    with open(os.path.join(directory, "server.ext"), "w") as fh:
        fh.write("basicConstraints=critical,CA:FALSE\n"
                 "keyUsage=critical,digitalSignature,keyEncipherment\n"
                 "extendedKeyUsage=serverAuth\n"
                 "subjectAltName=%s\n" % ",".join(names))
    _run([openssl, "x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
          "-CAcreateserial", "-out", "server.pem", "-days", "30", "-extfile", "server.ext"],
         directory)
    return (os.path.join(directory, "ca.pem"), os.path.join(directory, "server.pem"),
            os.path.join(directory, "server.key"))


def _looks_like_ip(name):
    return all(c in "0123456789." for c in name) or ":" in name
