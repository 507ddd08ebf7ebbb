#!/usr/bin/env python3
"""End to end: the packages of a signed release through the update window of the updater built
with the test release key. Each package must match the size and SHA-256 the signed document pins
beside its address before anything is extracted from it; one that does not (another valid package
swapped in on the server, or one the document does not pin) goes the way of a package the server
does not have: the box, nothing of it installed, the downloaded file deleted.

    e2e_packages.py --signed-updater EXE --client EXE --helper EXE --driver EXE [SCENARIO ...]

Needs root (port 80); CTest runs it under the port80 lock.
"""

import argparse
import hashlib
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "app"))
sys.path.insert(0, os.path.join(HERE, "..", "crypto"))
sys.path.insert(0, HERE)
import e2e_startup as e2e  # noqa: E402
import e2e_window as ew  # noqa: E402
import releasesigning  # noqa: E402

check = e2e.check
MATCH = re.compile(r"Package check: package (\d+)/6: size and SHA-256 match")
URL_KEYS = {"XP_DOWNLOADURL": "TalvoXP_341.zip", "98_DOWNLOADURL": "TalvoXP_341.zip",
            "OCX_DOWN_URL": "TalvoLogin_1008.zip", "DOWN_DAT_URL": "filter_105.zip",
            "SERVER_DOWN_URL": "serverlist_27.zip", "PRO_DOWN_URL": "extra_10.zip"}


def pinned_document(root, release=1, unpinned=()):
    """The window tests' document, each package pinned from the files served under `root` (except
    the keys in `unpinned`), a release number, and signed with the test key."""
    text = ew.document().decode("cp949")
    lines = []
    for line in text.split("\r\n"):
        if line == "[END]":
            lines += ["[RELEASE]", "NUMBER=%d" % release]
        lines.append(line)
        key = line.split("=", 1)[0]
        if key in URL_KEYS and key not in unpinned:
            with open(os.path.join(root, "talvoupdate", URL_KEYS[key]), "rb") as f:
                body = f.read()
            lines += ["%s_SIZE=%d" % (key, len(body)), "%s_SHA256=%s" % (key, hashlib.sha256(body).hexdigest())]
    covered = "\r\n".join(lines).rstrip("\r\n") + "\r\n"
    return releasesigning.signed_document(covered.encode("cp949"), releasesigning.TEST_KEY)


class SignedSandbox(ew.WindowSandbox):
    def __init__(self, name, opts):
        signed = argparse.Namespace(**vars(opts))
        signed.updater = opts.signed_updater
        super().__init__(name, signed, b"", slow_packages=False)

    def serve_signed(self, **kw):
        self.server.serve(pinned_document(self.server.root, **kw))

    def replace_package(self, name, entries):
        with open(os.path.join(self.server.root, "talvoupdate", name), "wb") as f:
            f.write(ew.zip_bytes(entries))


def scenario_pinned(opts):
    """Every package matches its pin: each is checked, then installed as without a key."""
    sb = SignedSandbox("pinned", opts)
    try:
        sb.serve_signed()
        run, window = sb.open_window()
        lines = sb.drive("find", 10000, "click-start", "watch", 180000, "ok")
        check(ew.events(lines, "box") == [], "boxes %s" % ew.events(lines, "box"))
        check(ew.events(lines, "status")[-1:] == [ew.DONE], "statuses %s" % ew.events(lines, "status"))
        check(run.wait(60) == 0, "exit code")
        matched = sorted(int(m.group(1)) for m in map(MATCH.search, run.lines) if m)
        check(matched == [1, 2, 3, 4, 6], "packages checked %s (the options entry has none)" % matched)
        check(sb.reg_query(e2e.INSTALL_KEY, "VerTalvo") == "3.41", "main program not installed")
        check(sb.read("Talvo.exe").endswith(ew.CLIENT_MARK), "Talvo.exe not replaced")
        e2e.wait_until(sb.extra_started, 20, "the extra project's program")
        sb.expect_client_starts(1)
    finally:
        sb.close()


def scenario_swapped(opts):
    """The server list's package swapped for another valid package after signing, and the login
    control's left out of the pins: neither is installed, the first failure stops the run as a
    missing package does, and the file is gone."""
    for what, prepare, label, before in (
            ("swapped", lambda sb: (sb.serve_signed(),
                                    sb.replace_package("serverlist_27.zip", [("serverlist.dat", b"99\r\n6.6.6.6:1\r\n")])),
             ew.ROW_LABELS[3], 3),
            ("unpinned", lambda sb: sb.serve_signed(unpinned=("OCX_DOWN_URL",)), ew.ROW_LABELS[1], 1)):
        sb = SignedSandbox(what, opts)
        try:
            prepare(sb)
            run, window = sb.open_window()
            lines = sb.drive("find", 10000, "click-start", "watch", 180000, "ok")
            check(ew.events(lines, "box") == [ew.MISSING + "\\n\\n" + label], "%s: boxes %s" % (what, ew.events(lines, "box")))
            check(ew.DONE not in ew.events(lines, "status"), "%s: the run reported completion" % what)
            check(run.wait(60) == 0, "%s: exit code" % what)
            matched = sorted(int(m.group(1)) for m in map(MATCH.search, run.lines) if m)
            check(matched == list(range(1, before + 1)), "%s: packages that passed %s" % (what, matched))
            check(sb.reg_query(e2e.INSTALL_KEY, "VerListTalvo") is None, "%s: server list recorded" % what)
            check(not os.path.exists(sb.path("config", "serverlist.dat")), "%s: server list installed" % what)
            check(not os.path.exists(sb.path("Update")), "%s: staging folder left" % what)
            check(not sb.extra_started(), "%s: extra program started" % what)
            sb.expect_client_starts(1)
        finally:
            sb.close()


SCENARIOS = {"pinned": scenario_pinned, "swapped": scenario_swapped}


if __name__ == "__main__":
    sys.exit(e2e.main(__doc__, SCENARIOS, ("--signed-updater", "--client", "--helper", "--driver")))
