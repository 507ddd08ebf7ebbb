#!/usr/bin/env python3
"""Makes the benchmark archives: make_bench_archives.py DIR

DIR/mixed.zip    about 100 MB deflated: text, noise and skewed binary files of 1-8 MB
DIR/stored.zip   the same files stored
DIR/small.zip    5000 small files (200 bytes to 16 KB), deflated
All entries are top-level files, as in an update package. The data is deterministic."""
import os
import random
import sys
import zipfile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
rng = random.Random(5150)

# Text: words of a 3000-word vocabulary; files are built from slices of a 16 MB pool, which
# deflate cannot exploit beyond its 32 KB window.
letters = "etaoinshrdlcumwfgypbvkjxqz"
vocab = ["".join(rng.choice(letters[: rng.randint(8, 26)]) for _ in range(rng.randint(2, 11)))
         for _ in range(3000)]
pool = " ".join(rng.choice(vocab) + ("\n" if rng.random() < 0.08 else "")
                for _ in range(2_200_000)).encode()
# Skewed bytes: uniform noise mapped onto a few dozen values, most of them rare.
skew = bytes(int((i / 256) ** 3 * 48) for i in range(256))


def text(size):
    parts, have = [], 0
    while have < size:
        start = rng.randrange(0, len(pool) - 65536)
        part = pool[start:start + rng.randint(16384, 65536)]
        parts.append(part)
        have += len(part)
    return b"".join(parts)[:size]


def noise(size):
    return rng.randbytes(size)


def skewed(size):
    return rng.randbytes(size).translate(skew)


mb = 1 << 20
files = []
for i in range(28):
    files.append((f"text{i:02d}.txt", text(rng.randint(2 * mb, 7 * mb))))
for i in range(8):
    files.append((f"noise{i:02d}.bin", noise(rng.randint(2 * mb, 5 * mb))))
for i in range(10):
    files.append((f"skewed{i:02d}.dat", skewed(rng.randint(1 * mb, 5 * mb))))
for i in range(12):
    files.append((f"tiny{i:02d}.ini", text(rng.randint(0, 3000))))
rng.shuffle(files)

with zipfile.ZipFile(os.path.join(out, "mixed.zip"), "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
    for name, data in files:
        z.writestr(name, data)
with zipfile.ZipFile(os.path.join(out, "stored.zip"), "w", zipfile.ZIP_STORED) as z:
    for name, data in files:
        z.writestr(name, data)
with zipfile.ZipFile(os.path.join(out, "small.zip"), "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
    for i in range(5000):
        size = int(200 * (80 ** rng.random()))  # 200 bytes to 16 KB, most of them small
        data = noise(size) if i % 5 == 0 else text(size)
        z.writestr(f"file{i:04d}.{('bin', 'txt', 'dat', 'ini')[i % 4]}", data)
