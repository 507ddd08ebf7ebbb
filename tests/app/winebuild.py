"""Which Wine loader runs the programs of a Windows build folder (build/win32 or build/win64).

The Wine scripts (tools/wine-env.sh) read TALVO_WINE_ARCH; a script that is handed a build folder
sets it, and the template prefix, from the build's own program image before it starts Wine."""

import os
import struct

PE_MACHINES = {0x014C: "win32", 0x8664: "win64"}


def arch_of(program):
    """win32 or win64 from a PE image's machine field."""
    with open(program, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    if head[pe:pe + 4] != b"PE\0\0":
        raise ValueError("%s is not a Windows program" % program)
    machine = struct.unpack_from("<H", head, pe + 4)[0]
    if machine not in PE_MACHINES:
        raise ValueError("%s is for machine 0x%04x, neither i386 nor x86-64" % (program, machine))
    return PE_MACHINES[machine]


def use_build(build):
    """Points the Wine scripts at BUILD's template prefix and loader (unless already set)."""
    os.environ.setdefault("TALVO_WINE_TEMPLATE", os.path.join(build, "wine", "template"))
    updater = os.path.join(build, "app", "TalvoUpdate.exe")
    if os.path.exists(updater):
        os.environ.setdefault("TALVO_WINE_ARCH", arch_of(updater))
