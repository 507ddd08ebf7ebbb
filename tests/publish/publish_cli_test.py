#!/usr/bin/env python3
"""talvo-publish and talvo-doc lint as a maker runs them, on the sample release (host build).

    publish_cli_test.py TALVO_PUBLISH TALVO_DOC
"""
import calendar
import hashlib
import io
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

PUBLISH, DOC = sys.argv[1], sys.argv[2]
del sys.argv[1:3]
TOP = os.environ.get("TALVO_SOURCE_DIR", os.path.normpath(os.path.join(os.path.dirname(__file__), "..", "..")))
SAMPLE = os.path.join(TOP, "samples", "release")
DOCUMENT = os.path.join("talvoupdate", "PlusInformation.php")


def run(*args):
    return subprocess.run(list(args), capture_output=True, timeout=60)


class ReleaseFixture(unittest.TestCase):
    """A copy of the sample release with stand-in programs, and an output folder."""

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

    def put(self, relative, data, root=None):
        path = os.path.join(root or self.src, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def served(self):
        """Every file below the output folder, with its bytes."""
        files = {}
        for folder, _, names in os.walk(self.out):
            for name in names:
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    files[os.path.relpath(path, self.out)] = f.read()
        return files

    def restore(self, keep_out=False):
        if not keep_out:
            shutil.rmtree(self.out, ignore_errors=True)
        shutil.rmtree(self.src)
        shutil.copytree(SAMPLE, self.src)
        self.put("files/client/Talvo.exe", b"MZ client")
        self.put("files/extra/TalvoExtra.exe", b"MZ extra")

    def assert_refused(self, result, message):
        self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
        self.assertIn(message, result.stderr.decode("utf-8"))


class PublishTest(ReleaseFixture):
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

    def test_nothing_is_served_before_the_lint_passes(self):
        self.edit("compulsory  no\n  setting     Network\\\\MaxConnect\\\\50",
                  "compulsory  no\n  setting     Network\\MaxConnect\\50")
        result = self.publish()
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertEqual(self.served(), {}, "no package, notice or document before a clean lint")
        # With a release already served, a new release with a trap serves no new package either.
        self.restore()
        self.assertEqual(self.publish().returncode, 0)
        before = self.served()
        self.edit("version     3.41", "version     3.42")
        self.edit("compulsory  no\n  setting     Network\\\\MaxConnect\\\\50",
                  "compulsory  no\n  setting     Network\\MaxConnect\\50")
        self.assertEqual(self.publish().returncode, 1)
        self.assertEqual(self.served(), before)

    def test_the_notice_never_replaces_a_served_file(self):
        self.assertEqual(self.publish().returncode, 0)
        self.put(os.path.join("talvoupdate", "TalvoXP_340.zip"), b"PK an older release", root=self.out)
        served = self.served()
        notice = "공지\r\n".encode("cp949")
        cases = [
            ("TalvoXP_341.zip", "the notice \"TalvoXP_341.zip\" is also the name of a package"),
            ("talvoxp_341.ZIP", "the notice \"talvoxp_341.ZIP\" is also the name of a package"),
            ("PlusInformation.php", "update information document"),
            ("TalvoXP_340.zip", "is already published with other contents"),
            ("notice.txt", "is already published with other contents"),
        ]
        for name, message in cases:
            with self.subTest(name=name):
                self.restore(keep_out=True)
                self.put("notice/" + name, notice)
                self.edit("notice    notice/notice.txt", "notice    notice/" + name)
                self.assert_refused(self.publish(), message)
                self.assertEqual(self.served(), served)
        # A notice with new text gets a new name, or replaces the old one when forced.
        self.restore(keep_out=True)
        self.put("notice/notice.txt", notice)
        self.assertEqual(self.publish("--force").returncode, 0)
        self.assertEqual(self.read("talvoupdate/notice.txt"), notice)

    def test_the_document_and_notice_names_are_reserved(self):
        for name in ("PlusInformation.php", "plusinformation.PHP", "notice.txt", "Notice.txt"):
            with self.subTest(name=name):
                self.restore()
                self.edit("  files       files/serverlist\n", "  files       files/serverlist\n  package     %s\n" % name)
                result = self.publish()
                self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                self.assertIn("is also the name of a package" if "otice" in name else "update information document",
                              result.stderr.decode())
                self.assertEqual(self.served(), {})
        # Nor are packages served in a folder at the document's address.
        result = self.publish("--base-url", "http://127.0.0.1/talvoupdate/plusinformation.php/")
        self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
        self.assertIn(b"update information document's own address", result.stderr)
        self.assertEqual(self.served(), {})

    def test_names_windows_cannot_write_or_takes_for_one_file(self):
        cases = [
            # Package names.
            ("  files       files/login\n", "  files       files/login\n  package     a<b.zip\n", b"a<b.zip"),
            ("  files       files/login\n", "  files       files/login\n  package     login?.zip\n", b"login?.zip"),
            ("  files       files/login\n", "  files       files/login\n  package     login.zip.\n", b"ends in a dot"),
            ("  files       files/login\n", "  files       files/login\n  package     LPT1.zip\n", b"LPT1.zip"),
            ("  files       files/login\n", "  files       files/login\n  package     FILTER_105.zip\n",
             b"\"filter_105.zip\" and \"FILTER_105.zip\""),
        ]
        for old, new, message in cases:
            with self.subTest(new=new):
                self.restore()
                self.edit(old, new)
                result = self.publish()
                self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                self.assertIn(message, result.stderr)
                self.assertFalse(os.path.exists(self.out))
        # Files of a package.
        files = [
            ({"Readme.txt": b"a", "README.txt": b"b"}, b"\"README.txt\" and \"Readme.txt\""),
            ({"notes.": b"a"}, b"\"notes.\" ends in a dot or a blank"),
            ({"notes ": b"a"}, b"\"notes \" ends in a dot or a blank"),
            ({"what?.txt": b"a"}, b"what?.txt"),
            ({"a|b.txt": b"a"}, b"a|b.txt"),
            ({"TalvoLogin_1008.zip": b"a"}, b"the name of its own package"),
        ]
        for names, message in files:
            with self.subTest(names=names):
                self.restore()
                for name, data in names.items():
                    self.put("files/login/" + name, data)
                result = self.publish()
                self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                self.assertIn(message, result.stderr)
                self.assertFalse(os.path.exists(self.out))

    def test_served_names_are_ascii(self):
        cases = [
            ("notice    notice/notice.txt", "notice    notice/공지.txt", "notice/공지.txt"),
            ("  files       files/login\n", "  files       files/login\n  package     로그인.zip\n", None),
            ("  files       files/login\n", "  files       files/login\n  package     login%41.zip\n", None),
            ("  files       files/login\n", "  files       files/login\n  package     login#2.zip\n", None),
        ]
        for old, new, notice in cases:
            with self.subTest(new=new):
                self.restore()
                if notice:
                    self.put(notice, "공지\r\n".encode("cp949"))
                self.edit(old, new)
                result = self.publish()
                self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                self.assertRegex(result.stderr.decode(), "ASCII|cannot carry")
                self.assertFalse(os.path.exists(self.out))

    def test_the_updaters_own_names_are_never_copied_into_the_client_folder(self):
        # Through copy-to: refused before anything is written.
        for name in ("Update.journal", "UPDATE.BACKUP", "Update.release", "TalvoUpdate.exe", "Update",
                     "update.journal.new"):
            with self.subTest(name=name):
                self.restore()
                self.put("files/extra/" + name, b"x")
                result = self.publish()
                self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                self.assertIn(("\"%s\" would be copied into <TARGETDIR>" % name).encode(), result.stderr)
                self.assertFalse(os.path.exists(self.out))
        # Through a job line of the description: the lint's finding, which --force does not pass.
        self.restore()
        self.put("files/extra/journal.txt", b"x")
        with open(os.path.join(self.src, "release.txt"), "a", encoding="utf-8") as f:
            f.write("job files     COPY=<TARGETDIR>\\,Update.journal\n")
        for extra in ((), ("--force",)):
            with self.subTest(extra=extra):
                result = self.publish(*extra)
                self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
                self.assertIn(b"[own-file]", result.stdout)
                self.assertFalse(os.path.exists(os.path.join(self.out, DOCUMENT)))
        # Elsewhere the names are the maker's: a copy into the config folder publishes.
        self.restore()
        self.put("files/serverlist/Update.txt", b"x")
        result = self.publish()
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_a_staged_file_name_belongs_to_one_package(self):
        cases = [
            # Two packages unpack config.ini into the one staging folder.
            ({"files/filter/config.ini": b"filter", "files/serverlist/config.ini": b"servers"}, None, None,
             "\"config.ini\" is in the packages filter_105.zip and serverlist_27.zip"),
            ({"files/filter/Config.ini": b"filter", "files/login/config.INI": b"login"}, None, None,
             "is in the packages filter_105.zip and TalvoLogin_1008.zip"),
            # The XP and 98 builds are alternatives, but the COPY lines are not tied to either.
            ({}, "component 98 ", "  copy-to     <TARGETDIR>\n", None),
        ]
        for files, block, copy, message in cases:
            with self.subTest(files=files, block=block):
                self.restore()
                for name, data in files.items():
                    self.put(name, data)
                if block:
                    path = os.path.join(self.src, "release.txt")
                    with open(path, encoding="utf-8") as f:
                        text = f.read()
                    start = text.index("component 98")
                    at = text.index(copy, start)
                    text = text[:at] + "  copy-to     <TARGETDIR>\\old\n" + text[at + len(copy):]
                    with open(path, "w", encoding="utf-8") as f:
                        f.write(text)
                    message = "\"Talvo.exe\" is copied into both <TARGETDIR> and <TARGETDIR>\\old"
                result = self.publish()
                self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                self.assertIn(message, result.stderr.decode())
                self.assertFalse(os.path.exists(self.out))

    def test_writing_replaces_nothing_but_its_target(self):
        # A live file named like a temporary one stays as it is.
        self.put(os.path.join("talvoupdate", "TalvoXP_341.zip.tmp"), b"PK live", root=self.out)
        self.assertEqual(self.publish().returncode, 0)
        self.assertEqual(self.read("talvoupdate/TalvoXP_341.zip.tmp"), b"PK live")
        # A target that cannot be replaced leaves no temporary file behind.
        shutil.rmtree(self.out)
        os.makedirs(os.path.join(self.out, "talvoupdate", "serverlist_27.zip", "x"))
        result = self.publish()
        self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
        self.assertIn(b"serverlist_27.zip: cannot write it", result.stderr)
        left = sorted(os.listdir(os.path.join(self.out, "talvoupdate")))
        self.assertNotIn("PlusInformation.php", left)
        for name in left:
            self.assertTrue(name.endswith(".zip") or name == "notice.txt", left)

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


class SignedPublishTest(ReleaseFixture):
    """A signed release: keygen, publish with the key, lint with its public key line."""

    def setUp(self):
        super().setUp()
        self.key = os.path.join(self.work, "release.pem")
        made = run(PUBLISH, "keygen", self.key)
        self.assertEqual(made.returncode, 0, made.stderr)
        self.public = made.stdout.decode().strip()

    def lint(self, path, *extra):
        return run(DOC, "lint", path, "--public-key", self.public, *extra)

    def test_keygen_keeps_the_private_key_to_its_owner_and_never_overwrites_it(self):
        self.assertRegex(self.public, r"^ecdsa-p256:[0-9a-f]{128}$")
        self.assertEqual(os.stat(self.key).st_mode & 0o777, 0o600)
        with open(self.key, "rb") as f:
            before = f.read()
        again = run(PUBLISH, "keygen", self.key)
        self.assertNotEqual(again.returncode, 0)
        with open(self.key, "rb") as f:
            self.assertEqual(f.read(), before)

    def test_signed_release_pins_its_packages_counts_up_and_lints_clean(self):
        result = self.publish("--sign-key", self.key)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        text = self.read(DOCUMENT).decode("cp949")
        for key, package in (("XP_DOWNLOADURL", "TalvoXP_341.zip"), ("PRO_DOWN_URL", "extra0.zip")):
            body = self.read(os.path.join("talvoupdate", package))
            self.assertIn("\r\n%s_SIZE=%d\r\n" % (key, len(body)), text)
            self.assertIn("\r\n%s_SHA256=%s\r\n" % (key, hashlib.sha256(body).hexdigest()), text)
        self.assertTrue(text.endswith("\r\n[END]\r\n[RELEASE]\r\nNUMBER=1\r\n[SIGNATURE]\r\n" +
                                      text.split("[SIGNATURE]\r\n")[1]))
        document = os.path.join(self.out, DOCUMENT)
        served = os.path.join(self.work, "served.php")
        shutil.copy(document, served)
        lint = self.lint(document, "--release", self.out)
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)
        # The next publication counts up from the served document, and only a rising number lints.
        self.assertEqual(self.publish("--sign-key", self.key).returncode, 0)
        self.assertIn("\r\n[RELEASE]\r\nNUMBER=2\r\n", self.read(DOCUMENT).decode("cp949"))
        self.assertEqual(self.lint(document, "--against", served).returncode, 0)
        replayed = self.lint(served, "--against", document)
        self.assertEqual(replayed.returncode, 1)
        self.assertIn(b"[release-number]", replayed.stdout)

    def test_every_change_after_signing_is_found(self):
        self.assertEqual(self.publish("--sign-key", self.key).returncode, 0)
        document = self.read(DOCUMENT)
        signature_at = document.index(b"[SIGNATURE]")
        cases = [
            ("a version", lambda d: d.replace(b"XP_VERSION=3.41", b"XP_VERSION=3.42", 1), b"[signature]"),
            ("a package address", lambda d: d.replace(b"TalvoXP_341.zip", b"TalvoXP_342.zip", 1), b"[signature]"),
            ("a job line", lambda d: d.replace(b"COPY=", b"COPY =", 1), b"[signature]"),
            ("the release number", lambda d: d.replace(b"NUMBER=1", b"NUMBER=9", 1), b"[signature]"),
            ("the signature", lambda d: d[:-5] + (b"0" if d[-5:-4] != b"0" else b"1") + d[-4:], b"[signature]"),
            ("a line moved after the signature", lambda d: d + b"XP_VERSION=9.99\r\n", b"[signature]"),
            ("unsigned", lambda d: d[:signature_at], b"[signature]"),
        ]
        for what, change, finding in cases:
            with self.subTest(what):
                path = os.path.join(self.work, "changed.php")
                with open(path, "wb") as f:
                    f.write(change(document))
                result = self.lint(path)
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertIn(finding, result.stdout)
        other = os.path.join(self.work, "other.pem")
        other_public = run(PUBLISH, "keygen", other).stdout.decode().strip()
        wrong_key = run(DOC, "lint", os.path.join(self.out, DOCUMENT), "--public-key", other_public)
        self.assertEqual(wrong_key.returncode, 1)
        self.assertIn(b"[signature]", wrong_key.stdout)

    def test_a_package_swapped_after_signing_is_found(self):
        self.assertEqual(self.publish("--sign-key", self.key).returncode, 0)
        with open(os.path.join(self.out, "talvoupdate", "serverlist_27.zip"), "wb") as f:
            f.write(self.read(os.path.join("talvoupdate", "filter_105.zip")))
        result = self.lint(os.path.join(self.out, DOCUMENT), "--release", self.out)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"[package-pin] SERVER_DOWN_URL", result.stdout)


    def test_release_numbers_never_fall_for_a_key(self):
        # A fresh output folder, and an unsigned publication in between, still count up from what
        # the key has signed.
        self.assertEqual(self.publish("--sign-key", self.key).returncode, 0)
        shutil.rmtree(self.out)
        result = self.publish("--sign-key", self.key)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("\r\n[RELEASE]\r\nNUMBER=2\r\n", self.read(DOCUMENT).decode("cp949"))
        self.edit("version     27", "version     28")
        self.assertEqual(self.publish().returncode, 0)
        self.edit("version     28", "version     29")
        result = self.publish("--sign-key", self.key)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("\r\n[RELEASE]\r\nNUMBER=3\r\n", self.read(DOCUMENT).decode("cp949"))
        with open(self.key + ".last-release") as f:
            self.assertEqual(f.read(), "3\n")

        # An explicit number must rise above both what the key signed and what is served.
        self.edit("version     29", "version     30")
        for number, message in (("3", b"has signed release 3 before"), ("2", b"has signed release 3 before")):
            with self.subTest(number=number):
                before = self.served()
                result = self.publish("--sign-key", self.key, "--release-number", number)
                self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                self.assertIn(b"refused to sign release " + number.encode(), result.stderr)
                self.assertIn(message, result.stderr)
                self.assertEqual(self.served(), before)
        result = self.publish("--sign-key", self.key, "--release-number", "10")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("\r\n[RELEASE]\r\nNUMBER=10\r\n", self.read(DOCUMENT).decode("cp949"))

    def expiry(self):
        """The served document's expiry time, as seconds since 1970."""
        text = self.read(DOCUMENT).decode("cp949")
        self.assertEqual(text.count("\r\n[RELEASE_POLICY]\r\nEXPIRES="), 1, text[-400:])
        stamp = text.split("\r\nEXPIRES=")[1].split("\r\n")[0]
        return calendar.timegm(time.strptime(stamp, "%Y-%m-%dT%H:%M:%SZ"))

    def test_signed_documents_expire_and_refresh_changes_nothing_else(self):
        day = 86400
        self.assertEqual(self.publish("--sign-key", self.key).returncode, 0)
        self.assertAlmostEqual(self.expiry(), time.time() + 14 * day, delta=120)
        self.assertEqual(self.publish("--sign-key", self.key, "--expires-in", "3").returncode, 0)
        self.assertAlmostEqual(self.expiry(), time.time() + 3 * day, delta=120)
        # Unsigned documents carry no expiry time: nothing would check it.
        before = self.read(DOCUMENT)
        served_before = self.served()

        # refresh: a new expiry and signature, the same release; the lint takes it.
        result = run(PUBLISH, "refresh", self.out, "--sign-key", self.key, "--expires-in", "30")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(b"release 2", result.stdout)
        after = self.read(DOCUMENT)
        self.assertAlmostEqual(self.expiry(), time.time() + 30 * day, delta=120)
        strip = lambda d: re.sub(rb"EXPIRES=[^\r]*|ECDSA-P256-SHA256=[0-9a-f]*", b"", d)
        self.assertNotEqual(after, before)
        self.assertEqual(strip(after), strip(before))
        lint = self.lint(os.path.join(self.out, DOCUMENT), "--release", self.out)
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)
        self.assertEqual({k: v for k, v in self.served().items() if k != DOCUMENT},
                         {k: v for k, v in served_before.items() if k != DOCUMENT})
        with open(self.key + ".last-release") as f:
            self.assertEqual(f.read(), "2\n")

        # Refused, the served document untouched: another key, an unsigned document, a release the
        # key has signed a higher one of since, and a bad number of days.
        other = os.path.join(self.work, "other.pem")
        self.assertEqual(run(PUBLISH, "keygen", other).returncode, 0)
        refused = [
            ((other,), "not signed by"),
            ((self.key, "--expires-in", "0"), "--expires-in 0"),
        ]
        for args, message in refused:
            with self.subTest(args=args):
                self.assert_refused(run(PUBLISH, "refresh", self.out, "--sign-key", *args), message)
                self.assertEqual(self.read(DOCUMENT), after)
        with open(self.key + ".last-release", "w") as f:
            f.write("5\n")
        self.assert_refused(run(PUBLISH, "refresh", self.out, "--sign-key", self.key),
                            "has signed release 5 since")
        self.assertEqual(self.read(DOCUMENT), after)
        self.assertEqual(self.publish().returncode, 0)
        self.assertNotIn(b"EXPIRES=", self.read(DOCUMENT))
        self.assert_refused(run(PUBLISH, "refresh", self.out, "--sign-key", self.key),
                            "only a signed release is refreshed")

    def test_rollout_and_halt_change_only_the_share(self):
        self.assertEqual(self.publish("--sign-key", self.key, "--rollout", "10").returncode, 0)
        document = os.path.join(self.out, DOCUMENT)
        self.assertIn("\r\n[RELEASE_POLICY]\r\nROLLOUT=10\r\nEXPIRES=", self.read(DOCUMENT).decode("cp949"))
        lint = self.lint(document)
        self.assertEqual(lint.returncode, 0, lint.stdout)
        self.assertIn(b"rollout: release 1 goes to 10 % of installations", lint.stdout)
        strip = lambda d: re.sub(rb"(EXPIRES|ROLLOUT)=[^\r]*\r\n|ECDSA-P256-SHA256=[0-9a-f]*", b"", d)
        first = self.read(DOCUMENT)

        steps = [
            (("rollout", self.out, "50"), 0, b"ROLLOUT=50\r\n", b"rollout 50 %"),
            (("halt", self.out), 0, b"ROLLOUT=0\r\n", b"rollout 0 %"),
            (("rollout", self.out, "100"), 2, b"ROLLOUT=0\r\n", b"in one step"),
            (("rollout", self.out, "101"), 2, b"ROLLOUT=0\r\n", b"from 0 to 100"),
            (("rollout", self.out, "100", "--force"), 0, b"ROLLOUT=100\r\n", b"rollout 100 %"),
        ]
        for args, code, line, message in steps:
            with self.subTest(args=args):
                served = os.path.join(self.work, "served.php")
                shutil.copy(document, served)
                result = run(PUBLISH, *args, "--sign-key", self.key)
                self.assertEqual(result.returncode, code, result.stdout + result.stderr)
                self.assertIn(message, result.stdout + result.stderr)
                after = self.read(DOCUMENT)
                self.assertIn(line, after)
                self.assertEqual(strip(after), strip(first))
                self.assertIn(b"\r\n[RELEASE]\r\nNUMBER=1\r\n", after)
                if code == 0:
                    # The lint takes the same release re-signed; 0 -> 100 in one step is flagged.
                    lint = self.lint(document, "--against", served)
                    jump = args[-1] == "--force"
                    self.assertEqual(lint.returncode, 1 if jump else 0, lint.stdout)
                    self.assertEqual(b"[rollout]" in lint.stdout, jump)
                    self.assertNotIn(b"[release-number]", lint.stdout)

    def test_a_key_that_does_not_say_what_it_signed_needs_the_number(self):
        os.remove(self.key + ".last-release")
        result = self.publish("--sign-key", self.key)
        self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
        self.assertIn(b"refused to sign", result.stderr)
        self.assertIn(b"--release-number", result.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.out, DOCUMENT)))
        for bad in ("0", "07", "x", "2147483648"):
            with self.subTest(bad=bad):
                self.assertEqual(self.publish("--sign-key", self.key, "--release-number", bad).returncode, 2)
        result = self.publish("--sign-key", self.key, "--release-number", "41")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("\r\n[RELEASE]\r\nNUMBER=41\r\n", self.read(DOCUMENT).decode("cp949"))
        with open(self.key + ".last-release") as f:
            self.assertEqual(f.read(), "41\n")
        # A record that is not a number stops signing until it is mended.
        with open(self.key + ".last-release", "w") as f:
            f.write("4l\n")
        result = self.publish("--sign-key", self.key)
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"holds no release number", result.stderr)

    def test_the_notice_is_pinned_and_every_pin_is_checked(self):
        self.assertEqual(self.publish("--sign-key", self.key).returncode, 0)
        text = self.read(DOCUMENT).decode("cp949")
        notice = self.read(os.path.join("talvoupdate", "notice.txt"))
        self.assertIn("\r\nNOTICE_URL_SIZE=%d\r\nNOTICE_URL_SHA256=%s\r\n"
                      % (len(notice), hashlib.sha256(notice).hexdigest()), text)
        document = os.path.join(self.out, DOCUMENT)
        self.assertEqual(self.lint(document, "--release", self.out).returncode, 0)
        # The notice changed on the server.
        with open(os.path.join(self.out, "talvoupdate", "notice.txt"), "ab") as f:
            f.write(b"!")
        result = self.lint(document, "--release", self.out)
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertIn(b"[package-pin] NOTICE_URL", result.stdout)

    def test_every_package_address_needs_its_pin(self):
        # Documents signed here, so only the pins differ: a package without one, a malformed one,
        # and two extra projects of which the first has a wrong pin.
        self.assertEqual(self.publish("--sign-key", self.key).returncode, 0)
        covered = self.read(DOCUMENT)
        covered = covered[:covered.index(b"[RELEASE]")]
        extra = self.read(os.path.join("talvoupdate", "extra0.zip"))
        pins = b"PRO_DOWN_URL_SIZE=%d\r\nPRO_DOWN_URL_SHA256=%s\r\n" % (len(extra),
                                                                        hashlib.sha256(extra).hexdigest().encode())
        second = (b"[ETC1]\r\nNAME=two\r\nPRO_DOWN_URL=http://127.0.0.1/talvoupdate/extra0.zip\r\n" + pins +
                  b"ETC_END=1\r\n")
        wrong = pins.replace(b"PRO_DOWN_URL_SIZE=%d" % len(extra), b"PRO_DOWN_URL_SIZE=%d" % (len(extra) + 1))
        cases = [
            ("a package without its pin", covered.replace(b"\r\nSERVER_DOWN_URL_SIZE=", b"\r\nX_SIZE=", 1)
             .replace(b"\r\nSERVER_DOWN_URL_SHA256=", b"\r\nX_SHA256=", 1), b"[pin-missing] SERVER_DOWN_URL"),
            ("a malformed pin", covered.replace(b"\r\nOCX_DOWN_URL_SIZE=", b"\r\nOCX_DOWN_URL_SIZE=0", 1),
             b"[pin-malformed] OCX_DOWN_URL"),
            ("the first of two extra projects pinned wrong",
             covered.replace(pins, wrong, 1).replace(b"[END]\r\n", second + b"[END]\r\n", 1),
             b"[package-pin] [ETC0] PRO_DOWN_URL"),
            ("the second of two extra projects without a pin",
             covered.replace(b"[END]\r\n", second.replace(pins, b"") + b"[END]\r\n", 1),
             b"[pin-missing] [ETC1] PRO_DOWN_URL"),
            ("the notice without its pin", covered.replace(b"\r\nNOTICE_URL_SIZE=", b"\r\nX_SIZE=", 1)
             .replace(b"\r\nNOTICE_URL_SHA256=", b"\r\nX_SHA256=", 1), b"[pin-missing] NOTICE_URL"),
        ]
        for what, body, finding in cases:
            with self.subTest(what):
                self.assertNotEqual(body, covered)
                path = os.path.join(self.work, "pins.php")
                with open(path, "wb") as f:
                    f.write(self.signed(body + b"[RELEASE]\r\nNUMBER=9\r\n"))
                result = self.lint(path, "--release", self.out)
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertIn(finding, result.stdout)
                self.assertNotIn(b"[signature]", result.stdout)

    def keygen(self, name):
        path = os.path.join(self.work, name)
        made = run(PUBLISH, "keygen", path)
        self.assertEqual(made.returncode, 0, made.stderr)
        return path, made.stdout.decode().strip()

    def test_keychange_hands_the_release_to_the_new_key(self):
        sys.path.insert(0, os.path.join(TOP, "tests", "crypto"))
        import releasesigning
        self.assertEqual(self.publish("--sign-key", self.key).returncode, 0)
        new_key, new_public = self.keygen("new.pem")
        backup_key, backup_public = self.keygen("backup.pem")
        document = os.path.join(self.out, DOCUMENT)
        before = self.read(DOCUMENT)

        # Rotation: the active key signs the change retiring itself; the new key re-signs release 1.
        result = run(PUBLISH, "keychange", self.out, "--key", self.key, "--new-key", new_key)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(("key change 1: %s trusted from now on, %s retired" % (new_public, self.public)).encode(),
                      result.stdout)
        after = self.read(DOCUMENT)
        change = re.search(rb"\r\n\[KEY_CHANGE\]\r\nNUMBER=1\r\nNEW_KEY=(\S+)\r\nRETIRED_KEY=(\S+)\r\n"
                           rb"TRUSTED_SIGNATURE=([0-9a-f]{128})\r\nNEW_KEY_SIGNATURE=([0-9a-f]{128})\r\n"
                           rb"\[RELEASE\]\r\nNUMBER=1\r\n\[SIGNATURE\]\r\n", after)
        self.assertIsNotNone(change, after[-800:])
        self.assertEqual((change.group(1).decode(), change.group(2).decode()), (new_public, self.public))
        # Both signatures are OpenSSL's over the statement the updater rebuilds.
        statement = releasesigning.key_change_statement(1, new_public, self.public)
        self.assertTrue(releasesigning.verify(self.key, statement, bytes.fromhex(change.group(3).decode())))
        self.assertTrue(releasesigning.verify(new_key, statement, bytes.fromhex(change.group(4).decode())))
        strip = lambda d: re.sub(rb"EXPIRES=[^\r]*|ECDSA-P256-SHA256=[0-9a-f]*|\[KEY_CHANGE\][^\[]*", b"", d)
        self.assertEqual(strip(after), strip(before))
        with open(new_key + ".last-release") as f:
            self.assertEqual(f.read(), "1\n")
        lint = run(DOC, "lint", document, "--public-key", new_public, "--release", self.out)
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)
        self.assertIn(b"key change 1: " + new_public[:27].encode() + b"... trusted", lint.stdout)
        self.assertIn(b"signed by the key it retires and by the new key", lint.stdout)
        self.assertEqual(self.lint(document).returncode, 1)

        # The next release: the retired key may not sign it; the new key does, and the change goes along.
        self.edit("version     3.41", "version     3.42")
        self.assert_refused(self.publish("--sign-key", self.key), "key change 1 of the served document retired it")
        self.assertEqual(self.read(DOCUMENT), after)
        result = self.publish("--sign-key", new_key)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        release2 = self.read(DOCUMENT)
        self.assertIn(change.group(0)[:change.group(0).index(b"[RELEASE]")] + b"[RELEASE]\r\nNUMBER=2\r\n", release2)

        # Refused, the served document untouched.
        refused = [
            (("--key", self.key, "--new-key", backup_key), "retired by key change 1: updaters no longer trust it"),
            (("--key", new_key, "--new-key", new_key), "the new key is the key retired"),
            (("--key", new_key, "--new-key", backup_key, "--retire", "ecdsa-p256:12"), "--retire ecdsa-p256:12"),
            (("--key", new_key, "--new-key", backup_key, "--retire", self.public), "retired by key change 1 already"),
            (("--key", new_key, "--new-key", self.key), "it cannot come back"),
            (("--key", backup_key, "--new-key", self.key + ".missing"), "cannot read the key file"),
        ]
        for args, message in refused:
            with self.subTest(args=args):
                self.assert_refused(run(PUBLISH, "keychange", self.out, *args), message)
                self.assertEqual(self.read(DOCUMENT), release2)
        self.assertEqual(run(PUBLISH, "keychange", self.out, "--key", new_key).returncode, 2)

        # A leak: the key kept offline retires the new key at once, bringing in a fresh one.
        newer_key, newer_public = self.keygen("newer.pem")
        result = run(PUBLISH, "keychange", self.out, "--key", backup_key, "--new-key", newer_key, "--retire", new_public)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(b"key change 2: ", result.stdout)
        changed = self.read(DOCUMENT)
        self.assertEqual(changed.count(b"[KEY_CHANGE]"), 2)
        self.assertIn(b"\r\n[RELEASE]\r\nNUMBER=2\r\n", changed)
        lint = run(DOC, "lint", document, "--public-key", newer_public, "--release", self.out)
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)

        # The lint finds a document that dropped a change, or numbers them out of order.
        covered = changed[:changed.index(b"[SIGNATURE]")]
        first = covered.index(b"[KEY_CHANGE]")
        second = covered.index(b"[KEY_CHANGE]", first + 1)
        release_at = covered.index(b"[RELEASE]\r\n")
        cases = [
            ("the first change dropped", covered[:first] + covered[second:], b"the first key change is 2"),
            ("the changes swapped", covered[:first] + covered[second:release_at] + covered[first:second] +
             covered[release_at:], b"key change 1 follows key change 2"),
            ("a malformed new key", covered.replace(b"NEW_KEY=ecdsa-p256:", b"NEW_KEY=ecdsa-p256:0", 1),
             b"key change section 1 has a malformed NEW_KEY"),
        ]
        for what, body, finding in cases:
            with self.subTest(what):
                path = os.path.join(self.work, "keys.php")
                with open(path, "wb") as f:
                    f.write(releasesigning.signed_document(body, newer_key))
                lint = run(DOC, "lint", path, "--public-key", newer_public)
                self.assertEqual(lint.returncode, 1, lint.stdout)
                self.assertIn(b"[key-change] " + finding, lint.stdout)

    def signed(self, covered):
        sys.path.insert(0, os.path.join(TOP, "tests", "crypto"))
        import releasesigning
        return releasesigning.signed_document(covered, self.key)


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

    def test_the_notice_and_package_names_against_the_release(self):
        work = tempfile.mkdtemp(prefix="talvo-lint-")
        try:
            path = os.path.join(work, "doc.txt")
            release = os.path.join(work, "www")
            os.makedirs(os.path.join(release, "t"))
            with zipfile.ZipFile(os.path.join(release, "t", "a.zip"), "w") as z:
                z.writestr("Talvo.exe", b"MZ")
            with zipfile.ZipFile(os.path.join(release, "t", "b.zip"), "w") as z:
                z.writestr("TalvoExtra.exe", b"MZ")

            def lint(notice, package="a.zip"):
                with open(path, "wb") as f:
                    f.write(("[Talvo]\r\nXP_VERSION=3.41\r\nXP_DOWNLOADURL=http://127.0.0.1/t/%s\r\n"
                             "XP_COMPULSION=1\r\n[NOTICE]\r\nNOTICE_URL=http://127.0.0.1/t/%s\r\n[ETC0]\r\n"
                             "NAME=x\r\nPRO_DOWN_URL=http://127.0.0.1/t/b.zip\r\nETC_END=1\r\n"
                             % (package, notice)).encode("cp949"))
                result = run(DOC, "lint", path, "--release", release)
                return result.returncode, result.stdout.decode("utf-8")

            self.assertEqual(lint("notice.txt")[0], 1)
            self.assertIn(":6: [release-missing] the notice \"t/notice.txt\"", lint("notice.txt")[1])
            with open(os.path.join(release, "t", "notice.txt"), "wb") as f:
                f.write("공지".encode("cp949"))
            self.assertEqual(lint("notice.txt"), (0, ""))
            # The notice is read as text: its query is no file name.
            self.assertEqual(lint("notice.txt?lang=ko"), (0, ""))
            # A package address is saved under its last segment, query and all.
            code, out = lint("notice.txt", "a.zip?v=2")
            self.assertEqual(code, 1)
            self.assertIn(":3: [url-name]", out)
            self.assertIn("query", out)
        finally:
            shutil.rmtree(work, ignore_errors=True)


class DeltaPublishTest(ReleaseFixture):
    """Signed releases published one after another: the release archive beside the served folder,
    the delta packages made from it, and the lint that proves them."""

    EXE = random.Random(7).randbytes(200000)
    DAT = random.Random(8).randbytes(50000)

    def setUp(self):
        super().setUp()
        self.key = os.path.join(self.work, "release.pem")
        made = run(PUBLISH, "keygen", self.key)
        self.assertEqual(made.returncode, 0, made.stderr)
        self.archive = self.out + ".archive"
        self.put("files/client/TalvoRes.dll", self.DAT)

    @classmethod
    def build(cls, n):
        """The client program of release n: release 1's with a few small edits per later release."""
        exe = bytearray(cls.EXE)
        for k in range(2, n + 1):
            exe[k * 9000:k * 9000 + 40] = b"release %d " % k * 4
        return bytes(exe)

    def publish_release(self, n, *extra, exe=None):
        """Release 3.4n of the client (XP and 98 builds); the other components as in the sample."""
        self.put("files/client/Talvo.exe", self.build(n) if exe is None else exe)
        with open(os.path.join(SAMPLE, "release.txt"), encoding="utf-8") as f:
            text = f.read().replace("version     3.41", "version     3.4%d" % n)
        with open(os.path.join(self.src, "release.txt"), "w", encoding="utf-8") as f:
            f.write(text)
        return self.publish("--sign-key", self.key, *extra)

    def deltas(self, key="XP_DOWNLOADURL"):
        """The document's deltas of one component: {from: {"url", "size", "sha", "files"}}."""
        offers = {}
        for line in self.read(DOCUMENT).decode("cp949").split("\r\n"):
            m = re.match(r"%s_DELTA(\d+)(_FROM|_SIZE|_SHA256|_FILE)?=(.*)$" % key, line)
            if m:
                offer = offers.setdefault(m.group(1), {"files": []})
                field = {None: "url", "_FROM": "from", "_SIZE": "size", "_SHA256": "sha", "_FILE": None}[m.group(2)]
                if field:
                    offer[field] = m.group(3)
                else:
                    offer["files"].append(m.group(3).split(","))
        return {offer["from"]: offer for offer in offers.values()}

    def test_deltas_come_from_the_newest_archived_releases_one_step_each_and_rebuild_the_release(self):
        for n in range(1, 6):
            result = self.publish_release(n)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        # Default: the three newest releases before this one, each straight to it.
        offers = self.deltas()
        self.assertEqual(sorted(offers), ["3.42", "3.43", "3.44"])
        self.assertEqual(sorted(self.deltas("98_DOWNLOADURL")), ["3.42", "3.43", "3.44"])
        full = len(self.read("talvoupdate/TalvoXP_345.zip"))
        sha = lambda data: hashlib.sha256(data).hexdigest()
        for version, offer in offers.items():
            n = int(version[-1])
            package = self.read("talvoupdate/" + offer["url"].rsplit("/", 1)[1])
            self.assertEqual((int(offer["size"]), offer["sha"]), (len(package), sha(package)))
            self.assertLess(len(package) * 10, full, "a few edits give a small delta")
            # Every file of the release listed; only the changed one carried.
            self.assertEqual(sorted(offer["files"]), [
                ["<TARGETDIR>", "Talvo.exe", sha(self.build(n)), sha(self.build(5))],
                ["<TARGETDIR>", "TalvoRes.dll", sha(self.DAT), sha(self.DAT)]])
            with zipfile.ZipFile(io.BytesIO(package)) as z:
                self.assertEqual(z.namelist(), ["Talvo.exe"])
                patch = z.read("Talvo.exe")
            # zstd's own tool applies it to the old build and gives the new one byte for byte.
            old, delta, new = (os.path.join(self.work, name) for name in ("old", "delta", "new"))
            for path, data in ((old, self.build(n)), (delta, patch)):
                with open(path, "wb") as f:
                    f.write(data)
            applied = subprocess.run(["zstd", "-q", "-f", "-d", "--long=31", "--patch-from=" + old, delta, "-o", new],
                                     capture_output=True)
            self.assertEqual(applied.returncode, 0, applied.stderr)
            with open(new, "rb") as f:
                self.assertEqual(f.read(), self.build(5))
        lint = run(DOC, "lint", os.path.join(self.out, DOCUMENT), "--release", self.out)
        self.assertEqual((lint.returncode, lint.stdout), (0, b""), lint.stderr)
        # Fewer on request, none with 0; the archive keeps every release.
        self.assertEqual(self.publish_release(6, "--deltas", "1").returncode, 0)
        self.assertEqual(sorted(self.deltas()), ["3.45"])
        self.assertEqual(self.publish_release(7, "--deltas", "0").returncode, 0)
        self.assertEqual(self.deltas(), {})
        self.assertEqual(sorted(os.listdir(os.path.join(self.archive, "XP_DOWNLOADURL"))),
                         ["TalvoXP_34%d" % n for n in range(1, 8)])

    def test_a_delta_over_half_its_full_package_is_not_offered(self):
        self.assertEqual(self.publish_release(1).returncode, 0)
        result = self.publish_release(2, exe=random.Random(9).randbytes(200000))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(self.deltas(), {})
        self.assertIn(b"XP_DOWNLOADURL from release 3.41: not offered", result.stdout)
        self.assertFalse([n for n in self.served() if "_from_" in n])

    def test_a_damaged_archive_or_a_delta_that_misses_its_result_is_refused(self):
        self.assertEqual(self.publish_release(1).returncode, 0)
        self.assertEqual(self.publish_release(2).returncode, 0)
        # A served delta that applies but builds another file than its FILE line names: the lint
        # applies it and finds the result wrong.
        name = self.deltas()["3.41"]["url"].rsplit("/", 1)[1]
        old, target = os.path.join(self.work, "old"), os.path.join(self.work, "target")
        for path, data in ((old, self.build(1)), (target, self.build(3))):
            with open(path, "wb") as f:
                f.write(data)
        made = subprocess.run(["zstd", "-q", "-f", "--patch-from=" + old, target, "-o", target + ".zst"], capture_output=True)
        self.assertEqual(made.returncode, 0)
        with open(target + ".zst", "rb") as f, zipfile.ZipFile(os.path.join(self.out, "talvoupdate", name), "w") as z:
            z.writestr("Talvo.exe", f.read())
        lint = run(DOC, "lint", os.path.join(self.out, DOCUMENT), "--release", self.out)
        self.assertEqual(lint.returncode, 1)
        self.assertIn(b"[delta-apply] XP_DOWNLOADURL_DELTA1: \"Talvo.exe\"", lint.stdout)

        # A damaged file in the archive: the next release is not published, not even with --force.
        folder = os.path.join(self.archive, "XP_DOWNLOADURL", "TalvoXP_342")
        with open(os.path.join(folder, hashlib.sha256(self.build(2)).hexdigest()), "r+b") as f:
            f.seek(5000)
            f.write(b"bit rot")
        before = self.served()
        for extra in ((), ("--force",)):
            result = self.publish_release(3, *extra)
            self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
            self.assertIn(b"[delta-source] XP_DOWNLOADURL_DELTA1: \"Talvo.exe\" of release \"3.42\" is damaged",
                          result.stdout)
            self.assertEqual(self.served(), before)
        # Without deltas it publishes.
        self.assertEqual(self.publish_release(3, "--deltas", "0").returncode, 0)

    def test_a_half_written_archive_is_never_read(self):
        self.assertEqual(self.publish_release(1).returncode, 0)
        component = os.path.join(self.archive, "XP_DOWNLOADURL")
        # What a publisher stopped half-way leaves: a hidden folder being filled, a folder without
        # its manifest, a manifest cut short.
        for folder, manifest in ((".new-0123", b"version 3.49\norder 9\n"), ("TalvoXP_348", None),
                                 ("TalvoXP_347", b"version 3.47\norder 8\nfile 00")):
            os.makedirs(os.path.join(component, folder))
            if manifest is not None:
                self.put(os.path.join(component, folder, "MANIFEST"), manifest, root="/")
        result = self.publish_release(2)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(sorted(self.deltas()), ["3.41"])
        self.assertNotIn(".new-0123", os.listdir(component))


if __name__ == "__main__":
    unittest.main()
