#!/usr/bin/python3
"""The committed skin pictures are exactly what resources/skin/draw_skin.py draws.

    check_skin_artwork.py SKIN_DIR
"""
import filecmp
import os
import subprocess
import sys
import tempfile


def main():
    skin = sys.argv[1]
    with tempfile.TemporaryDirectory() as out:
        subprocess.run([sys.executable, os.path.join(skin, "draw_skin.py"), "--out", out], check=True)
        drawn = sorted(os.listdir(out))
        committed = sorted(f for f in os.listdir(skin) if f.endswith((".bmp", ".ico")))
        problems = []
        if drawn != committed:
            problems.append(f"files differ: drawn {drawn}, committed {committed}")
        for name in set(drawn) & set(committed):
            if not filecmp.cmp(os.path.join(out, name), os.path.join(skin, name), shallow=False):
                problems.append(f"{name} differs from a fresh drawing")
    for p in problems:
        print(p)
    if problems:
        print("run resources/skin/draw_skin.py and commit its output")
        return 1
    print(f"{len(drawn)} pictures match their drawing")
    return 0


if __name__ == "__main__":
    sys.exit(main())
