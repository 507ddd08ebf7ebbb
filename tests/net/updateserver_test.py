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
from testserver import TOP, ServerTestCase, TestServer, WorkFolder, generated  # noqa: E402

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

    def test_information_document_answers_304_while_unchanged(self):
        path = "/talvoupdate/PlusInformation.php?ver=3.40&WinOS=6.1"
        host = {"Host": "127.0.0.1:%d" % self.server.port}
        response, _ = self.get(path, host)
        body = response.read()
        etag, modified = response.getheader("ETag"), response.getheader("Last-Modified")
        self.assertTrue(etag.startswith('"'), etag)
        self.assertIsNotNone(modified)
        cases = [
            # request headers, status, whether the body comes
            ({"If-None-Match": etag}, 304, False),
            ({"If-None-Match": etag, "If-Modified-Since": "Sat, 01 Jan 2000 00:00:00 GMT"}, 304, False),
            ({"If-None-Match": '"other"', "If-Modified-Since": modified}, 200, True),
            ({"If-Modified-Since": modified}, 304, False),
            ({"If-Modified-Since": "Sat, 01 Jan 2000 00:00:00 GMT"}, 200, True),
            ({"Host": "another:80", "If-None-Match": etag}, 200, False),  # other bytes, other ETag
        ]
        for request, status, same_body in cases:
            with self.subTest(request=request):
                response, _ = self.get(path, dict(host, **request))
                got = response.read()
                self.assertEqual(response.status, status)
                self.assertEqual(got == body, same_body)
                if status == 304:
                    self.assertEqual(got, b"")
        log = self.access_log()
        self.assertIn("not-modified /talvoupdate/PlusInformation.php", log)
        self.assertIn("done /talvoupdate/PlusInformation.php sent=0", log)
        self.assertIn("done /talvoupdate/PlusInformation.php sent=%d" % len(body), log)

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

    def test_endless_body_has_no_length_and_no_end(self):
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=20) as s:
            s.sendall(b"GET /faults/endless.bin HTTP/1.1\r\nHost: x\r\n\r\n")
            data = b""
            while len(data) < 3 * 1024 * 1024:
                data += s.recv(65536)
        head, body = data.split(b"\r\n\r\n", 1)
        self.assertTrue(head.startswith(b"HTTP/1.1 200"))
        self.assertNotIn(b"Content-Length", head)
        self.assertEqual(body[:1000000], generated(1000000))

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


class ResumeFaultsTest(unittest.TestCase):
    """Validators, ranges, conditional requests and a file that changes, each from its own faults file."""

    FAULTS = {
        "/r/etag.bin": {"validator": "etag", "size": 3000},
        "/r/weak.bin": {"validator": "weak-etag", "size": 3000},
        "/r/lastmod.bin": {"validator": "last-modified", "size": 3000},
        "/r/both.bin": {"validator": "both", "size": 3000},
        "/r/none.bin": {"size": 3000},
        "/r/ignorerange.bin": {"validator": "both", "ignore_range": True, "size": 3000},
        "/r/wrongrange.bin": {"validator": "both", "wrong_content_range": 100, "size": 3000},
        "/r/416.bin": {"validator": "both", "unsatisfiable": True, "size": 3000},
        "/r/changes.bin": {"validator": "both", "size": 3000, "sequence": [{}, {"version": 1}]},
        "/r/cutonce.bin": {"validator": "etag", "size": 3000, "sequence": [{"truncate": 1000}, {}]},
        "/r/304.bin": {"status": 304},
        "/talvoupdate/PlusInformation.php": {"sequence": [{}, {"ignore_conditional": True}, {"validator": "none"},
                                                          {"validator": "last-modified"}]},
        "/r/noconditional.bin": {"validator": "both", "ignore_conditional": True, "size": 3000},
    }

    @classmethod
    def setUpClass(cls):
        cls.folder = WorkFolder()
        cls.work = cls.folder.__enter__()
        faults = os.path.join(cls.work, "faults.json")
        with open(faults, "w") as f:
            json.dump(cls.FAULTS, f)
        cls.server = TestServer(cls.work, "resume", extra=["--faults", faults])

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        cls.folder.__exit__(None, None, None)

    def get(self, path, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=20)
        try:
            connection.request("GET", path, headers=headers or {})
            response = connection.getresponse()
            try:
                body = response.read()
            except http.client.IncompleteRead as e:
                body = e.partial
            return response.status, {k.lower(): v for k, v in response.getheaders()}, body
        finally:
            connection.close()

    def test_validators_served_as_asked(self):
        for path, etag, modified in (("/r/etag.bin", True, False), ("/r/lastmod.bin", False, True),
                                     ("/r/both.bin", True, True), ("/r/none.bin", False, False)):
            status, headers, body = self.get(path)
            self.assertEqual((status, body), (200, generated(3000)), path)
            self.assertEqual("etag" in headers, etag, path)
            self.assertEqual("last-modified" in headers, modified, path)
            if etag:
                self.assertFalse(headers["etag"].startswith("W/"), path)
        _, headers, _ = self.get("/r/weak.bin")
        self.assertTrue(headers["etag"].startswith('W/"'))

    def test_ranges_and_if_range(self):
        _, headers, _ = self.get("/r/both.bin")
        etag, modified = headers["etag"], headers["last-modified"]
        cases = [
            # path, request headers, status, Content-Range, body
            ("/r/both.bin", {"Range": "bytes=1000-"}, 206, "bytes 1000-2999/3000", generated(3000)[1000:]),
            ("/r/both.bin", {"Range": "bytes=10-19"}, 206, "bytes 10-19/3000", generated(3000)[10:20]),
            ("/r/both.bin", {"Range": "bytes=1000-", "If-Range": etag}, 206, "bytes 1000-2999/3000",
             generated(3000)[1000:]),
            ("/r/both.bin", {"Range": "bytes=1000-", "If-Range": modified}, 206, "bytes 1000-2999/3000",
             generated(3000)[1000:]),
            ("/r/both.bin", {"Range": "bytes=1000-", "If-Range": '"other"'}, 200, None, generated(3000)),
            ("/r/weak.bin", {"Range": "bytes=1000-", "If-Range": 'W/"bb8-v0"'}, 200, None, generated(3000)),
            ("/r/both.bin", {"Range": "bytes=3000-"}, 416, "bytes */3000", b""),
            ("/r/none.bin", {"Range": "bytes=1000-"}, 200, None, generated(3000)),
            ("/r/ignorerange.bin", {"Range": "bytes=1000-", "If-Range": etag}, 200, None, generated(3000)),
            ("/r/wrongrange.bin", {"Range": "bytes=1000-"}, 206, "bytes 1100-2999/3000", generated(3000)[1100:]),
            ("/r/416.bin", {"Range": "bytes=1000-"}, 416, "bytes */3000", b""),
        ]
        for path, request, status, content_range, body in cases:
            with self.subTest(path=path, request=request):
                got_status, headers, got_body = self.get(path, request)
                self.assertEqual(got_status, status)
                self.assertEqual(headers.get("content-range"), content_range)
                self.assertEqual(got_body, body)
        with open(self.server.access_log) as f:
            self.assertIn("range=bytes=1000- if-range=%s" % etag, f.read())

    def test_file_changes_with_its_validator_between_requests(self):
        _, first_headers, first = self.get("/r/changes.bin")
        status, headers, body = self.get("/r/changes.bin", {"Range": "bytes=1000-", "If-Range": first_headers["etag"]})
        self.assertEqual(first, generated(3000))
        self.assertEqual(status, 200)  # the validator no longer matches: the whole new file
        self.assertNotEqual(headers["etag"], first_headers["etag"])
        self.assertNotEqual(headers["last-modified"], first_headers["last-modified"])
        self.assertEqual(len(body), 3000)
        self.assertNotEqual(body, first)
        status, _, again = self.get("/r/changes.bin")
        self.assertEqual(again, body)

    def test_cut_once_then_resumable(self):
        status, headers, body = self.get("/r/cutonce.bin")
        self.assertEqual((status, headers["content-length"], body), (200, "3000", generated(1000)))
        status, headers, rest = self.get("/r/cutonce.bin", {"Range": "bytes=1000-", "If-Range": headers["etag"]})
        self.assertEqual((status, body + rest), (206, generated(3000)))

    def test_conditional_requests(self):
        _, headers, _ = self.get("/r/both.bin")
        cases = [
            ("/r/both.bin", {"If-None-Match": headers["etag"]}, 304),
            ("/r/both.bin", {"If-None-Match": '"other"'}, 200),
            ("/r/both.bin", {"If-Modified-Since": headers["last-modified"]}, 304),
            ("/r/both.bin", {"If-Modified-Since": "Sat, 01 Jan 2000 00:00:00 GMT"}, 200),
            ("/r/none.bin", {"If-None-Match": '"x"', "If-Modified-Since": headers["last-modified"]}, 200),
            ("/r/noconditional.bin", {"If-None-Match": headers["etag"]}, 200),
            ("/r/304.bin", {}, 304),
        ]
        for path, request, status in cases:
            with self.subTest(path=path, request=request):
                got_status, got_headers, body = self.get(path, request)
                self.assertEqual(got_status, status)
                if status == 304:
                    self.assertEqual(body, b"")

    def test_information_document_faults(self):
        path = "/talvoupdate/PlusInformation.php"
        _, first, _ = self.get(path)
        asked = {"If-None-Match": first["etag"], "If-Modified-Since": first["last-modified"]}
        # Ignoring the conditions, then no validators at all, then only Last-Modified.
        status, headers, body = self.get(path, asked)
        self.assertEqual((status, headers["etag"]), (200, first["etag"]))
        self.assertTrue(body)
        status, headers, _ = self.get(path, asked)
        self.assertEqual(status, 200)
        self.assertNotIn("etag", headers)
        self.assertNotIn("last-modified", headers)
        status, headers, body = self.get(path, {"If-Modified-Since": first["last-modified"]})
        self.assertEqual((status, body), (304, b""))
        self.assertNotIn("etag", headers)


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
