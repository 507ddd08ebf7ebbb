#!/usr/bin/env python3
"""The update window as a user meets it: TalvoUpdate.exe runs under Wine on the virtual display
against a server that already listens on 127.0.0.1:80 (the published sample release), the window
driver presses start as a user would, and this prints each status and counter change as it
happens, saves screenshots before and during the run, and says what was installed.

    window_demo.py --build build/win32 --access-log FILE [--shots DIR] [--installed 3.35.1]

Needs a built Windows tree (TalvoUpdate, the stand-ins, talvo_windowdriver) and ImageMagick's
`import` for the screenshots.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.normpath(os.path.join(HERE, "..", ".."))
INSTALL_KEY = r"HKCU\Software\Talvo\Install"


def screenshot(path, crop=None):
    args = ["import", "-window", "root"] + (["-crop", crop] if crop else []) + [path]
    subprocess.run(args, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return os.path.exists(path)


def requests(path, start):
    with open(path, "rb") as f:
        f.seek(start)
        text = f.read().decode("utf-8", "replace")
    return ["%s %s (%s)" % m for m in re.findall(r'"(\w+) (\S+) HTTP/[\d.]+" (\d+)', text)]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(SOURCE_DIR, "build", "win32"))
    parser.add_argument("--access-log", required=True, help="access log of the server on port 80 (nginx format)")
    parser.add_argument("--shots", default=os.path.join(SOURCE_DIR, "build", "win32", "demo-shots"))
    parser.add_argument("--installed", default="3.35.1", help="main program version recorded before the run")
    parser.add_argument("--updater", help="the updater to run (default: the build's TalvoUpdate.exe)")
    opts = parser.parse_args()

    build = os.path.abspath(opts.build)
    os.environ.setdefault("TALVO_SOURCE_DIR", SOURCE_DIR)
    sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "app"))
    import winebuild
    winebuild.use_build(build)
    import e2e_startup as e2e

    updater = opts.updater or os.path.join(build, "app", "TalvoUpdate.exe")
    client = os.path.join(build, "tests", "app", "talvo_client_standin.exe")
    helper = os.path.join(build, "tests", "app", "talvo_e2e_helper.exe")
    driver = os.path.join(build, "tests", "update", "talvo_windowdriver.exe")
    for path in (updater, client, helper, driver):
        if not os.path.exists(path):
            print("missing %s: build the Windows preset first" % path, file=sys.stderr)
            return 2
    os.makedirs(opts.shots, exist_ok=True)

    xvfb = e2e.ensure_display()
    sb = e2e.Sandbox("window-demo", updater, client, helper)
    driver_copy = os.path.join(sb.install, "windowdriver.exe")
    shutil.copy(driver, driver_copy)
    served = os.path.getsize(opts.access_log)
    try:
        sb.reg_set(INSTALL_KEY, "VerTalvo", opts.installed)
        print("installed:     main program %s recorded; display %s" % (opts.installed, os.environ["DISPLAY"]))
        run = sb.start()
        quiet = dict(sb.env, WINEDEBUG="-all")
        # The driver's lines come as they happen; Wine's helpers may hold the pipe after it ends,
        # so reading stops at its last line.
        proc = subprocess.Popen([e2e.WINE_RUN, driver_copy, "find", "60000", "describe", "sleep", "1500",
                                 "click-start", "watch", "300000"],
                                env=quiet, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL)
        began = time.monotonic()
        during = False
        window_told = False
        checks_told = 0

        def tell_checks():
            # The release and package checks the updater reports, as they come.
            nonlocal checks_told
            lines = list(run.lines)
            for logged in lines[checks_told:]:
                found = re.search(r"(Release check|Package check): (.*)", logged)
                if found:
                    # Wine's debug channel quotes the line and escapes its line end.
                    told = re.sub(r'(\\n)?"?\s*$', "", found.group(2))
                    told = told.replace("document signature good", "document signature: good")
                    print("%-14s %s" % ("check:", told))
            checks_told = len(lines)

        for raw in proc.stdout:
            tell_checks()
            line = raw.decode("cp949", "replace").rstrip("\r\n")
            kind, _, rest = line.partition(" ")
            if kind == "window" and not window_told:
                window_told = True
                parts = rest.split(" ")
                print("window:        at (%s, %s), %s x %s" % tuple(parts[1:5]))
            elif kind == "row":
                print("row:           %s" % rest.split(" ", 1)[1])
            elif kind == "control" and rest.startswith("1019 "):
                print("notice:        %s" % " ".join(rest.split(" ")[7:])[:120])
            elif kind == "clicked":
                print("start:         pressed (mouse at %s)" % " ".join(rest.split(" ")[1:]))
            elif kind in ("status", "counter", "box"):
                stamp, _, text = rest.partition(" ")
                print("%-14s %6.2fs  %s" % (kind + ":", time.monotonic() - began, text))
                # The last entry (the extra project's program, the largest package) moves the
                # bar longest: the picture during the run is taken there.
                done, _, todo = text.partition("/")
                if kind == "counter" and not during and done == todo:
                    during = True
                    time.sleep(0.2)
                    shot = os.path.join(opts.shots, "2-during.png")
                    if screenshot(shot):
                        screenshot(os.path.join(opts.shots, "window-during.png"), "500x409+0+0")
                        print("screenshot:    %s" % os.path.relpath(shot, SOURCE_DIR))
            elif kind in ("closed", "still-open", "no-window"):
                print("window:        %s" % ("closed by itself" if kind == "closed" else kind))
                break
            if kind == "control" and rest.startswith("1019 "):
                # The window as the user first sees it (the driver waits before it clicks).
                shot = os.path.join(opts.shots, "1-before.png")
                time.sleep(0.5)
                if screenshot(shot):
                    screenshot(os.path.join(opts.shots, "window-before.png"), "500x409+0+0")
                    print("screenshot:    %s" % os.path.relpath(shot, SOURCE_DIR))
        proc.stdout.close()
        proc.wait(30)
        run.wait(60)
        tell_checks()
        for request in requests(opts.access_log, served):
            print("server saw:    %s" % request)
        for value in ("VerTalvo", "LogOcxTalvo", "VerListTalvo", "OptionsTalvo"):
            code, out = sb.wine(["reg", "query", INSTALL_KEY, "/v", value])
            data = [l.split(None, 2)[2] for l in out.decode("cp949", "replace").splitlines()
                    if l.strip().startswith(value) and len(l.split(None, 2)) == 3]
            print("recorded:      %-13s %s" % (value, data[0].strip() if data else "(none)"))
        for rel in ("Talvo.exe", "TalvoExtra.exe", "config\\talvo.dat", "config\\serverlist.dat",
                    "config\\option.ini"):
            path = os.path.join(sb.install, *rel.split("\\"))
            print("file:          C:\\Talvo\\%-22s %s" % (rel, "%d bytes" % os.path.getsize(path)
                                                        if os.path.exists(path) else "missing"))
        print("staging:       C:\\Talvo\\Update %s" % ("left behind" if os.path.exists(os.path.join(sb.install, "Update"))
                                                     else "removed"))
        extra_log = os.path.join(sb.install, "extra-started.log")
        print("extra project: %s" % ("program started" if os.path.exists(extra_log) else "program not started"))
        try:
            e2e.wait_until(lambda: sb.client_starts() >= 1, 20, "the client")
            print("client:        started (stand-in Talvo.exe recorded its start)")
        except e2e.Failure:
            print("client:        not started")
        print("exit code:     %d" % run.process.returncode)
        return 0 if run.process.returncode == 0 and sb.client_starts() >= 1 else 1
    finally:
        sb.close()
        if xvfb:
            xvfb.terminate()


if __name__ == "__main__":
    sys.exit(main())
