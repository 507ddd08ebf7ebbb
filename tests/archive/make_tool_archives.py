#!/usr/bin/env python3
"""Makes archives with common zip tools for the reader's tests: make_tool_archives.py OUTDIR.

OUTDIR/files/ holds the original files, OUTDIR/python.zip is made by Python's zipfile module
(stored and deflated entries), OUTDIR/infozip.zip by Info-ZIP zip when it is installed."""
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

infozip = os.path.join(out, "infozip.zip")
if os.path.exists(infozip):
    os.remove(infozip)
if shutil.which("zip"):
    subprocess.run(["zip", "-q", "-X", "-j", infozip] + [os.path.join(files, n) for n in contents],
                   check=True)
