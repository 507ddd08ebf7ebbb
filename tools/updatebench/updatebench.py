#!/usr/bin/env python3
"""Update window benchmark (not a test): a release of five components and an extra project,
about 100 MB of packages, served by tools/updateserver on 127.0.0.1:80; TalvoUpdate.exe runs
under Wine and the window driver clicks start as a user would. Each round times the start click
to the window's close, and in the same prefix the floor for the same work: the same packages
fetched with a bare WinINet loop (4 KB reads), unpacked with the same zip reader and their files
copied into place, and after the login control's package regsvr32 started on it as the control's
completion step must (updatefloor.exe). The floor without that registration is run too and
reported beside it: starting a process costs Wine a good share of a core while the next package
arrives. The window's 500 ms close timer is taken out of its time.

    updatebench.py [--build build/win32] [--rounds 3] [--megabytes 100] [--signed] [--against EXE] [--idle-only]

First, an idle start: with nothing new, the updater is started twice against the same document;
the second start asks for the document only if it changed, and the bytes the server sent for it
(body, and status line with headers) are reported. --idle-only stops there.

--signed: the document is signed with the test release key and pins every package; each round
then also runs the updater built with that key (tests/app TalvoUpdateSignedTest), which checks the
signature and each package's size and SHA-256, right after the product without a key on the same
document, and the two are compared.

--against EXE: another TalvoUpdate.exe of the same kind (an earlier build, say) also runs in each
round, against the same floor, the two taking turns to go first; the machine's drift then weighs
on both alike, and the rounds' differences tell whether a change helped.

Needs root (port 80) and a built win32 tree (TalvoUpdate, talvo_windowdriver, updatefloor).
"""

import argparse
import os
import re
import statistics
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.normpath(os.path.join(HERE, "..", ".."))
CLOSE_TIMER_MS = 500
# Share of the release's bytes per package, and the file each package installs.
LOGIN_CONTROL = "TalvoLogin.ocx"
PACKAGES = [("TalvoXP.zip", "Talvo.bin", 0.4), ("TalvoLogin.zip", LOGIN_CONTROL, 0.15),
            ("filter.zip", "talvo.bin", 0.15), ("serverlist.zip", "serverlist.dat", 0.15),
            ("extra.zip", "extra.bin", 0.15)]


def sign_release(folder, document, names):
    """The document with each package pinned, a release number and the test key's signature."""
    sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "crypto"))
    import hashlib
    import releasesigning
    keys = {"XP_DOWNLOADURL": "TalvoXP.zip", "98_DOWNLOADURL": "TalvoXP.zip", "DOWN_DAT_URL": "filter.zip",
            "SERVER_DOWN_URL": "serverlist.zip", "OCX_DOWN_URL": "TalvoLogin.zip", "PRO_DOWN_URL": "extra.zip"}
    lines = []
    for line in document.decode("cp949").split("\r\n"):
        if not line:
            continue
        lines.append(line)
        key = line.split("=", 1)[0]
        if key in keys:
            with open(os.path.join(folder, keys[key]), "rb") as f:
                body = f.read()
            lines += ["%s_SIZE=%d" % (key, len(body)), "%s_SHA256=%s" % (key, hashlib.sha256(body).hexdigest())]
    lines += ["[RELEASE]", "NUMBER=1"]
    return releasesigning.signed_document(("\r\n".join(lines) + "\r\n").encode("cp949"))


def make_release(root, megabytes, signed=False):
    folder = os.path.join(root, "talvoupdate")
    os.makedirs(folder, exist_ok=True)
    total = 0
    for name, member, share in PACKAGES:
        size = int(megabytes * share * 1024 * 1024)
        # Mostly noise with some text: packages of programs compress a little.
        noise = size * 9 // 10
        data = os.urandom(noise) + (b"Talvo update benchmark line\r\n" * (size // 29 + 1))[:size - noise]
        with zipfile.ZipFile(os.path.join(folder, name), "w", compression=zipfile.ZIP_DEFLATED) as z:
            z.writestr(member, data)
        total += os.path.getsize(os.path.join(folder, name))
    url = "http://127.0.0.1/talvoupdate/"
    lines = ["[Talvo]", "PROJECT=Talvo",
             "XP_VERSION=3.41", "XP_DOWNLOADURL=%sTalvoXP.zip" % url, "XP_COMPULSION=0",
             "98_VERSION=3.41", "98_DOWNLOADURL=%sTalvoXP.zip" % url, "98_COMPULSION=0",
             "[POLICE_DATA]", "DAT_VERSION=1.05", "DOWN_DAT_URL=%sfilter.zip" % url, "DAT_COMPULSION=0",
             "[SERVER_LIST]", "SERVER_VERSION=27", "SERVER_DOWN_URL=%sserverlist.zip" % url, "SERVER_COMPULSION=0",
             "[LOGIN_OCX]", "OCX_VERSION=1.0.0.8", "OCX_DOWN_URL=%sTalvoLogin.zip" % url, "OCX_COMPULSION=0",
             "[OPTIONS]", "OPTIONS_VERSION=5", "OPTIONS_SETTING=Network\\\\MaxConnect\\\\50", "OPTION_COMPULSION=0",
             "[ETC0]", "NAME=bench", "PRO_DOWN_URL=%sextra.zip" % url, "PRO_COMPULSION=0", "ETC_END=1",
             "[FOLDER]", "CREATE=<TARGETDIR>\\config", "CREATE=<TARGETDIR>\\installed",
             "[FILES]"] + ["COPY=<TARGETDIR>\\installed,%s" % member for _, member, _ in PACKAGES] + ["[END]"]
    document = ("\r\n".join(lines) + "\r\n").encode("cp949")
    if signed:
        document = sign_release(folder, document, [name for name, _, _ in PACKAGES])
    with open(os.path.join(folder, "PlusInformation.php"), "wb") as f:
        f.write(document)
    return total, [url + name for name, _, _ in PACKAGES]


def step_times(lines):
    """Milliseconds the worker spent in each step (0 fetch, 1 extract, 2 install, 3 clean-up and
    the options entry), from its diagnostic lines."""
    marks = []
    for line in lines:
        m = re.search(r"Update step (\d) of entry \d+ at (\d+) ms", line)
        if m:
            marks.append((int(m.group(1)), int(m.group(2))))
        m = re.search(r"Update list done at (\d+) ms", line)
        if m:
            marks.append((4, int(m.group(1))))
    spent = [0, 0, 0, 0]
    for (step, at), (_, after) in zip(marks, marks[1:]):
        spent[min(step, 3)] += after - at
    return spent


def idle_start(sb, e2e):
    """Two starts with nothing new; the document's bytes sent at each as (body, headers)."""
    sb.server.serve(e2e.document(xp="3.41", ocx="1.0", extra_project=False))
    sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.41")
    sb.reg_set(e2e.INSTALL_KEY, "LogOcxTalvo", "1.0")
    for _ in range(2):
        sb.run(timeout=60)
    sent = []
    with open(sb.server.access_log) as f:
        for line in f:
            m = re.search(r" done %s sent=(\d+) headers=(\d+)" % re.escape(e2e.INFO_PATH), line)
            if m:
                sent.append((int(m.group(1)), int(m.group(2))))
    return sent[-2:]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(SOURCE_DIR, "build", "win32"))
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--megabytes", type=int, default=100)
    parser.add_argument("--signed", action="store_true")
    parser.add_argument("--against")
    parser.add_argument("--idle-only", action="store_true")
    opts = parser.parse_args()
    build = os.path.abspath(opts.build)
    os.environ.setdefault("TALVO_SOURCE_DIR", SOURCE_DIR)
    sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "app"))
    import winebuild
    winebuild.use_build(build)
    import e2e_startup as e2e

    exe = {name: os.path.join(build, path) for name, path in [
        ("updater", "app/TalvoUpdate.exe"), ("client", "tests/app/talvo_client_standin.exe"),
        ("helper", "tests/app/talvo_e2e_helper.exe"), ("driver", "tests/update/talvo_windowdriver.exe"),
        ("floor", "tools/updatebench/updatefloor.exe")]
        + ([("signed", "tests/app/TalvoUpdateSignedTest.exe")] if opts.signed else [])}
    if opts.against:
        exe["against"] = os.path.abspath(opts.against)
    for path in exe.values():
        if not os.path.exists(path):
            print("missing %s: build the Windows preset first" % path, file=sys.stderr)
            return 2

    xvfb = e2e.ensure_display()
    sb = e2e.Sandbox("updatebench", exe["updater"], exe["client"], exe["helper"])
    try:
        sb.server.start()
        starts = idle_start(sb, e2e)
        if len(starts) != 2:
            print("the idle starts asked for the document %d times, expected 2" % len(starts))
            return 1
        (first_body, first_headers), (body, headers) = starts
        print("idle start: the document (%d bytes, headers %d) at the first start; at the next, nothing new: "
              "%d body bytes and %d of status line and headers (goal: at most 1 KB)" % (
                  first_body, first_headers, body, headers))
        if opts.idle_only:
            return 0
        total, urls = make_release(sb.server.root, opts.megabytes, opts.signed)
        with open(os.path.join(sb.server.root, "talvoupdate", "PlusInformation.php"), "rb") as f:
            sb.server.serve(f.read())
        for name in ("driver", "floor"):
            with open(exe[name], "rb") as src, open(os.path.join(sb.install, name + ".exe"), "wb") as dst:
                dst.write(src.read())
        print("release: %d packages, %.1f MB on http://127.0.0.1:80; %d rounds under Wine" % (
            len(urls), total / 1048576.0, opts.rounds))
        rows = []
        signed_rows = []

        def window_run(updater):
            """Start click to close of one update by `updater`; (ms, phases, lines) or None."""
            with open(updater, "rb") as src, open(os.path.join(sb.install, "TalvoUpdate.exe"), "wb") as dst:
                dst.write(src.read())
            for value in ("VerTalvo", "LogOcxTalvo", "VerListTalvo", "OptionsTalvo"):
                sb.reg_delete(e2e.INSTALL_KEY, value)
            run = sb.start()
            code, out = sb.wine(["C:\\Talvo\\driver.exe", "find", "60000", "sleep", "1000", "click-start",
                                 "gone", "600000"], timeout=900)
            lines = out.decode("cp949", "replace").splitlines()
            clicked = [int(l.split()[1]) for l in lines if l.startswith("clicked ")]
            closed = [int(l.split()[1]) for l in lines if l.startswith("closed ")]
            run.wait(60)
            if code != 0 or not clicked or not closed:
                print("the window run failed: %s" % lines)
                return None
            return closed[0] - clicked[0], step_times(run.lines), run.lines

        def floor_run(extra):
            """The floor's figures (floor, fetch, extract, copy, register, bytes) or None."""
            code, out = sb.wine(["C:\\Talvo\\floor.exe", "C:\\Talvo\\floorwork"] + extra + urls, timeout=900)
            parts = out.decode("cp949", "replace").split()
            if code != 0 or not parts or parts[0] != "floor":
                print("the floor run failed: %s" % out)
                return None
            return dict(zip(parts[0::2], parts[1::2]))

        against_rows = []
        for round_no in range(1, opts.rounds + 1):
            other = None
            if opts.against and round_no % 2 == 0:
                other = window_run(exe["against"])
            done = window_run(exe["updater"])
            if opts.against and round_no % 2 == 1:
                other = window_run(exe["against"])
            if done is None or (opts.against and other is None):
                return 1
            window_ms, phases, _ = done
            if opts.signed:
                checked = window_run(exe["signed"])
                if checked is None:
                    return 1
                matches = sum(1 for line in checked[2] if "size and SHA-256 match" in line)
                if matches != 5:
                    print("round %d: the signed run checked %d packages, expected 5" % (round_no, matches))
                    return 1
                signed_rows.append(checked[0] - CLOSE_TIMER_MS)
                print("round %d: signed updater %d ms without the close timer (fetch %d, extract %d, install %d)" % (
                    round_no, checked[0] - CLOSE_TIMER_MS, checked[1][0], checked[1][1], checked[1][2]))
            floor = floor_run(["--register", LOGIN_CONTROL])
            files_only = floor_run([])
            if floor is None or files_only is None:
                print("round %d: the floor run failed" % round_no)
                return 1
            floor_ms = float(floor["floor"])
            floor_fetch = float(floor["fetch"])
            work_ms = window_ms - CLOSE_TIMER_MS
            rows.append({"work": work_ms, "floor": floor_ms, "fetch": phases[0], "bare": floor_fetch,
                         "floor_files": float(files_only["floor"]), "bare_files": float(files_only["fetch"])})
            print("round %d: window %d ms (%d ms without the close timer; fetch %d, extract %d, install %d, "
                  "clean-up %d); floor %.0f ms (fetch %.0f, extract %s, copy %s, registration %s); ratio %.2f, "
                  "fetch %.2f; floor without the registration %s ms (fetch %s): ratio %.2f, fetch %.2f" % (
                      round_no, window_ms, work_ms, phases[0], phases[1], phases[2], phases[3], floor_ms,
                      floor_fetch, floor["extract"], floor["copy"], floor["register"], work_ms / floor_ms,
                      phases[0] / floor_fetch, files_only["floor"], files_only["fetch"],
                      work_ms / float(files_only["floor"]), phases[0] / float(files_only["fetch"])))
            if other:
                other_ms = other[0] - CLOSE_TIMER_MS
                against_rows.append({"work": other_ms, "fetch": other[1][0]})
                print("round %d: against %d ms without the close timer (fetch %d); ratio %.2f, fetch %.2f" % (
                    round_no, other_ms, other[1][0], other_ms / floor_ms, other[1][0] / floor_fetch))
        def median(table, column):
            return statistics.median(row[column] for row in table)

        work, base, fetch, bare = (median(rows, c) for c in ("work", "floor", "fetch", "bare"))
        print("median: window %.0f ms without the close timer, floor %.0f ms, ratio %.2f (goal 1.1); "
              "fetch %.0f ms against the bare loop's %.0f ms, ratio %.2f (goal 1.05)" % (
                  work, base, work / base, fetch, bare, fetch / bare))
        base_files, bare_files = median(rows, "floor_files"), median(rows, "bare_files")
        print("median: against the floor without the registration (%.0f ms, fetch %.0f ms): ratio %.2f, "
              "fetch %.2f" % (base_files, bare_files, work / base_files, fetch / bare_files))
        if against_rows:
            other_work, other_fetch = median(against_rows, "work"), median(against_rows, "fetch")
            gain = statistics.median(o["work"] - r["work"] for o, r in zip(against_rows, rows))
            print("median: against %.0f ms, ratio %.2f, fetch ratio %.2f; this build is %.0f ms faster per round "
                  "(median of the rounds' differences)" % (other_work, other_work / base, other_fetch / bare, gain))
        if signed_rows:
            checked = statistics.median(signed_rows)
            print("median: signed release checked %.0f ms against unsigned %.0f ms: ratio %.3f (goal 1.05)" % (
                checked, work, checked / work))
        return 0
    finally:
        sb.close()
        if xvfb:
            xvfb.terminate()


if __name__ == "__main__":
    sys.exit(main())
