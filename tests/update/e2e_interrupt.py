#!/usr/bin/env python3
"""End to end: an update of the real TalvoUpdate.exe (the test build, which can end itself at any
point of its installation steps as a power cut would) cut off at every point in turn. After each
cut the updater is started again: it repairs what the cut left before its update check, so each
component is wholly old or wholly new (in list order), the registry the release touches is exactly
as that mixture has it (keys included), nothing of the cut is left behind, the window offers what
is still outdated, and the update that follows completes.

Scenarios: "interrupt", the client and the server list on C:; "seconddrive", the installation on
drive D: (another Linux file system) while the login control goes to the system folder on C:, so
every set-aside and every undo of the control crosses volumes, and the control, once its step is
committed, is registered even when the cut fell between the commit and regsvr32; "kept", a journal
the repair cannot finish keeps every update away until it is repaired; "delta", the first scenario
in a signed release whose client comes as a delta from the installed build: the client staged by
patching, every cut from the first point after the patching on, and the update that follows
completes (by the delta again while the old build is installed).

    e2e_interrupt.py --updater EXE --fast-updater EXE --signed-fast-updater EXE --client EXE --helper EXE
                     --driver EXE --regmark DLL

Needs root (port 80); CTest runs it under the port80 lock.
"""

import argparse
import hashlib
import os
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "app"))
sys.path.insert(0, os.path.join(HERE, "..", "crypto"))
sys.path.insert(0, HERE)
import e2e_startup as e2e  # noqa: E402
import e2e_window as ew  # noqa: E402
import e2e_delta as ed  # noqa: E402
import releasesigning  # noqa: E402

check = e2e.check
INSTALL = e2e.INSTALL_KEY
SKIN_KEY = r"HKCU\Software\Talvo\Skin"
ENDED = 77


MADE_KEY = r"HKCU\Software\Talvo\Made\Deep"
OLD_TREE = r"HKCU\Software\Talvo\OldTree"
CONTROL = "TalvoLogin.ocx"


def document(second, control_folder=None):
    """The client program and a second component (the server list, or the login control), each
    with a package; an installed extra project (so the window is shown); jobs of every kind: a
    value into a key that is not there yet, and a key tree with an empty key deleted."""
    lines = ["// e2e interrupt", "[Talvo]", "PROJECT=Talvo",
             "XP_VERSION=3.41", "XP_DOWNLOADURL=http://127.0.0.1/talvoupdate/TalvoXP_341.zip", "XP_COMPULSION=0",
             "98_VERSION=3.41", "98_DOWNLOADURL=http://127.0.0.1/talvoupdate/TalvoXP_341.zip", "98_COMPULSION=0"]
    if second == "serverlist":
        lines += ["[SERVER_LIST]", "SERVER_VERSION=27",
                  "SERVER_DOWN_URL=http://127.0.0.1/talvoupdate/serverlist_27.zip", "SERVER_COMPULSION=0"]
    else:
        lines += ["[LOGIN_OCX]", "OCX_VERSION=1.0.0.8", "OCX_DOWN_URL=http://127.0.0.1/talvoupdate/TalvoLogin_1008.zip",
                  "OCX_COMPULSION=0"]
    lines += ["[ETC0]", "NAME=확장 도구", "PRO_DOWN_URL=http://127.0.0.1/talvoupdate/extra_10.zip",
              "PRO_EXE=extra\\extra.exe", "PRO_REG=SOFTWARE\\TalvoExtra", "PRO_COMPULSION=0", "ETC_END=1",
              "[FOLDER]", "CREATE=<TARGETDIR>\\config\\skins",
              "[FILES]", "COPY=<TARGETDIR>,Talvo.exe",
              "COPY=<TARGETDIR>\\config,serverlist.dat" if second == "serverlist" else "COPY=<WINSYSDIR>," + CONTROL,
              "DELETE=<TARGETDIR>,old.dat"]
    if control_folder:
        # A second copy of the control, on another drive.
        lines += ["COPY=%s,%s" % (control_folder, CONTROL)]
    lines += [
              "[REGISTRY]", "ADDKEY=" + SKIN_KEY, "ADDVAL=" + SKIN_KEY + ",Path,<TARGETDIR>\\skin\\basic",
              "ADDVAL=" + INSTALL + ",Channel,beta", "ADDVAL=" + MADE_KEY + ",Name,made", "DELKEY=" + OLD_TREE,
              "[END]"]
    return ("\r\n".join(lines) + "\r\n").encode("cp949")


DELTA = "TalvoXP_335_341.zip"


def signed_delta_document(root, old, new):
    """document("serverlist") signed with the test key, every package pinned, and the client also
    as a delta from the installed build `old` to `new`."""
    sha = lambda data: hashlib.sha256(data).hexdigest()
    delta = ew.zip_bytes([("Talvo.exe", ed.make_delta(old, new))])
    with open(os.path.join(root, "talvoupdate", DELTA), "wb") as f:
        f.write(delta)
    lines = []
    for line in document("serverlist").decode("cp949").split("\r\n"):
        if line == "[END]":
            lines += ["[RELEASE]", "NUMBER=1"]
        lines.append(line)
        key, _, value = line.partition("=")
        if value.startswith("http://127.0.0.1/talvoupdate/"):
            with open(os.path.join(root, "talvoupdate", value.rsplit("/", 1)[1]), "rb") as f:
                body = f.read()
            lines += ["%s_SIZE=%d" % (key, len(body)), "%s_SHA256=%s" % (key, sha(body))]
            if key in ("XP_DOWNLOADURL", "98_DOWNLOADURL"):
                lines += ["%s_DELTA1=http://127.0.0.1/talvoupdate/%s" % (key, DELTA), "%s_DELTA1_FROM=3.35.1" % key,
                          "%s_DELTA1_SIZE=%d" % (key, len(delta)), "%s_DELTA1_SHA256=%s" % (key, sha(delta)),
                          "%s_DELTA1_FILE=<TARGETDIR>,Talvo.exe,%s,%s" % (key, sha(old), sha(new))]
    covered = "\r\n".join(lines).rstrip("\r\n") + "\r\n"
    return releasesigning.signed_document(covered.encode("cp949"), releasesigning.TEST_KEY)


def registry_lines(text):
    """`reg query /s` output as a set of (key, value line) pairs; a key alone as (key, None)."""
    found = set()
    key = None
    for raw in text.replace("\r", "").split("\n"):
        line = raw.strip()
        if not line:
            continue
        if line.startswith("HKEY_"):
            key = line
            found.add((key, None))
        else:
            found.add((key, " ".join(line.split())))
    return found


class InterruptSandbox(ew.WindowSandbox):
    def __init__(self, opts, second="serverlist", second_drive=False, name="interrupt", delta=False):
        fast = argparse.Namespace(**vars(opts))
        fast.updater = opts.signed_fast_updater if delta else opts.fast_updater
        super().__init__(name, fast, document(second))
        self.second = second
        self.delta = delta
        self.shm = None
        try:
            self._prepare(opts, second, second_drive)
            if delta:
                with open(os.path.join(self.server.root, "talvoupdate", "TalvoXP_341.zip"), "rb") as f:
                    new_client = ew.zipfile.ZipFile(ew.io.BytesIO(f.read())).read("Talvo.exe")
                self.server.serve(signed_delta_document(self.server.root, self.old_client, new_client))
        except BaseException:
            self.close()
            raise

    def _prepare(self, opts, second, second_drive):
        with open(opts.client, "rb") as f:
            self.old_client = f.read()
        with open(opts.regmark, "rb") as f:
            self.new_control = f.read()
        self.old_control = b"TalvoLogin 1.0.0.7, not a library\r\n"
        self.system_folder = os.path.join(self.prefix, "drive_c", "windows", "system32")
        self.marks = os.path.join(self.work, "marks.log")
        self.env["TALVO_REGMARK_LOG"] = "Z:" + self.marks.replace("/", "\\")
        if second == "control":
            # The login control's package holds a library whose registration leaves a mark.
            with open(os.path.join(self.server.root, "talvoupdate", "TalvoLogin_1008.zip"), "wb") as f:
                f.write(ew.zip_bytes([(CONTROL, self.new_control)]))
        self.control_folders = [self.system_folder]
        if second_drive:
            # The login control on D:, a folder on the shared-memory file system: a rename between
            # it and the set-aside folder beside the updater on C: fails as between two volumes.
            self.shm = tempfile.mkdtemp(prefix="talvo-e2e-d-", dir="/dev/shm")
            os.symlink(self.shm, os.path.join(self.prefix, "dosdevices", "d:"))
            self.control_folders.append(os.path.join(self.shm, "Controls"))
            os.makedirs(self.control_folders[-1])
            # Wine maps drive letters when its services start: they start again, seeing D:.
            e2e.subprocess.run(["wineserver", "-k"], env=self.env, stdout=e2e.subprocess.DEVNULL,
                               stderr=e2e.subprocess.DEVNULL)
            e2e.subprocess.run(["wineserver", "-w"], env=self.env, stdout=e2e.subprocess.DEVNULL,
                               stderr=e2e.subprocess.DEVNULL)
            self.wine([self.helper, "boxes", e2e.APP_TITLE], timeout=120)
            check(self.wine(["cmd", "/c", "if", "exist", "D:\\Controls\\nul", "exit", "0", "else", "exit", "1"])[0] == 0,
                  "no drive D:")
            self.server.serve(document(second, "D:\\Controls"))
        self.reg_file = os.path.join(self.work, "old.reg")
        # The extra project counts as installed: only the two components are offered.
        self.wine(["reg", "add", ew.EXTRA_KEY, "/f"])

    def close(self):
        super().close()
        if self.shm:
            e2e.shutil.rmtree(self.shm, ignore_errors=True)

    def reset(self):
        """The installation as it was before any update."""
        for name in ("Update.journal", "old.dat", "Talvo.exe", "Update.baddeltas", "Update.release"):
            path = self.path(name)
            if os.path.exists(path):
                os.remove(path)
        for folder in ("Update", "Update.backup", "config"):
            e2e.shutil.rmtree(self.path(folder), ignore_errors=True)
        with open(self.path("Talvo.exe"), "wb") as f:
            f.write(self.old_client)
        with open(self.path("old.dat"), "wb") as f:
            f.write(b"old data\r\n")
        os.makedirs(self.path("config"))
        with open(self.path("config", "option.ini"), "wb") as f:
            f.write(b"[Old]\r\nKept=1\r\n")
        if self.second == "control":
            for folder in self.control_folders:
                with open(os.path.join(folder, CONTROL), "wb") as f:
                    f.write(self.old_control)
        if os.path.exists(self.marks):
            os.remove(self.marks)
        old_control = "\"LogOcxTalvo\"=\"1.0.0.7\"\r\n" if self.second == "control" else ""
        with open(self.reg_file, "w", encoding="utf-16") as f:
            f.write("Windows Registry Editor Version 5.00\r\n\r\n"
                    "[-HKEY_CURRENT_USER\\Software\\Talvo\\Skin]\r\n\r\n"
                    "[-HKEY_CURRENT_USER\\Software\\Talvo\\Made]\r\n\r\n"
                    "[-HKEY_CURRENT_USER\\Software\\Talvo\\OldTree]\r\n\r\n"
                    "[-HKEY_CURRENT_USER\\Software\\Talvo\\Install]\r\n\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Talvo\\Install]\r\n\"VerTalvo\"=\"3.35.1\"\r\n" + old_control + "\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Talvo\\OldTree]\r\n\"Kept\"=\"old\"\r\n\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Talvo\\OldTree\\Empty]\r\n\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Talvo\\OldTree\\Inner\\AlsoEmpty]\r\n\r\n")
        code, _ = self.wine(["regedit", "/s", "Z:" + self.reg_file.replace("/", "\\")])
        check(code == 0, "registry not reset")

    def registry(self):
        """Every key and value under HKCU\\Software\\Talvo."""
        code, out = self.wine(["reg", "query", r"HKCU\Software\Talvo", "/s"])
        check(code == 0, "registry not read")
        return registry_lines(out.decode("cp949", "replace"))

    def second_value(self):
        return "VerListTalvo" if self.second == "serverlist" else "LogOcxTalvo"

    def expected_registry(self, client, second, old, new):
        """The registry for a mixture: the client's step makes every registry job and its own
        version; the second component's step only its version."""
        if (client, second) == ("old", "old"):
            return old
        if (client, second) == ("new", "new"):
            return new
        name = self.second_value()
        mine = lambda lines: {e for e in lines if e[1] is not None and e[1].startswith(name + " ")}
        if client == "new":
            return (new - mine(new)) | mine(old)
        return (old - mine(old)) | mine(new)

    def registered(self):
        """Whether regsvr32 registered the new login control in the system folder."""
        if not os.path.exists(self.marks):
            return False
        with open(self.marks, "rb") as f:
            text = f.read().decode("cp949", "replace").lower()
        return any(line.startswith("register|") and line.split("|")[1].startswith("c:\\windows\\system32\\")
                   for line in text.splitlines())

    def state(self):
        """Each component as 'old', 'new' or a description of its mixture, and what is left over."""
        reg = lambda key, value: self.reg_query(key, value)
        target = "C:\\Talvo"
        client_parts = {
            "Talvo.exe": self.read("Talvo.exe").endswith(ew.CLIENT_MARK),
            "old.dat gone": not os.path.exists(self.path("old.dat")),
            "skins folder": os.path.isdir(self.path("config", "skins")),
            "skin path": reg(SKIN_KEY, "Path") == target + "\\skin\\basic",
            "channel": reg(INSTALL, "Channel") == "beta",
            "made key": reg(MADE_KEY, "Name") == "made",
            "old tree gone": reg(OLD_TREE, "Kept") is None,
            "version": reg(INSTALL, "VerTalvo") == "3.41",
        }
        old_client = (self.read("Talvo.exe") == self.old_client and self.read("old.dat") == b"old data\r\n"
                      and reg(INSTALL, "VerTalvo") == "3.35.1" and reg(SKIN_KEY, "Path") is None
                      and reg(INSTALL, "Channel") is None and reg(MADE_KEY, "Name") is None
                      and reg(OLD_TREE, "Kept") == "old" and not os.path.exists(self.path("config", "skins")))
        if self.second == "serverlist":
            serverlist = self.path("config", "serverlist.dat")
            second_parts = {"file": os.path.exists(serverlist), "version": reg(INSTALL, "VerListTalvo") == "27"}
            new_second = (second_parts["file"] and second_parts["version"]
                          and self.read(serverlist).startswith(b"27\r\n"))
            old_second = not any(second_parts.values())
        else:
            second_parts = {}
            controls = []
            for folder in self.control_folders:
                path = os.path.join(folder, CONTROL)
                controls.append(open(path, "rb").read() if os.path.exists(path) else None)
                second_parts["control in " + folder] = controls[-1] == self.new_control
            second_parts["version"] = reg(INSTALL, "LogOcxTalvo") == "1.0.0.8"
            new_second = all(second_parts.values())
            old_second = (all(c == self.old_control for c in controls)
                          and reg(INSTALL, "LogOcxTalvo") == "1.0.0.7")
        leftovers = [name for name in ("Update.journal", "Update.backup") if os.path.exists(self.path(name))]
        leftovers += [n for n in os.listdir(self.install) if n.endswith(".talvo-new")]
        for folder in getattr(self, "control_folders", []) if self.second == "control" else []:
            leftovers += [n for n in os.listdir(folder) if n.endswith(".talvo-new")]
        describe = lambda parts: "mixed: " + ", ".join("%s %s" % (k, "new" if v else "old") for k, v in parts.items())
        client = "new" if all(client_parts.values()) else "old" if old_client else describe(client_parts)
        second = "new" if new_second else "old" if old_second else describe(second_parts)
        return client, second, leftovers

    def start_with(self, env):
        saved = self.env
        self.env = dict(self.env, **env)
        try:
            return self.start()
        finally:
            self.env = saved


def interrupt_everywhere(sb):
    """Cuts the update off at each of its points in turn and checks each repair."""
    # How many points the whole update makes: one uninterrupted run that only counts them.
    sb.reset()
    old_registry = sb.registry()
    check((("HKEY_CURRENT_USER\\Software\\Talvo\\OldTree\\Inner\\AlsoEmpty", None)) in old_registry,
          "registry reset: %s" % sorted(old_registry, key=str))
    run = sb.start_with({"TALVO_TEST_END_AT_INSTALL_POINT": "0"})
    sb.drive("find", 60000, "click-start", "watch", 120000)
    check(run.wait(60) == 0, "counting run failed")
    points = sum(1 for line in run.lines if "Install point " in line)
    check(points >= 20, "only %d installation points seen" % points)
    if sb.delta:
        client = [r for r in sb.package_requests() if "TalvoXP" in r]
        check(client == ["GET /talvoupdate/" + DELTA], "client package requests %s" % client)
        check(run.logged("staged by delta"), "the client was not staged by delta")
    check(sb.state() == ("new", "new", []), "the uninterrupted update: %s" % (sb.state(),))
    new_registry = sb.registry()
    if sb.second == "control":
        e2e.wait_until(sb.registered, 30, "the login control's registration")
    starts = 1
    sb.expect_client_starts(starts, settle=0.2)

    seen = set()
    # TALVO_E2E_INTERRUPT_POINTS=N cuts at N points spread over the run, first and last among
    # them, where every cut is slow (the emulated 32-bit route).
    handful = int(os.environ.get("TALVO_E2E_INTERRUPT_POINTS", "0"))
    selected = range(1, points + 1)
    if 0 < handful < points:
        handful = max(handful, 2)
        selected = sorted({1 + round(i * (points - 1) / (handful - 1)) for i in range(handful)})
    for point in selected:
        sb.reset()
        run = sb.start_with({"TALVO_TEST_END_AT_INSTALL_POINT": str(point)})
        sb.drive("find", 60000, "click-start", "watch", 120000)
        check(run.wait(60) == ENDED, "point %d: the run was not cut off" % point)

        # The next start repairs before it compares versions; the window then offers what is
        # still outdated, and its update completes.
        run = sb.start()
        window_shown = sb.wine([sb.driver, "find", "30000"], timeout=60)[0] == 0
        client, second, leftovers = sb.state()
        seen.add((client, second))
        check(client in ("old", "new") and second in ("old", "new"),
              "point %d: client %s, second component %s" % (point, client, second))
        check(not (second == "new" and client == "old"), "point %d: out of list order" % point)
        check(leftovers == [], "point %d: left behind %s" % (point, leftovers))
        check(not os.path.exists(sb.path("Update")), "point %d: the staging folder outlived the repair" % point)
        registry = sb.registry()
        expected = sb.expected_registry(client, second, old_registry, new_registry)
        check(registry == expected, "point %d (%s, %s): registry differs: missing %s, extra %s"
              % (point, client, second, sorted(expected - registry, key=str), sorted(registry - expected, key=str)))
        if sb.second == "control" and second == "new":
            # Committed, so registered: also when the cut fell between the commit and regsvr32.
            e2e.wait_until(sb.registered, 30, "point %d: the login control's registration" % point)
        if not window_shown:
            # Cut off after the last component was complete: nothing is left to offer.
            check(run.wait(60) == 0 and (client, second) == ("new", "new"),
                  "point %d: no window, client %s, second component %s" % (point, client, second))
        check(run.logged("Install repair: "), "point %d: no repair line" % point)
        check(not os.path.exists(sb.path("Update.baddeltas")), "point %d: a cut made the delta bad" % point)
        if window_shown:
            sb.drive("find", 10000, "click-start", "watch", 120000)
        check(run.wait(60) == 0, "point %d: the following update failed" % point)
        check(sb.state() == ("new", "new", []), "point %d: after the following update %s" % (point, sb.state()))
        starts += 1
        sb.expect_client_starts(starts, settle=0.2)
    # Cut-offs fell both before and after the first component was complete.
    check({("old", "old"), ("new", "old"), ("new", "new")} <= seen, "states seen %s" % sorted(seen))


def scenario_interrupt(opts):
    sb = InterruptSandbox(opts)
    try:
        interrupt_everywhere(sb)
    finally:
        sb.close()


def scenario_seconddrive(opts):
    sb = InterruptSandbox(opts, second="control", second_drive=True, name="seconddrive")
    try:
        interrupt_everywhere(sb)
    finally:
        sb.close()


def scenario_kept(opts):
    """A journal the repair cannot finish (a damaged line) stays, with the set-aside copies it may
    name: the updater says so, offers nothing and starts the client as it is, however often."""
    sb = InterruptSandbox(opts, second="control", second_drive=True, name="kept")
    try:
        sb.reset()
        journal = (e2e.journal_line("BEGIN", "4", "1.0.0.8", "C:\\Talvo\\Update.backup")
                   + e2e.journal_line("SETASIDE", "D:\\Controls\\" + CONTROL, "C:\\Talvo\\Update.backup\\1")
                   + b"NEWFILE\tD:\\Controls\\TalvoLogin.ocx\tD:\\Controls\\TalvoLogin.ocx.talvo-new\t00000000\r\n")
        with open(sb.path("Update.journal"), "wb") as f:
            f.write(journal)
        os.makedirs(sb.path("Update.backup"))
        with open(sb.path("Update.backup", "1"), "wb") as f:
            f.write(b"the control before the kept step\r\n")
        for attempt in (1, 2):
            run = sb.start()
            window_shown = sb.wine([sb.driver, "find", "8000"], timeout=60)[0] == 0
            if window_shown:
                # The fault: an update offered over the kept journal; let it run to show the harm.
                sb.drive("find", 10000, "click-start", "watch", 120000)
            code = run.wait(60)
            check(code == 0, "attempt %d: the updater ended with %s: %s" % (attempt, code, "".join(run.lines[-5:])))
            check(not window_shown, "attempt %d: an update was offered while the journal is kept" % attempt)
            check(run.logged("No update while the installation journal is kept"),
                  "attempt %d: no line says why nothing was updated" % attempt)
            check(sb.package_requests() == [], "attempt %d: packages fetched %s" % (attempt, sb.package_requests()))
            sb.expect_client_starts(attempt, settle=0.2)
            with open(sb.path("Update.journal"), "rb") as f:
                check(f.read() == journal, "attempt %d: the kept journal changed" % attempt)
            check(sb.read("Update.backup", "1") == b"the control before the kept step\r\n",
                  "attempt %d: the set-aside copy changed" % attempt)
            check(sb.read("Talvo.exe") == sb.old_client, "attempt %d: the client changed" % attempt)
    finally:
        sb.close()


def scenario_delta(opts):
    sb = InterruptSandbox(opts, name="delta", delta=True)
    try:
        interrupt_everywhere(sb)
    finally:
        sb.close()


SCENARIOS = {"interrupt": scenario_interrupt, "seconddrive": scenario_seconddrive, "kept": scenario_kept,
             "delta": scenario_delta}


if __name__ == "__main__":
    sys.exit(e2e.main(__doc__, SCENARIOS,
                      ("--updater", "--fast-updater", "--signed-fast-updater", "--client", "--helper", "--driver",
                       "--regmark")))
