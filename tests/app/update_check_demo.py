#!/usr/bin/env python3
"""One real update check, told step by step: a web server on 127.0.0.1:80 serves an update
information document, TalvoUpdate.exe runs under Wine in a sandbox installation folder beside a
stand-in Talvo.exe, and this script says what happened.

    update_check_demo.py --build build/win32 [--document samples/documents/sample.txt]
                         [--installed 3.35.1] [--background]
    update_check_demo.py --build build/win32 --access-log FILE [--installed 3.35.1] [--background]

By default tools/updateserver is started on port 80 to serve the document. With --access-log a
server that already listens there (nginx serving a published release) answers instead, and the
requests are read from its access log.

Needs root (port 80) and a built Windows tree (TalvoUpdate, talvo_client_standin, talvo_e2e_helper).
"""

import argparse
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.normpath(os.path.join(HERE, "..", ".."))


def debug_text(lines, prefix):
    """The text of the first diagnostic line starting with `prefix`, from Wine's debug channel."""
    for line in lines:
        match = re.search(r'OutputDebugStringA "(%s[^"]*?)(\\n)?"' % re.escape(prefix), line)
        if match:
            return match.group(1)
    return None


def access_log_requests(path, start):
    """Method and target of each request logged after byte `start`, with its status."""
    with open(path, "rb") as f:
        f.seek(start)
        lines = f.read().decode("utf-8", "replace").splitlines()
    found = []
    for line in lines:
        match = re.search(r'"(\w+) (\S+) HTTP/[\d.]+" (\d+)', line)
        if match:
            found.append("%s %s (%s)" % match.groups())
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(SOURCE_DIR, "build", "win32"))
    parser.add_argument("--release", default=os.path.join(SOURCE_DIR, "samples", "release"),
                        help="release folder served as it is (notice, banner, log page)")
    parser.add_argument("--packages", help="folder of generated packages, served beside the release")
    parser.add_argument("--document", help="information document to serve instead of the release's own")
    parser.add_argument("--installed", default="3.35.1", help="main program version recorded before the run")
    parser.add_argument("--background", action="store_true", help="run as the client's background check")
    parser.add_argument("--access-log", help="a server already listens on port 80; its access log (nginx format)")
    opts = parser.parse_args()

    build = os.path.abspath(opts.build)
    os.environ.setdefault("TALVO_WINE_TEMPLATE", os.path.join(build, "wine", "template"))
    os.environ.setdefault("TALVO_SOURCE_DIR", SOURCE_DIR)
    sys.path.insert(0, HERE)
    import e2e_startup as e2e

    updater = os.path.join(build, "app", "TalvoUpdate.exe")
    client = os.path.join(build, "tests", "app", "talvo_client_standin.exe")
    helper = os.path.join(build, "tests", "app", "talvo_e2e_helper.exe")
    for path in (updater, client, helper):
        if not os.path.exists(path):
            print("missing %s: build the win32 preset first" % path, file=sys.stderr)
            return 2

    xvfb = e2e.ensure_display()
    document = opts.document or os.path.join(opts.release, "talvoupdate", "PlusInformation.php")
    roots = [opts.release] + ([opts.packages] if opts.packages else [])
    sandbox = e2e.Sandbox("demo", updater, client, helper, extra_roots=roots)
    served = 0
    try:
        if opts.access_log:
            served = os.path.getsize(opts.access_log)
            print("update server: http://127.0.0.1:80 (already listening; requests from %s)" % opts.access_log)
        else:
            with open(document, "rb") as f:
                sandbox.server.serve(f.read())
            sandbox.server.start()
            print("update server: http://127.0.0.1:80 serving %s" % os.path.relpath(document, SOURCE_DIR))
        if opts.installed:
            sandbox.reg_set(e2e.INSTALL_KEY, "VerTalvo", opts.installed)
            print("installed:     main program %s recorded (HKCU\\Software\\Talvo\\Install VerTalvo)" % opts.installed)
        else:
            print("installed:     nothing recorded")
        args = ["/background"] if opts.background else []
        print("running:       C:\\Talvo\\TalvoUpdate.exe %s (Wine, sandbox %s)" % (" ".join(args), sandbox.install))
        run = sandbox.run(args, timeout=300)
        for request in (access_log_requests(opts.access_log, served) if opts.access_log
                        else sandbox.server.requests()):
            print("server saw:    %s" % request)
        check = debug_text(run.lines, "Update check: ")
        if check:
            print("outdated:      %s (1 = outdated)" % check[len("Update check: "):])
        else:
            print("outdated:      not compared (no usable document)")
        print("update dialog: %s" % ("run" if debug_text(run.lines, "Update dialog run") else "not shown"))
        try:
            e2e.wait_until(lambda: sandbox.client_starts() >= 1, 20, "the client")
            print("client:        started (stand-in Talvo.exe recorded its start)")
        except e2e.Failure:
            print("client:        not started")
        print("exit code:     %d" % run.process.returncode)
        return 0 if run.process.returncode == 0 and sandbox.client_starts() >= 1 else 1
    finally:
        sandbox.close()
        if xvfb:
            xvfb.terminate()


if __name__ == "__main__":
    sys.exit(main())
