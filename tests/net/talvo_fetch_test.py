#!/usr/bin/env python3
"""talvo-fetch.exe end to end under Wine against the test update server.

    talvo_fetch_test.py PATH/TO/talvo-fetch.exe
"""
import os
import subprocess
import sys
import unittest

from testserver import TOP, WINE_RUN, ServerTestCase, closed_port, generated, windows_path

FETCH = None


class TalvoFetchTest(ServerTestCase):
    def run_fetch(self, *args):
        result = subprocess.run([WINE_RUN, FETCH] + list(args), stdout=subprocess.PIPE, timeout=120)
        return result.returncode, result.stdout

    def save_dir(self, name):
        path = os.path.join(self.work, name)
        return path, windows_path(path)

    def test_file_mode_prints_the_finished_file(self):
        linux, windows = self.save_dir("one")
        code, out = self.run_fetch("--save-dir", windows, self.server.url("/talvoupdate/PlusInformation.php"))
        # The file name includes the query text when there is one; here there is none.
        self.assertEqual(out, ("file=%s\\PlusInformation.php error=0\n" % windows).encode())
        self.assertEqual(code, 0)
        self.assertTrue(os.path.isfile(os.path.join(linux, "PlusInformation.php")))

    def test_queued_urls_leave_the_last_one_as_finished_file(self):
        linux, windows = self.save_dir("two")
        code, out = self.run_fetch("--save-dir", windows + "\\", self.server.url("/__gen/100/a.bin"),
                                   self.server.url("/__gen/200/b.bin"))
        self.assertEqual(out, ("file=%s\\b.bin error=0\n" % windows).encode())
        self.assertEqual(code, 0)
        with open(os.path.join(linux, "a.bin"), "rb") as f:
            self.assertEqual(f.read(), generated(100))
        with open(os.path.join(linux, "b.bin"), "rb") as f:
            self.assertEqual(f.read(), generated(200))

    def test_failure_after_a_success_leaves_nothing_finished(self):
        _, windows = self.save_dir("fail")
        code, out = self.run_fetch("--save-dir", windows, self.server.url("/__gen/100/ok.bin"),
                                   self.server.url("/faults/500.bin"))
        self.assertEqual(out, b"file= error=1\n")
        self.assertEqual(code, 1)

    def test_unreachable_server(self):
        _, windows = self.save_dir("refused")
        code, out = self.run_fetch("--save-dir", windows, "http://127.0.0.1:%d/x.zip" % closed_port())
        self.assertEqual(out, b"file= error=1\n")
        self.assertEqual(code, 1)

    def test_default_folder_is_the_staging_folder_beside_the_program(self):
        staging = os.path.join(os.path.dirname(FETCH), "Update")
        try:
            code, out = self.run_fetch(self.server.url("/__gen/10/staged.bin"))
            self.assertEqual(code, 0)
            self.assertEqual(out, ("file=%s\\staged.bin error=0\n" % windows_path(staging)).encode())
        finally:
            for name in ("staged.bin",):
                if os.path.exists(os.path.join(staging, name)):
                    os.remove(os.path.join(staging, name))
            if os.path.isdir(staging) and not os.listdir(staging):
                os.rmdir(staging)

    def test_text_mode_prints_the_body_bytes(self):
        code, out = self.run_fetch("--text", "10000",
                                   self.server.url("/talvoupdate/PlusInformation.php?ver=3.40&WinOS=6.1"))
        with open(os.path.join(TOP, "samples", "release", "talvoupdate", "PlusInformation.php"), "rb") as f:
            expected = f.read().replace(b"@SERVER@", b"127.0.0.1:%d" % self.server.port)
        self.assertEqual(out, expected)
        self.assertEqual(code, 0)
        with open(self.server.info_log, "rb") as f:
            self.assertIn(b"ver=3.40&WinOS=6.1\n", f.read())

    def test_text_mode_failure_prints_nothing(self):
        code, out = self.run_fetch("--text", "1500", self.server.url("/faults/500.txt"))
        self.assertEqual(out, b"")
        self.assertEqual(code, 1)

    def test_a_server_gone_silent_is_given_up_after_a_minute(self):
        # The server sends part of the body and then nothing for 100 s before it closes.
        _, windows = self.save_dir("stalled")
        code, out = self.run_fetch("--save-dir", windows, self.server.url("/faults/stallminute.bin"))
        self.assertEqual(out, b"file= error=1\n")
        self.assertEqual(code, 1)
        with open(self.server.access_log) as f:
            log = f.read()
        self.assertIn("stalled /faults/stallminute.bin", log)
        self.assertNotIn("stall-over /faults/stallminute.bin", log)

    def test_bad_command_lines(self):
        for args in ([], ["--text", "abc", "http://x/"], ["--text", "100"], ["--save-dir", "C:\\x"]):
            code, _ = self.run_fetch(*args)
            self.assertEqual(code, 2, args)


if __name__ == "__main__":
    FETCH = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
