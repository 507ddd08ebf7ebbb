#!/usr/bin/env python3
"""Makes the signing fixtures of the crypto and start-up tests once, with the openssl command line
tool; the outputs are committed.

    tests/crypto/make_fixtures.py

fixtures/test-release-key.pem  a P-256 private key for tests only (never a release key)
fixtures/test-release-key.pub  its key line, as the test updater build carries it
fixtures/test-backup-key.pem   a second key for tests only: the backup kept offline beside it
fixtures/test-backup-key.pub   its key line, the second one the test updater build carries
fixtures/opensslsignatures.inc signatures of a few messages by that key, as a C++ table

Running it again makes a new key and new signatures; commit them together.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import releasesigning as rs  # noqa: E402


def main():
    os.makedirs(rs.FIXTURES, exist_ok=True)
    rs.generate_key(rs.TEST_KEY)
    with open(rs.TEST_KEY) as f:
        pem = f.read()
    with open(rs.TEST_KEY, "w") as f:
        f.write("TEST KEY, committed on purpose: it signs nothing but TalvoUpdate's tests and must never\n"
                "be a release key. OpenSSL reads past these lines.\n" + pem)
    key_line = rs.public_key_line(rs.TEST_KEY)
    with open(rs.TEST_KEY_LINE_FILE, "w") as f:
        f.write(key_line + "\n")
    if os.path.exists(rs.BACKUP_KEY):
        os.remove(rs.BACKUP_KEY)
    rs.generate_key(rs.BACKUP_KEY)
    with open(rs.BACKUP_KEY) as f:
        pem = f.read()
    with open(rs.BACKUP_KEY, "w") as f:
        f.write("TEST KEY, committed on purpose: the backup key of TalvoUpdate's tests (kept offline in a real\n"
                "release); it signs nothing but tests and must never be a release key. OpenSSL reads past these lines.\n"
                + pem)
    with open(rs.BACKUP_KEY_LINE_FILE, "w") as f:
        f.write(rs.public_key_line(rs.BACKUP_KEY) + "\n")

    # Messages are written as hex, except the long one, which the test makes itself: byte i is i % 256.
    pattern = bytes(i % 256 for i in range(10000))
    messages = [
        ("empty message", b""),
        ("abc", b"abc"),
        ("a document in code page 949",
         "[Talvo]\r\nPROJECT=탈보\r\nXP_VERSION=3.41\r\n[RELEASE]\r\nNUMBER=7\r\n".encode("cp949")),
        ("10000 bytes, every byte value", pattern),
    ]
    rows = [(what, data, rs.sign(rs.TEST_KEY, data)) for what, data in messages]
    # r or s written with fewer than 32 significant bytes must keep their leading zero bytes.
    for which, part in (("r", slice(0, 1)), ("s", slice(32, 33))):
        for attempt in range(5000):
            data = b"leading zero in %s, attempt %d" % (which.encode(), attempt)
            raw = rs.sign(rs.TEST_KEY, data)
            if raw[part] == b"\x00":
                rows.append(("%s with a leading zero byte" % which, data, raw))
                break
        else:
            raise SystemExit("no signature with a leading zero byte in %s" % which)
    for what, data, raw in rows:
        if not rs.verify(rs.TEST_KEY, data, raw):
            raise SystemExit("openssl does not verify its own signature of %s" % what)

    other = os.path.join(rs.FIXTURES, "other-key.pem.tmp")
    rs.generate_key(other)
    try:
        other_line = rs.public_key_line(other)
        other_signature = rs.sign(other, b"abc")
    finally:
        os.remove(other)

    out = ["// Made by tests/crypto/make_fixtures.py with the openssl command line tool; do not edit.",
           "// Signatures by the test key fixtures/test-release-key.pem, which signs nothing but tests.",
           "// A message is its hex digits, or with a pattern length that many bytes, byte i being i % 256.",
           "",
           "const char kOpensslKeyLine[] = \"%s\";" % key_line,
           "",
           "const OpensslSignature kOpensslSignatures[] = {"]
    for what, data, raw in rows:
        if data is pattern:
            message = '"", %d' % len(data)
        else:
            message = '"%s", 0' % data.hex()
        out.append('    {"%s", %s,\n     "%s"},' % (what, message, raw.hex()))
    out.append("};")
    out.append("")
    out.append("// Another key, and its signature of \"abc\": good under that key, bad under the test key.")
    out.append("const char kOtherKeyLine[] = \"%s\";" % other_line)
    out.append("const char kOtherKeySignatureOfAbc[] = \"%s\";" % other_signature.hex())
    with open(os.path.join(rs.FIXTURES, "opensslsignatures.inc"), "w") as f:
        f.write("\n".join(out) + "\n")
    print("key line:", key_line)


if __name__ == "__main__":
    main()
