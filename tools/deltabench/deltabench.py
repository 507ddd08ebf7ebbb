#!/usr/bin/env python3
"""Delta benchmark (see deltabench.sh): two releases of one component, the programs of two Windows
builds plus a data file, published by the host talvo-publish; then, for the full package and for
the delta, what an updater at the old release does to get the new files:

- bytes: the package fetched;
- loopback: talvo-fetch.exe (the updater's downloader) fetching it from a local HTTP server, then
  talvo-zip.exe unpacking it; for the delta also talvo-zip.exe patching each changed file (the
  updater's applier) and copying the unchanged ones. Wine's own start-up (the same program
  refusing its arguments) is taken off every program run, as the updater runs all of it in one
  process;
- 10 Mbit/s: the same with the transfer modelled as bytes * 8 / 10^7 s;
- applying: output bytes per second of the patches, and the updater's peak memory while applying
  (the patching process's peak working set less its peak before the patch), against the largest
  patched file;
- the publisher's time to make the deltas: publishing the new release with deltas less without.
"""

import argparse
import hashlib
import http.server
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

TOP = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
RUNS = int(os.environ.get("DELTABENCH_RUNS", "3"))
DATA_NAME = "wordlist.dat"

RELEASE = """base-url http://127.0.0.1/talvoupdate/
component xp
  version    %s
  compulsory no
  files      client
  copy-to    <TARGETDIR>\\bench
component extra
  name       Extra
  files      extra
  copy-to    <TARGETDIR>
  compulsory no
"""


def find_program(build, target):
    for folder, _, names in os.walk(build):
        if "CMakeFiles" in folder or "/wine/" in folder + "/":
            continue
        if target + ".exe" in names:
            return os.path.join(folder, target + ".exe")
    return None


def data_file(changed):
    """4 MB of word-list-like text; the new release inserts a few lines in the middle and changes one."""
    rng = random.Random(32)
    words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(3, 12))) for _ in range(50000)]
    lines = ["%s\t%d\r\n" % (rng.choice(words), rng.randint(0, 99999)) for _ in range(260000)]
    if changed:
        lines[130000:130000] = ["added%d\t1\r\n" % i for i in range(20)]
        lines[200000] = "changed\t0\r\n"
    return "".join(lines).encode("ascii")[:4 << 20]


def make_release(folder, build, programs, changed):
    client = os.path.join(folder, "client")
    os.makedirs(client)
    shipped = []
    for target in programs:
        path = find_program(build, target)
        if path:
            shutil.copy(path, os.path.join(client, target + ".exe"))
            shipped.append(target)
    with open(os.path.join(client, DATA_NAME), "wb") as f:
        f.write(data_file(changed))
    # The update window opens only for a document with an extra project.
    os.makedirs(os.path.join(folder, "extra"))
    with open(os.path.join(folder, "extra", "Extra.exe"), "wb") as f:
        f.write(b"MZ extra")
    return shipped


def timed(args, **kw):
    # Output goes through a file: the Wine services a first program starts keep a pipe open.
    with tempfile.TemporaryFile() as out:
        began = time.monotonic()
        result = subprocess.run(args, stdout=out, stderr=subprocess.STDOUT, **kw)
        elapsed = time.monotonic() - began
        out.seek(0)
        text = out.read().decode(errors="replace")
    if result.returncode != 0:
        sys.exit("%s failed (%d): %s" % (" ".join(args), result.returncode, text))
    return elapsed, text


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def winpath(path):
    return "Z:" + path.replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--old", required=True)
    parser.add_argument("--new", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--tools", required=True, help="this tree's Windows build: talvo-fetch.exe, talvo-zip.exe")
    parser.add_argument("--work", required=True)
    parser.add_argument("--programs", nargs="+", required=True)
    opts = parser.parse_args()
    work = os.path.join(opts.work, "run")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    publish = os.path.join(opts.host, "tools", "publish", "talvo-publish")

    # The two releases, published in turn; the second also once more without deltas for the time.
    maker = os.path.join(work, "maker")
    key = os.path.join(maker, "release.pem")
    os.makedirs(maker)
    timed([publish, "keygen", key])
    shipped_old = make_release(os.path.join(maker, "old"), opts.old, opts.programs, False)
    shipped = make_release(os.path.join(maker, "new"), opts.new, opts.programs, True)
    www = os.path.join(work, "www")
    for side, version in (("old", "1.0"), ("new", "1.1")):
        with open(os.path.join(maker, side, "release.txt"), "w") as f:
            f.write(RELEASE % version)
    timed([publish, os.path.join(maker, "old", "release.txt"), www, "--sign-key", key])
    shutil.copytree(www, www + "-nodelta")
    shutil.copytree(www + ".archive", www + "-nodelta.archive")
    with_deltas, out = timed([publish, os.path.join(maker, "new", "release.txt"), www, "--sign-key", key])
    without, _ = timed([publish, os.path.join(maker, "new", "release.txt"), www + "-nodelta", "--sign-key", key,
                        "--deltas", "0"])
    served = os.path.join(www, "talvoupdate")
    full_name, delta_name = "TalvoXP_11.zip", "TalvoXP_11_from_TalvoXP_10.zip"
    if not os.path.exists(os.path.join(served, delta_name)):
        sys.exit("no delta was offered:\n" + out)
    full_bytes = os.path.getsize(os.path.join(served, full_name))
    delta_bytes = os.path.getsize(os.path.join(served, delta_name))

    # The old installation, as the updater at release 1.0 has it.
    installed = os.path.join(maker, "old", "client")
    with zipfile.ZipFile(os.path.join(served, delta_name)) as z:
        patched = z.namelist()
    unchanged = [n for n in os.listdir(os.path.join(maker, "new", "client")) if n not in patched]

    # Wine: one clone of the template prefix with a running wineserver, as zipbench does.
    zip_exe = find_program(opts.tools, "talvo-zip")
    fetch_exe = find_program(opts.tools, "talvo-fetch")
    template = os.environ.get("TALVO_WINE_TEMPLATE", os.path.join(opts.tools, "wine", "template"))
    env = dict(os.environ)
    clone = subprocess.run([os.path.join(TOP, "tools", "wine-clone.sh"), template], capture_output=True, env=env,
                           check=True).stdout.decode().strip()
    env.update(TALVO_WINE_PREFIX=clone, WINEPREFIX=clone)
    subprocess.Popen(["wineserver", "-p"], env=env).wait()
    wine = lambda *args: timed([os.path.join(TOP, "tools", "wine-run.sh")] + list(args), env=env)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), lambda *a: Quiet(*a, directory=www))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = "http://127.0.0.1:%d/talvoupdate/" % server.server_address[1]
    try:
        def wine_start():
            began = time.monotonic()
            subprocess.run([os.path.join(TOP, "tools", "wine-run.sh"), zip_exe], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            return time.monotonic() - began

        # The quickest of several: a program run is never quicker than Wine's start.
        start = min(wine_start() for _ in range(5))

        def full_run(folder):
            os.makedirs(os.path.join(folder, "files"))
            fetched, _ = wine(fetch_exe, "--save-dir", winpath(folder + "/"), url + full_name)
            unpacked, _ = wine(zip_exe, "extract", winpath(os.path.join(folder, full_name)), winpath(folder + "/files"))
            return fetched - start, unpacked - start

        def delta_run(folder):
            os.makedirs(os.path.join(folder, "d"))
            fetched, _ = wine(fetch_exe, "--save-dir", winpath(folder + "/"), url + delta_name)
            unpacked, _ = wine(zip_exe, "extract", winpath(os.path.join(folder, delta_name)), winpath(folder + "/d"))
            applying, peaks, made = 0.0, [], 0
            os.makedirs(os.path.join(folder, "files"), exist_ok=True)
            for name in patched:
                _, line = wine(zip_exe, "patch", winpath(os.path.join(installed, name)), winpath(os.path.join(folder, "d", name)),
                               winpath(os.path.join(folder, "files", name)))
                fields = dict(f.split("=") for f in line.split())
                applying += float(fields["seconds"])
                made += int(fields["bytes"])
                peaks.append((int(fields["peak_after"]) - int(fields["peak_before"]), name))
            began = time.monotonic()
            for name in unchanged:
                shutil.copy(os.path.join(installed, name), os.path.join(folder, "files", name))
            copying = time.monotonic() - began
            return fetched - start, unpacked - start + copying, applying, made, max(peaks)

        fulls, deltas = [], []
        for i in range(RUNS):
            folder = os.path.join(work, "full%d" % i)
            os.makedirs(folder)
            fulls.append(full_run(folder))
            folder = os.path.join(work, "delta%d" % i)
            os.makedirs(folder)
            deltas.append(delta_run(folder))
            for name in os.listdir(os.path.join(maker, "new", "client")):
                with open(os.path.join(maker, "new", "client", name), "rb") as a, \
                        open(os.path.join(folder, "files", name), "rb") as b:
                    if hashlib.sha256(a.read()).digest() != hashlib.sha256(b.read()).digest():
                        sys.exit("the delta did not rebuild %s" % name)
    finally:
        server.shutdown()
        subprocess.run(["wineserver", "-k"], env=env)
        shutil.rmtree(clone, ignore_errors=True)

    med = lambda rows, i: statistics.median(r[i] for r in rows)
    full_fetch, full_local = med(fulls, 0), med(fulls, 1)
    d_fetch, d_local, d_apply = med(deltas, 0), med(deltas, 1), med(deltas, 2)
    made = deltas[0][3]
    peak, peak_name = max(d[4] for d in deltas)
    largest = max(os.path.getsize(os.path.join(maker, "new", "client", n)) for n in patched)
    model = lambda size: size * 8 / 1e7
    print("release: %d programs of %s and %s (%d in both) + %s (4 MB, lines inserted and changed)"
          % (len(shipped), opts.old, opts.new, len(set(shipped) & set(shipped_old)), DATA_NAME))
    print("delta: %d of %d files patched, %d unchanged (not in the delta)" % (len(patched), len(shipped) + 1, len(unchanged)))
    print()
    print("| | full package | delta |")
    print("|---|---|---|")
    print("| bytes transferred | %d | %d (%.1f %%) |" % (full_bytes, delta_bytes, 100.0 * delta_bytes / full_bytes))
    print("| loopback: fetch + unpack (+ patch) | %.2f s | %.2f s |" % (full_fetch + full_local, d_fetch + d_local + d_apply))
    print("| modelled at 10 Mbit/s | %.2f s | %.2f s |" % (model(full_bytes) + full_local, model(delta_bytes) + d_local + d_apply))
    print("| applying | - | %.1f MB/s (%d bytes made in %.3f s) |" % (made / d_apply / 1e6, made, d_apply))
    print("| updater's peak memory while applying | - | +%.1f MB (%s; largest patched file %.1f MB) |"
          % (peak / 1e6, peak_name, largest / 1e6))
    print("| publisher | %.2f s | %.2f s more to make the delta |" % (without, with_deltas - without))
    print()
    print("Wine start-up taken off each program run: %.2f s (the quickest of 5); medians of %d runs; full: fetch %.2f s,"
          " unpack %.2f s; delta: fetch %.2f s, unpack and copy %.2f s, patch %.2f s"
          % (start, RUNS, full_fetch, full_local, d_fetch, d_local, d_apply))


if __name__ == "__main__":
    main()
