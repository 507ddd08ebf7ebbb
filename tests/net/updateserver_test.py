#!/usr/bin/env python3
"""The test update server itself, natively: what it serves, its logs, and each fault."""
import http.client
import json
import os
import socket
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from testserver import TOP, ServerTestCase, TestServer, generated  # noqa: E402

RELEASE = os.path.join(TOP, "samples", "release")


class UpdateServerTest(ServerTestCase):
    def get(self, path, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=20)
        self.addCleanup(connection.close)
        connection.request("GET", path, headers=headers or {})
        response = connection.getresponse()
        return response, connection

    def raw_get(self, path):
        """Everything the server sends for one request, and how the connection ended."""
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=20) as s:
            s.sendall(("GET %s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n" % path).encode())
            data = b""
            try:
                while True:
                    piece = s.recv(65536)
                    if not piece:
                        return data, "closed"
                    data += piece
            except ConnectionResetError:
                return data, "reset"

    def access_log(self):
        with open(self.server.access_log) as f:
            return f.read()

    def test_information_document_logs_its_query_and_names_this_server(self):
        response, _ = self.get("/talvoupdate/PlusInformation.php?ver=3.40&WinOS=6.1",
                               {"Host": "127.0.0.1:%d" % self.server.port})
        body = response.read()
        self.assertEqual(response.status, 200)
        with open(os.path.join(RELEASE, "talvoupdate", "PlusInformation.php"), "rb") as f:
            expected = f.read().replace(b"@SERVER@", b"127.0.0.1:%d" % self.server.port)
        self.assertEqual(body, expected)
        self.assertIn(b"http://127.0.0.1:%d/talvoupdate/TalvoXP_341.zip" % self.server.port, body)
        with open(self.server.info_log) as f:
            self.assertIn("ver=3.40&WinOS=6.1\n", f.read())

    def test_release_files_and_pages(self):
        for path in ("/notice/notice.txt", "/app/update_windowlog.asp", "/Banner2008/Banner_Update.html"):
            response, _ = self.get(path)
            with open(os.path.join(RELEASE, path.lstrip("/")), "rb") as f:
                self.assertEqual(response.read(), f.read(), path)
            self.assertEqual(response.status, 200)

    def test_nothing_outside_the_release_and_404_for_the_missing(self):
        for path in ("/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/talvoupdate/missing.zip"):
            data, _ = self.raw_get(path)
            self.assertTrue(data.startswith(b"HTTP/1.1 404"), path)

    def test_generated_body_and_keep_alive(self):
        response, connection = self.get("/__gen/70000/x.bin")
        self.assertEqual(response.read(), generated(70000))
        connection.request("GET", "/__gen/3/y.bin")
        self.assertEqual(connection.getresponse().read(), generated(3))

    def test_status_faults(self):
        for path, status, header in (("/faults/206.bin", 206, None), ("/faults/401.bin", 401, "WWW-Authenticate"),
                                     ("/faults/407.bin", 407, "Proxy-Authenticate"), ("/faults/500.bin", 500, None)):
            response, _ = self.get(path)
            response.read()
            self.assertEqual(response.status, status)
            if header:
                self.assertIsNotNone(response.getheader(header))

    def test_body_faults(self):
        data, end = self.raw_get("/faults/nolength.bin")
        self.assertNotIn(b"Content-Length", data.split(b"\r\n\r\n")[0])
        self.assertEqual(data.split(b"\r\n\r\n", 1)[1], generated(300000))
        self.assertEqual(end, "closed")
        data, end = self.raw_get("/faults/truncated.bin")
        self.assertIn(b"Content-Length: 300000", data)
        self.assertEqual(data.split(b"\r\n\r\n", 1)[1], generated(70000))
        self.assertEqual(end, "closed")
        data, end = self.raw_get("/faults/reset.bin")
        self.assertEqual(end, "reset")
        data, end = self.raw_get("/faults/empty.bin")
        self.assertIn(b"Content-Length: 0\r\n", data)
        data, end = self.raw_get("/faults/shortstall.bin")
        self.assertIn(b"Content-Length: 5000", data)
        self.assertEqual(data.split(b"\r\n\r\n", 1)[1], generated(1000))
        self.assertEqual(end, "closed")
        log = self.access_log()
        self.assertLess(log.index("stalled /faults/shortstall.bin sent=1000"), log.index("stall-over /faults/shortstall.bin"))
        start = time.monotonic()
        response, _ = self.get("/faults/drip.bin")
        self.assertEqual(response.read(), generated(5000))
        self.assertGreaterEqual(time.monotonic() - start, 0.2)

    def test_faults_file_is_reread_and_times_counts_requests(self):
        faults = os.path.join(self.work, "faults.json")
        server = TestServer(self.work, "second", extra=["--faults", faults])
        try:
            def status(path):
                data, _ = socket_get(server.port, path)
                return int(data.split(b" ", 2)[1])
            self.assertEqual(status("/__gen/5/a.bin"), 200)
            with open(faults, "w") as f:
                json.dump({"/__gen/5/a.bin": {"status": 500, "times": 2}}, f)
            self.assertEqual([status("/__gen/5/a.bin") for _ in range(3)], [500, 500, 200])
        finally:
            server.stop()


def socket_get(port, path):
    with socket.create_connection(("127.0.0.1", port), timeout=20) as s:
        s.sendall(("GET %s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n" % path).encode())
        data = b""
        while True:
            piece = s.recv(65536)
            if not piece:
                return data, "closed"
            data += piece


if __name__ == "__main__":
    unittest.main(verbosity=2)
