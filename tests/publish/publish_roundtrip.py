#!/usr/bin/env python3
"""Publish -> serve with nginx -> update, end to end under Wine.

    publish_roundtrip.py --publish EXE --doc EXE --fetch EXE --zip EXE --updater EXE --client EXE
                         --extra EXE --helper EXE --driver EXE

The sample release (samples/release/release.txt, with the client and extra-project stand-ins
copied into its folders) is published by talvo-publish.exe and served by nginx on 127.0.0.1:80
with tools/publish/nginx-example.conf. Then, in a sandbox of the start-up harness:
- TalvoUpdate.exe finds exactly the components the description offers outdated (all of them
  for a machine with only an old client; none for one holding the published versions), opens its
  update window for the extra project and starts the client;
- the updater's own downloader (talvo-fetch.exe) fetches the document and every package from
  nginx, its parser (talvo-doc.exe) reads the versions and jobs the description asked for, and its
  zip reader (talvo-zip.exe) unpacks each package into exactly the files of its folder.
Binds 127.0.0.1:80: run as root, never beside another port-80 test (CTest resource lock port80).
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("TALVO_SOURCE_DIR", os.path.normpath(os.path.join(HERE, "..", "..")))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "app"))
import e2e_startup as e2e  # noqa: E402

SERVE = os.path.join(SOURCE_DIR, "tools", "publish", "serve-nginx.sh")
SAMPLE = os.path.join(SOURCE_DIR, "samples", "release")
BASE = "http://127.0.0.1/talvoupdate/"

# What samples/release/release.txt asks for.
PACKAGES = {"TalvoXP_341.zip": "client", "Talvo98_341.zip": "client", "filter_105.zip": "filter",
            "serverlist_27.zip": "serverlist", "TalvoLogin_1008.zip": "login", "extra0.zip": "extra"}
EXPECTED = {
    "ProjectName": "Talvo", "Project": "탈보 정식 업데이트", "Deadline": "2030-12-31",
    "XPVersion": "3.41", "XPDownloadUrl": BASE + "TalvoXP_341.zip", "XPCompulsion": "1",
    "98Version": "3.41", "98DownloadUrl": BASE + "Talvo98_341.zip", "98Compulsion": "1",
    "DatVersion": "1.05", "DatDownloadUrl": BASE + "filter_105.zip", "DatCompulsion": "0",
    "ServerVersion": "27", "ServerDownloadUrl": BASE + "serverlist_27.zip", "ServerCompulsion": "0",
    "OcxVersion": "1.0.0.8", "OcxDownloadUrl": BASE + "TalvoLogin_1008.zip", "OcxCompulsion": "0",
    "OptionsVersion": "5", "OptionCompulsion": "0",
    "OptionSettings": ["Network\\\\MaxConnect\\\\50", "Search\\\\Filter\\\\1"],
    "NoticeUrl": BASE + "notice.txt",
    "Folder": ["CREATE=<TARGETDIR>\\config"],
    "Files": ["COPY=<TARGETDIR>,Talvo.exe", "COPY=<TARGETDIR>\\config,talvo.dat",
              "COPY=<TARGETDIR>\\config,serverlist.dat", "COPY=<WINSYSDIR>,TalvoLogin.ocx",
              "COPY=<TARGETDIR>,TalvoExtra.exe"],
    "Registry": ["ADDKEY=HKCU\\Software\\Talvo\\Skin", "ADDVAL=HKCU\\Software\\Talvo\\Skin,Path,<TARGETDIR>\\skin\\basic"],
    "EtcProjects": [{"Name": "확장 도구", "DownloadUrl": BASE + "extra0.zip", "Exe": "TalvoExtra.exe",
                     "Path": "", "Reg": "", "Compulsion": "0"}],
    "HasDownload": 1,
}


def read(path):
    with open(path, "rb") as f:
        return f.read()


def nginx_requests(log, start):
    """'GET /path STATUS' for every request nginx logged after byte `start`."""
    with open(log, "rb") as f:
        f.seek(start)
        lines = f.read().decode("utf-8", "replace").splitlines()
    out = []
    for line in lines:
        parts = line.split('"')
        if len(parts) >= 3:
            request = parts[1].split(" ")
            out.append("%s %s %s" % (request[0], request[1], parts[2].split()[0]))
    return out


def publish_release(opts, work):
    src = os.path.join(work, "src")
    shutil.copytree(SAMPLE, src)
    shutil.copy(opts.client, os.path.join(src, "files", "client", "Talvo.exe"))
    shutil.copy(opts.extra, os.path.join(src, "files", "extra", "TalvoExtra.exe"))
    www = os.path.join(work, "www")
    result = subprocess.run([e2e.WINE_RUN, opts.publish, "Z:" + os.path.join(src, "release.txt"), "Z:" + www,
                             "--base-url", BASE], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=180,
                            env=dict(os.environ, WINEDEBUG="-all"))
    e2e.check(result.returncode == 0, "talvo-publish.exe: %d %s %s" % (result.returncode, result.stdout, result.stderr))
    e2e.check(os.path.exists(os.path.join(www, "talvoupdate", "PlusInformation.php")), "no document published")
    for pages in ("app", "Banner2008"):
        shutil.copytree(os.path.join(SAMPLE, pages), os.path.join(www, pages))
    return src, www


def check_updater_runs(sb, src, access_log):
    # Only an old client recorded: every component the description offers is outdated, and the
    # update window opens for the extra project.
    sb.reg_set(e2e.INSTALL_KEY, "VerTalvo", "3.35.1")
    start = os.path.getsize(access_log)
    run = sb.start()
    # The window waits for its user: ask it to close (the compulsory client is installed first).
    sb.close_update_window()
    run.wait(120)
    e2e.check(run.process.returncode == 0, "first run: exit code %d" % run.process.returncode)
    everything = e2e.CHECK_LINE + ("program 1, login control 1, server list 1, filter data 1, options 1, "
                                   "extra projects 1")
    e2e.check(run.logged(everything), "first run: %s" % [l for l in run.lines if e2e.CHECK_LINE in l])
    e2e.check(run.logged(e2e.DIALOG_LINE), "first run: the update window did not open")
    sb.expect_client_starts(1)
    seen = nginx_requests(access_log, start)
    for request in ("GET /talvoupdate/PlusInformation.php?ver=3.35&WinOS=6.1 200", "GET /talvoupdate/notice.txt 200",
                    "GET /app/update_windowlog.asp 200"):
        e2e.check(request in seen, "nginx did not see %r: %s" % (request, seen))

    # Everything the description offers is installed: nothing is outdated, no window.
    for value, version in (("VerTalvo", "3.41"), ("LogOcxTalvo", "1.0.0.8"), ("VerListTalvo", "27"),
                           ("OptionsTalvo", "5")):
        sb.reg_set(e2e.INSTALL_KEY, value, version)
    os.makedirs(os.path.join(sb.install, "config"), exist_ok=True)
    shutil.copy(os.path.join(src, "files", "filter", "talvo.dat"), os.path.join(sb.install, "config", "talvo.dat"))
    run = sb.run(timeout=120)
    nothing = e2e.CHECK_LINE + ("program 0, login control 0, server list 0, filter data 0, options 0, "
                                "extra projects 1")
    e2e.check(run.logged(nothing), "second run: %s" % [l for l in run.lines if e2e.CHECK_LINE in l])
    e2e.check(not run.logged(e2e.DIALOG_LINE), "second run: the update window opened")
    sb.expect_client_starts(2)


def check_downloads(sb, opts, src, www):
    fetched = os.path.join(sb.prefix, "drive_c", "fetched")
    for name in ["PlusInformation.php"] + sorted(PACKAGES):
        code, out = sb.wine([opts.fetch, "--save-dir", "C:\\fetched", BASE + name], timeout=60)
        e2e.check(code == 0 and b"error=0" in out, "talvo-fetch %s: %d %r" % (name, code, out))
    document = read(os.path.join(fetched, "PlusInformation.php"))
    e2e.check(document == read(os.path.join(www, "talvoupdate", "PlusInformation.php")), "document changed in transit")

    code, out = sb.wine([opts.doc, "dump", "C:\\fetched\\PlusInformation.php"])
    e2e.check(code == 0, "talvo-doc dump: %d" % code)
    dump = json.loads(out.decode("utf-8"))
    for member, value in EXPECTED.items():
        e2e.check(dump[member] == value, "%s: the updater read %r, the description asked for %r"
                  % (member, dump[member], value))
    code, out = sb.wine([opts.doc, "lint", "C:\\fetched\\PlusInformation.php", "--release", "Z:" + www])
    e2e.check((code, out) == (0, b""), "lint of the served release: %d %s" % (code, out.decode("utf-8", "replace")))

    for name, folder in sorted(PACKAGES.items()):
        target = "C:\\unpacked\\" + name[:-4]
        os.makedirs(os.path.join(sb.prefix, "drive_c", "unpacked", name[:-4]))
        code, out = sb.wine([opts.zip, "extract", "C:\\fetched\\" + name, target])
        e2e.check(code == 0, "talvo-zip extract %s: %d %r" % (name, code, out))
        unpacked = os.path.join(sb.prefix, "drive_c", "unpacked", name[:-4])
        source = os.path.join(src, "files", folder)
        wanted = sorted(n for n in os.listdir(source) if not n.startswith("."))
        e2e.check(sorted(os.listdir(unpacked)) == wanted, "%s holds %s, its folder %s" % (name, os.listdir(unpacked), wanted))
        for entry in wanted:
            e2e.check(read(os.path.join(unpacked, entry)) == read(os.path.join(source, entry)), "%s: %s differs" % (name, entry))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for name in ("publish", "doc", "fetch", "zip", "updater", "client", "extra", "helper", "driver"):
        parser.add_argument("--" + name, required=True)
    opts = parser.parse_args()
    if shutil.which("nginx") is None:
        print("nginx is not installed: run tools/setup.sh")
        return 1
    xvfb = e2e.ensure_display()
    work = tempfile.mkdtemp(prefix="talvo-publish-roundtrip-")
    nginx = os.path.join(work, "nginx")
    sb = None
    began = time.monotonic()
    try:
        src, www = publish_release(opts, work)
        # Other checkouts on this machine may hold the port for a while.
        e2e.wait_until(lambda: not e2e.port80_open(), 300, "127.0.0.1:80 to be free")
        subprocess.run([SERVE, "start", www, nginx, "127.0.0.1:80"], check=True, timeout=60)
        sb = e2e.Sandbox("publish", opts.updater, opts.client, opts.helper, driver=opts.driver)
        check_updater_runs(sb, src, os.path.join(nginx, "access.log"))
        check_downloads(sb, opts, src, www)
        print("PASS publish-serve-update (%.1fs)" % (time.monotonic() - began))
        print("1 passed, 0 failed")
        return 0
    except e2e.Failure as failure:
        print("FAIL publish-serve-update: %s" % failure)
        print("0 passed, 1 failed")
        return 1
    finally:
        if sb:
            sb.close()
        subprocess.run([SERVE, "stop", nginx], timeout=60)
        shutil.rmtree(work, ignore_errors=True)
        if xvfb:
            xvfb.terminate()


if __name__ == "__main__":
    sys.exit(main())
