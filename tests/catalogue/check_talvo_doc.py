#!/usr/bin/env python3
"""End-to-end check of talvo-doc: every talvodoc/NAME.json is the expected dump of NAME.txt (next to
it, or else in the samples folder), and unreadable files and bad command lines exit with status 2.

    check_talvo_doc.py TALVO_DOC CASES_DIR SAMPLES_DIR

An expected file lists only the members that are not empty; the rest must be "", [] or 0.
"""
import json
import os
import subprocess
import sys
import tempfile

TEXT_MEMBERS = {
    "ProjectName", "Project", "Deadline", "XPVersion", "XPDownloadUrl", "XPCompulsion",
    "98Version", "98DownloadUrl", "98Compulsion", "DatVersion", "DatDownloadUrl", "DatCompulsion",
    "ServerVersion", "ServerDownloadUrl", "ServerCompulsion", "OcxVersion", "OcxDownloadUrl",
    "OcxCompulsion", "OptionsVersion", "OptionCompulsion", "NoticeUrl",
}
MEMBERS = [
    "ProjectName", "Project", "Deadline", "Debug", "XPVersion", "XPDownloadUrl", "XPCompulsion",
    "98Version", "98DownloadUrl", "98Compulsion", "DatVersion", "DatDownloadUrl", "DatCompulsion",
    "ServerVersion", "ServerDownloadUrl", "ServerCompulsion", "OcxVersion", "OcxDownloadUrl",
    "OcxCompulsion", "OptionsVersion", "OptionCompulsion", "OptionSettings", "NoticeUrl", "Folder",
    "Files", "Registry", "EtcProjects", "HasDownload",
]
ETC_MEMBERS = ["Name", "DownloadUrl", "Exe", "Path", "Reg", "Compulsion"]

failures = []


def fail(case, message):
    failures.append(f"{case}: {message}")


def default(member):
    if member in TEXT_MEMBERS:
        return ""
    if member in ("Debug", "HasDownload"):
        return 0
    return []


def run(tool, *args):
    return subprocess.run([tool, *args], capture_output=True, timeout=60)


def check_shape(case, pairs):
    names = [name for name, _ in pairs]
    if names != MEMBERS:
        fail(case, f"members {names} instead of {MEMBERS}")
        return False
    values = dict(pairs)
    for member in ("Debug", "HasDownload"):
        if type(values[member]) is not int or values[member] not in (0, 1):
            fail(case, f"{member} is {values[member]!r}, not the number 0 or 1")
    for member in MEMBERS:
        value = values[member]
        if member in TEXT_MEMBERS and not isinstance(value, str):
            fail(case, f"{member} is not a string")
        if member in ("OptionSettings", "Folder", "Files", "Registry"):
            if not isinstance(value, list) or not all(isinstance(v, str) for v in value):
                fail(case, f"{member} is not an array of strings")
    for i, project in enumerate(values["EtcProjects"]):
        if not isinstance(project, list) or [name for name, _ in project] != ETC_MEMBERS:
            fail(case, f"EtcProjects[{i}] members are not {ETC_MEMBERS}")
        elif not all(isinstance(v, str) for _, v in project):
            fail(case, f"EtcProjects[{i}] has a member that is not a string")
    return True


def to_plain(value):
    if isinstance(value, list) and value and all(isinstance(p, tuple) and len(p) == 2 for p in value):
        return {k: to_plain(v) for k, v in value}
    if isinstance(value, list):
        return [to_plain(v) for v in value]
    return value


def check_dump(tool, case, document, expected_path):
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    unknown = set(expected) - set(MEMBERS)
    if unknown:
        fail(case, f"expected file names unknown members {sorted(unknown)}")
    expected = {m: expected.get(m, default(m)) for m in MEMBERS}

    result = run(tool, "dump", document)
    if result.returncode != 0:
        fail(case, f"exit status {result.returncode}, stderr {result.stderr!r}")
        return
    if result.stderr:
        fail(case, f"unexpected stderr {result.stderr!r}")
    try:
        text = result.stdout.decode("utf-8", errors="strict")
    except UnicodeDecodeError as e:
        fail(case, f"output is not UTF-8: {e}")
        return
    try:
        # strict=True refuses raw control characters inside strings.
        pairs = json.loads(text, object_pairs_hook=lambda p: list(p), strict=True)
    except json.JSONDecodeError as e:
        fail(case, f"output is not one JSON object: {e}\n{text}")
        return
    if not isinstance(pairs, list) or not check_shape(case, pairs):
        return
    actual = to_plain(pairs)
    actual["EtcProjects"] = [dict(p) for p in dict(pairs)["EtcProjects"]]
    for member in MEMBERS:
        if actual[member] != expected[member]:
            fail(case, f"{member}: got {actual[member]!r}, expected {expected[member]!r}")


def check_errors(tool, cases_dir):
    with tempfile.TemporaryDirectory() as scratch:
        missing = os.path.join(scratch, "no-such-document.txt")
        result = run(tool, "dump", missing)
        if result.returncode != 2 or result.stdout or missing.encode() not in result.stderr:
            fail("missing file", f"status {result.returncode}, stdout {result.stdout!r}, stderr {result.stderr!r}")

        result = run(tool, "dump", scratch)
        if result.returncode != 2 or result.stdout or not result.stderr:
            fail("folder instead of a file", f"status {result.returncode}, stderr {result.stderr!r}")

    document = os.path.join(cases_dir, "empty.txt")
    for args in ([], ["dump"], ["show", document], ["dump", document, "extra"], ["DUMP", document]):
        result = run(tool, *args)
        if result.returncode != 2 or result.stdout or b"usage: talvo-doc dump FILE" not in result.stderr:
            fail(f"command line {args}", f"status {result.returncode}, stderr {result.stderr!r}")

    result = run(tool, "--help")
    if result.returncode != 0 or b"usage: talvo-doc dump FILE" not in result.stdout:
        fail("--help", f"status {result.returncode}, stdout {result.stdout!r}")


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    tool, cases_dir, samples_dir = sys.argv[1:]
    cases = sorted(name[:-5] for name in os.listdir(cases_dir) if name.endswith(".json"))
    if not cases:
        print(f"no expected dumps in {cases_dir}", file=sys.stderr)
        return 1
    for case in cases:
        document = os.path.join(cases_dir, case + ".txt")
        if not os.path.exists(document):
            document = os.path.join(samples_dir, case + ".txt")
        check_dump(tool, case, document, os.path.join(cases_dir, case + ".json"))
    check_errors(tool, cases_dir)

    for failure in failures:
        print("FAIL", failure)
    print(f"{len(cases)} documents, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
