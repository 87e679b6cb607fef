"""Command line: python3 tools/qbemu/qbemu.py --data FIXTURE.json [options]."""

import argparse
import shutil
import signal
import sys
import tempfile
import threading

from . import model, tls, values
from .server import EmuServer, State, make_ssl_context


def build_parser():
    p = argparse.ArgumentParser(
        prog="qbemu.py",
        description="An emulator of the QuickBase XML API over HTTPS, for tests and the demo.")
    p.add_argument("--data", required=True, metavar="FIXTURE.json",
                   help="the JSON fixture to serve (see tools/qbemu/README.md)")
    p.add_argument("--host", default="127.0.0.1", help="address to listen on (127.0.0.1)")
    p.add_argument("--port", type=int, default=0, help="port; 0 picks a free one (default)")
    p.add_argument("--tz", default="UTC",
                   help="the applications' time zone: UTC, an IANA name or an offset like +02:00")
    p.add_argument("--ca-out", metavar="FILE",
                   help="write the CA certificate that signs the server certificate to FILE")
    p.add_argument("--cert", metavar="PEM", help="server certificate to use instead of a new one")
    p.add_argument("--key", metavar="PEM", help="private key of --cert")
    p.add_argument("--cert-dir", metavar="DIR",
                   help="keep the generated certificates in DIR (default: a temporary directory "
                        "removed at exit)")
    p.add_argument("--bench-records", type=int, default=0, metavar="N",
                   help="also serve the application 'Kelvra Bench' whose table holds N "
                        "generated records")
    p.add_argument("--log-limit", type=int, default=10000, metavar="N",
                   help="entries kept in the request log (default 10000)")
    p.add_argument("--verbose", action="store_true", help="print one line per request")
    return p


def fail(message):
    print(f"qbemu: {message}", file=sys.stderr, flush=True)
    return 2


def main(argv=None):
    parser = build_parser()
    args = parser.parse_args(argv)
    if not 0 <= args.port <= 65535:
        return fail(f"--port {args.port} is not a port number")
    if args.bench_records < 0:
        return fail("--bench-records must not be negative")
    if bool(args.cert) != bool(args.key):
        return fail("--cert and --key go together")
    try:
        clock = values.Clock(args.tz)
    except ValueError as exc:
        return fail(f"--tz: {exc}")

    def load():
        return model.load_fixture(args.data, clock, bench_records=args.bench_records)
    try:
        state = State(load, verbose=args.verbose, log_limit=args.log_limit)
    except model.FixtureError as exc:
        return fail(f"bad fixture {args.data}: {exc}")

    tmpdir = None
    try:
        if args.cert:
            cert, key, ca = args.cert, args.key, args.cert
        else:
            directory = args.cert_dir or tempfile.mkdtemp(prefix="qbemu-tls-")
            tmpdir = None if args.cert_dir else directory
            extra = [] if args.host in ("127.0.0.1", "localhost", "::1", "0.0.0.0", "::") \
                else [args.host]
            ca, cert, key = tls.make_certificates(directory, extra)
        if args.ca_out:
            shutil.copyfile(ca, args.ca_out)
        ctx = make_ssl_context(cert, key)
    except (tls.TlsError, OSError) as exc:
        if tmpdir:
            shutil.rmtree(tmpdir, ignore_errors=True)
        return fail(f"TLS set-up failed: {exc}")

    try:
        server = EmuServer((args.host, args.port), state, ctx)
    except OSError as exc:
        if tmpdir:
            shutil.rmtree(tmpdir, ignore_errors=True)
        return fail(f"cannot listen on {args.host}:{args.port}: {exc.strerror or exc}")

    stop = threading.Event()

    def on_signal(signum, frame):
        stop.set()
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2},
                              daemon=True)
    thread.start()
    port = server.server_address[1]
    host = args.host if ":" not in args.host else f"[{args.host}]"
    print(f"qbemu listening on https://{host}:{port}", flush=True)
    try:
        while not stop.wait(0.5):
            pass
    finally:
        server.shutdown()
        server.server_close()
        if tmpdir:
            shutil.rmtree(tmpdir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
