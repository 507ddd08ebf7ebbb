"""Starting and stopping the test update server for the net tests (see run-with-server.py)."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))
SERVER = os.path.join(TOP, "tools", "updateserver", "updateserver.py")
WINE_RUN = os.environ.get("TALVO_WINE_RUN", os.path.join(TOP, "tools", "wine-run.sh"))


def windows_path(path):
    """The path as a Windows program under Wine sees it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def closed_port():
    """A loopback port that nobody listens on (bound a moment ago, then released)."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class TestServer:
    """The update server on 127.0.0.1 serving samples/release with tests/net/faults.json."""

    def __init__(self, work, name="http", port=0, extra=()):
        self.work = work
        self.access_log = os.path.join(work, name + "-access.log")
        self.info_log = os.path.join(work, name + "-info.log")
        port_file = os.path.join(work, name + ".port")
        args = [sys.executable, SERVER, "--root", os.path.join(TOP, "samples", "release"),
                "--faults", os.path.join(HERE, "faults.json"), "--access-log", self.access_log,
                "--log", self.info_log, "--port-file", port_file,
                "--host", "127.0.0.1", "--port", str(port)] + list(extra)
        self.process = subprocess.Popen(args)
        for _ in range(200):
            if os.path.exists(port_file):
                with open(port_file) as f:
                    self.port = int(f.read())
                return
            if self.process.poll() is not None:
                raise SystemExit("testserver: the %s server did not start" % name)
            time.sleep(0.05)
        self.process.kill()
        raise SystemExit("testserver: the %s server did not start in time" % name)

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()


class WorkFolder:
    def __enter__(self):
        self.path = tempfile.mkdtemp(prefix="talvo-net-")
        return self.path

    def __exit__(self, *exc):
        shutil.rmtree(self.path, ignore_errors=True)


def generated(size):
    """What the server's /__gen/<size>/ path answers."""
    return bytes(i % 251 for i in range(size))


class ServerTestCase(unittest.TestCase):
    """One test update server (and a work folder) for all tests of the class."""

    @classmethod
    def setUpClass(cls):
        cls.folder = WorkFolder()
        cls.work = cls.folder.__enter__()
        cls.server = TestServer(cls.work)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        cls.folder.__exit__(None, None, None)
