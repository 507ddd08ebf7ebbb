#!/usr/bin/env python3
"""Makes archives with common zip tools for the reader's tests: make_tool_archives.py OUTDIR.

OUTDIR/files/ holds the original files, OUTDIR/python.zip is made by Python's zipfile module
(stored and deflated entries), OUTDIR/infozip.zip by Info-ZIP zip when it is installed.
The other archives hold the same files in layouts those tools also produce:
  python-streamed.zip   written to a stream that cannot seek: data descriptors after each entry,
                        zero sizes in the local headers
  python-prefixed.zip   appended to a program stub, offsets counted from the start of the file
  infozip-streamed.zip  zip writing to a pipe: data descriptors (Info-ZIP, when installed)
  infozip-fd.zip        zip -fd: data descriptors forced
  infozip-sfx.zip       a program stub followed by infozip.zip, offsets adjusted by zip -A"""
import io
import os
import random
import shutil
import subprocess
import sys
import zipfile

out = sys.argv[1]
files = os.path.join(out, "files")
os.makedirs(files, exist_ok=True)
rng = random.Random(20240611)
words = ["update", "talvo", "package", "version", "client", "server", "list", "option"]
contents = {
    "readme.txt": b"Sample package for the zip reader.\r\n",
    "text.txt": " ".join(rng.choice(words) for _ in range(60000)).encode(),
    "noise.bin": bytes(rng.getrandbits(8) for _ in range(150000)),
    "empty.txt": b"",
}
for name, data in contents.items():
    with open(os.path.join(files, name), "wb") as f:
        f.write(data)

methods = {"readme.txt": zipfile.ZIP_STORED, "text.txt": zipfile.ZIP_DEFLATED,
           "noise.bin": zipfile.ZIP_STORED, "empty.txt": zipfile.ZIP_DEFLATED}
with zipfile.ZipFile(os.path.join(out, "python.zip"), "w") as z:
    for name, data in contents.items():
        z.writestr(name, data, compress_type=methods[name])


class Unseekable(io.RawIOBase):
    def __init__(self, target):
        self.target = target

    def writable(self):
        return True

    def write(self, data):
        return self.target.write(data)


with open(os.path.join(out, "python-streamed.zip"), "wb") as f:
    with zipfile.ZipFile(Unseekable(f), "w") as z:
        for name, data in contents.items():
            info = zipfile.ZipInfo(name)
            info.compress_type = methods[name]
            with z.open(info, "w") as entry:
                entry.write(data)

stub = bytes(rng.getrandbits(8) for _ in range(70000))  # stands for a self-extractor program
prefixed = os.path.join(out, "python-prefixed.zip")
with open(prefixed, "wb") as f:
    f.write(stub)
with zipfile.ZipFile(prefixed, "a") as z:
    for name, data in contents.items():
        z.writestr(name, data, compress_type=methods[name])

inputs = [os.path.join(files, n) for n in contents]
for name in ("infozip.zip", "infozip-streamed.zip", "infozip-fd.zip", "infozip-sfx.zip"):
    if os.path.exists(os.path.join(out, name)):
        os.remove(os.path.join(out, name))
if shutil.which("zip"):
    infozip = os.path.join(out, "infozip.zip")
    subprocess.run(["zip", "-q", "-X", "-j", infozip] + inputs, check=True)
    with open(os.path.join(out, "infozip-streamed.zip"), "wb") as f:
        piped = subprocess.run(["zip", "-q", "-X", "-j", "-"] + inputs, check=True,
                               stdout=subprocess.PIPE)
        f.write(piped.stdout)
    subprocess.run(["zip", "-q", "-X", "-j", "-fd", os.path.join(out, "infozip-fd.zip")] + inputs,
                   check=True)
    sfx = os.path.join(out, "infozip-sfx.zip")
    with open(sfx, "wb") as f, open(infozip, "rb") as z:
        f.write(stub + z.read())
    subprocess.run(["zip", "-q", "-A", sfx], check=True, stdout=subprocess.DEVNULL)
