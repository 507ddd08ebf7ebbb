#!/usr/bin/env python3
"""Runs a Windows test program under Wine against the test update server.

    run-with-server.py [--tls] PROGRAM [ARGS...]

Starts tools/updateserver on 127.0.0.1 with an ephemeral port, serving samples/release with the
faults of tests/net/faults.json, and passes the program (through $TALVO_WINE_RUN):
  TALVO_TEST_SERVER       127.0.0.1:PORT
  TALVO_TEST_CLOSED_PORT  a loopback port nobody listens on
  TALVO_TEST_ACCESS_LOG   the server's access log (Windows path)
  TALVO_TEST_INFO_LOG     the server's log of information queries (Windows path)
  TALVO_SOURCE_DIR_WIN    the source tree (Windows path)
  TALVO_TEST_SERVED_DIR   a folder the server serves too, for files the program writes (Windows path)
With --tls a second server speaks HTTPS on 127.0.0.1:443 with a certificate for "localhost"
issued by the test CA in tests/net/tls/ (TALVO_TEST_TLS_CA: the CA certificate, Windows path).
The exit status is the program's.
"""
import os
import subprocess
import sys

from testserver import HERE, TOP, WINE_RUN, TestServer, WorkFolder, closed_port, windows_path


def main(argv):
    tls = bool(argv) and argv[0] == "--tls"
    if tls:
        argv = argv[1:]
    if not argv:
        raise SystemExit(__doc__)
    with WorkFolder() as work:
        servers = []
        try:
            # Files a test program writes here are served too, looked up at each request.
            served = os.path.join(work, "served")
            os.makedirs(served)
            http = TestServer(work, extra=["--extra-root", served])
            servers.append(http)
            env = dict(os.environ)
            env["TALVO_TEST_SERVER"] = "127.0.0.1:%d" % http.port
            env["TALVO_TEST_CLOSED_PORT"] = str(closed_port())
            env["TALVO_TEST_ACCESS_LOG"] = windows_path(http.access_log)
            env["TALVO_TEST_INFO_LOG"] = windows_path(http.info_log)
            env["TALVO_SOURCE_DIR_WIN"] = windows_path(TOP)
            env["TALVO_TEST_SERVED_DIR"] = windows_path(served)
            if tls:
                tls_dir = os.path.join(HERE, "tls")
                servers.append(TestServer(work, "tls", 443, [
                    "--tls-cert", os.path.join(tls_dir, "localhost.pem"),
                    "--tls-key", os.path.join(tls_dir, "localhost.key")]))
                env["TALVO_TEST_TLS_CA"] = windows_path(os.path.join(tls_dir, "ca.pem"))
            return subprocess.call([WINE_RUN] + argv, env=env)
        finally:
            for server in servers:
                server.stop()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
