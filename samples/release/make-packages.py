#!/usr/bin/env python3
"""Builds the component packages of the sample release into OUT/talvoupdate/.

    make-packages.py OUT [--client-exe PATH]

Serve them next to the release:  updateserver.py --root samples/release --extra-root OUT
The packages hold what the install jobs of talvoupdate/PlusInformation.php copy:
  TalvoXP_341.zip, Talvo98_341.zip   Talvo.exe (PATH when given, else a placeholder text)
  filter_105.zip                     talvo.dat whose scrambled header carries the version 1.05
  serverlist_27.zip                  serverlist.dat
  TalvoLogin_1008.zip                TalvoLogin.ocx (a placeholder; registering it fails harmlessly)
"""
import argparse
import os
import struct
import sys
import zipfile

DAT_KEY = 0x5EC7A31D
DAT_VERSION = b"1.05"


def scrambled_dat(version, rest):
    """Filter data: byte 0 free, bytes 1-4 the version, the first 5 bytes XORed with the key."""
    header = b"T" + version.ljust(4, b"\0")[:4]
    word = struct.unpack("<I", header[:4])[0] ^ DAT_KEY
    return struct.pack("<I", word) + bytes([header[4] ^ (DAT_KEY & 0xFF)]) + rest


def write_zip(path, entries):
    with zipfile.ZipFile(path, "w", compression=zipfile.ZIP_DEFLATED) as z:
        for name, data in entries:
            z.writestr(name, data)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("out")
    parser.add_argument("--client-exe", help="program to ship as Talvo.exe")
    options = parser.parse_args(argv)
    folder = os.path.join(options.out, "talvoupdate")
    os.makedirs(folder, exist_ok=True)
    if options.client_exe:
        with open(options.client_exe, "rb") as f:
            client = f.read()
    else:
        client = b"Talvo 3.41 (sample release placeholder)\r\n"
    write_zip(os.path.join(folder, "TalvoXP_341.zip"), [("Talvo.exe", client)])
    write_zip(os.path.join(folder, "Talvo98_341.zip"), [("Talvo.exe", client)])
    write_zip(os.path.join(folder, "filter_105.zip"),
              [("talvo.dat", scrambled_dat(DAT_VERSION, b"\r\nfilter words of the sample release\r\n"))])
    write_zip(os.path.join(folder, "serverlist_27.zip"),
              [("serverlist.dat", b"27\r\n127.0.0.1:4661\r\n127.0.0.1:4662\r\n")])
    write_zip(os.path.join(folder, "TalvoLogin_1008.zip"), [("TalvoLogin.ocx", b"TalvoLogin 1.0.0.8 placeholder\r\n")])
    print(folder)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
