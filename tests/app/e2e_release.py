#!/usr/bin/env python3
"""End to end: signed update information documents through the real program under Wine, against
tools/updateserver on 127.0.0.1:80.

    e2e_release.py --signed-updater EXE --updater EXE --client EXE --helper EXE --driver EXE [SCENARIO ...]

--signed-updater is TalvoUpdate built with the test release key (tests/crypto/fixtures); --updater
is the product as built, without a key. The documents are signed here with the test key through
the openssl command line tool (tests/crypto/releasesigning.py), then served as they are or with a
byte changed. The sandbox, the server and the scenario runner are those of e2e_startup.py.
Environment and port: as e2e_startup.py (CTest resource lock port80).
"""

import os
import re
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "crypto"))
import e2e_startup as e2e  # noqa: E402
import releasesigning  # noqa: E402

check = e2e.check
Failure = e2e.Failure

RELEASE_VALUE = "ReleaseTalvo"
GOOD = "Release check: document signature good, release %d"
REFUSED = "Release check: document refused: "
INFO_REQUEST = "GET " + e2e.INFO_PATH
NOTICE_SECTION = b"[NOTICE]\r\nNOTICE_URL=http://127.0.0.1/notice/notice.txt\r\n"
SHA = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"


def covered(release, xp="3.41", line_end="\r\n"):
    """The signed part of a document: every kind of line a tamper may touch, the release last."""
    lines = ["// e2e signed", "[Talvo]", "PROJECT=Talvo", "XP_VERSION=" + xp, "98_VERSION=" + xp,
             "XP_COMPULSION=0", "98_COMPULSION=0",
             "XP_DOWNLOADURL=http://127.0.0.1/talvoupdate/TalvoXP.zip",
             "XP_DOWNLOADURL_SIZE=1234", "XP_DOWNLOADURL_SHA256=" + SHA,
             "98_DOWNLOADURL=http://127.0.0.1/talvoupdate/Talvo98.zip",
             "98_DOWNLOADURL_SIZE=1235", "98_DOWNLOADURL_SHA256=" + SHA,
             "[LOGIN_OCX]", "OCX_VERSION=1.0", "OCX_COMPULSION=0",
             "OCX_DOWN_URL=http://127.0.0.1/talvoupdate/TalvoLogin.zip",
             "[NOTICE]", "NOTICE_URL=http://127.0.0.1/notice/notice.txt",
             "[FILES]", "COPY=<TEMP>Talvo.exe,<TARGETDIR>Talvo.exe",
             "[ETC0]", "NAME=확장 도구", "PRO_DOWN_URL=http://127.0.0.1/talvoupdate/extra.zip",
             "PRO_DOWN_URL_SIZE=99", "PRO_DOWN_URL_SHA256=" + SHA,
             "PRO_EXE=extra.exe", "PRO_PATH=<TARGETDIR>", "PRO_COMPULSION=0", "ETC_END=1",
             "[RELEASE]", "NUMBER=%d" % release]
    return (line_end.join(lines) + line_end).encode("cp949")


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
        for path, body in (("notice/notice.txt", "공지\n".encode("cp949")), ("app/update_windowlog.asp", b"ok")):
            os.makedirs(os.path.dirname(os.path.join(self.server.root, path)), exist_ok=True)
            with open(os.path.join(self.server.root, path), "wb") as f:
                f.write(body)

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
        check(sb.reg_get(e2e.INSTALL_KEY, RELEASE_VALUE) == "7", "release 7 not recorded: %r"
              % sb.reg_get(e2e.INSTALL_KEY, RELEASE_VALUE))

        # The same release again, with the main program outdated: read again, the window opens.
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.35")
        r, _ = run("release 7 again", signed(7), dialog=True)
        check(r.logged(GOOD % 7), "release 7 again: %s" % r.lines)
        check(r.logged(e2e.CHECK_LINE + "program 1"), "release 7 again: %s" % check_line(r))
        check(sb.reg_get(e2e.INSTALL_KEY, RELEASE_VALUE) == "7", "release 7 again changed the record")

        # A higher release with bare LF line ends raises the record.
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.41")
        r, _ = run("release 8", signed(8, line_end="\n"))
        check(r.logged(GOOD % 8), "release 8: %s" % r.lines)
        check(sb.reg_get(e2e.INSTALL_KEY, RELEASE_VALUE) == "8", "release 8 not recorded")

        # The product without a key: the signed document reads as the unsigned one, nothing of
        # the release is checked or recorded.
        sb.use_updater(opts.updater)
        sb.reg_delete(e2e.INSTALL_KEY, RELEASE_VALUE)
        readings = []
        for name, document in (("unsigned", covered(9)), ("signed", signed(9))):
            r, requests = run("keyless, " + name, document)
            check(not r.logged("Release check"), "keyless, %s: a release check ran" % name)
            check("GET /notice/notice.txt" in requests, "keyless, %s: notice not fetched" % name)
            readings.append(check_line(r))
        check(readings[0] is not None and readings[0] == readings[1], "keyless: %s" % readings)
        check(sb.reg_get(e2e.INSTALL_KEY, RELEASE_VALUE) is None, "the keyless product recorded a release")
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
        check(sb.reg_get(e2e.INSTALL_KEY, RELEASE_VALUE) == "7", "release 7 not recorded")
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
            ("an older release replayed", signed(6), "release 6 is older than 7 accepted here"),
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
                check(r.logged(REFUSED + reason), "no %r in %s" % (REFUSED + reason,
                                                                   [l for l in r.lines if "Release" in l]))
                check(not r.logged(e2e.DIALOG_LINE), "the window opened")
                check(not r.logged(e2e.CHECK_LINE), "versions were compared")
                requests = sb.server.requests()[seen:]
                check(requests and all(q.startswith(INFO_REQUEST) for q in requests),
                      "requests beyond the document: %s" % requests)
                check(sb.reg_get(e2e.INSTALL_KEY, RELEASE_VALUE) == "7", "the record changed")
                check(sb.reg_get(e2e.INSTALL_KEY, "VerTalvo") == "3.35", "a version was recorded")
            except Failure as e:
                failures.append("%s: %s" % (name, e))
        check(not failures, "; ".join(failures))
        check(sb.boxes() == [], "a refused document showed a box")
    finally:
        sb.close()
        shutil.rmtree(other_dir, ignore_errors=True)


SCENARIOS = {
    "accepted": scenario_accepted,
    "refused": scenario_refused,
}


if __name__ == "__main__":
    sys.exit(e2e.main(__doc__, SCENARIOS, ("--signed-updater", "--updater", "--client", "--helper", "--driver")))
