#!/usr/bin/env python3
"""End to end: signed update information documents through the real program under Wine, against
tools/updateserver on 127.0.0.1:80.

    e2e_release.py --signed-updater EXE --updater EXE --client EXE --helper EXE --driver EXE [SCENARIO ...]

--signed-updater is TalvoUpdate built with the test release keys (tests/crypto/fixtures: the active
one and the backup); --updater
is the product as built, without a key. The documents are signed here with the test key through
the openssl command line tool (tests/crypto/releasesigning.py), then served as they are or with a
byte changed. The sandbox, the server and the scenario runner are those of e2e_startup.py. The
highest release accepted is kept beside the updater, in C:\\Talvo\\Update.release.
Environment and port: as e2e_startup.py (CTest resource lock port80).
"""

import hashlib
import os
import re
import shutil
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "crypto"))
import e2e_startup as e2e  # noqa: E402
import releasesigning  # noqa: E402

check = e2e.check
Failure = e2e.Failure

RELEASE_VALUE = "ReleaseTalvo"  # where older updaters kept it, per Windows user
RECORD = "Update.release"
RECORD_PLACE = "C:\\Talvo\\Update.release"
OLD_PLACE = "HKCU\\Software\\Talvo\\Install\\ReleaseTalvo"
GOOD = "Release check: document signature good, release %d"
REFUSED = "Release check: document refused: "
INFO_REQUEST = "GET " + e2e.INFO_PATH
NOTICE_SECTION = b"[NOTICE]\r\nNOTICE_URL=http://127.0.0.1/notice/notice.txt\r\n"
NOTICE = "공지\n".encode("cp949")
NOTICE_SHOWN = "Notice check: size and SHA-256 match"
NOTICE_DROPPED = "Notice check: notice not shown"
SHA = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"


def covered(release, xp="3.41", line_end="\r\n", notice_pin=None, expires=None, policy=(), key_changes=b""):
    """The signed part of a document: every kind of line a tamper may touch, the release last;
    `notice_pin` the notice's bytes to pin beside its address; `expires` the expiry time (seconds
    since 1970) as the publisher writes it, before [END]; `key_changes` the [KEY_CHANGE] sections,
    before the release."""
    lines = ["// e2e signed", "[Talvo]", "PROJECT=Talvo", "XP_VERSION=" + xp, "98_VERSION=" + xp,
             "XP_COMPULSION=0", "98_COMPULSION=0",
             "XP_DOWNLOADURL=http://127.0.0.1/talvoupdate/TalvoXP.zip",
             "XP_DOWNLOADURL_SIZE=1234", "XP_DOWNLOADURL_SHA256=" + SHA,
             "98_DOWNLOADURL=http://127.0.0.1/talvoupdate/Talvo98.zip",
             "98_DOWNLOADURL_SIZE=1235", "98_DOWNLOADURL_SHA256=" + SHA,
             "[LOGIN_OCX]", "OCX_VERSION=1.0", "OCX_COMPULSION=0",
             "OCX_DOWN_URL=http://127.0.0.1/talvoupdate/TalvoLogin.zip",
             "[NOTICE]", "NOTICE_URL=http://127.0.0.1/notice/notice.txt"]
    if notice_pin is not None:
        lines += ["NOTICE_URL_SIZE=%d" % len(notice_pin),
                  "NOTICE_URL_SHA256=" + hashlib.sha256(notice_pin).hexdigest()]
    lines += ["[FILES]", "COPY=<TEMP>Talvo.exe,<TARGETDIR>Talvo.exe",
             "[ETC0]", "NAME=확장 도구", "PRO_DOWN_URL=http://127.0.0.1/talvoupdate/extra.zip",
             "PRO_DOWN_URL_SIZE=99", "PRO_DOWN_URL_SHA256=" + SHA,
             "PRO_EXE=extra.exe", "PRO_PATH=<TARGETDIR>", "PRO_COMPULSION=0", "ETC_END=1"]
    if expires is not None or policy:
        lines += ["[RELEASE_POLICY]"] + list(policy)
        if expires is not None:
            lines += ["EXPIRES=" + time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(expires))]
        lines += ["[END]"]
    text = (line_end.join(lines) + line_end).encode("cp949")
    return text + key_changes + ("[RELEASE]" + line_end + "NUMBER=%d" % release + line_end).encode()


def signed(release, key=releasesigning.TEST_KEY, line_end="\r\n", **kw):
    return releasesigning.signed_document(covered(release, line_end=line_end, **kw), key, line_end.encode())


def changed(document, old, new):
    """`document` with the first `old` replaced: the signature no longer fits."""
    check(document.count(old) >= 1, "%r not in the document" % old)
    return document.replace(old, new, 1)


def flip_signature_digit(document):
    at = document.index(b"ECDSA-P256-SHA256=") + len(b"ECDSA-P256-SHA256=") + 40
    digit = document[at:at + 1]
    return document[:at] + (b"1" if digit != b"1" else b"2") + document[at + 1:]


class ReleaseSandbox(e2e.Sandbox):
    def __init__(self, *args, **kw):
        super().__init__(*args, **kw)
        # The notice and the log page answer, so a read document costs no fetch time-out.
        for path, body in (("notice/notice.txt", NOTICE), ("app/update_windowlog.asp", b"ok")):
            self.serve_file(path, body)

    def serve_file(self, path, body):
        os.makedirs(os.path.dirname(os.path.join(self.server.root, path)), exist_ok=True)
        with open(os.path.join(self.server.root, path), "wb") as f:
            f.write(body)

    def record(self):
        """The release record beside the updater, or None."""
        path = os.path.join(self.install, RECORD)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read().decode("latin-1")

    def set_record(self, text):
        path = os.path.join(self.install, RECORD)
        if text is None:
            if os.path.exists(path):
                os.remove(path)
        else:
            with open(path, "wb") as f:
                f.write(text.encode("latin-1"))

    def notice_shown(self):
        """Waits for the update window, reads its notice box and closes the window."""
        driver = os.path.join(self.install, "windowdriver.exe")
        if not os.path.exists(driver):
            shutil.copy(self.driver, driver)
        code, out = self.wine([driver, "find", "60000", "describe", "close", "watch", "30000"], timeout=120)
        lines = out.decode("cp949", "replace").replace("\r", "").splitlines()
        check(code == 0, "update window not read and closed: %s" % lines)
        for line in lines:
            if line.startswith("control 1019 "):
                # control ID VISIBLE ENABLED LEFT TOP WIDTH HEIGHT TEXT
                return line.split(" ", 8)[8] if line.count(" ") >= 8 else ""
        raise Failure("no notice box in %s" % lines)

    def reg_get(self, key, value):
        code, out = self.wine(["reg", "query", key, "/v", value])
        if code != 0:
            return None
        for line in out.decode("cp949", "replace").splitlines():
            parts = line.split()
            if len(parts) >= 3 and parts[0] == value and parts[1].startswith("REG_"):
                return parts[2] if len(parts) == 3 else " ".join(parts[2:])
        return ""

    def use_updater(self, exe):
        shutil.copy(exe, os.path.join(self.install, "TalvoUpdate.exe"))


def debug_form(text):
    """`text` as Wine's debug channel carries an OutputDebugStringA line: backslashes and double
    quotes escaped."""
    return text.replace("\\", "\\\\").replace('"', '\\"')


def check_line(run):
    """The updater's "Update check: ..." line, as the debug channel carried it."""
    for line in run.lines:
        at = line.find(e2e.CHECK_LINE)
        if at >= 0:
            return re.sub(r'\\n.*$', "", line[at:].rstrip())
    return None


def scenario_accepted(opts):
    """A good signed document is read as the same document unsigned; its release is recorded, an
    equal release is read again, a higher one raises the record. The product without a key reads
    the signed document exactly as the unsigned one."""
    sb = ReleaseSandbox("release-accepted", opts.signed_updater, opts.client, opts.helper, driver=opts.driver)
    try:
        sb.server.start()
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.41")
        sb.reg_set(e2e.INSTALL_KEY, "LogOcxTalvo", "1.0")
        starts = 0
        seen = 0

        def run(name, document, dialog=False):
            nonlocal starts, seen
            sb.server.serve(document)
            r = sb.start()
            if dialog:
                sb.close_update_window()
            r.wait(60)
            check(r.process.returncode == 0, "%s: exit code %d" % (name, r.process.returncode))
            starts += 1
            sb.expect_client_starts(starts, settle=0.5)
            check(r.logged(e2e.DIALOG_LINE) == dialog, "%s: dialog %s expected" % (name, "run" if dialog else "not run"))
            requests = sb.server.requests()[seen:]
            seen += len(requests)
            return r, requests

        # Nothing outdated: versions compared, the notice fetched, the release recorded.
        r, requests = run("release 7", signed(7))
        check(r.logged(GOOD % 7), "release 7: no good check in %s" % r.lines)
        check(r.logged(e2e.CHECK_LINE + "program 0, login control 0"), "release 7: %s" % check_line(r))
        check("GET /notice/notice.txt" in requests, "release 7: notice not fetched: %s" % requests)
        check(sb.record() == "7", "release 7 not recorded: %r" % sb.record())

        # The same release again, with the main program outdated: read again, the window opens.
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.35")
        r, _ = run("release 7 again", signed(7), dialog=True)
        check(r.logged(GOOD % 7), "release 7 again: %s" % r.lines)
        check(r.logged(e2e.CHECK_LINE + "program 1"), "release 7 again: %s" % check_line(r))
        check(sb.record() == "7", "release 7 again changed the record")

        # A higher release with bare LF line ends raises the record.
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.41")
        r, _ = run("release 8", signed(8, line_end="\n"))
        check(r.logged(GOOD % 8), "release 8: %s" % r.lines)
        check(sb.record() == "8", "release 8 not recorded")

        # The product without a key: the signed document reads as the unsigned one, nothing of
        # the release is checked or recorded.
        sb.use_updater(opts.updater)
        sb.set_record(None)
        readings = []
        for name, document in (("unsigned", covered(9)), ("signed", signed(9))):
            r, requests = run("keyless, " + name, document)
            check(not r.logged("Release check"), "keyless, %s: a release check ran" % name)
            check("GET /notice/notice.txt" in requests, "keyless, %s: notice not fetched" % name)
            readings.append(check_line(r))
        check(readings[0] is not None and readings[0] == readings[1], "keyless: %s" % readings)
        check(sb.record() is None and sb.reg_get(e2e.INSTALL_KEY, RELEASE_VALUE) is None,
              "the keyless product recorded a release")
    finally:
        sb.close()


def scenario_refused(opts):
    """Every document that is not a good signature of a release at least as new as the one
    accepted is refused: no window, no notice, nothing recorded, the client started, the reason in
    the log."""
    sb = ReleaseSandbox("release-refused", opts.signed_updater, opts.client, opts.helper, driver=opts.driver)
    other_dir = tempfile.mkdtemp(prefix="talvo-e2e-otherkey-")
    try:
        other_key = os.path.join(other_dir, "other.pem")
        releasesigning.generate_key(other_key)
        sb.server.start()
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.41")
        sb.reg_set(e2e.INSTALL_KEY, "LogOcxTalvo", "1.0")

        # The machine accepts release 7 first, as it would in use.
        sb.server.serve(signed(7))
        first = sb.run(timeout=60)
        check(first.logged(GOOD % 7), "release 7 not accepted: %s" % first.lines)
        check(sb.record() == "7", "release 7 not recorded")
        starts = 1
        sb.expect_client_starts(starts)

        # From here on a document that got through would open the window: the main program is
        # outdated and an extra project is offered.
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.35")
        good = signed(8)
        before_signature = good[:good.index(b"[SIGNATURE]")]
        cases = [
            ("a version changed", changed(good, b"XP_VERSION=3.41", b"XP_VERSION=3.42"), "bad signature"),
            ("an address changed", changed(good, b"TalvoXP.zip", b"TalvoXQ.zip"), "bad signature"),
            ("a job line changed", changed(good, b"COPY=<TEMP>Talvo.exe", b"COPY=<TEMP>Talvx.exe"), "bad signature"),
            ("a digest changed", changed(good, b"_SHA256=ba78", b"_SHA256=ba79"), "bad signature"),
            ("the release number changed", changed(good, b"NUMBER=8", b"NUMBER=9"), "bad signature"),
            ("the signature changed", flip_signature_digit(good), "bad signature"),
            ("lines moved after the signature", changed(good, NOTICE_SECTION, b"") + NOTICE_SECTION,
             "lines after the signature"),
            ("lines added after the signature", good + b"[Talvo]\r\nXP_VERSION=9.99\r\n", "lines after the signature"),
            ("an older release replayed", signed(6), "release 6 is older than 7 accepted here (recorded in %s)"
             % RECORD_PLACE),
            ("signed with another key", signed(8, key=other_key), "bad signature"),
            ("unsigned", covered(8), "no signature"),
            ("truncated before the signature", before_signature[:len(before_signature) // 2], "no signature"),
            ("truncated in the signature line", good[:-20], "malformed signature"),
            ("two signatures", good + good[good.index(b"[SIGNATURE]"):], "more than one signature"),
        ]
        failures = []
        for name, document, reason in cases:
            seen = len(sb.server.requests())
            sb.server.serve(document)
            r = sb.run(timeout=60)
            starts += 1
            try:
                check(r.process.returncode == 0, "exit code %d" % r.process.returncode)
                sb.expect_client_starts(starts, settle=0.3)
                check(r.logged(debug_form(REFUSED + reason)), "no %r in %s" % (REFUSED + reason,
                                                                   [l for l in r.lines if "Release" in l]))
                check(not r.logged(e2e.DIALOG_LINE), "the window opened")
                check(not r.logged(e2e.CHECK_LINE), "versions were compared")
                requests = sb.server.requests()[seen:]
                check(requests and all(q.startswith(INFO_REQUEST) for q in requests),
                      "requests beyond the document: %s" % requests)
                check(sb.record() == "7", "the record changed")
                check(sb.reg_get(e2e.INSTALL_KEY, "VerTalvo") == "3.35", "a version was recorded")
            except Failure as e:
                failures.append("%s: %s" % (name, e))
        check(not failures, "; ".join(failures))
        check(sb.boxes() == [], "a refused document showed a box")
    finally:
        sb.close()
        shutil.rmtree(other_dir, ignore_errors=True)


def scenario_store(opts):
    """The highest release accepted belongs to the installation: it is kept beside the updater,
    whoever runs it. A record that is not a plain decimal number refuses every document, and the
    log names what it holds and where; numbers compare as 64-bit. A fresh installation accepts its
    first release; the per-user value of older updaters stands in until the first acceptance."""
    sb = ReleaseSandbox("release-store", opts.signed_updater, opts.client, opts.helper, driver=opts.driver)
    try:
        sb.server.start()
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.41")
        sb.reg_set(e2e.INSTALL_KEY, "LogOcxTalvo", "1.0")
        unreadable = "the highest release accepted here, %s in %s, is no release number"
        older = "release %d is older than %s accepted here (recorded in %s)"
        # (what, record file, old per-user value, release served, refusal or None, record after)
        cases = [
            ("a fresh installation", None, None, 7, None, "7"),
            ("another user replays an older release", "7", None, 6, older % (6, "7", RECORD_PLACE), "7"),
            ("a newer release", "6", None, 7, None, "7"),
            ("the same release", "7", None, 7, None, "7"),
            ("an empty record", "", None, 7, unreadable % ('""', RECORD_PLACE), ""),
            ("a leading zero", "07", None, 6, unreadable % ('"07"', RECORD_PLACE), "07"),
            ("a blank before it", " 7", None, 6, unreadable % ('" 7"', RECORD_PLACE), " 7"),
            ("a line end after it", "7\r", None, 6, unreadable % ('"7\\r"', RECORD_PLACE), "7\r"),
            ("zero", "0", None, 6, unreadable % ('"0"', RECORD_PLACE), "0"),
            ("past 64 bits", "18446744073709551616", None, 7,
             unreadable % ('"18446744073709551616"', RECORD_PLACE), "18446744073709551616"),
            ("past 31 bits", "2147483648", None, 7, older % (7, "2147483648", RECORD_PLACE) + "; no release can "
             "be newer than 2147483647", "2147483648"),
            ("2^32 + 7", "4294967303", None, 7, older % (7, "4294967303", RECORD_PLACE), "4294967303"),
            ("far past every release", "9999999999", None, 7, older % (7, "9999999999", RECORD_PLACE),
             "9999999999"),
            ("the old per-user value, older", None, "6", 7, None, "7"),
            ("the old per-user value, newer", None, "8", 7, older % (7, "8", OLD_PLACE), None),
            ("the old per-user value with a leading zero", None, "07", 7, unreadable % ('"07"', OLD_PLACE), None),
            ("the record wins over the old per-user value", "6", "9", 7, None, "7"),
        ]
        failures = []
        starts = 0
        for name, record, old_value, release, refusal, after in cases:
            sb.set_record(record)
            if old_value is None:
                sb.reg_delete(e2e.INSTALL_KEY, RELEASE_VALUE)
            else:
                sb.reg_set(e2e.INSTALL_KEY, RELEASE_VALUE, old_value)
            sb.server.serve(signed(release))
            r = sb.run(timeout=60)
            starts += 1
            try:
                check(r.process.returncode == 0, "exit code %d" % r.process.returncode)
                sb.expect_client_starts(starts, settle=0.3)
                if refusal is None:
                    check(r.logged(GOOD % release), "not accepted: %s" % [l for l in r.lines if "Release" in l])
                    check(r.logged(e2e.CHECK_LINE), "versions not compared")
                else:
                    check(r.logged(debug_form(REFUSED + refusal)), "no %r in %s" % (REFUSED + refusal,
                                                                        [l for l in r.lines if "Release" in l]))
                    check(not r.logged(e2e.CHECK_LINE), "versions were compared")
                check(sb.record() == after, "record %r, expected %r" % (sb.record(), after))
            except Failure as e:
                failures.append("%s: %s" % (name, e))
        check(not failures, "; ".join(failures))
    finally:
        sb.close()


def scenario_notice(opts):
    """With a key the notice is shown only when its bytes are those the signed document pins: a
    notice changed on the server, or one the document does not pin, is not shown (the window opens
    all the same). The product without a key shows whatever notice it fetches, as before."""
    sb = ReleaseSandbox("release-notice", opts.signed_updater, opts.client, opts.helper, driver=opts.driver)
    try:
        sb.server.start()
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.35")
        sb.reg_set(e2e.INSTALL_KEY, "LogOcxTalvo", "1.0")
        shown_text = NOTICE.decode("cp949").replace("\n", "\\n")
        tampered = "가짜 공지\n".encode("cp949")
        cases = [
            # (what, updater, document, notice served, notice box expected, log line or None)
            ("pinned and matching", opts.signed_updater, signed(7, notice_pin=NOTICE), NOTICE, shown_text,
             NOTICE_SHOWN),
            ("changed on the server", opts.signed_updater, signed(7, notice_pin=NOTICE), tampered, "",
             NOTICE_DROPPED),
            ("a byte added on the server", opts.signed_updater, signed(7, notice_pin=NOTICE), NOTICE + b" ", "",
             NOTICE_DROPPED),
            ("not pinned", opts.signed_updater, signed(7), NOTICE, "", NOTICE_DROPPED),
            ("keyless, changed on the server", opts.updater, signed(7, notice_pin=NOTICE), tampered,
             tampered.decode("cp949").replace("\n", "\\n"), None),
        ]
        failures = []
        starts = 0
        for name, updater, document, notice, expected, line in cases:
            sb.use_updater(updater)
            sb.serve_file("notice/notice.txt", notice)
            sb.server.serve(document)
            r = sb.start()
            try:
                text = sb.notice_shown()
                r.wait(60)
                starts += 1
                sb.expect_client_starts(starts, settle=0.3)
                check(text == expected, "notice box %r, expected %r" % (text, expected))
                if line is None:
                    check(not r.logged("Notice check"), "a keyless build checked the notice")
                else:
                    check(r.logged(line), "no %r in %s" % (line, [l for l in r.lines if "Notice" in l]))
            except Failure as e:
                failures.append("%s: %s" % (name, e))
                r.wait(60)
                starts = sb.client_starts()
        check(not failures, "; ".join(failures))
    finally:
        sb.close()


def scenario_expiry(opts):
    """A document more than a day past its expiry time is refused as a bad signature is: nothing
    offered or recorded, the client started, the reason in the log. Within the day it is read; the
    same release re-signed with a later expiry is read again. The product without a key reads an
    expired document as any other."""
    sb = ReleaseSandbox("release-expiry", opts.signed_updater, opts.client, opts.helper, driver=opts.driver)
    try:
        sb.server.start()
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.41")
        sb.reg_set(e2e.INSTALL_KEY, "LogOcxTalvo", "1.0")
        hour = 3600
        starts = 0

        def run(name, document, updater=None):
            nonlocal starts
            sb.server.serve(document)
            r = sb.run(timeout=60)
            starts += 1
            sb.expect_client_starts(starts, settle=0.5)
            check(not r.logged(e2e.DIALOG_LINE), "%s: the update window opened" % name)
            return r

        def signed_expiring(release, expires):
            return releasesigning.signed_document(covered(release, expires=expires), releasesigning.TEST_KEY)

        # An hour past expiry and the day of slack: refused before anything of it is read.
        stale = signed_expiring(7, time.time() - 25 * hour)
        r = run("stale", stale)
        check(r.logged(REFUSED + "release 7 expired at "), "stale: %s" % [l for l in r.lines if "Release" in l])
        check(sb.record() is None, "stale: recorded %r" % sb.record())
        check("GET /notice/notice.txt" not in sb.server.requests(), "stale: notice fetched")

        # An hour past expiry, within the slack: read and recorded.
        r = run("within the slack", signed_expiring(7, time.time() - hour))
        check(r.logged(GOOD % 7), "within the slack: %s" % [l for l in r.lines if "Release" in l])
        check(sb.record() == "7", "within the slack: not recorded")

        # The next release goes stale, then the maker refreshes it: same bytes, later expiry.
        r = run("release 8 stale", signed_expiring(8, time.time() - 30 * hour))
        check(r.logged(REFUSED + "release 8 expired at "), "release 8 stale: %s" % r.lines)
        check(sb.record() == "7", "release 8 stale: the record moved")
        r = run("release 8 refreshed", signed_expiring(8, time.time() + 14 * 24 * hour))
        check(r.logged(GOOD % 8), "release 8 refreshed: %s" % [l for l in r.lines if "Release" in l])
        check(sb.record() == "8", "release 8 refreshed: not recorded")

        # Without a key nothing of the release is checked: the stale document reads as ever.
        sb.use_updater(opts.updater)
        r = run("keyless", stale)
        check(not r.logged("Release check"), "keyless: a release check ran")
        check(r.logged(e2e.CHECK_LINE + "program 0, login control 0"), "keyless: %s" % check_line(r))
    finally:
        sb.close()


def scenario_kept(opts):
    """The document accepted last is kept with its validators, and the next start asks for it only
    if it changed: unchanged, the server answers 304 without a body and the kept copy is read as a
    fresh one would be; a kept copy changed on disk is refused as a tampered download is, and the
    start after asks plainly. A server that ignores the conditions, one without validators, a
    changed document, a kept copy gone and a refused download all read as before."""
    sb = ReleaseSandbox("release-kept", opts.signed_updater, opts.client, opts.helper, driver=opts.driver)
    kept = os.path.join(sb.install, "Update.lastdocument")
    validators = kept + ".validator"
    try:
        sb.server.start()
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.41")
        sb.reg_set(e2e.INSTALL_KEY, "LogOcxTalvo", "1.0")
        starts = 0
        seen = 0

        def run(name, document, fault=None, dialog=False, conditional=None, body=None):
            """One start; checks how the document was asked for and how much of it came."""
            nonlocal starts, seen
            sb.server.serve(document, fault)
            r = sb.start()
            if dialog:
                sb.close_update_window()
            r.wait(60)
            check(r.process.returncode == 0, "%s: exit code %d" % (name, r.process.returncode))
            starts += 1
            sb.expect_client_starts(starts, settle=0.3)
            check(r.logged(e2e.DIALOG_LINE) == dialog, "%s: dialog %s expected" % (name, "run" if dialog else "not run"))
            answers = sb.server.document_answers()[seen:]
            seen += len(answers)
            check(answers == [(conditional, body)], "%s: document asked and sent %s, expected %s" % (
                name, answers, [(conditional, body)]))
            return r

        def accepted(name, r, release):
            check(r.logged(GOOD % release), "%s: %s" % (name, [l for l in r.lines if "Release" in l or "Inform" in l]))
            check(os.path.exists(validators), "%s: no validators kept" % name)

        doc = signed(7)
        r = run("first start", doc, conditional=False, body=len(doc))
        accepted("first start", r, 7)
        with open(kept, "rb") as f:
            check(f.read() == doc, "first start: the kept copy is not the document")

        # Unchanged: no body, and the kept copy decides as the document did (now outdated: the window).
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.35")
        r = run("unchanged", doc, dialog=True, conditional=True, body=0)
        check(r.logged("Information request: not changed since the kept copy (%d bytes)" % len(doc)),
              "unchanged: %s" % [l for l in r.lines if "Inform" in l])
        accepted("unchanged", r, 7)
        check(r.logged(e2e.CHECK_LINE + "program 1"), "unchanged: %s" % check_line(r))

        # The kept copy changed between starts while the server still vouches for its validator.
        with open(kept, "rb") as f:
            tampered = changed(f.read(), b"XP_VERSION=3.41", b"XP_VERSION=3.42")
        with open(kept, "wb") as f:
            f.write(tampered)
        r = run("tampered kept copy", doc, conditional=True, body=0)
        check(r.logged(debug_form(REFUSED + "bad signature")), "tampered kept copy: %s" % [
            l for l in r.lines if "Release" in l])
        check(not r.logged(e2e.CHECK_LINE), "tampered kept copy: versions were compared")
        check(sb.record() == "7", "tampered kept copy: the record changed")
        check(not os.path.exists(validators), "tampered kept copy: its validators still vouch for it")
        r = run("after the refused copy", doc, dialog=True, conditional=False, body=len(doc))
        accepted("after the refused copy", r, 7)

        # A server that ignores the conditions sends the whole document, read as ever.
        r = run("conditions ignored", doc, fault={"ignore_conditional": True}, dialog=True, conditional=True,
                body=len(doc))
        accepted("conditions ignored", r, 7)

        # A changed document comes whole and replaces the kept copy.
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.41")
        doc8 = signed(8)
        r = run("changed", doc8, conditional=True, body=len(doc8))
        accepted("changed", r, 8)
        check(r.logged("Information request: the document changed since the kept copy"), "changed: %s" % r.lines)
        with open(kept, "rb") as f:
            check(f.read() == doc8, "changed: the kept copy is not the new document")
        run("unchanged again", doc8, conditional=True, body=0)

        # Only Last-Modified: kept, and enough to ask with.
        run("a date only", doc8, fault={"validator": "last-modified"}, conditional=True, body=len(doc8))
        run("a date only, unchanged", doc8, fault={"validator": "last-modified"}, conditional=True, body=0)

        # No validators: nothing to ask with at the next start.
        run("no validators", doc8, fault={"validator": "none"}, conditional=True, body=len(doc8))
        check(not os.path.exists(validators), "no validators: a record was kept")
        run("after no validators", doc8, conditional=False, body=len(doc8))

        # A kept copy that is gone: the validators alone prove nothing.
        os.remove(kept)
        run("kept copy gone", doc8, conditional=False, body=len(doc8))
        check(os.path.exists(kept), "kept copy gone: not kept again")

        # A refused download keeps no validators: the next start asks plainly.
        bad = changed(doc8, b"XP_VERSION=3.41", b"XP_VERSION=3.42")
        r = run("refused download", bad, conditional=True, body=len(bad))
        check(r.logged(debug_form(REFUSED + "bad signature")), "refused download: %s" % r.lines)
        check(not os.path.exists(validators), "refused download: validators kept")
        run("after the refused download", doc8, conditional=False, body=len(doc8))

        # The product without a key asks the same way.
        sb.use_updater(opts.updater)
        r = run("keyless, unchanged", doc8, conditional=True, body=0)
        check(r.logged(e2e.CHECK_LINE + "program 0"), "keyless, unchanged: %s" % check_line(r))
    finally:
        sb.close()


def rollout_bucket(value, release):
    """The bucket rule, written out: the 64-bit mix of SplitMix64 over the installation's value and
    the release number, modulo 100."""
    m = (1 << 64) - 1

    def mix(x):
        x ^= x >> 30
        x = (x * 0xbf58476d1ce4e5b9) & m
        x ^= x >> 27
        x = (x * 0x94d049bb133111eb) & m
        return x ^ (x >> 31)
    return mix(value ^ mix((0x9e3779b97f4a7c15 * (release + 1)) & m)) % 100


def scenario_rollout(opts):
    """Release 8 signed for 10 % of installations: one outside the share starts the client with no
    update window and keeps its kept value; inside the share, urgent, or lacking the main program,
    the window opens."""
    sb = ReleaseSandbox("release-rollout", opts.signed_updater, opts.client, opts.helper, driver=opts.driver)
    try:
        sb.server.start()
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.35")  # outdated: a release taken opens the window
        sb.reg_set(e2e.INSTALL_KEY, "LogOcxTalvo", "1.0")
        outside = next(v for v in range(1000) if rollout_bucket(v, 8) >= 10)
        inside = next(v for v in range(1000) if rollout_bucket(v, 8) < 10)
        value_file = os.path.join(sb.install, "Update.rollout")
        starts = 0

        def run(name, document, value, dialog):
            nonlocal starts
            if value is not None:
                with open(value_file, "w") as f:
                    f.write("%016x" % value)
            sb.server.serve(document)
            r = sb.start()
            if dialog:
                sb.close_update_window()
            r.wait(60)
            starts += 1
            sb.expect_client_starts(starts, settle=0.5)
            check(r.logged(e2e.DIALOG_LINE) == dialog, "%s: dialog %s expected: %s" % (
                name, "run" if dialog else "not run", [l for l in r.lines if "Rollout" in l or "check" in l]))
            return r

        phased = signed_doc(8, policy=["ROLLOUT=10"])
        r = run("outside the share", phased, outside, False)
        check(r.logged("Rollout: release 8 at 10 %%, bucket %d: held back" % rollout_bucket(outside, 8)),
              "outside: %s" % [l for l in r.lines if "Rollout" in l])
        check(r.logged(e2e.CHECK_LINE + "program 0"), "outside: %s" % check_line(r))
        with open(value_file) as f:
            check(f.read() == "%016x" % outside, "the kept value changed")
        run("inside the share", phased, inside, True)
        run("urgent", signed_doc(8, policy=["ROLLOUT=10", "URGENT=1"]), outside, True)
        sb.reg_delete(e2e.INSTALL_KEY, "VerTalvo")
        run("no main program", phased, outside, True)
        # A fresh installation makes its value once and keeps it.
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.41")
        os.remove(value_file)
        run("a value made", phased, None, False)
        with open(value_file) as f:
            made = f.read()
        check(re.fullmatch(r"[0-9a-f]{16}", made) is not None, "made value %r" % made)
        run("the value kept", phased, None, False)
        with open(value_file) as f:
            check(f.read() == made, "the value was made again")
    finally:
        sb.close()


KEY_RECORD = "Update.keys"


def scenario_keys(opts):
    """The build trusts the active test key and the backup: a document signed by the backup is
    read. A key change signed by the active key and a new key makes the new key trusted and the
    active one retired, recorded beside the updater; a document signed by the retired key is then
    refused although the build carries it. A change not signed by a trusted key, one that skips a
    number, and a key record that is not one the updater writes refuse the document: nothing is
    read, the client starts as it is."""
    sb = ReleaseSandbox("release-keys", opts.signed_updater, opts.client, opts.helper, driver=opts.driver)
    key_dir = tempfile.mkdtemp(prefix="talvo-e2e-newkey-")
    try:
        new_key = os.path.join(key_dir, "new.pem")
        releasesigning.generate_key(new_key)
        active = releasesigning.public_key_line(releasesigning.TEST_KEY)
        backup = releasesigning.public_key_line(releasesigning.BACKUP_KEY)
        new = releasesigning.public_key_line(new_key)
        sb.server.start()
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.41")
        sb.reg_set(e2e.INSTALL_KEY, "LogOcxTalvo", "1.0")
        record_path = os.path.join(sb.install, KEY_RECORD)
        starts = 0

        def key_record():
            if not os.path.exists(record_path):
                return None
            with open(record_path, "rb") as f:
                return f.read().decode("latin-1")

        def run(name, document, refusal=None):
            nonlocal starts
            sb.server.serve(document)
            r = sb.run(timeout=60)
            starts += 1
            sb.expect_client_starts(starts, settle=0.5)
            release_lines = [l for l in r.lines if "Release" in l]
            if refusal is None:
                check(r.logged(e2e.CHECK_LINE), "%s: versions not compared: %s" % (name, release_lines))
            else:
                check(r.logged(debug_form(REFUSED + refusal)), "%s: no %r in %s" % (name, REFUSED + refusal,
                                                                                     release_lines))
                check(not r.logged(e2e.CHECK_LINE), "%s: versions were compared" % name)
            return r

        change1 = releasesigning.key_change_section(1, new_key, active, releasesigning.TEST_KEY)

        def by(key, release, changes=b""):
            return releasesigning.signed_document(covered(release, key_changes=changes), key)

        # The backup key, kept offline, signs a release: read.
        r = run("signed by the backup key", by(releasesigning.BACKUP_KEY, 7))
        check(r.logged(GOOD % 7), "backup: %s" % r.lines)
        check(sb.record() == "7" and key_record() is None, "backup: records %r %r" % (sb.record(), key_record()))

        # Changes that must not be applied, on a machine that has applied none.
        refused = [
            ("a change signed by the new key only",
             by(new_key, 8, releasesigning.key_change_section(1, new_key, active, new_key)),
             "key change 1 is not signed by a key trusted here"),
            ("a change signed by the active key only",
             by(new_key, 8, releasesigning.key_change_section(1, new_key, active, releasesigning.TEST_KEY,
                                                              new_key_signer=releasesigning.TEST_KEY)),
             "key change 1 is not signed by its new key"),
            ("change 2 without change 1",
             by(new_key, 8, releasesigning.key_change_section(2, new_key, active, releasesigning.TEST_KEY)),
             "key change 2 does not follow key change 0, the last applied here: a change between them is missing"),
        ]
        for name, document, refusal in refused:
            run(name, document, refusal)
            check(key_record() is None and sb.record() == "7", "%s: recorded %r %r" % (name, key_record(), sb.record()))

        # The active key hands over to the new key: the change is applied and recorded.
        r = run("the key change", by(new_key, 8, change1))
        check(r.logged(GOOD % 8), "key change: %s" % [l for l in r.lines if "Release" in l])
        check(r.logged("Release check: key change 1 applied: %s... trusted, %s... retired" % (new[:27], active[:27])),
              "key change: %s" % [l for l in r.lines if "Release" in l])
        expected = "CHANGE=1\nTRUSTED=%s\nTRUSTED=%s\nRETIRED=%s\n" % (backup, new, active)
        check(key_record() == expected, "key record %r, expected %r" % (key_record(), expected))
        check(sb.record() == "8", "key change: release not recorded")

        # From now on the retired key is refused, the new key and the backup read; the change, once
        # applied, is skipped.
        run("signed by the retired key", by(releasesigning.TEST_KEY, 9), "bad signature")
        run("signed by the retired key, carrying the change", by(releasesigning.TEST_KEY, 9, change1), "bad signature")
        check(sb.record() == "8" and key_record() == expected, "the retired key moved a record")
        r = run("signed by the new key", by(new_key, 9, change1))
        check(r.logged(GOOD % 9) and not r.logged("key change 1 applied"), "new key: %s" % r.lines)
        run("signed by the backup key after the change", by(releasesigning.BACKUP_KEY, 9, change1))

        # A key record this updater did not write widens nothing: every document is refused.
        with open(record_path, "w") as f:
            f.write("CHANGE=1\n")
        run("an unwritten key record", by(releasesigning.TEST_KEY, 9),
            "the release keys trusted here, in C:\\Talvo\\Update.keys, are not a key record this updater writes")
        check(sb.boxes() == [], "a refused document showed a box")
    finally:
        sb.close()
        shutil.rmtree(key_dir, ignore_errors=True)


def signed_doc(release, **kw):
    return releasesigning.signed_document(covered(release, **kw), releasesigning.TEST_KEY)


SCENARIOS = {
    "keys": scenario_keys,
    "rollout": scenario_rollout,
    "expiry": scenario_expiry,
    "accepted": scenario_accepted,
    "refused": scenario_refused,
    "store": scenario_store,
    "notice": scenario_notice,
    "kept": scenario_kept,
}


if __name__ == "__main__":
    sys.exit(e2e.main(__doc__, SCENARIOS, ("--signed-updater", "--updater", "--client", "--helper", "--driver")))
