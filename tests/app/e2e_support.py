#!/usr/bin/env python3
"""End to end: what support gets from a user's machine. The real TalvoUpdate.exe under Wine keeps
its log beside itself, and "/diagnostics FOLDER" writes a bundle (a zip any unzip opens) with the
logs, the journal, the set-aside and staging listings, the recorded versions and the proxy
settings without their credentials; it shows where it wrote it, and neither updates nor starts the
client.

    e2e_support.py --updater EXE --fast-updater EXE --signed-updater EXE --client EXE --helper EXE
                   --driver EXE [scenario ...]

Needs root (port 80); CTest runs it under the port80 lock.
"""

import glob
import os
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "update"))
import e2e_startup as e2e  # noqa: E402
import e2e_window as ew  # noqa: E402

check = e2e.check
PROXY_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
SECRET = "s3cret-Pw"


def scenario_diagnostics(opts):
    sb = e2e.Sandbox("diagnostics", opts.updater, opts.client, opts.helper)
    try:
        # One ordinary run first (nothing outdated), so there is a log to bundle.
        sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.41")
        sb.reg_set(e2e.INSTALL_KEY, "LogOcxTalvo", "1.0")
        sb.server.serve(e2e.document(xp="3.41", ocx="1.0", extra_project=False))
        sb.server.start()
        run = sb.run(timeout=60)
        check(run.process.returncode == 0, "first run: exit code %d" % run.process.returncode)
        sb.expect_client_starts(1)
        log = os.path.join(sb.install, "Update.log")
        check(os.path.exists(log), "no Update.log beside the updater")
        with open(log, "rb") as f:
            kept = f.read().decode("cp949", "replace")
        check("Run: TalvoUpdate " in kept and "Update check: " in kept, "the log lacks the run's lines: %r" % kept)

        # What a failed update leaves, and a proxy set up with a password.
        os.makedirs(os.path.join(sb.install, "Update", "pkg"))
        with open(os.path.join(sb.install, "Update", "pkg", "Talvo.exe"), "wb") as f:
            f.write(b"staged bytes that must not be copied")
        os.makedirs(os.path.join(sb.install, "Update.backup"))
        with open(os.path.join(sb.install, "Update.backup", "1"), "wb") as f:
            f.write(b"old")
        journal = e2e.journal_line("BEGIN", "1", "3.42", "C:\\Talvo\\Update.backup")
        with open(os.path.join(sb.install, "Update.journal"), "wb") as f:
            f.write(journal)
        sb.reg_set(PROXY_KEY, "ProxyServer", "http=kim:%s@proxy.example:3128;https=https://kim:%s@proxy.example:3129"
                   % (SECRET, SECRET))
        check(sb.wine(["reg", "add", PROXY_KEY, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "1", "/f"])[0] == 0,
              "reg add failed")
        out = os.path.join(sb.prefix, "drive_c", "support out")
        os.makedirs(out)

        run = sb.start(["/diagnostics", "C:\\support out"])
        box = sb.wait_box(1)[0]
        check(box[2].startswith("진단 정보를 다음 파일에 저장했습니다."), "the box: %r" % (box,))
        sb.press_ok(box)
        check(run.wait(30) == 0, "the diagnostics run failed")
        check(any("Diagnostics: bundle written to C:" in line and "support out" in line
                  and "TalvoUpdate-diagnostics-" in line for line in run.lines),
              "no line says where the bundle is: %s" % run.lines)
        bundles = glob.glob(os.path.join(out, "TalvoUpdate-diagnostics-*.zip"))
        check(len(bundles) == 1, "bundles written: %s" % os.listdir(out))
        check(subprocess.run(["unzip", "-tq", bundles[0]], stdout=subprocess.DEVNULL).returncode == 0,
              "unzip cannot read the bundle")
        with zipfile.ZipFile(bundles[0]) as z:
            entries = {name: z.read(name) for name in z.namelist()}
        for name in ("system.txt", "Update.log", "Update.journal", "set-aside files.txt", "staging folder.txt",
                     "recorded versions.txt", "proxy.txt"):
            check(name in entries, "the bundle lacks %s: %s" % (name, sorted(entries)))
        check(entries["Update.journal"] == journal, "the journal is not bundled as it is")
        check(entries.get("Update.lastdocument") == e2e.document(xp="3.41", ocx="1.0", extra_project=False),
              "the last document received is not bundled as it came")
        check(entries.get("Update.lastdocument.validator", b"").startswith(b"TalvoValidator 1\netag=\""),
              "the accepted document's validators are not bundled: %r" % entries.get("Update.lastdocument.validator"))
        check(b"Run: TalvoUpdate " in entries["Update.log"], "the bundled log lacks the run line")
        check(b"free on" in entries["system.txt"], "no free space in %r" % entries["system.txt"])
        check(b"pkg\\Talvo.exe\t36" in entries["staging folder.txt"], "staging listing: %r" % entries["staging folder.txt"])
        check(all(b"staged bytes" not in data for data in entries.values()), "a staged file's content was bundled")
        check(b"  1\t3" in entries["set-aside files.txt"], "set-aside listing: %r" % entries["set-aside files.txt"])
        check(b"VerTalvo = 3.41" in entries["recorded versions.txt"], "versions: %r" % entries["recorded versions.txt"])
        check(b"proxy.example:3128" in entries["proxy.txt"], "proxy: %r" % entries["proxy.txt"])
        leaked = [name for name, data in entries.items() if SECRET.encode() in data]
        check(not leaked, "the proxy password is in %s" % leaked)
        # Nothing was repaired, updated or started by the bundle's run.
        check(os.path.exists(os.path.join(sb.install, "Update.journal")), "the bundle's run touched the journal")
        sb.expect_client_starts(1)
    finally:
        sb.close()


def kept_log(sb):
    path = os.path.join(sb.install, "Update.log")
    check(os.path.exists(path), "no Update.log beside the updater")
    with open(path, "rb") as f:
        return f.read().decode("cp949", "replace")


def expect_line(sb, *parts):
    """Some line of the kept log holds every one of `parts`."""
    lines = kept_log(sb).splitlines()
    check(any(all(p in line for p in parts) for line in lines),
          "no kept line with %s in:\n%s" % (parts, "\n".join(lines[-15:])))


def scenario_causes(opts):
    """Each way a run can fail leaves a kept line naming its cause in a word support can look up."""
    # No server: the probe's failure.
    sb = e2e.Sandbox("causes-net", opts.fast_updater, opts.client, opts.helper)
    try:
        run = sb.start()
        sb.press_ok(sb.wait_box(1)[0])
        check(run.wait(60) == 0, "no server: exit code")
        expect_line(sb, "Server check: the update server", "does not answer on port 80", "[net]")
    finally:
        sb.close()

    # A document that is not the maker's: refused by the signed build.
    sb = e2e.Sandbox("causes-signature", opts.signed_updater, opts.client, opts.helper)
    try:
        sb.server.serve(e2e.document())
        sb.server.start()
        check(sb.run(timeout=60).process.returncode == 0, "tampered document: exit code")
        expect_line(sb, "Release check: document refused", "[signature]")
        sb.expect_client_starts(1)
    finally:
        sb.close()

    # A package the server does not have.
    sb = ew.WindowSandbox("causes-missing", opts, ew.document(missing="TalvoXP_341.zip"))
    try:
        run, _ = sb.open_window()
        sb.drive("find", 10000, "click-start", "watch", 120000, "ok")
        check(run.wait(60) == 0, "missing package: exit code")
        expect_line(sb, "Package 1/", "gone_TalvoXP_341.zip", "not fetched", "[server]")
        expect_line(sb, "Run end: failed at", "[server]")
    finally:
        sb.close()

    # A file held open by another program: the install step is rolled back.
    sb = ew.WindowSandbox("causes-held", opts, ew.document())
    try:
        ready = os.path.join(sb.install, "hold.ready")
        holder = subprocess.Popen([e2e.WINE_RUN, sb.helper, "hold", "C:\\Talvo\\Talvo.exe", "90", "C:\\Talvo\\hold.ready"],
                                  env=dict(sb.env, WINEDEBUG="-all"), stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        e2e.wait_until(lambda: os.path.exists(ready), 30, "the file held open")
        run, _ = sb.open_window()
        sb.drive("find", 10000, "click-start", "watch", 120000, "ok")
        check(run.wait(60) == 0, "held file: exit code")
        expect_line(sb, "Install step of component 1 failed and rolled back", "Talvo.exe", "(error ")
        expect_line(sb, "Run end: failed at", "install step rolled back", "[held]")
        holder.kill()
    finally:
        sb.close()


def scenario_unwritable(opts):
    """A log that cannot be written (its name taken by a folder, the installation folder marked
    read-only) loses its lines, never the update."""
    sb = ew.WindowSandbox("unwritable", opts, ew.document())
    try:
        os.makedirs(os.path.join(sb.install, "Update.log"))
        check(sb.wine(["attrib", "+r", "C:\\Talvo"])[0] == 0, "attrib failed")
        run, _ = sb.open_window()
        lines = sb.drive("find", 10000, "click-start", "watch", 120000, "ok")
        check(ew.events(lines, "box") == [], "boxes %s" % ew.events(lines, "box"))
        check(ew.events(lines, "status")[-1:] == [ew.DONE], "statuses %s" % ew.events(lines, "status"))
        check(run.wait(60) == 0, "exit code")
        check(sb.reg_query(e2e.INSTALL_KEY, "VerTalvo") == "3.41", "the client's version is not recorded")
        check(os.path.isdir(os.path.join(sb.install, "Update.log")), "the folder in the log's place was touched")
        check(any("Run end: " in line for line in run.lines), "the run's lines are not written elsewhere")
    finally:
        sb.close()


SCENARIOS = {"diagnostics": scenario_diagnostics, "causes": scenario_causes, "unwritable": scenario_unwritable}

if __name__ == "__main__":
    sys.exit(e2e.main(__doc__, SCENARIOS, ("--updater", "--fast-updater", "--signed-updater", "--client", "--helper",
                                           "--driver")))
