#!/usr/bin/env python3
"""talvo-doc against a second, independent reading of update information documents: a small model
of the line, key, value, job and extra-project rules written here in Python, with Python's cp949
codec (errors="replace") for the texts. Documents are generated from a fixed seed, built from the
pieces that steer the parser (brackets, "=", ";", quotes, "//", "<meta", line ends, section names,
keys, Korean and invalid bytes) and from raw random bytes.

    check_talvo_doc_model.py TALVO_DOC [COUNT [SEED]]
"""
import json
import os
import random
import subprocess
import sys
import tempfile

WHITE_SPACE = b" \t\r\n\x0b\x0c"

SECTION_CODES = {
    b"Talvo": 3, b"POLICE_DATA": 8, b"UPDATE_DATA": 9, b"SERVER_LIST": 10, b"LOGIN_OCX": 11,
    b"OPTIONS": 12, b"NOTICE": 14, b"FOLDER": 4, b"FILES": 5, b"REGISTRY": 6, b"END": 0, b"ETC_END": 0,
}
OPEN_BRACKET, PRODUCT, OPTIONS, NOTICE, REGISTRY, ETC_BASE = 1, 3, 12, 14, 6, 100
JOB_SECTIONS = {4: "Folder", 5: "Files", 6: "Registry"}

# Component keys, by section code: member of the dump, and whether it sets the download-address mark.
COMPONENT_KEYS = {
    3: {b"DEADLINE": ("Deadline", 0), b"PROJECT": ("Project", 0), b"XP_VERSION": ("XPVersion", 0),
        b"XP_DOWNLOADURL": ("XPDownloadUrl", 1), b"XP_COMPULSION": ("XPCompulsion", 0),
        b"98_VERSION": ("98Version", 0), b"98_DOWNLOADURL": ("98DownloadUrl", 1),
        b"98_COMPULSION": ("98Compulsion", 0)},
    8: {b"DAT_VERSION": ("DatVersion", 0), b"DOWN_DAT_URL": ("DatDownloadUrl", 1),
        b"DAT_COMPULSION": ("DatCompulsion", 0)},
    10: {b"SERVER_VERSION": ("ServerVersion", 0), b"SERVER_DOWN_URL": ("ServerDownloadUrl", 1),
         b"SERVER_COMPULSION": ("ServerCompulsion", 0)},
    11: {b"OCX_VERSION": ("OcxVersion", 0), b"OCX_DOWN_URL": ("OcxDownloadUrl", 1),
         b"OCX_COMPULSION": ("OcxCompulsion", 0)},
}
ETC_KEYS = {b"NAME": "Name", b"PRO_DOWN_URL": "DownloadUrl", b"PRO_EXE": "Exe", b"PRO_PATH": "Path",
            b"PRO_REG": "Reg", b"PRO_COMPULSION": "Compulsion"}
TEXT_MEMBERS = ["ProjectName", "Project", "Deadline", "XPVersion", "XPDownloadUrl", "XPCompulsion",
                "98Version", "98DownloadUrl", "98Compulsion", "DatVersion", "DatDownloadUrl",
                "DatCompulsion", "ServerVersion", "ServerDownloadUrl", "ServerCompulsion", "OcxVersion",
                "OcxDownloadUrl", "OcxCompulsion", "OptionsVersion", "OptionCompulsion", "NoticeUrl"]


class Catalogue:
    def __init__(self):
        self.texts = {name: b"" for name in TEXT_MEMBERS}
        self.debug = 0
        self.option_settings = []
        self.jobs = {code: [] for code in JOB_SECTIONS}
        self.etc_projects = []
        self.current_etc = {name: b"" for name in ETC_KEYS.values()}
        self.etc_count = 0
        self.section = 0
        self.has_download = 0

    def section_code(self, name):
        if name == b"Talvo":
            self.texts["ProjectName"] = name
        if name in SECTION_CODES:
            return SECTION_CODES[name]
        if name == b"ETC%d" % self.etc_count:
            return ETC_BASE + self.etc_count
        return -1


def value_of(line, start):
    """Up to the first ";" outside quotes, quotes counted from the first byte of the line."""
    inside = False
    for i, byte in enumerate(line):
        if byte == ord('"'):
            inside = not inside
        elif byte == ord(";") and not inside:
            return line[start:i] if i > start else b""
    return line[start:]


def without_quotes(text):
    return text.replace(b'"', b"")


def upper_ascii(text):
    return bytes(b - 32 if ord("a") <= b <= ord("z") else b for b in text)


def take_key(cat, key, value):
    """A key line in a component or extra-project section."""
    value = without_quotes(value)
    if cat.section == PRODUCT and key == b"DEBUG":
        cat.debug = 1 if value == b"1" else 0
    elif cat.section in COMPONENT_KEYS and key in COMPONENT_KEYS[cat.section]:
        member, marks = COMPONENT_KEYS[cat.section][key]
        cat.texts[member] = value
        cat.has_download |= marks
    elif cat.section == ETC_BASE + cat.etc_count:
        if key in ETC_KEYS:
            cat.current_etc[ETC_KEYS[key]] = value
        elif key == b"ETC_END":
            cat.etc_projects.append(cat.current_etc)
            cat.current_etc = {name: b"" for name in ETC_KEYS.values()}
            cat.etc_count += 1


def parse_line(cat, raw):
    line = raw.strip(WHITE_SPACE)
    key = b""
    for i, byte in enumerate(line):
        char = bytes([byte])
        if char == b"[":
            cat.section = OPEN_BRACKET
        elif char == b"]":
            if cat.section == OPEN_BRACKET:
                cat.section = cat.section_code(key)
                key = b""
            else:
                key += char
        elif char == b"/" and line[i + 1:i + 2] == b"/":
            return
        elif char != b"=":
            key += char
        else:
            key = upper_ascii(key)
            value = value_of(line, i + 1)
            if cat.section in COMPONENT_KEYS or cat.section == ETC_BASE + cat.etc_count:
                take_key(cat, key, value)
                return
            if cat.section in JOB_SECTIONS:
                job = value_of(line, 0)
                cat.jobs[cat.section].append(job if cat.section == REGISTRY else without_quotes(job))
                return
            if cat.section == NOTICE:
                if key == b"NOTICE_URL":
                    cat.texts["NoticeUrl"] = value
                return
            if cat.section == OPTIONS:
                if key == b"OPTIONS_VERSION":
                    cat.texts["OptionsVersion"] = without_quotes(value)
                elif key == b"OPTION_COMPULSION":
                    cat.texts["OptionCompulsion"] = without_quotes(value)
                elif key == b"OPTIONS_SETTING":
                    cat.option_settings.append(value_of(value, 0))
            key = b"="


def parse(document):
    cat = Catalogue()
    line = b""
    for byte in document:
        if byte == 0x0A and len(line) > 1:
            if line.startswith(b"<meta"):
                return cat
            parse_line(cat, line)
            line = b""
        else:
            line += bytes([byte])
    parse_line(cat, line)
    return cat


def expected_dump(cat):
    def text(b):
        return b.decode("cp949", "replace")
    dump = {name: text(cat.texts[name]) for name in TEXT_MEMBERS}
    dump["Debug"] = cat.debug
    dump["OptionSettings"] = [text(s) for s in cat.option_settings]
    for code, member in JOB_SECTIONS.items():
        dump[member] = [text(job) for job in cat.jobs[code]]
    dump["EtcProjects"] = [{name: text(p[name]) for name in ETC_KEYS.values()} for p in cat.etc_projects]
    dump["HasDownload"] = cat.has_download
    return dump


SECTION_NAMES = [name.decode() for name in SECTION_CODES] + ["ETC0", "ETC1", "ETC2", "ETC00", "talvo", "Other"]
KEY_NAMES = ([k.decode() for keys in COMPONENT_KEYS.values() for k in keys] + [k.decode() for k in ETC_KEYS] +
             ["DEBUG", "ETC_END", "OPTIONS_VERSION", "OPTIONS_SETTING", "OPTION_COMPULSION", "NOTICE_URL",
              "CREATE", "COPY", "ADDVAL", "DONE"])
PIECES = [b"[", b"]", b"=", b";", b'"', b"//", b"/", b" ", b"\t", b"\r", b"\n", b"\r\n", b"\n\n", b"\x0b",
          b"<meta", b"\\", b"x", b"1", b"\x00", b"\x01", b"\x1f", b"\x7f",
          b"\xb0\xa1", b"\xc5\xbb", b"\x81A", b"\xa1D", b"\xc9\xa1", b"\xfe\xfe", b"\x80", b"\xff", b"\xa1"]
PIECES += [name.encode() for name in SECTION_NAMES] + [name.encode() for name in KEY_NAMES]
LINE_ENDS = [b"\r\n", b"\n", b"\r\n", b"\n\n", b"\r\n\r\n", b""]


def generate(rng):
    if rng.random() < 0.1:
        return bytes(rng.randrange(256) for _ in range(rng.randrange(200)))
    out = b""
    for _ in range(rng.randrange(30)):
        kind = rng.random()
        if kind < 0.2:
            out += b"[" + rng.choice(SECTION_NAMES).encode() + b"]"
        elif kind < 0.65:
            key = rng.choice(KEY_NAMES)
            out += (key.lower() if rng.random() < 0.2 else key).encode() + b"="
            out += b"".join(rng.choice(PIECES) for _ in range(rng.randrange(7)))
            if rng.random() < 0.2:
                # Lead bytes next to bytes of either trail range, mapped or not.
                out += bytes(rng.choice((rng.randrange(0x80, 0x100), rng.randrange(0x41, 0x7B)))
                             for _ in range(rng.randrange(1, 8)))
        else:
            out += b"".join(rng.choice(PIECES) for _ in range(rng.randrange(9)))
        out += rng.choice(LINE_ENDS)
    return out


def main():
    if len(sys.argv) not in (2, 3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    tool = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 400
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 20240601)
    mismatches = 0
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "document.txt")
        for _ in range(count):
            document = generate(rng)
            with open(path, "wb") as f:
                f.write(document)
            result = subprocess.run([tool, "dump", path], capture_output=True, timeout=60)
            expected = expected_dump(parse(document))
            try:
                actual = json.loads(result.stdout.decode("utf-8"), strict=True) if result.returncode == 0 else None
            except (UnicodeDecodeError, json.JSONDecodeError):
                actual = None
            if actual == expected:
                continue
            mismatches += 1
            if mismatches <= 3:
                print(f"FAIL document {document!r}: exit status {result.returncode}")
                for member in expected:
                    if actual is None or actual.get(member) != expected[member]:
                        got = None if actual is None else actual.get(member)
                        print(f"  {member}: got {got!r}, expected {expected[member]!r}")
    print(f"{count} documents, {mismatches} mismatches")
    return 1 if mismatches else 0


if __name__ == "__main__":
    sys.exit(main())
