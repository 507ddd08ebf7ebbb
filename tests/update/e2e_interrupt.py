#!/usr/bin/env python3
"""End to end: an update of the real TalvoUpdate.exe (the test build, which can end itself at any
point of its installation steps as a power cut would) cut off at every point in turn. After each
cut the updater is started again: it repairs what the cut left before its update check, so each
component is wholly old or wholly new (in list order), nothing of the cut is left behind, the
window offers what is still outdated, and the update that follows completes.

    e2e_interrupt.py --updater EXE --fast-updater EXE --client EXE --helper EXE --driver EXE

Needs root (port 80); CTest runs it under the port80 lock.
"""

import argparse
import os
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "app"))
sys.path.insert(0, HERE)
import e2e_startup as e2e  # noqa: E402
import e2e_window as ew  # noqa: E402

check = e2e.check
INSTALL = e2e.INSTALL_KEY
SKIN_KEY = r"HKCU\Software\Talvo\Skin"
ENDED = 77


def document():
    """The client program and the server list, each with a package; an installed extra project
    (so the window is shown); jobs of every kind."""
    lines = ["// e2e interrupt", "[Talvo]", "PROJECT=Talvo",
             "XP_VERSION=3.41", "XP_DOWNLOADURL=http://127.0.0.1/talvoupdate/TalvoXP_341.zip", "XP_COMPULSION=0",
             "98_VERSION=3.41", "98_DOWNLOADURL=http://127.0.0.1/talvoupdate/TalvoXP_341.zip", "98_COMPULSION=0",
             "[SERVER_LIST]", "SERVER_VERSION=27", "SERVER_DOWN_URL=http://127.0.0.1/talvoupdate/serverlist_27.zip",
             "SERVER_COMPULSION=0",
             "[ETC0]", "NAME=확장 도구", "PRO_DOWN_URL=http://127.0.0.1/talvoupdate/extra_10.zip",
             "PRO_EXE=extra\\extra.exe", "PRO_REG=SOFTWARE\\TalvoExtra", "PRO_COMPULSION=0", "ETC_END=1",
             "[FOLDER]", "CREATE=<TARGETDIR>\\config\\skins",
             "[FILES]", "COPY=<TARGETDIR>,Talvo.exe", "COPY=<TARGETDIR>\\config,serverlist.dat",
             "DELETE=<TARGETDIR>,old.dat",
             "[REGISTRY]", "ADDKEY=" + SKIN_KEY, "ADDVAL=" + SKIN_KEY + ",Path,<TARGETDIR>\\skin\\basic",
             "ADDVAL=" + INSTALL + ",Channel,beta",
             "[END]"]
    return ("\r\n".join(lines) + "\r\n").encode("cp949")


class InterruptSandbox(ew.WindowSandbox):
    def __init__(self, opts):
        fast = argparse.Namespace(**vars(opts))
        fast.updater = opts.fast_updater
        super().__init__("interrupt", fast, document())
        with open(opts.client, "rb") as f:
            self.old_client = f.read()
        self.reg_file = os.path.join(self.work, "old.reg")
        # The extra project counts as installed: only the two components are offered.
        self.wine(["reg", "add", ew.EXTRA_KEY, "/f"])

    def reset(self):
        """The installation as it was before any update."""
        for name in ("Update.journal", "old.dat", "Talvo.exe"):
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
        with open(self.reg_file, "w", encoding="utf-16") as f:
            f.write("Windows Registry Editor Version 5.00\r\n\r\n"
                    "[-HKEY_CURRENT_USER\\Software\\Talvo\\Skin]\r\n\r\n"
                    "[-HKEY_CURRENT_USER\\Software\\Talvo\\Install]\r\n\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Talvo\\Install]\r\n\"VerTalvo\"=\"3.35.1\"\r\n\r\n")
        code, _ = self.wine(["regedit", "/s", "Z:" + self.reg_file.replace("/", "\\")])
        check(code == 0, "registry not reset")

    def state(self):
        """Each component as 'old', 'new' or a description of its mixture, and what is left over."""
        reg = lambda key, value: self.reg_query(key, value)
        client_parts = {
            "Talvo.exe": self.read("Talvo.exe").endswith(ew.CLIENT_MARK),
            "old.dat gone": not os.path.exists(self.path("old.dat")),
            "skins folder": os.path.isdir(self.path("config", "skins")),
            "skin path": reg(SKIN_KEY, "Path") == "C:\\Talvo\\skin\\basic",
            "channel": reg(INSTALL, "Channel") == "beta",
            "version": reg(INSTALL, "VerTalvo") == "3.41",
        }
        old_client = (self.read("Talvo.exe") == self.old_client and self.read("old.dat") == b"old data\r\n"
                      and reg(INSTALL, "VerTalvo") == "3.35.1" and reg(SKIN_KEY, "Path") is None
                      and reg(INSTALL, "Channel") is None and not os.path.exists(self.path("config", "skins")))
        serverlist = self.path("config", "serverlist.dat")
        list_parts = {"file": os.path.exists(serverlist), "version": reg(INSTALL, "VerListTalvo") == "27"}
        new_list = list_parts["file"] and list_parts["version"] and self.read(serverlist).startswith(b"27\r\n")
        leftovers = [name for name in ("Update.journal", "Update.backup") if os.path.exists(self.path(name))]
        leftovers += [n for n in os.listdir(self.install) if n.endswith(".talvo-new")]
        describe = lambda parts: "mixed: " + ", ".join("%s %s" % (k, "new" if v else "old") for k, v in parts.items())
        client = "new" if all(client_parts.values()) else "old" if old_client else describe(client_parts)
        server_list = "new" if new_list else "old" if not any(list_parts.values()) else describe(list_parts)
        return client, server_list, leftovers

    def start_with(self, env):
        saved = self.env
        self.env = dict(self.env, **env)
        try:
            return self.start()
        finally:
            self.env = saved


def scenario_interrupt(opts):
    sb = InterruptSandbox(opts)
    try:
        # How many points the whole update makes: one uninterrupted run that only counts them.
        sb.reset()
        run = sb.start_with({"TALVO_TEST_END_AT_INSTALL_POINT": "0"})
        sb.drive("find", 60000, "click-start", "watch", 120000)
        check(run.wait(60) == 0, "counting run failed")
        points = sum(1 for line in run.lines if "Install point " in line)
        check(points >= 20, "only %d installation points seen" % points)
        check(sb.state() == ("new", "new", []), "the uninterrupted update: %s" % (sb.state(),))
        starts = 1
        sb.expect_client_starts(starts, settle=0.2)

        seen = set()
        for point in range(1, points + 1):
            sb.reset()
            run = sb.start_with({"TALVO_TEST_END_AT_INSTALL_POINT": str(point)})
            sb.drive("find", 60000, "click-start", "watch", 120000)
            check(run.wait(60) == ENDED, "point %d: the run was not cut off" % point)

            # The next start repairs before it compares versions; the window then offers what is
            # still outdated, and its update completes.
            run = sb.start()
            window_shown = sb.wine([sb.driver, "find", "30000"], timeout=60)[0] == 0
            client, server_list, leftovers = sb.state()
            seen.add((client, server_list))
            check(client in ("old", "new") and server_list in ("old", "new"),
                  "point %d: client %s, server list %s" % (point, client, server_list))
            check(not (server_list == "new" and client == "old"), "point %d: out of list order" % point)
            check(leftovers == [], "point %d: left behind %s" % (point, leftovers))
            if not window_shown:
                # Cut off after the last component was complete: nothing is left to offer.
                check(run.wait(60) == 0 and (client, server_list) == ("new", "new"),
                      "point %d: no window, client %s, server list %s" % (point, client, server_list))
            check(run.logged("Install repair: "), "point %d: no repair line" % point)
            if window_shown:
                sb.drive("find", 10000, "click-start", "watch", 120000)
            check(run.wait(60) == 0, "point %d: the following update failed" % point)
            check(sb.state() == ("new", "new", []), "point %d: after the following update %s" % (point, sb.state()))
            starts += 1
            sb.expect_client_starts(starts, settle=0.2)
        # Cut-offs fell both before and after the first component was complete.
        check({("old", "old"), ("new", "old"), ("new", "new")} <= seen, "states seen %s" % sorted(seen))
    finally:
        sb.close()


SCENARIOS = {"interrupt": scenario_interrupt}


if __name__ == "__main__":
    sys.exit(e2e.main(__doc__, SCENARIOS, ("--updater", "--fast-updater", "--client", "--helper", "--driver")))
