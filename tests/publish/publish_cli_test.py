#!/usr/bin/env python3
"""talvo-publish and talvo-doc lint as a maker runs them, on the sample release (host build).

    publish_cli_test.py TALVO_PUBLISH TALVO_DOC
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

PUBLISH, DOC = sys.argv[1], sys.argv[2]
del sys.argv[1:3]
TOP = os.environ.get("TALVO_SOURCE_DIR", os.path.normpath(os.path.join(os.path.dirname(__file__), "..", "..")))
SAMPLE = os.path.join(TOP, "samples", "release")
DOCUMENT = os.path.join("talvoupdate", "PlusInformation.php")


def run(*args):
    return subprocess.run(list(args), capture_output=True, timeout=60)


class PublishTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="talvo-publish-")
        self.src = os.path.join(self.work, "src")
        shutil.copytree(SAMPLE, self.src)
        # The built programs the demo copies in; any bytes do here.
        for path, data in (("files/client/Talvo.exe", b"MZ client"), ("files/extra/TalvoExtra.exe", b"MZ extra")):
            with open(os.path.join(self.src, path), "wb") as f:
                f.write(data)
        self.out = os.path.join(self.work, "www")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def publish(self, *extra):
        return run(PUBLISH, os.path.join(self.src, "release.txt"), self.out, *extra)

    def edit(self, old, new):
        path = os.path.join(self.src, "release.txt")
        with open(path, encoding="utf-8") as f:
            text = f.read()
        self.assertIn(old, text)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text.replace(old, new, 1))

    def read(self, relative):
        with open(os.path.join(self.out, relative), "rb") as f:
            return f.read()

    def test_the_sample_release_publishes_clean_and_reproducibly(self):
        result = self.publish()
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        document = self.read(DOCUMENT)
        text = document.decode("cp949")
        self.assertIn("\r\nPROJECT=탈보 정식 업데이트\r\n", text)
        self.assertIn("\r\nNAME=확장 도구\r\n", text)
        self.assertNotIn("\n", text.replace("\r\n", ""), "CR LF line ends only")
        # Every package holds exactly its folder's files, deflated where that is smaller.
        packages = {"TalvoXP_341.zip": {"Talvo.exe": b"MZ client"}, "Talvo98_341.zip": {"Talvo.exe": b"MZ client"},
                    "serverlist_27.zip": None, "filter_105.zip": None, "TalvoLogin_1008.zip": None,
                    "extra0.zip": {"TalvoExtra.exe": b"MZ extra"}}
        folders = {"serverlist_27.zip": "serverlist", "filter_105.zip": "filter", "TalvoLogin_1008.zip": "login"}
        for name, expected in packages.items():
            self.assertIn("http://127.0.0.1/talvoupdate/%s\r\n" % name, text)
            if expected is None:
                folder = os.path.join(self.src, "files", folders[name])
                expected = {}
                for entry in os.listdir(folder):
                    with open(os.path.join(folder, entry), "rb") as f:
                        expected[entry] = f.read()
            with zipfile.ZipFile(os.path.join(self.out, "talvoupdate", name)) as z:
                self.assertIsNone(z.testzip())
                self.assertEqual({i.filename: z.read(i) for i in z.infolist()}, expected, name)
        with open(os.path.join(SAMPLE, "notice", "notice.txt"), "rb") as f:
            self.assertEqual(self.read("talvoupdate/notice.txt"), f.read())
        lint = run(DOC, "lint", os.path.join(self.out, DOCUMENT), "--release", self.out)
        self.assertEqual((lint.returncode, lint.stdout), (0, b""), lint.stderr)

        # The same files give the same bytes, and nothing served is rewritten.
        zips = {n: self.read("talvoupdate/" + n) for n in packages}
        again = self.publish()
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertIn(b"TalvoXP_341.zip (unchanged)", again.stdout)
        self.assertEqual({n: self.read("talvoupdate/" + n) for n in packages}, zips)
        self.assertEqual(self.read(DOCUMENT), document)

    def test_findings_keep_the_served_document(self):
        self.assertEqual(self.publish().returncode, 0)
        served = self.read(DOCUMENT)
        # As text, "3.5" sorts after "3.41": published. "3.10" sorts before "3.5": refused.
        self.edit("version     3.41", "version     3.5")
        self.assertEqual(self.publish().returncode, 0)
        self.assertIn(b"XP_VERSION=3.5\r\n", self.read(DOCUMENT))
        served = self.read(DOCUMENT)
        self.edit("version     3.5", "version     3.10")
        result = self.publish()
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertRegex(result.stdout.decode(), r"PlusInformation\.php:\d+: \[version-order\] XP_VERSION \"3\.10\"")
        self.assertEqual(self.read(DOCUMENT), served)
        forced = self.publish("--force")
        self.assertEqual(forced.returncode, 0, forced.stderr)
        self.assertIn(b"XP_VERSION=3.10\r\n", self.read(DOCUMENT))

    def test_a_trap_in_the_description_is_caught_before_serving(self):
        self.edit("compulsory  no\n  setting     Network\\\\MaxConnect\\\\50",
                  "compulsory  no\n  setting     Network\\MaxConnect\\50")
        result = self.publish()
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(b"[option-setting]", result.stdout)
        self.assertFalse(os.path.exists(os.path.join(self.out, DOCUMENT)))

    def test_a_changed_package_under_a_served_name_is_refused(self):
        self.assertEqual(self.publish().returncode, 0)
        with open(os.path.join(self.src, "files/serverlist/serverlist.dat"), "ab") as f:
            f.write(b"127.0.0.1:4663\r\n")
        result = self.publish()
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"serverlist_27.zip is already published with other contents", result.stderr)

    def test_description_errors(self):
        cases = [
            ("component serverlist\n", "component serverlists\n", b"unknown component"),
            ("  version     27\n", "", b"component serverlist needs a version"),
            ("  files       files/login\n", "  files       files/nothing\n", b"cannot read the folder"),
            ("job folder    CREATE", "job folders   CREATE", b"a job is"),
            ("project   ", "project   x;y #", b"would end the value"),
        ]
        for old, new, message in cases:
            with self.subTest(new=new):
                shutil.copy(os.path.join(SAMPLE, "release.txt"), os.path.join(self.src, "release.txt"))
                self.edit(old, new)
                result = self.publish()
                self.assertEqual(result.returncode, 2, result.stdout)
                self.assertIn(message, result.stderr)
        shutil.copy(os.path.join(SAMPLE, "release.txt"), os.path.join(self.src, "release.txt"))
        os.mkdir(os.path.join(self.src, "files", "login", "sub"))
        result = self.publish()
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"is no plain file", result.stderr)


class LintCommandTest(unittest.TestCase):
    def test_exit_status_and_finding_lines(self):
        work = tempfile.mkdtemp(prefix="talvo-lint-")
        try:
            path = os.path.join(work, "doc.txt")
            with open(path, "wb") as f:
                f.write("[Talvo]\r\nXP_VERSION = 3.41\r\nXP_DOWNLOADURL=http://127.0.0.1/t/a.zip\r\n"
                        "XP_COMPULSION=1\r\n[ETC0]\r\nNAME=확장\r\nPRO_DOWN_URL=http://127.0.0.1/t/b.zip\r\n"
                        "ETC_END=1\r\n".encode("cp949"))
            result = run(DOC, "lint", path)
            self.assertEqual(result.returncode, 1)
            lines = result.stdout.decode("utf-8").splitlines()
            self.assertEqual(len(lines), 2, lines)
            self.assertTrue(lines[0].startswith(path + ":2: [blank-before-equals] "), lines)
            self.assertTrue(lines[1].startswith(path + ":3: [missing-version] "), lines)
            self.assertEqual(run(DOC, "lint", os.path.join(work, "missing.txt")).returncode, 2)
            self.assertEqual(run(DOC, "lint").returncode, 2)
            self.assertEqual(run(DOC, "lint", path, "--against").returncode, 2)
        finally:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
