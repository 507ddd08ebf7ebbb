#!/usr/bin/env python3
"""End to end: the update window of the real TalvoUpdate.exe under Wine, driven from outside as a
user would (windowdriver.exe in the same prefix), against tools/updateserver on 127.0.0.1:80.

    e2e_window.py --updater EXE --client EXE --helper EXE --driver EXE [SCENARIO ...]

Each scenario has its own Wine prefix clone and installation folder C:\\Talvo (see
tests/app/e2e_startup.py, whose sandbox this reuses) and serves its own release: an information
document and packages made here. Needs root (port 80); CTest runs it under the port80 lock.
"""

import io
import json
import os
import re
import struct
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "app"))
import e2e_startup as e2e  # noqa: E402

check = e2e.check
Failure = e2e.Failure

DOWNLOADING = "업데이트 파일을 다운로드 합니다."
EXTRACTING = "업데이트 파일의 압축을 해제합니다."
INSTALLING = "파일을 해당 폴더에 설치합니다."
DONE = "업데이트가 완료되었습니다."
MISSING = "서버에서 파일을 찾을 수 없습니다."
FAILED = "업데이트를 완료하지 못했습니다."
# The status line's texts by the number the window logs for each.
RUN_STATUSES = [DOWNLOADING, EXTRACTING, INSTALLING, DONE, FAILED]
NOTICE = "탈보 3.41 업데이트 안내\n\n- 검색 속도가 빨라졌습니다.\n- 확장 도구가 새로 나왔습니다.\n"
EXTRA_KEY = r"HKLM\SOFTWARE\TalvoExtra"
DAT_KEY = 0x5EC7A31D
ROW_LABELS = ["Talvo Ver 3.41", "로그인 엔진 Ver 1.0.0.8", "검색어 필터 Ver 1.05", "서버 리스트 Ver 27",
              "최적화 옵션 Ver 5"]
VK_RETURN, VK_ESCAPE = 13, 27


def scrambled_dat(version, rest):
    """Filter data whose first 5 scrambled bytes carry `version` (as the updater reads it)."""
    header = b"T" + version.ljust(4, b"\0")[:4]
    word = struct.unpack("<I", header[:4])[0] ^ DAT_KEY
    return struct.pack("<I", word) + bytes([header[4] ^ (DAT_KEY & 0xFF)]) + rest


def zip_bytes(entries):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", compression=zipfile.ZIP_DEFLATED) as z:
        for name, data in entries:
            z.writestr(name, data)
    return out.getvalue()


def document(compulsion=None, extra=True, extra_reg="SOFTWARE\\TalvoExtra", missing=None):
    """Five components and (optionally) one extra project. `compulsion` maps XP, OCX, DAT, SERVER,
    OPTION to the document's compulsion text (default "0": optional); `missing` names a package
    that the server does not have."""
    c = dict(XP="0", OCX="0", DAT="0", SERVER="0", OPTION="0")
    c.update(compulsion or {})

    def url(name):
        return "http://127.0.0.1/talvoupdate/%s" % ("gone_" + name if name == missing else name)

    lines = ["// e2e window", "[Talvo]", "PROJECT=Talvo",
             "XP_VERSION=3.41", "XP_DOWNLOADURL=" + url("TalvoXP_341.zip"), "XP_COMPULSION=" + c["XP"],
             "98_VERSION=3.41", "98_DOWNLOADURL=" + url("TalvoXP_341.zip"), "98_COMPULSION=" + c["XP"],
             "[POLICE_DATA]", "DAT_VERSION=1.05", "DOWN_DAT_URL=" + url("filter_105.zip"),
             "DAT_COMPULSION=" + c["DAT"],
             "[SERVER_LIST]", "SERVER_VERSION=27", "SERVER_DOWN_URL=" + url("serverlist_27.zip"),
             "SERVER_COMPULSION=" + c["SERVER"],
             "[LOGIN_OCX]", "OCX_VERSION=1.0.0.8", "OCX_DOWN_URL=" + url("TalvoLogin_1008.zip"),
             "OCX_COMPULSION=" + c["OCX"],
             "[OPTIONS]", "OPTIONS_VERSION=5", "OPTIONS_SETTING=Network\\\\MaxConnect\\\\50",
             "OPTIONS_SETTING=Search\\\\Filter\\\\1", "OPTION_COMPULSION=" + c["OPTION"],
             "[NOTICE]", "NOTICE_URL=http://127.0.0.1/notice/notice.txt"]
    if extra:
        lines += ["[ETC0]", "NAME=확장 도구", "PRO_DOWN_URL=" + url("extra_10.zip"), "PRO_EXE=extra\\extra.exe",
                  "PRO_REG=" + extra_reg, "PRO_COMPULSION=0", "ETC_END=1"]
    lines += ["[FOLDER]", "CREATE=<TARGETDIR>\\config",
              "[FILES]", "COPY=<TARGETDIR>,Talvo.exe", "COPY=<TARGETDIR>\\config,talvo.dat",
              "COPY=<TARGETDIR>\\config,serverlist.dat", "COPY=<WINSYSDIR>,TalvoLogin.ocx",
              "COPY=<TARGETDIR>\\extra,extra.exe",
              "[REGISTRY]", "ADDKEY=HKCU\\Software\\Talvo\\Skin",
              "ADDVAL=HKCU\\Software\\Talvo\\Skin,Path,<TARGETDIR>\\skin\\basic", "[END]"]
    return ("\r\n".join(lines) + "\r\n").encode("cp949")


CLIENT_MARK = b"\r\nTalvo 3.41 e2e build\r\n"


def write_release(root, client_exe):
    """Packages and notice of the scenario's release, under the server's root."""
    folder = os.path.join(root, "talvoupdate")
    os.makedirs(folder, exist_ok=True)
    os.makedirs(os.path.join(root, "notice"), exist_ok=True)
    with open(client_exe, "rb") as f:
        client = f.read()
    packages = {
        # The stand-in client with a mark at its end (it still runs): proof of the new build.
        "TalvoXP_341.zip": [("Talvo.exe", client + CLIENT_MARK)],
        "TalvoLogin_1008.zip": [("TalvoLogin.ocx", b"TalvoLogin 1.0.0.8 e2e\r\n")],
        "filter_105.zip": [("talvo.dat", scrambled_dat(b"1.05", b"\r\nfilter words\r\n"))],
        "serverlist_27.zip": [("serverlist.dat", b"27\r\n127.0.0.1:4661\r\n")],
        # The extra project's program: the stand-in again, which records its start beside itself.
        "extra_10.zip": [("extra.exe", client)],
    }
    for name, entries in packages.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(zip_bytes(entries))
    with open(os.path.join(root, "notice", "notice.txt"), "wb") as f:
        f.write(NOTICE.encode("cp949"))


class WindowSandbox(e2e.Sandbox):
    def __init__(self, name, opts, doc, slow_packages=False):
        super().__init__(name, opts.updater, opts.client, opts.helper)
        self.driver = os.path.join(self.install, "windowdriver.exe")
        with open(opts.driver, "rb") as src, open(self.driver, "wb") as dst:
            dst.write(src.read())
        write_release(self.server.root, opts.client)
        self.server.serve(doc)
        if slow_packages:
            # Each package takes a moment, so a close request can arrive while the worker runs and
            # the driver, reading from outside, sees every counter state however fast the machine.
            with open(self.server.faults, "w") as f:
                json.dump({"/talvoupdate/*.zip": {"drip": {"bytes": 16384, "interval": 0.1}}}, f)
        self.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.35.1")
        config = os.path.join(self.install, "config")
        os.makedirs(config)
        with open(os.path.join(config, "option.ini"), "wb") as f:
            f.write(b"[Old]\r\nKept=1\r\n")
        self.server.start()

    def drive(self, *steps, timeout=120):
        """Runs the window driver with these steps; its output lines."""
        code, out = self.wine([self.driver] + [str(s) for s in steps], timeout=timeout)
        lines = out.decode("cp949", "replace").replace("\r", "").splitlines()
        if code != 0 and not lines:
            # The driver says something before anything else ("window ..." or why not): silence
            # means Wine did not start it, so nothing was clicked and it may start again.
            code, out = self.wine([self.driver] + [str(s) for s in steps], timeout=timeout)
            lines = out.decode("cp949", "replace").replace("\r", "").splitlines()
        if code != 0:
            raise Failure("driver %s failed (%d): %s" % (steps, code, lines))
        return lines

    def open_window(self):
        run = self.start()
        lines = self.drive("find", 60000, "describe")
        return run, Window(lines)

    def reg_query(self, key, value):
        code, out = self.wine(["reg", "query", key, "/v", value])
        if code != 0:
            return None
        for line in out.decode("cp949", "replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0] == value:
                return parts[2] if len(parts) == 3 else ""
        return None

    def path(self, *parts):
        return os.path.join(self.install, *parts)

    def read(self, *parts):
        with open(self.path(*parts), "rb") as f:
            return f.read()

    def extra_started(self):
        path = self.path("extra", "started.log")
        return os.path.exists(path) and len(open(path, "rb").read().splitlines()) > 0

    def package_requests(self):
        return [r for r in self.server.requests() if r.startswith("GET /talvoupdate/") and ".zip" in r]


class Window:
    """What the driver's describe step reported."""

    def __init__(self, lines):
        self.lines = lines
        self.rect = None
        self.controls = {}
        self.rows = []
        self.entries = []
        for line in lines:
            parts = line.split(" ")
            if parts[0] == "window":
                self.rect = tuple(int(p) for p in parts[2:6])
            elif parts[0] == "control" and parts[2] != "missing":
                self.controls[int(parts[1])] = dict(visible=parts[2] == "1", enabled=parts[3] == "1",
                                                    rect=tuple(int(p) for p in parts[4:8]),
                                                    text=" ".join(parts[8:]))
            elif parts[0] == "row":
                self.rows.append(" ".join(parts[2:]))
            elif parts[0] == "entry":
                self.entries.append((parts[2] == "1", parts[3] == "1"))


def events(lines, kind):
    return [line.split(" ", 2)[2] for line in lines if line.startswith(kind + " ")]


def shown(run, lines, kind):
    """The texts the window showed in its counter or status label, in order, from its own log line
    for each. One that stays up for a moment only (the options entry fetches nothing, a small
    package unpacks at once) can fall between two reads of the driver, so what the driver read
    must be a part of them, in the same order."""
    if kind == "counter":
        texts = [m.group(1) for m in (re.search(r"Update counter (\d+/\d+)", line) for line in run.lines) if m]
    else:
        texts = [RUN_STATUSES[int(m.group(1))]
                 for m in (re.search(r"Update status (\d+)", line) for line in run.lines) if m]
    read = events(lines, kind)
    remaining = iter(texts)
    check(all(text in remaining for text in read), "the driver read %s %s, the window showed %s" % (kind, read, texts))
    return texts


def nothing_installed(sb):
    check(sb.reg_query(e2e.INSTALL_KEY, "VerTalvo") == "3.35.1", "main program version changed")
    for value in ("LogOcxTalvo", "VerListTalvo", "OptionsTalvo"):
        check(sb.reg_query(e2e.INSTALL_KEY, value) is None, "%s recorded" % value)
    check(sb.package_requests() == [], "packages fetched: %s" % sb.package_requests())
    check(not sb.extra_started(), "extra program started")
    check(sb.read("config", "option.ini") == b"[Old]\r\nKept=1\r\n", "option file changed")


# -- scenarios --------------------------------------------------------------------------------


def scenario_full(opts):
    """Five components and an extra project, from the start click to the client's start."""
    sb = WindowSandbox("full", opts, document(compulsion={"XP": "1"}), slow_packages=True)
    try:
        run, window = sb.open_window()
        check(window.rect == (0, 0, 500, 409), "window at %s, expected (0, 0, 500, 409)" % (window.rect,))
        check(window.rows == ROW_LABELS, "rows %s" % window.rows)
        # Five check marks (the main program's locked: compulsory) and the extra project's hidden entry.
        check(window.entries == [(True, False)] + [(True, True)] * 4 + [(False, False)],
              "entries %s" % window.entries)
        # The server's log tells a notice the updater gave up on (a slow machine) from one it lost.
        check(window.controls[1019]["text"] == NOTICE.replace("\n", "\\n"),
              "notice %r; requests %s" % (window.controls[1019]["text"], sb.server.requests()))
        check(window.controls[1013]["text"] == DOWNLOADING, "status %r" % window.controls[1013]["text"])
        check(window.controls[1002]["visible"] and window.controls[1002]["enabled"], "start button not usable")
        check(not window.controls[1017]["visible"], "window-close button shown")

        lines = sb.drive("find", 10000, "click-start", "watch", 180000)
        counters = shown(run, lines, "counter")
        check(counters == ["%d/6" % n for n in range(1, 7)], "counter went %s" % counters)
        statuses = shown(run, lines, "status")
        check(statuses and statuses[-1] == DONE, "last status %s" % statuses)
        check(set(statuses) <= {DOWNLOADING, EXTRACTING, INSTALLING, DONE}, "statuses %s" % statuses)
        check(EXTRACTING in statuses and INSTALLING in statuses, "statuses seen %s" % statuses)
        # The bar moves while the bytes of a package arrive, and its last position is shown.
        positions = [int(p) for p in events(lines, "progress")]
        check(any(0 < p < 100 for p in positions), "the bar never moved in between: %s" % positions)
        check(positions and positions[-1] == 100, "the bar ended at %s" % positions[-1:])
        check(any(line.startswith("closed ") for line in lines), "window did not close: %s" % lines)
        check(run.wait(60) == 0, "exit code")

        version = lambda v: sb.reg_query(e2e.INSTALL_KEY, v)
        check(version("VerTalvo") == "3.41", "VerTalvo %s" % version("VerTalvo"))
        check(version("LogOcxTalvo") == "1.0.0.8", "LogOcxTalvo %s" % version("LogOcxTalvo"))
        check(version("VerListTalvo") == "27", "VerListTalvo %s" % version("VerListTalvo"))
        check(version("OptionsTalvo") == "5", "OptionsTalvo %s" % version("OptionsTalvo"))
        check(sb.read("Talvo.exe").endswith(CLIENT_MARK), "Talvo.exe not replaced")
        check(sb.read("config", "talvo.dat")[5:].startswith(b"\r\nfilter words"), "talvo.dat not installed")
        check(sb.read("config", "serverlist.dat").startswith(b"27\r\n"), "serverlist.dat not installed")
        ocx = os.path.join(sb.prefix, "drive_c", "windows", "system32", "TalvoLogin.ocx")
        check(os.path.exists(ocx), "TalvoLogin.ocx not in the system folder")
        check(sb.reg_query(r"HKCU\Software\Talvo\Skin", "Path") == "C:\\Talvo\\skin\\basic", "registry job")
        # The installed main program was 3.35.x: the old option file was moved aside once.
        check(sb.read("config", "option.in_") == b"[Old]\r\nKept=1\r\n", "option file not backed up")
        options = sb.read("config", "option.ini").decode("cp949")
        check("[Network]" in options and "MaxConnect=50" in options and "Filter=1" in options
              and "Kept" not in options, "option file %r" % options)
        check(not os.path.exists(sb.path("Update")), "staging folder left")
        e2e.wait_until(sb.extra_started, 20, "the extra project's program")
        sb.expect_client_starts(1)
        check(sorted(sb.package_requests()) == sorted("GET /talvoupdate/%s" % n for n in (
            "TalvoXP_341.zip", "TalvoLogin_1008.zip", "filter_105.zip", "serverlist_27.zip", "extra_10.zip")),
            "package requests %s" % sb.package_requests())
    finally:
        sb.close()


def scenario_compulsory(opts):
    """Closing with a compulsory row pending installs that row only; further close requests
    while it runs are ignored (one worker, one download)."""
    sb = WindowSandbox("compulsory", opts, document(compulsion={"XP": "1"}), slow_packages=True)
    try:
        run, window = sb.open_window()
        lines = sb.drive("find", 10000, "close", "sleep", 300, "close", "close", "watch", 120000)
        check(shown(run, lines, "counter") == ["1/1"], "counter %s" % shown(run, lines, "counter"))
        check(events(lines, "status")[-1:] == [DONE], "statuses %s" % events(lines, "status"))
        check(run.wait(60) == 0, "exit code")
        check(sb.package_requests() == ["GET /talvoupdate/TalvoXP_341.zip"],
              "package requests %s" % sb.package_requests())
        check(sb.reg_query(e2e.INSTALL_KEY, "VerTalvo") == "3.41", "main program not recorded")
        for value in ("LogOcxTalvo", "VerListTalvo", "OptionsTalvo"):
            check(sb.reg_query(e2e.INSTALL_KEY, value) is None, "%s recorded" % value)
        check(not sb.extra_started(), "the extra project (optional) was installed")
        sb.expect_client_starts(1)
    finally:
        sb.close()


def scenario_missing(opts):
    """A package the server does not have: the box, and nothing after it is installed."""
    sb = WindowSandbox("missing", opts, document(missing="serverlist_27.zip"), slow_packages=True)
    try:
        run, window = sb.open_window()
        lines = sb.drive("find", 10000, "click-start", "watch", 120000, "ok")
        check(events(lines, "box") == [MISSING], "boxes %s" % events(lines, "box"))
        check(shown(run, lines, "counter") == ["1/6", "2/6", "3/6", "4/6"], "counter %s" % shown(run, lines, "counter"))
        check(DONE not in events(lines, "status"), "the run reported completion")
        check(FAILED in shown(run, lines, "status"), "no failed status: %s" % shown(run, lines, "status"))
        check(run.wait(60) == 0, "exit code")
        check(not os.path.exists(sb.path("Update")), "staging folder left")
        check(sb.reg_query(e2e.INSTALL_KEY, "VerTalvo") == "3.41", "main program before the gap not installed")
        check(sb.reg_query(e2e.INSTALL_KEY, "LogOcxTalvo") == "1.0.0.8", "login control not installed")
        check(sb.reg_query(e2e.INSTALL_KEY, "VerListTalvo") is None, "server list recorded")
        check(sb.reg_query(e2e.INSTALL_KEY, "OptionsTalvo") is None, "options after the gap recorded")
        check(not any("extra_10" in r for r in sb.server.requests()), "the extra project was fetched")
        check(not sb.extra_started(), "extra program started")
        sb.expect_client_starts(1)
    finally:
        sb.close()


def scenario_keys(opts):
    """Enter and Escape do not close the window; keys do not edit the notice. Then a close with
    nothing compulsory ends it at once, installing nothing."""
    sb = WindowSandbox("keys", opts, document())
    try:
        run, window = sb.open_window()
        lines = sb.drive("find", 10000, "click-notice", "type", "xyz", "key", 46, "key", 8,
                         "key", VK_RETURN, "key", VK_ESCAPE, "sleep", 800, "describe")
        after = Window(lines)
        check(after.controls[1019]["text"] == NOTICE.replace("\n", "\\n"),
              "notice edited: %r" % after.controls[1019]["text"])
        check(run.process.poll() is None, "the window closed")
        check(events(lines, "counter") == [] and after.controls[1002]["enabled"], "a run started")
        lines = sb.drive("find", 10000, "close", "watch", 20000)
        check(any(line.startswith("closed ") for line in lines), "window did not close on request")
        check(run.wait(60) == 0, "exit code")
        nothing_installed(sb)
        sb.expect_client_starts(1)
    finally:
        sb.close()


def scenario_deselect(opts):
    """Every row deselected, then start: the window closes after 500 ms with nothing installed.
    The extra project is installed already (its key exists), so it has no hidden entry."""
    sb = WindowSandbox("deselect", opts, document())
    try:
        sb.wine(["reg", "add", EXTRA_KEY, "/f"])
        run, window = sb.open_window()
        check(window.entries == [(True, True)] * 5, "entries %s" % window.entries)
        steps = ["find", 10000]
        for row in range(5):
            steps += ["click-row", row, "sleep", 700]
        lines = sb.drive(*(steps + ["click-start", "watch", 20000]))
        clicked = [int(line.split(" ")[1]) for line in lines if line.startswith("clicked ")]
        closed = [int(line.split(" ")[1]) for line in lines if line.startswith("closed ")]
        check(closed, "window did not close: %s" % lines)
        check(clicked and closed[0] - clicked[-1] >= 450, "closed %s ms after the click" % (
            closed[0] - clicked[-1] if clicked else "?"))
        check(events(lines, "counter") == [], "a run started: %s" % lines)
        check(run.wait(60) == 0, "exit code")
        nothing_installed(sb)
        sb.expect_client_starts(1)
    finally:
        sb.close()


def scenario_about(opts):
    """The About box from the system menu command, closed with its button and with Escape."""
    sb = WindowSandbox("about", opts, document())
    try:
        run, window = sb.open_window()
        for closing in (["about-ok"], ["about-key", VK_ESCAPE]):
            lines = sb.drive("find", 10000, "sysmenu", 16, "about", 10000, *closing, "about-gone", 10000)
            check("about TalvoUpdate 정보" in lines, "About box title: %s" % lines)
            check("about-text TalvoUpdate 버전 1.0" in lines, "About box texts: %s" % lines)
            check(any(line.startswith("about-text ") and re.search(r"\b20\d\d\b", line) for line in lines),
                  "no year line: %s" % lines)
            check("about-button 1 확인" in lines, "OK button: %s" % lines)
        check(run.process.poll() is None, "the update window closed with the About box")
        sb.drive("find", 10000, "close", "watch", 20000)
        check(run.wait(60) == 0, "exit code")
        sb.expect_client_starts(1)
    finally:
        sb.close()


def set_faults(sb, faults):
    with open(sb.server.faults, "w") as f:
        json.dump(faults, f)


def scenario_notpackage(opts):
    """A reply that is no package (the empty file of a 401 answer, a captive portal's page) is never
    installed: the box names the component, nothing of it is recorded, and the run stops as it does
    for a missing package."""
    for what, fault in (("401", {"status": 401}), ("portal page", {"body": "<html>Wi-Fi login</html>"})):
        sb = WindowSandbox("notpackage", opts, document())
        try:
            set_faults(sb, {"/talvoupdate/TalvoXP_341.zip": fault})
            run, window = sb.open_window()
            lines = sb.drive("find", 10000, "click-start", "watch", 120000, "ok")
            check(events(lines, "box") == [MISSING + "\\n\\n" + ROW_LABELS[0]], "%s: boxes %s" % (what, events(lines, "box")))
            check(shown(run, lines, "counter") == ["1/6"], "%s: counter %s" % (what, shown(run, lines, "counter")))
            statuses = events(lines, "status")
            check(DONE not in statuses and FAILED in statuses, "%s: statuses %s" % (what, statuses))
            check(run.wait(60) == 0, "%s: exit code" % what)
            check(sb.reg_query(e2e.INSTALL_KEY, "VerTalvo") == "3.35.1", "%s: main program version recorded" % what)
            check(not sb.read("Talvo.exe").endswith(CLIENT_MARK), "%s: Talvo.exe replaced" % what)
            check(sb.package_requests() == ["GET /talvoupdate/TalvoXP_341.zip"], "%s: %s" % (what, sb.package_requests()))
            check(not os.path.exists(sb.path("Update")), "%s: staging folder left" % what)
            check(not sb.extra_started(), "%s: extra program started" % what)
            sb.expect_client_starts(1)
        finally:
            sb.close()


def scenario_badentry(opts):
    """The extra project's package holds an entry that would leave the staging folder: it is not
    installed, its program is not started, the box names it; what came before it stays installed."""
    sb = WindowSandbox("badentry", opts, document())
    try:
        with open(os.path.join(sb.server.root, "talvoupdate", "extra_10.zip"), "wb") as f:
            f.write(zip_bytes([("extra.exe", sb.read("Talvo.exe")), ("../escape.txt", b"out")]))
        run, window = sb.open_window()
        lines = sb.drive("find", 10000, "click-start", "watch", 120000, "ok")
        check(events(lines, "box") == [MISSING + "\\n\\n확장 도구"], "boxes %s" % events(lines, "box"))
        check(shown(run, lines, "counter")[-1:] == ["6/6"], "counter %s" % shown(run, lines, "counter"))
        check(DONE not in events(lines, "status"), "the run reported completion")
        check(run.wait(60) == 0, "exit code")
        check(sb.reg_query(e2e.INSTALL_KEY, "VerTalvo") == "3.41", "main program not installed")
        check(sb.reg_query(e2e.INSTALL_KEY, "VerListTalvo") == "27", "server list not installed")
        check(not os.path.exists(os.path.join(sb.prefix, "drive_c", "escape.txt")), "entry left the folder")
        check(not os.path.exists(sb.path("Update")), "staging folder left")
        time.sleep(1)
        check(not sb.extra_started(), "the extra program of a failed package was started")
        sb.expect_client_starts(1)
    finally:
        sb.close()


def scenario_retry(opts):
    """The first request for a package is refused and the second gets it: the downloader's error
    flag stays set, and the package is installed all the same."""
    sb = WindowSandbox("retry", opts, document())
    try:
        set_faults(sb, {"/talvoupdate/TalvoXP_341.zip": {"reset_before_response": True, "times": 1}})
        run, window = sb.open_window()
        lines = sb.drive("find", 10000, "click-start", "watch", 120000, "ok")
        check(events(lines, "box") == [], "boxes %s" % events(lines, "box"))
        check(events(lines, "status")[-1:] == [DONE], "statuses %s" % events(lines, "status"))
        check(run.wait(60) == 0, "exit code")
        check(sb.reg_query(e2e.INSTALL_KEY, "VerTalvo") == "3.41", "main program not installed")
        check(sb.read("Talvo.exe").endswith(CLIENT_MARK), "Talvo.exe not replaced")
        sb.expect_client_starts(1)
    finally:
        sb.close()


def scenario_frozen(opts):
    """The selection is taken when the run starts: a row clicked while it runs is neither run nor
    counted."""
    sb = WindowSandbox("frozen", opts, document(), slow_packages=True)
    try:
        run, window = sb.open_window()
        lines = sb.drive("find", 10000, "click-row", 2, "sleep", 700, "click-start", "sleep", 700,
                         "click-row", 2, "watch", 180000)
        counters = shown(run, lines, "counter")
        check(counters == ["%d/5" % n for n in range(1, 6)], "counter went %s" % counters)
        check(events(lines, "status")[-1:] == [DONE], "statuses %s" % events(lines, "status"))
        check(run.wait(60) == 0, "exit code")
        check(not os.path.exists(sb.path("config", "talvo.dat")), "the deselected filter data was installed")
        check(not any("filter_105" in r for r in sb.package_requests()), "the filter package was fetched")
        sb.expect_client_starts(1)
    finally:
        sb.close()


SCENARIOS = {
    "full": scenario_full,
    "notpackage": scenario_notpackage,
    "badentry": scenario_badentry,
    "retry": scenario_retry,
    "frozen": scenario_frozen,
    "compulsory": scenario_compulsory,
    "missing": scenario_missing,
    "keys": scenario_keys,
    "deselect": scenario_deselect,
    "about": scenario_about,
}


if __name__ == "__main__":
    sys.exit(e2e.main(__doc__, SCENARIOS, ("--updater", "--client", "--helper", "--driver")))
