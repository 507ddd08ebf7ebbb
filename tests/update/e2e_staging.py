#!/usr/bin/env python3
"""End to end: what a run stages, what a package body may cost, and how a failed run ends, through
the update window of the real TalvoUpdate.exe under Wine against tools/updateserver.

- stale: a run cut off inside one component's installation step (the test build ends itself there,
  as a power cut would) leaves that package's files staged. The next start empties the staging
  folder after its repair, and a later run of another component installs nothing of them.
- bodies: a package body without end, one whose Content-Length is not the pinned size, one that
  grows past the bound of an unpinned build and one that trickles in: each ends as a package the
  server does not have, in bounded time, with nothing of it left on disk.
- resume: a package body cut off half-way is continued (Range, If-Range) and installed; one whose
  file changed meanwhile, or that is cut every time, is a missing package, never two files glued.
- acrossruns: the updater killed half-way through a package; the next start continues it from the
  record kept in Update.partial (the server sees the range) and installs it.
- thrown: a run that fails unexpectedly (out of memory in the middle of an installation step) ends
  as a failed run: the box, the failed status, the staging folder gone, nothing recorded.

    e2e_staging.py --updater EXE --fast-updater EXE --signed-updater EXE --client EXE --helper EXE
                   --driver EXE [SCENARIO ...]

Needs root (port 80); CTest runs it under the port80 lock.
"""

import argparse
import json
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "app"))
sys.path.insert(0, HERE)
import e2e_startup as e2e  # noqa: E402
import e2e_window as ew  # noqa: E402
import e2e_packages as ep  # noqa: E402

check = e2e.check
ENDED = 77
ROWS = 5  # client, login control, filter data, server list, options (the extra project is installed)


def with_updater(opts, updater):
    chosen = argparse.Namespace(**vars(opts))
    chosen.updater = updater
    return chosen


class StagingSandbox(ew.WindowSandbox):
    def __init__(self, name, opts, updater, doc=None, env=None):
        super().__init__(name, with_updater(opts, updater), doc if doc is not None else ew.document())
        # The fast updater's short document time-out is for the retry tests; this machine may be busy.
        self.env.update({"TALVO_TEST_TIMINGS": "200,500,20000,20000,200"}, **(env or {}))
        # The extra project counts as installed: the five rows are all the window offers.
        self.wine(["reg", "add", ew.EXTRA_KEY, "/f"])

    def start_with(self, env):
        saved = self.env
        self.env = dict(self.env, **env)
        try:
            return self.start()
        finally:
            self.env = saved

    def run_only(self, row, *watch):
        """Deselects every row but `row`, starts, and watches the run."""
        steps = ["find", 60000]
        for other in range(ROWS):
            if other != row:
                steps += ["click-row", other, "sleep", 700]
        return self.drive(*(steps + ["click-start", "watch"] + list(watch)), timeout=240)

    def staged(self):
        folder = self.path("Update")
        found = []
        for top, _, files in os.walk(folder):
            found += [os.path.relpath(os.path.join(top, f), folder) for f in files]
        return sorted(found) if os.path.exists(folder) else None


def scenario_stale(opts):
    """A cut inside one component's step, then a run of another component only: the files the cut
    left staged are gone at the next start and never installed."""
    cases = (
        # cut in this row's step, staged file, then run this row, file that must not appear
        ("server list, then client", 3, "serverlist.dat", 0, ("config", "serverlist.dat")),
        ("filter data, then server list", 2, "talvo.dat", 3, ("config", "talvo.dat")),
    )
    for what, cut_row, staged_name, next_row, stale_target in cases:
        sb = StagingSandbox("stale", opts, opts.fast_updater)
        try:
            run = sb.start_with({"TALVO_TEST_END_AT_INSTALL_POINT": "3"})
            sb.run_only(cut_row, 120000)
            check(run.wait(60) == ENDED, "%s: the run was not cut off" % what)
            staged = sb.staged() or []
            check(any(os.path.basename(f) == staged_name for f in staged),
                  "%s: the cut left %s staged, expected %s" % (what, staged, staged_name))

            run = sb.start()
            sb.drive("find", 60000)
            check(run.logged("Install repair: "), "%s: no repair line" % what)
            check(sb.staged() is None, "%s: staging folder after the start: %s" % (what, sb.staged()))
            lines = sb.run_only(next_row, 120000)
            check(ew.events(lines, "box") == [], "%s: boxes %s" % (what, ew.events(lines, "box")))
            check(ew.events(lines, "status")[-1:] == [ew.DONE], "%s: statuses %s" % (what, ew.events(lines, "status")))
            check(run.wait(60) == 0, "%s: exit code" % what)
            check(not os.path.exists(sb.path(*stale_target)),
                  "%s: %s installed from what the cut run left" % (what, "\\".join(stale_target)))
            check(sb.staged() is None, "%s: staging folder left: %s" % (what, sb.staged()))
        finally:
            sb.close()


PACE = {"TALVO_TEST_DOWNLOAD_LIMITS": "3000,2048,100000"}  # window ms, bytes per window, unpinned bytes


def scenario_bodies(opts):
    """Bodies that would never end, or not as pinned: each is a missing package, soon."""
    signed, fast = opts.signed_updater, opts.fast_updater
    cases = (
        # what, updater, fault on the server list's package, line the updater logs
        ("endless pinned", signed, {"endless": True}, "longer than its pinned size"),
        ("length not pinned", signed, {"length": "pinned-1"}, "Content-Length"),
        ("endless unpinned", fast, {"endless": True}, "longer than"),
        ("trickle", fast, {"drip": {"bytes": 1, "interval": 0.5}}, "too slowly"),
    )
    package = "serverlist_27.zip"
    for what, updater, fault, line in cases:
        sb = StagingSandbox("bodies", opts, updater, doc=b"" if updater == signed else None, env=PACE)
        try:
            if updater == signed:
                sb.server.serve(ep.pinned_document(sb.server.root))
            if fault.get("length") == "pinned-1":
                fault = {"length": os.path.getsize(os.path.join(sb.server.root, "talvoupdate", package)) - 1}
            with open(sb.server.faults, "w") as f:
                json.dump({"/talvoupdate/" + package: fault}, f)
            run, window = sb.open_window()
            began = time.monotonic()
            lines = sb.run_only(3, 30000, "ok")
            took = time.monotonic() - began
            check(ew.events(lines, "box") and ew.events(lines, "box")[0].startswith(ew.MISSING),
                  "%s: boxes %s after %.0fs" % (what, ew.events(lines, "box"), took))
            check(any(l.startswith("closed ") for l in lines), "%s: the window stayed open" % what)
            statuses = ew.events(lines, "status")
            check(ew.DONE not in statuses and ew.FAILED in statuses, "%s: statuses %s" % (what, statuses))
            check(run.wait(60) == 0, "%s: exit code" % what)
            check(run.logged(line), "%s: no line with %r" % (what, line))
            check(sb.staged() is None, "%s: left on disk: %s" % (what, sb.staged()))
            check(sb.reg_query(e2e.INSTALL_KEY, "VerListTalvo") is None, "%s: server list recorded" % what)
            sb.expect_client_starts(1)
        finally:
            sb.close()


def scenario_thrown(opts):
    """Out of memory in the middle of the client's installation step: the step is undone, and the
    run ends as a failed one, not as a completed one."""
    sb = StagingSandbox("thrown", opts, opts.fast_updater)
    try:
        run = sb.start_with({"TALVO_TEST_THROW_AT_INSTALL_POINT": "3"})
        lines = sb.run_only(0, 120000, "ok")
        check(ew.events(lines, "box") == [ew.MISSING + "\\n\\n" + ew.ROW_LABELS[0]], "boxes %s" % ew.events(lines, "box"))
        statuses = ew.events(lines, "status")
        check(ew.DONE not in statuses and ew.FAILED in statuses, "statuses %s" % statuses)
        check(any(l.startswith("closed ") for l in lines), "the window stayed open")
        check(run.wait(60) == 0, "exit code")
        check(sb.reg_query(e2e.INSTALL_KEY, "VerTalvo") == "3.35.1", "client version recorded")
        check(not sb.read("Talvo.exe").endswith(ew.CLIENT_MARK), "Talvo.exe replaced")
        check(sb.staged() is None, "staging folder left: %s" % sb.staged())
        check(not os.path.exists(sb.path("Update.journal")), "journal left")
        sb.expect_client_starts(1)
    finally:
        sb.close()


def scenario_resume(opts):
    """A package body cut off half-way: continued from its first missing byte when the server
    proves it is the same file, and installed; a file that changed meanwhile is fetched whole and
    refused by its pin, never glued to the first half; a body cut every time is a missing package."""
    package = "serverlist_27.zip"
    for what, installed, make_fault, asked in (
            ("cut once", True, lambda half: {"validator": "both", "sequence": [{"truncate": half}, {}]}, True),
            ("changed meanwhile", False,
             lambda half: {"validator": "both", "sequence": [{"truncate": half}, {"version": 1}]}, True),
            ("cut every time", False, lambda half: {"validator": "both", "truncate": 10}, True)):
        sb = StagingSandbox("resume", opts, opts.signed_updater, doc=b"")
        try:
            sb.server.serve(ep.pinned_document(sb.server.root))
            size = os.path.getsize(os.path.join(sb.server.root, "talvoupdate", package))
            half = size // 2
            with open(sb.server.faults, "w") as f:
                json.dump({"/talvoupdate/" + package: make_fault(half)}, f)
            run, window = sb.open_window()
            lines = sb.run_only(3, 60000, *([] if installed else ["ok"]))
            boxes, statuses = ew.events(lines, "box"), ew.events(lines, "status")
            with open(sb.server.access_log, encoding="utf-8", errors="replace") as f:
                requests = [l for l in f if "request GET /talvoupdate/" + package in l]
            check(any(" range=bytes=" in l and "if-range=" in l for l in requests) == asked,
                  "%s: ranges asked: %s" % (what, requests))
            if installed:
                check(boxes == [], "%s: boxes %s" % (what, boxes))
                check(statuses[-1:] == [ew.DONE], "%s: statuses %s" % (what, statuses))
                check(any("range=bytes=%d-" % half in l for l in requests), "%s: requests %s" % (what, requests))
                check(sb.reg_query(e2e.INSTALL_KEY, "VerListTalvo") == "27", "%s: server list not recorded" % what)
            else:
                check(boxes and boxes[0].startswith(ew.MISSING), "%s: boxes %s" % (what, boxes))
                check(ew.DONE not in statuses and ew.FAILED in statuses, "%s: statuses %s" % (what, statuses))
                check(sb.reg_query(e2e.INSTALL_KEY, "VerListTalvo") is None, "%s: server list recorded" % what)
            code = run.wait(60)
            check(code == 0, "%s: exit code %s" % (what, code))
            if what == "cut once":
                check(any(package + ":" in l and ", resumed 1 time after a break (%d bytes received)" % size in l
                          for l in run.lines),
                      "%s: no package line says it resumed: %s" % (what, [l for l in run.lines if "Package " in l]))
            check(sb.staged() is None, "%s: left on disk: %s" % (what, sb.staged()))
        finally:
            sb.close()


def access_text(sb):
    if not os.path.exists(sb.server.access_log):
        return ""
    with open(sb.server.access_log, encoding="utf-8", errors="replace") as f:
        return f.read()


def scenario_acrossruns(opts):
    """The updater killed in the middle of the client's package (as a power cut would end it): the
    next start continues the body from its record (the server sees the range asked for) and
    installs it; a partial of a package no longer offered is removed."""
    package = "TalvoXP_341.zip"
    sb = StagingSandbox("acrossruns", opts, opts.signed_updater, doc=b"")
    try:
        # A large client (incompressible bytes before its mark), so the record is brought up to
        # date (every MiB) before the cut.
        with open(opts.client, "rb") as f:
            client = f.read() + os.urandom(3 << 20) + ew.CLIENT_MARK
        with open(os.path.join(sb.server.root, "talvoupdate", package), "wb") as f:
            f.write(ew.zip_bytes([("Talvo.exe", client)]))
        sb.server.serve(ep.pinned_document(sb.server.root))
        size = os.path.getsize(os.path.join(sb.server.root, "talvoupdate", package))
        half = size // 2
        with open(sb.server.faults, "w") as f:
            json.dump({"/talvoupdate/" + package: {"validator": "both", "sequence": [
                {"stall": {"after": half, "seconds": 120}}, {}]}}, f)
        run, window = sb.open_window()
        steps = ["find", 60000]
        for other in range(1, ROWS):
            steps += ["click-row", other, "sleep", 700]
        sb.drive(*(steps + ["click-start"]))
        e2e.wait_until(lambda: "stalled /talvoupdate/" + package in access_text(sb), 60, "the cut")
        time.sleep(2)
        sb.wine(["taskkill", "/f", "/im", "TalvoUpdate.exe"])
        run.wait(30)
        kept = sorted(os.listdir(sb.path("Update.partial")))
        check([name.rsplit(".", 1)[1] for name in kept] == ["part", "record"], "kept: %s" % kept)
        with open(sb.path("Update.partial", [n for n in kept if n.endswith(".record")][0]), encoding="utf-8") as f:
            record = f.read()
        recorded = int(record.split("\nbytes=", 1)[1].split("\n", 1)[0]) if "\nbytes=" in record else -1
        check(half - (1 << 20) - 4096 <= recorded <= half, "the record says %d bytes, cut at %d: %r" % (recorded, half, record))
        stray = sb.path("Update.partial", "0" * 64 + ".part")
        with open(stray, "wb") as f:
            f.write(b"a package no longer offered")

        run, window = sb.open_window()
        lines = sb.run_only(0, 120000)
        check(ew.events(lines, "box") == [], "boxes %s" % ew.events(lines, "box"))
        check(ew.events(lines, "status")[-1:] == [ew.DONE], "statuses %s" % ew.events(lines, "status"))
        code = run.wait(60)
        check(code == 0, "exit code %s" % code)
        requests = [l for l in access_text(sb).splitlines() if "request GET /talvoupdate/" + package in l]
        check(len(requests) == 2, "requests %s" % requests)
        asked = requests[1].split(" range=bytes=", 1)[1].split("-", 1)[0] if " range=bytes=" in requests[1] else ""
        check(asked == str(recorded), "the second run asked %r, recorded %d: %s\n%s" % (
            asked, recorded, requests[1], "".join(l for l in run.lines if "partial" in l or "record" in l)))
        check(sb.reg_query(e2e.INSTALL_KEY, "VerTalvo") == "3.41", "client version %s" % sb.reg_query(e2e.INSTALL_KEY, "VerTalvo"))
        check(sb.read("Talvo.exe").endswith(ew.CLIENT_MARK), "Talvo.exe not replaced")
        check(os.listdir(sb.path("Update.partial")) == [], "left kept: %s" % os.listdir(sb.path("Update.partial")))
        check(any(package + ":" in l and ", full package, resumed from byte %d kept on disk (%d bytes received)"
                  % (recorded, size - recorded) in l for l in run.lines),
              "no package line says where it resumed: %s" % [l for l in run.lines if "Package " in l])
    finally:
        sb.close()


SCENARIOS = {"stale": scenario_stale, "bodies": scenario_bodies, "thrown": scenario_thrown, "resume": scenario_resume,
             "acrossruns": scenario_acrossruns}


if __name__ == "__main__":
    sys.exit(e2e.main(__doc__, SCENARIOS,
                      ("--updater", "--fast-updater", "--signed-updater", "--client", "--helper", "--driver")))
