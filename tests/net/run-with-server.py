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
With --tls a second server speaks HTTPS on 127.0.0.1:443 with a certificate for "localhost"
issued by the test CA in tests/net/tls/ (TALVO_TEST_TLS_CA: the CA certificate, Windows path).
The exit status is the program's.
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))
SERVER = os.path.join(TOP, "tools", "updateserver", "updateserver.py")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def closed_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_server(work, name, extra):
    port_file = os.path.join(work, name + ".port")
    args = [sys.executable, SERVER, "--root", os.path.join(TOP, "samples", "release"),
            "--faults", os.path.join(HERE, "faults.json"),
            "--access-log", os.path.join(work, name + "-access.log"),
            "--log", os.path.join(work, name + "-info.log"), "--port-file", port_file] + extra
    process = subprocess.Popen(args)
    for _ in range(200):
        if os.path.exists(port_file):
            with open(port_file) as f:
                return process, int(f.read())
        if process.poll() is not None:
            raise SystemExit("run-with-server: the %s server did not start" % name)
        time.sleep(0.05)
    process.kill()
    raise SystemExit("run-with-server: the %s server did not start in time" % name)


def main(argv):
    tls = False
    if argv and argv[0] == "--tls":
        tls = True
        argv = argv[1:]
    if not argv:
        raise SystemExit(__doc__)
    work = tempfile.mkdtemp(prefix="talvo-net-")
    servers = []
    try:
        process, port = start_server(work, "http", ["--host", "127.0.0.1", "--port", "0"])
        servers.append(process)
        env = dict(os.environ)
        env["TALVO_TEST_SERVER"] = "127.0.0.1:%d" % port
        env["TALVO_TEST_CLOSED_PORT"] = str(closed_port())
        env["TALVO_TEST_ACCESS_LOG"] = windows_path(os.path.join(work, "http-access.log"))
        env["TALVO_TEST_INFO_LOG"] = windows_path(os.path.join(work, "http-info.log"))
        env["TALVO_SOURCE_DIR_WIN"] = windows_path(TOP)
        if tls:
            tls_dir = os.path.join(HERE, "tls")
            process, _ = start_server(work, "tls", [
                "--host", "127.0.0.1", "--port", "443",
                "--tls-cert", os.path.join(tls_dir, "localhost.pem"),
                "--tls-key", os.path.join(tls_dir, "localhost.key")])
            servers.append(process)
            env["TALVO_TEST_TLS_CA"] = windows_path(os.path.join(tls_dir, "ca.pem"))
            env["TALVO_TEST_TLS_ACCESS_LOG"] = windows_path(os.path.join(work, "tls-access.log"))
        wine_run = env.get("TALVO_WINE_RUN", os.path.join(TOP, "tools", "wine-run.sh"))
        return subprocess.call([wine_run] + argv, env=env)
    finally:
        for process in servers:
            process.terminate()
        for process in servers:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
