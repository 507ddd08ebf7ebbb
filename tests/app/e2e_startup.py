#!/usr/bin/env python3
"""End to end: the real TalvoUpdate.exe under Wine against tools/updateserver on 127.0.0.1:80.

    e2e_startup.py --updater EXE --fast-updater EXE --client EXE --helper EXE --driver EXE [SCENARIO ...]

Every scenario gets its own clone of the Wine template prefix, shared by all processes of the
scenario (so they meet in one mutex, one shared data section and one registry), and an
installation folder C:\\Talvo holding the updater as TalvoUpdate.exe next to a stand-in
Talvo.exe that appends a line to started.log whenever it is started. --fast-updater is the same
program built with short waits (TALVO_TEST_TIMINGS), for the retry and failure scenarios only.
--driver is the update window's driver (tests/update/windowdriver.cpp): runs that open the window
close it.

The updater's diagnostic lines are read from Wine's debug channel (WINEDEBUG=+debugstr); runs
started with trace_sockets=True also report every connect() through Wine's winsock trace.
Environment: TALVO_WINE_RUN, TALVO_WINE_TEMPLATE, TALVO_SOURCE_DIR (set by CTest).
The tests bind port 80: run as root, one at a time (CTest resource lock port80).
"""

import argparse
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("TALVO_SOURCE_DIR", os.path.normpath(os.path.join(HERE, "..", "..")))
WINE_RUN = os.environ.get("TALVO_WINE_RUN", os.path.join(SOURCE_DIR, "tools", "wine-run.sh"))
TEMPLATE = os.environ.get("TALVO_WINE_TEMPLATE", os.path.join(SOURCE_DIR, "build", "win32", "wine", "template"))
UPDATE_SERVER = os.path.join(SOURCE_DIR, "tools", "updateserver", "updateserver.py")

INFO_PATH = "/talvoupdate/PlusInformation.php"
INSTALL_KEY = r"HKCU\Software\Talvo\Install"
CAPTION_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Talvo"
APP_TITLE = "TalvoUpdate"
UNREACHABLE = "업데이트 서버에 접속할 수 없습니다."
CHECK_LINE = "Update check: "
DIALOG_LINE = "Update dialog run"
COUNTED_LINE = "Background run counted"
# Wine's trace of one connect() to port 80, e.g. "trace:winsock:connect socket 0xa4, addr
# { family AF_INET, address 127.0.0.1, port 80 }, len 16".
PORT80_CONNECT = re.compile(r"trace:winsock:\w*connect socket .*port 80\b")


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(predicate, timeout, what):
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out after %gs waiting for %s" % (timeout, what))
        time.sleep(0.2)


def port80_open():
    with socket.socket() as s:
        s.settimeout(1)
        return s.connect_ex(("127.0.0.1", 80)) == 0


def document(xp="3.41", ocx="1.0", download=True, extra_project=True, notice=False):
    """An update information document (code page 949 bytes, CR LF line ends)."""
    # Nothing compulsory: a window that opens can be closed at once.
    lines = ["// e2e", "[Talvo]", "PROJECT=Talvo", "XP_VERSION=" + xp, "98_VERSION=" + xp,
             "XP_COMPULSION=0", "98_COMPULSION=0"]
    if notice:
        lines += ["[NOTICE]", "NOTICE_URL=http://127.0.0.1/notice/notice.txt"]
    if download:
        lines += ["XP_DOWNLOADURL=http://127.0.0.1/talvoupdate/TalvoXP.zip",
                  "98_DOWNLOADURL=http://127.0.0.1/talvoupdate/Talvo98.zip"]
    lines += ["[LOGIN_OCX]", "OCX_VERSION=" + ocx, "OCX_COMPULSION=0"]
    if download:
        lines += ["OCX_DOWN_URL=http://127.0.0.1/talvoupdate/TalvoLogin.zip"]
    if extra_project:
        lines += ["[ETC0]", "NAME=확장 도구", "PRO_DOWN_URL=http://127.0.0.1/talvoupdate/extra.zip",
                  "PRO_EXE=extra.exe", "PRO_PATH=<TARGETDIR>", "PRO_REG=SOFTWARE\\TalvoExtra",
                  "PRO_COMPULSION=0", "ETC_END=1"]
    return ("\r\n".join(lines) + "\r\n").encode("cp949")


class Server:
    """tools/updateserver on 127.0.0.1:80 serving one information document."""

    def __init__(self, work, extra_roots=()):
        self.extra_roots = list(extra_roots)
        self.root = os.path.join(work, "root")
        os.makedirs(os.path.join(self.root, "talvoupdate"), exist_ok=True)
        self.log = os.path.join(work, "info.log")
        self.access_log = os.path.join(work, "access.log")
        self.faults = os.path.join(work, "faults.json")
        self.process = None
        self.serve(document())

    def serve(self, body, fault=None):
        # An unchanged document keeps its file time, as on a real server (its Last-Modified).
        path = os.path.join(self.root, "talvoupdate", "PlusInformation.php")
        if os.path.exists(path):
            with open(path, "rb") as f:
                unchanged = f.read() == body
        else:
            unchanged = False
        if not unchanged:
            with open(path, "wb") as f:
                f.write(body)
        with open(self.faults, "w") as f:
            json.dump({INFO_PATH: fault} if fault else {}, f)

    def start(self):
        check(not port80_open(), "something else listens on 127.0.0.1:80")
        port_file = self.log + ".port"
        self.process = subprocess.Popen(
            [sys.executable, UPDATE_SERVER, "--root", self.root, "--host", "127.0.0.1", "--port", "80",
             "--port-file", port_file, "--log", self.log, "--faults", self.faults,
             "--access-log", self.access_log]
            + [arg for root in self.extra_roots for arg in ("--extra-root", root)],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: os.path.exists(port_file) or self.process.poll() is not None, 20, "the update server")
        check(self.process.poll() is None, "the update server did not start (port 80 needs root)")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)
        self.process = None

    def requests(self):
        """Method and path of every request so far."""
        if not os.path.exists(self.access_log):
            return []
        with open(self.access_log, "rb") as f:
            lines = [line.decode("utf-8", "replace").split(" ") for line in f.read().splitlines()]
        return [" ".join(parts[2:4]) for parts in lines if len(parts) >= 4 and parts[1] == "request"]

    def document_answers(self):
        """For each information request so far: whether it asked only if the document changed
        (If-None-Match or If-Modified-Since), and how many body bytes the answer sent (0 for a
        304), or None when no body outcome was logged."""
        if not os.path.exists(self.access_log):
            return []
        answers = []
        with open(self.access_log, "rb") as f:
            for line in f.read().decode("utf-8", "replace").splitlines():
                parts = line.split(" ")
                if len(parts) >= 4 and parts[1] == "request" and parts[3].split("?")[0] == INFO_PATH:
                    answers.append([" if-none-match=" in line or " if-modified-since=" in line, None])
                elif len(parts) >= 4 and parts[1] == "done" and parts[2] == INFO_PATH and answers:
                    answers[-1][1] = int(parts[3][len("sent="):])
        return [tuple(a) for a in answers]

    def queries(self):
        """Query strings of the information requests so far."""
        if not os.path.exists(self.log):
            return []
        with open(self.log, "rb") as f:
            return [line.decode("utf-8", "replace") for line in f.read().splitlines()]


class Run:
    """One updater process; its Wine debug lines are collected as they come."""

    def __init__(self, sandbox, args, env):
        self.args = args
        self.started = time.monotonic()
        self.lines = []
        self.process = subprocess.Popen([WINE_RUN, sandbox.updater_path] + list(args), env=env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for raw in self.process.stderr:
            self.lines.append(raw.decode("cp949", "replace"))

    def wait(self, timeout=60):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("updater %s still running after %gs" % (self.args, timeout))

    def logged(self, text):
        return any(text in line for line in self.lines)

    def connects(self):
        """Connect attempts to port 80 so far (only for runs started with trace_sockets)."""
        return sum(1 for line in list(self.lines) if PORT80_CONNECT.search(line))


class Sandbox:
    """A Wine prefix clone with the installation folder C:\\Talvo."""

    def __init__(self, name, updater, client, helper, env_extra=None, extra_roots=(), driver=None):
        self.work = tempfile.mkdtemp(prefix="talvo-e2e-%s-" % name)
        self.prefix = subprocess.run([os.path.join(SOURCE_DIR, "tools", "wine-clone.sh"), TEMPLATE], check=True,
                                     stdout=subprocess.PIPE, text=True).stdout.strip()
        self.install = os.path.join(self.prefix, "drive_c", "Talvo")
        os.makedirs(self.install)
        shutil.copy(updater, os.path.join(self.install, "TalvoUpdate.exe"))
        shutil.copy(client, os.path.join(self.install, "Talvo.exe"))
        self.helper = os.path.join(self.install, "e2ehelper.exe")
        shutil.copy(helper, self.helper)
        self.updater_path = "C:\\Talvo\\TalvoUpdate.exe"
        self.driver = driver
        self.env = dict(os.environ, WINEPREFIX=self.prefix, TALVO_WINE_PREFIX=self.prefix,
                        WINEDEBUG="-all,+debugstr")
        self.env.update(env_extra or {})
        self.runs = []
        self.server = Server(self.work, extra_roots)
        # Start the prefix's Wine services now, so they inherit nothing of the runs under test.
        self.wine([self.helper, "boxes", APP_TITLE], timeout=120)

    def close(self):
        self.server.stop()
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for run in self.runs:
            try:
                run.process.wait(10)
            except subprocess.TimeoutExpired:
                run.process.kill()
        shutil.rmtree(self.work, ignore_errors=True)
        shutil.rmtree(self.prefix, ignore_errors=True)

    def wine(self, args, timeout=60):
        """Runs a Windows program in this prefix; returns (exit code, stdout bytes). Output goes
        through a file: Wine's own helper processes may inherit a pipe and keep it open."""
        quiet = dict(self.env, WINEDEBUG="-all")
        with tempfile.TemporaryFile() as out:
            process = subprocess.Popen([WINE_RUN] + args, env=quiet, stdin=subprocess.DEVNULL, stdout=out,
                                       stderr=subprocess.DEVNULL)
            try:
                code = process.wait(timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                raise Failure("%s did not end within %gs" % (args, timeout))
            out.seek(0)
            return code, out.read()

    def reg_set(self, key, value, data):
        check(self.wine(["reg", "add", key, "/v", value, "/d", data, "/f"])[0] == 0, "reg add failed")

    def reg_delete(self, key, value):
        self.wine(["reg", "delete", key, "/v", value, "/f"])

    def set_profile(self, text):
        path = os.path.join(self.prefix, "drive_c", "windows", "TalvoUpdate.INI")
        if text is None:
            if os.path.exists(path):
                os.remove(path)
        else:
            with open(path, "w") as f:
                f.write(text.replace("\n", "\r\n"))

    def start(self, args=(), trace_sockets=False):
        env = dict(self.env, WINEDEBUG=self.env["WINEDEBUG"] + ",+winsock") if trace_sockets else self.env
        run = Run(self, args, env)
        self.runs.append(run)
        return run

    def run(self, args=(), timeout=60, trace_sockets=False):
        run = self.start(args, trace_sockets)
        run.wait(timeout)
        return run

    def boxes(self):
        """Message boxes titled with the updater's name: (hwnd, pid, text)."""
        out = self.wine([self.helper, "boxes", APP_TITLE])[1].decode("cp949", "replace")
        found = []
        for line in out.splitlines():
            parts = line.rstrip("\r").split(" ", 2)
            if len(parts) >= 2:
                found.append((parts[0], parts[1], parts[2] if len(parts) > 2 else ""))
        return found

    def wait_box(self, count, timeout=40):
        return wait_until(lambda: (lambda b: b if len(b) >= count else None)(self.boxes()), timeout,
                          "%d message box(es)" % count)

    def press_ok(self, box):
        check(self.wine([self.helper, "close", box[0]])[0] == 0, "could not press OK on %s" % (box,))

    def show_client_window(self, caption, seconds=120):
        ready = os.path.join(self.install, "window.ready")
        if os.path.exists(ready):
            os.remove(ready)
        quiet = dict(self.env, WINEDEBUG="-all")
        process = subprocess.Popen([WINE_RUN, self.helper, "window", caption, str(seconds), "C:\\Talvo\\window.ready"],
                                   env=quiet, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        wait_until(lambda: os.path.exists(ready), 30, "the client window")
        return process

    def close_update_window(self):
        """Waits for the update window and asks it to close, as its close command would."""
        driver = os.path.join(self.install, "windowdriver.exe")
        if not os.path.exists(driver):
            shutil.copy(self.driver, driver)
        code, out = self.wine([driver, "find", "60000", "close", "watch", "30000"], timeout=120)
        check(code == 0, "update window not closed: %s" % out.decode("cp949", "replace"))

    def client_starts(self):
        path = os.path.join(self.install, "started.log")
        if not os.path.exists(path):
            return 0
        with open(path, "rb") as f:
            return len(f.read().splitlines())

    def expect_client_starts(self, count, settle=1.5):
        """Waits for `count` recorded starts, then makes sure no further one follows."""
        wait_until(lambda: self.client_starts() >= count, 20, "%d client start(s)" % count)
        time.sleep(settle)
        check(self.client_starts() == count,
              "client started %d times, expected %d" % (self.client_starts(), count))


# -- scenarios --------------------------------------------------------------------------------


def scenario_guard(opts):
    """Instance guard and ignore switches; the foreground probe against a closed port 80."""
    sb = Sandbox("guard", opts.updater, opts.client, opts.helper)
    try:
        check(not port80_open(), "port 80 must be closed for this scenario")
        first = sb.start(trace_sockets=True)
        (box,) = sb.wait_box(1)
        waited = time.monotonic() - first.started
        check(box[2] == UNREACHABLE, "message box text %r" % box[2])
        check(waited >= 3.0, "box after %.1fs: four attempts a second apart take at least 3s" % waited)
        wait_until(lambda: first.connects() >= 4, 10, "four connect attempts in the trace")
        time.sleep(0.5)
        check(first.connects() == 4, "box after %d connect attempts, expected 4" % first.connects())
        sb.expect_client_starts(0, settle=0)

        # A second updater quits at once, silently, without starting the client.
        for args in ([], ["/IgnoreInstances"], ["ignoreinstances"], ["--ignoreinstances"]):
            run = sb.run(args, timeout=30)
            check(run.process.returncode == 0, "%s: exit code %d" % (args, run.process.returncode))
            check(sb.boxes() == [box], "%s: a second updater showed a box" % args)
            check(not run.logged(CHECK_LINE), "%s: a second updater went on" % args)
        sb.expect_client_starts(0)

        # The ignore switches let a second updater run alongside the first.
        started = 0
        for args, profile in ((["/ignoreinstances"], None), (["-ignoreinstances"], None),
                              ([], "[TalvoUpdate]\nIgnoreInstances=1\n")):
            sb.set_profile(profile)
            run = sb.start(args)
            boxes = sb.wait_box(2)
            (second,) = [b for b in boxes if b != box]
            check(second[2] == UNREACHABLE, "second box text %r" % second[2])
            sb.press_ok(second)
            check(run.wait(30) == 0, "%s %s: exit code" % (args, profile))
            started += 1
            sb.expect_client_starts(started)
            sb.set_profile(None)
        check(sb.boxes() == [box], "boxes left: %s" % sb.boxes())

        # The first updater, once its box is dismissed, starts the client; the box came once.
        sb.press_ok(box)
        check(first.wait(30) == 0, "first updater's exit code")
        sb.expect_client_starts(started + 1)
        check(sb.boxes() == [], "a box came back: %s" % sb.boxes())
        check(first.connects() == 4, "%d connect attempts after the box, expected none" % (first.connects() - 4))
    finally:
        sb.close()


def scenario_background(opts):
    """At most one background run gets past start-up while any updater process lives."""
    sb = Sandbox("background", opts.updater, opts.client, opts.helper)
    try:
        check(not port80_open(), "port 80 must be closed for this scenario")
        sb.server.serve(document(xp="3.41", extra_project=False))
        sb.reg_set(INSTALL_KEY, "VerTalvo", "3.41")
        # Waits for the server without end, 7 s between attempts.
        first = sb.start(["/background"])
        wait_until(lambda: first.logged(COUNTED_LINE), 30, "the first background run to be counted")

        refused = sb.run(["/background", "/ignoreinstances"], timeout=30, trace_sockets=True)
        check(refused.process.returncode == 1, "second background run: exit code %d" % refused.process.returncode)
        time.sleep(0.5)
        check(not refused.logged(CHECK_LINE) and sb.boxes() == [], "the refused run went on")
        check(refused.connects() == 0, "the refused run probed the server %d times" % refused.connects())

        # A foreground run alongside is not affected; its box keeps it alive.
        third = sb.start(["/ignoreinstances"])
        (box,) = sb.wait_box(1)
        sb.expect_client_starts(0, settle=0)

        # The server comes up: the first run finds it, finds nothing outdated, starts the client.
        sb.server.start()
        check(first.wait(30) == 0, "first background run's exit code")
        check(first.logged(CHECK_LINE + "program 0"), "first background run did not check: %s" % first.lines)
        sb.expect_client_starts(1)

        # The counter is never lowered while an updater process lives.
        again = sb.run(["/background", "/ignoreinstances"], timeout=30)
        check(again.process.returncode == 1, "background run after the first ended: exit code %d"
              % again.process.returncode)

        sb.press_ok(box)
        check(third.wait(30) == 0, "foreground run's exit code")
        sb.expect_client_starts(2)

        # With every updater gone the shared section is gone too: counting starts again.
        fresh = sb.run(["/background"], timeout=60)
        check(fresh.process.returncode == 0, "background run after all ended: exit code %d" % fresh.process.returncode)
        sb.expect_client_starts(3)
        check(sb.server.queries() == ["ver=3.41&WinOS=6.1"] * 2, "queries %s" % sb.server.queries())
    finally:
        sb.close()


def scenario_decisions(opts):
    """The rows of the start-up's failure table with a reachable server, and the request's query."""
    sb = Sandbox("decisions", opts.updater, opts.client, opts.helper, driver=opts.driver)
    try:
        sb.server.start()
        starts = 0
        queries = 0

        def row(name, expect_query=None, dialog=False, checked=True, program=None):
            nonlocal starts, queries
            run = sb.start()
            if dialog:
                sb.close_update_window()
            try:
                run.wait(60)
            except Failure as e:
                raise Failure("%s: %s" % (name, e))
            check(run.process.returncode == 0, "%s: exit code %d" % (name, run.process.returncode))
            starts += 1
            sb.expect_client_starts(starts, settle=0.5)
            check(run.logged(DIALOG_LINE) == dialog, "%s: dialog %s expected" % (name, "run" if dialog else "not run"))
            check(run.logged(CHECK_LINE) == checked, "%s: versions compared: %s" % (name, not checked))
            if program is not None:
                check(run.logged(CHECK_LINE + "program %d" % program), "%s: program flag: %s" % (name, run.lines))
            got = sb.server.queries()[queries:]
            queries += len(got)
            if expect_query is not None:
                check(got == [expect_query], "%s: queries %s" % (name, got))
            return run

        sb.reg_set(INSTALL_KEY, "VerTalvo", "3.41")
        sb.reg_set(INSTALL_KEY, "LogOcxTalvo", "1.0")
        sb.server.serve(document(xp="3.41", ocx="1.0"))
        row("nothing outdated", "ver=3.41&WinOS=6.1", program=0)

        # Only the first four characters of the installed version are sent.
        sb.reg_set(INSTALL_KEY, "VerTalvo", "3.35.1")
        sb.server.serve(document(xp="3.41", extra_project=False))
        row("outdated without extra project", "ver=3.35&WinOS=6.1", program=1)

        # Text order: 3.9 is above 3.10, so nothing is outdated.
        sb.reg_set(INSTALL_KEY, "VerTalvo", "3.9")
        sb.server.serve(document(xp="3.10"))
        row("3.9 against 3.10", "ver=3.9&WinOS=6.1", program=0)

        # The main program is outdated while the client runs: no dialog, the client is started.
        sb.reg_set(INSTALL_KEY, "VerTalvo", "3.35")
        sb.server.serve(document(xp="3.41"))
        caption = "Talvo 3.35 e2e"
        window = sb.show_client_window(caption)
        try:
            sb.reg_set(CAPTION_KEY, "TalvoVersion", caption)
            row("main program outdated, client running", program=1)
            # Other components outdated while the client runs: the dialog.
            sb.reg_set(INSTALL_KEY, "VerTalvo", "3.41")
            sb.reg_set(INSTALL_KEY, "LogOcxTalvo", "0.9")
            row("login control outdated, client running", dialog=True, program=0)
            # No recorded caption: no running client as far as the updater can tell.
            sb.reg_set(INSTALL_KEY, "VerTalvo", "3.35")
            sb.reg_delete(CAPTION_KEY, "TalvoVersion")
            row("main program outdated, caption not recorded", dialog=True, program=1)
        finally:
            window.kill()

        sb.reg_set(INSTALL_KEY, "VerTalvo", "2.5")
        sb.server.serve(document(xp="3.41", download=False))
        row("no download address", "ver=2.5&WinOS=6.1", checked=False)

        sb.reg_delete(INSTALL_KEY, "VerTalvo")
        sb.server.serve(document(), fault={"empty": True})
        row("empty document", "ver=&WinOS=6.1", checked=False)

        # Without a client program the start fails quietly and the run still ends normally.
        os.remove(os.path.join(sb.install, "Talvo.exe"))
        sb.server.serve(document())
        run = sb.start()
        sb.close_update_window()
        run.wait(60)
        check(run.process.returncode == 0, "no client program: exit code %d" % run.process.returncode)
        sb.expect_client_starts(starts, settle=1)
    finally:
        sb.close()


def scenario_retries(opts):
    """Retry rules with short waits: one foreground request for a failing document, eleven
    background ones for an empty document, and a background run that waits for the server."""
    # A failing foreground request lasts its full time-out, so that one is short; background
    # failures below come as empty bodies, which end at once, so its time-out can stay roomy.
    timings = {"TALVO_TEST_TIMINGS": "200,500,1500,10000,200"}
    sb = Sandbox("retries", opts.fast_updater, opts.client, opts.helper, timings)
    try:
        sb.server.serve(document(), fault={"status": 500})
        sb.server.start()
        run = sb.run(timeout=60)
        check(run.process.returncode == 0, "foreground: exit code")
        check(len(sb.server.queries()) == 1, "foreground made %d requests" % len(sb.server.queries()))
        sb.expect_client_starts(1)

        sb.server.serve(document(), fault={"empty": True})
        run = sb.run(["/background"], timeout=120)
        check(run.process.returncode == 0, "background: exit code")
        check(len(sb.server.queries()) == 12, "background made %d requests" % (len(sb.server.queries()) - 1))
        check(not run.logged(CHECK_LINE), "background run compared versions without a document")
        sb.expect_client_starts(2)
        check(sb.boxes() == [], "a failing request showed a box")

        # Server down for a while: the background run keeps probing, then makes its request.
        sb.server.stop()
        sb.server.serve(document(xp="3.41", extra_project=False))
        late = sb.start(["/background"])
        wait_until(lambda: late.logged(COUNTED_LINE), 30, "the background run to be counted")
        time.sleep(2)
        check(late.process.poll() is None, "background run gave up while the server was down")
        sb.server.start()
        check(late.wait(60) == 0, "late background run: exit code")
        check(late.logged(CHECK_LINE), "late background run did not compare versions")
        check(len(sb.server.queries()) == 13, "late background run made %d requests" % (len(sb.server.queries()) - 12))
        sb.expect_client_starts(3)
    finally:
        sb.close()


def scenario_failure(opts):
    """An unexpected failure after the guard (here out of memory while the document is parsed,
    thrown by the test program at the notice fetch): the client is started all the same, and the
    exit code is not the refused background run's."""
    sb = Sandbox("failure", opts.fast_updater, opts.client, opts.helper, {"TALVO_TEST_THROW_AT_FETCH": "/notice/"})
    try:
        sb.server.serve(document(notice=True))
        sb.server.start()
        for starts, args in enumerate(([], ["/background"]), start=1):
            run = sb.run(args, timeout=60)
            check(run.process.returncode == 0, "%s: exit code %d" % (args, run.process.returncode))
            check(run.logged("Update check ended by an unexpected failure"), "%s: no failure seen: %s" % (args, run.lines))
            check(not run.logged(CHECK_LINE), "%s: versions compared after the failure" % args)
            sb.expect_client_starts(starts)
        check(sb.boxes() == [], "a failure showed a box")
    finally:
        sb.close()


def journal_line(*fields):
    """One line of the installation journal, as the updater writes it (code page 949 fields)."""
    body = "\t".join(fields).encode("cp949")
    return body + b"\t%08x\r\n" % (zlib.crc32(body) & 0xFFFFFFFF)


def scenario_repair(opts):
    """An installation of the client program cut off after its new Talvo.exe and version were in
    place but before the step completed: the next start undoes it before the update check (old
    program and version back, set-aside folder and journal gone, a log line), and the client that
    starts is the old one."""
    sb = Sandbox("repair", opts.updater, opts.client, opts.helper, driver=opts.driver)
    try:
        client = os.path.join(sb.install, "Talvo.exe")
        with open(client, "rb") as f:
            old_client = f.read()
        backup = os.path.join(sb.install, "Update.backup")
        os.makedirs(backup)
        shutil.move(client, os.path.join(backup, "1"))
        with open(client, "wb") as f:
            f.write(b"MZ half of a new program")
        sb.reg_set(INSTALL_KEY, "VerTalvo", "3.41")
        with open(os.path.join(sb.install, "Update.journal"), "wb") as f:
            f.write(journal_line("BEGIN", "1", "3.41", "C:\\Talvo\\Update.backup")
                    + journal_line("SETASIDE", "C:\\Talvo\\Talvo.exe", "C:\\Talvo\\Update.backup\\1")
                    + journal_line("NEWFILE", "C:\\Talvo\\Talvo.exe", "C:\\Talvo\\Talvo.exe.new")
                    + journal_line("REGVALUE", "HKCU", "Software\\Talvo\\Install", "VerTalvo", "1", "1",
                                   b"3.35\0".hex())
                    + b"REGVALUE\tHKCU\tSoftw")  # the line being written when the process ended
        sb.reg_set(INSTALL_KEY, "LogOcxTalvo", "1.0")
        sb.server.serve(document(xp="3.35", ocx="1.0"))
        sb.server.start()
        run = sb.run(timeout=60)
        check(run.process.returncode == 0, "exit code %d" % run.process.returncode)
        check(run.logged("Install repair: interrupted installation of component 1 version 3.41 rolled back"),
              "no repair line: %s" % run.lines)
        with open(client, "rb") as f:
            check(f.read() == old_client, "Talvo.exe is not the old program again")
        check(not os.path.exists(backup), "the set-aside folder is left")
        check(not os.path.exists(os.path.join(sb.install, "Update.journal")), "the journal is left")
        code, out = sb.wine(["reg", "query", INSTALL_KEY, "/v", "VerTalvo"])
        check(b"3.35" in out and b"3.41" not in out, "version not restored: %r" % out)
        check(run.logged(CHECK_LINE + "program 0"), "the restored version was not what was compared: %s" % run.lines)
        sb.expect_client_starts(1)
    finally:
        sb.close()


SCENARIOS = {
    "guard": scenario_guard,
    "repair": scenario_repair,
    "background": scenario_background,
    "decisions": scenario_decisions,
    "retries": scenario_retries,
    "failure": scenario_failure,
}


def ensure_display():
    if os.environ.get("DISPLAY"):
        return None
    for n in range(150, 200):
        if not os.path.exists("/tmp/.X%d-lock" % n) and not os.path.exists("/tmp/.X11-unix/X%d" % n):
            xvfb = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.environ["DISPLAY"] = ":%d" % n
            wait_until(lambda: os.path.exists("/tmp/.X11-unix/X%d" % n), 10, "Xvfb")
            return xvfb
    raise Failure("no free display for Xvfb")


def run_scenarios(parser, scenarios):
    """Runs the scenarios named on the command line (all by default), each on its own, and
    reports every one; the exit status is 1 when any failed."""
    opts = parser.parse_args()
    names = opts.scenarios or list(scenarios)
    unknown = [n for n in names if n not in scenarios]
    if unknown:
        parser.error("unknown scenario(s): %s" % ", ".join(unknown))
    xvfb = ensure_display()
    passed = failed = 0
    try:
        for name in names:
            began = time.monotonic()
            try:
                scenarios[name](opts)
                passed += 1
                print("PASS %s (%.1fs)" % (name, time.monotonic() - began), flush=True)
            except Exception as e:  # one scenario's failure must not hide the others
                failed += 1
                detail = str(e) if isinstance(e, Failure) else traceback.format_exc()
                print("FAIL %s (%.1fs): %s" % (name, time.monotonic() - began, detail), flush=True)
    finally:
        if xvfb:
            xvfb.terminate()
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


def main(description, scenarios, programs):
    """The command line of an end-to-end script: each of `programs` (the options naming the
    programs it drives) is required, then the scenarios to run (all by default)."""
    parser = argparse.ArgumentParser(description=description, formatter_class=argparse.RawDescriptionHelpFormatter)
    for name in programs:
        parser.add_argument(name, required=True)
    parser.add_argument("scenarios", nargs="*", help="any of: " + ", ".join(scenarios))
    return run_scenarios(parser, scenarios)


if __name__ == "__main__":
    sys.exit(main(__doc__, SCENARIOS, ("--updater", "--fast-updater", "--client", "--helper", "--driver")))
