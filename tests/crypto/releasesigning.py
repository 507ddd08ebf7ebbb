"""Signing update information documents with the openssl command line tool, for tests only.

The updater never signs anything; the maker's tools do. These helpers stand in for them in the
tests: a signed document is the document, then "[SIGNATURE]" and one line
"ECDSA-P256-SHA256=" + r || s in 128 hex digits (see catalogue/signeddocument.h).
"""

import os
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "fixtures")
# A test key, committed for the tests: it signs nothing outside them.
TEST_KEY = os.path.join(FIXTURES, "test-release-key.pem")
TEST_KEY_LINE_FILE = os.path.join(FIXTURES, "test-release-key.pub")
# The second key the test updater build trusts: the backup a maker keeps offline.
BACKUP_KEY = os.path.join(FIXTURES, "test-backup-key.pem")
BACKUP_KEY_LINE_FILE = os.path.join(FIXTURES, "test-backup-key.pub")


def _openssl(args, data=None):
    return subprocess.run(["openssl"] + args, input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          check=True).stdout


def generate_key(path):
    """A new P-256 private key in PEM at `path`."""
    _openssl(["ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", path])


def public_key_line(key_path):
    """The key line a build carries: "ecdsa-p256:" + X || Y in hex."""
    der = _openssl(["ec", "-in", key_path, "-pubout", "-outform", "DER"])
    point = der[-65:]
    if point[0] != 4:
        raise ValueError("not an uncompressed point")
    return "ecdsa-p256:" + point[1:].hex()


def _der_integer(data, at):
    if data[at] != 0x02:
        raise ValueError("no INTEGER in the signature")
    length = data[at + 1]
    value = int.from_bytes(data[at + 2:at + 2 + length], "big")
    return value, at + 2 + length


def der_to_raw(der):
    """OpenSSL's DER signature (SEQUENCE of r and s) as r || s, 32 bytes each, big-endian."""
    if der[0] != 0x30:
        raise ValueError("no SEQUENCE in the signature")
    at = 2 if der[1] < 0x80 else 3
    r, at = _der_integer(der, at)
    s, _ = _der_integer(der, at)
    return r.to_bytes(32, "big") + s.to_bytes(32, "big")


def sign(key_path, data):
    """r || s of an ECDSA P-256 SHA-256 signature of `data` by the key."""
    with tempfile.NamedTemporaryFile(delete=False) as f:
        f.write(data)
        name = f.name
    try:
        der = _openssl(["dgst", "-sha256", "-sign", key_path, name])
    finally:
        os.remove(name)
    return der_to_raw(der)


def verify(key_path, data, raw):
    """Whether openssl takes r || s as a signature of `data` by the key (a check of the helpers)."""
    r, s = int.from_bytes(raw[:32], "big"), int.from_bytes(raw[32:], "big")

    def integer(v):
        body = v.to_bytes((v.bit_length() + 8) // 8, "big")  # a leading zero keeps it positive
        return b"\x02" + bytes([len(body)]) + body

    body = integer(r) + integer(s)
    der = b"\x30" + bytes([len(body)]) + body
    with tempfile.TemporaryDirectory() as tmp:
        paths = [os.path.join(tmp, n) for n in ("data", "sig", "pub")]
        with open(paths[0], "wb") as f:
            f.write(data)
        with open(paths[1], "wb") as f:
            f.write(der)
        _openssl(["ec", "-in", key_path, "-pubout", "-out", paths[2]])
        done = subprocess.run(["openssl", "dgst", "-sha256", "-verify", paths[2], "-signature", paths[1], paths[0]],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return done.returncode == 0


def signed_document(covered, key_path=TEST_KEY, line_end=b"\r\n"):
    """`covered` (ending with its line end) followed by its signature section."""
    raw = sign(key_path, covered)
    return covered + b"[SIGNATURE]" + line_end + b"ECDSA-P256-SHA256=" + raw.hex().encode() + line_end


def key_change_statement(number, new_key_line, retired_key_line):
    """The bytes both signatures of a key change cover (catalogue/keychange.h)."""
    return ("TalvoUpdate release key change\nNUMBER=%d\nNEW_KEY=%s\nRETIRED_KEY=%s\n"
            % (number, new_key_line.lower(), retired_key_line.lower())).encode()


def key_change_section(number, new_key, retired_key_line, trusted_key, new_key_signer=None, line_end=b"\r\n"):
    """A [KEY_CHANGE] section bringing in the key of the private key file `new_key` and retiring
    `retired_key_line`, signed by the private key files `trusted_key` and `new_key_signer` (the new
    key itself unless given)."""
    new_line = public_key_line(new_key)
    statement = key_change_statement(number, new_line, retired_key_line)
    lines = [b"[KEY_CHANGE]", b"NUMBER=%d" % number, b"NEW_KEY=" + new_line.encode(),
             b"RETIRED_KEY=" + retired_key_line.lower().encode(),
             b"TRUSTED_SIGNATURE=" + sign(trusted_key, statement).hex().encode(),
             b"NEW_KEY_SIGNATURE=" + sign(new_key_signer or new_key, statement).hex().encode()]
    return line_end.join(lines) + line_end
