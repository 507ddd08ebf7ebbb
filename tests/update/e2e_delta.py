#!/usr/bin/env python3
"""End to end: the client program updated by a delta through the update window of the updater
built with the test release key. The installation holds release 3.35.1's Talvo.exe (the stand-in
client); the signed document offers 3.41 as its full package and as a delta from that file (made
with zstd --patch-from, as the publisher does).

- delta: only the delta package is fetched for the client, the new Talvo.exe is installed, the log
  tells the bytes saved.
- changed: the installed Talvo.exe was changed by hand: no delta is fetched, the full package is,
  in the same run, and installs.
- wrong: a delta whose result is not the file the document names: refused after it is applied,
  the full package installs in the same run, and a later run does not fetch that delta again.
- published: the maker's own route: talvo-publish (the host build, --publish) publishes 3.35.1 and
  then 3.41 signed with the test key; the second publication makes the delta from its release
  archive, and the updater installs 3.41 by that delta alone. Skipped (exit 77) without the host build.

    e2e_delta.py --signed-updater EXE --client EXE --helper EXE --driver EXE --publish HOST_EXE [SCENARIO ...]

Needs root (port 80) and the zstd tool; CTest runs it under the port80 lock.
"""

import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "app"))
sys.path.insert(0, os.path.join(HERE, "..", "crypto"))
sys.path.insert(0, HERE)
import e2e_startup as e2e  # noqa: E402
import e2e_window as ew  # noqa: E402
import e2e_packages as ep  # noqa: E402
import releasesigning  # noqa: E402

check = e2e.check
DELTA = "TalvoXP_335_341.zip"
FULL = "TalvoXP_341.zip"
SAVED = re.compile(r"Delta: entry 1 staged by delta, (\d+) bytes saved")


def make_delta(old, new):
    with tempfile.TemporaryDirectory() as tmp:
        paths = [os.path.join(tmp, n) for n in ("old", "new", "delta")]
        for path, body in zip(paths, (old, new)):
            with open(path, "wb") as f:
                f.write(body)
        subprocess.run(["zstd", "-q", "-19", "--patch-from=" + paths[0], paths[1], "-o", paths[2]], check=True)
        with open(paths[2], "rb") as f:
            return f.read()


def delta_document(root, old, new, result=None):
    """The pinned, signed document with a delta of the client from `old` to `new` beside both builds'
    package; the FILE line names `result` (default `new`) as what the delta must produce."""
    package = ew.zip_bytes([("Talvo.exe", make_delta(old, new))])
    with open(os.path.join(root, "talvoupdate", DELTA), "wb") as f:
        f.write(package)
    result = new if result is None else result
    text = ep.pinned_document(root).decode("cp949")
    covered = text[:text.index("[SIGNATURE]")]
    lines = []
    for line in covered.split("\r\n"):
        lines.append(line)
        key = line.split("=", 1)[0]
        if key in ("XP_DOWNLOADURL", "98_DOWNLOADURL"):
            lines += ["%s_DELTA1=http://127.0.0.1/talvoupdate/%s" % (key, DELTA), "%s_DELTA1_FROM=3.35.1" % key,
                      "%s_DELTA1_SIZE=%d" % (key, len(package)),
                      "%s_DELTA1_SHA256=%s" % (key, hashlib.sha256(package).hexdigest()),
                      "%s_DELTA1_FILE=<TARGETDIR>,Talvo.exe,%s,%s" % (
                          key, hashlib.sha256(old).hexdigest(), hashlib.sha256(result).hexdigest())]
    covered = "\r\n".join(lines).rstrip("\r\n") + "\r\n"
    return releasesigning.signed_document(covered.encode("cp949"), releasesigning.TEST_KEY)


class DeltaSandbox(ep.SignedSandbox):
    def __init__(self, name, opts):
        super().__init__(name, opts)
        self.old = self.read("Talvo.exe")
        with open(opts.client, "rb") as f:
            self.new = f.read() + ew.CLIENT_MARK

    def run_all(self):
        run, window = self.open_window()
        lines = self.drive("find", 10000, "click-start", "watch", 180000, "ok")
        check(ew.events(lines, "box") == [], "boxes %s" % ew.events(lines, "box"))
        check(ew.events(lines, "status")[-1:] == [ew.DONE], "statuses %s" % ew.events(lines, "status"))
        check(run.wait(60) == 0, "exit code")
        check(self.reg_query(e2e.INSTALL_KEY, "VerTalvo") == "3.41", "main program not installed")
        check(self.read("Talvo.exe") == self.new, "Talvo.exe is not the new build")
        check(not os.path.exists(self.path("Update")), "staging folder left")
        return run

    def client_requests(self):
        return [r.split()[1].rsplit("/", 1)[1] for r in self.package_requests() if "TalvoXP" in r]


def scenario_delta(opts):
    sb = DeltaSandbox("delta", opts)
    try:
        sb.server.serve(delta_document(sb.server.root, sb.old, sb.new))
        run = sb.run_all()
        check(sb.client_requests() == [DELTA], "client package requests %s" % sb.client_requests())
        saved = [int(m.group(1)) for m in map(SAVED.search, run.lines) if m]
        check(len(saved) == 1 and saved[0] > 0, "saved bytes in the log: %s" % saved)
        check(not os.path.exists(sb.path("Update.baddeltas")), "a good delta was remembered as bad")
        check(any(DELTA + ":" in l and ", delta, not resumed, pin match" in l for l in run.lines),
              "no package line says the delta came: %s" % [l for l in run.lines if "Package " in l])
    finally:
        sb.close()


def scenario_changed(opts):
    sb = DeltaSandbox("changed", opts)
    try:
        sb.server.serve(delta_document(sb.server.root, sb.old, sb.new))
        with open(sb.path("Talvo.exe"), "ab") as f:
            f.write(b"patched by hand")
        run = sb.run_all()
        check(sb.client_requests() == [FULL], "client package requests %s" % sb.client_requests())
        check(any(FULL + ":" in l and ", full package, " in l for l in run.lines),
              "no package line says the full package came: %s" % [l for l in run.lines if "Package " in l])
    finally:
        sb.close()


def scenario_wrong(opts):
    sb = DeltaSandbox("wrong", opts)
    try:
        # The delta applies, but its result is not the file the document names.
        sb.server.serve(delta_document(sb.server.root, sb.old, sb.old + b"not the release", result=sb.new))
        sb.run_all()
        check(sb.client_requests() == [DELTA, FULL], "client package requests %s" % sb.client_requests())
        check(os.path.exists(sb.path("Update.baddeltas")), "the bad delta is not remembered")
        # The same release again on the old build: the bad delta is not tried again.
        with open(sb.path("Talvo.exe"), "wb") as f:
            f.write(sb.old)
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.35.1")
        before = len(sb.client_requests())
        sb.run_all()
        check(sb.client_requests()[before:] == [FULL], "second run's client requests %s" % sb.client_requests()[before:])
    finally:
        sb.close()


RELEASE = """base-url http://127.0.0.1/talvoupdate/
project  Talvo
component xp
  version    %(version)s
  compulsory no
  files      client
  copy-to    <TARGETDIR>
component 98
  version    %(version)s
  compulsory no
  files      client
  copy-to    <TARGETDIR>
component extra
  name       Extra
  files      extra
  copy-to    <TARGETDIR>
  registry   SOFTWARE\\TalvoExtra
  compulsory no
"""


def scenario_published(opts):
    if not os.path.exists(opts.publish):
        print("SKIP published: no host build of talvo-publish at %s (cmake --preset native)" % opts.publish)
        sys.exit(77)
    sb = DeltaSandbox("published", opts)
    try:
        maker = os.path.join(sb.work, "maker")
        for folder in ("client", "extra"):
            os.makedirs(os.path.join(maker, folder))
        with open(os.path.join(maker, "extra", "TalvoExtra.exe"), "wb") as f:
            f.write(b"MZ extra")
        # Installed already: the window opens for the extra project's row and offers only the client.
        sb.wine(["reg", "add", ew.EXTRA_KEY, "/f"])
        key = os.path.join(maker, "release.pem")
        shutil.copy(releasesigning.TEST_KEY, key)
        with open(key + ".last-release", "w") as f:
            f.write("0\n")
        www = os.path.join(maker, "www")
        for version, client in (("3.35.1", sb.old), ("3.41", sb.new)):
            with open(os.path.join(maker, "client", "Talvo.exe"), "wb") as f:
                f.write(client)
            with open(os.path.join(maker, "release.txt"), "w") as f:
                f.write(RELEASE % {"version": version})
            made = subprocess.run([opts.publish, os.path.join(maker, "release.txt"), www, "--sign-key", key],
                                  capture_output=True, timeout=120)
            check(made.returncode == 0, "talvo-publish %s: %s" % (version, made.stdout + made.stderr))
        delta = "TalvoXP_341_from_TalvoXP_3351.zip"
        check(os.path.exists(os.path.join(www, "talvoupdate", delta)), "no delta published: %s" % made.stdout)
        for name in os.listdir(os.path.join(www, "talvoupdate")):
            if name != "PlusInformation.php":
                shutil.copy(os.path.join(www, "talvoupdate", name), os.path.join(sb.server.root, "talvoupdate", name))
        with open(os.path.join(www, "talvoupdate", "PlusInformation.php"), "rb") as f:
            sb.server.serve(f.read())
        run = sb.run_all()
        check(sb.client_requests() == [delta], "client package requests %s" % sb.client_requests())
        check(any(SAVED.search(line) for line in run.lines), "the log does not tell the bytes saved")
    finally:
        sb.close()


SCENARIOS = {"delta": scenario_delta, "changed": scenario_changed, "wrong": scenario_wrong,
             "published": scenario_published}


if __name__ == "__main__":
    sys.exit(e2e.main(__doc__, SCENARIOS, ("--signed-updater", "--client", "--helper", "--driver", "--publish")))
