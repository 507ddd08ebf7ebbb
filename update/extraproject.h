// Whether an extra project offered by the document is already on this machine.
#pragma once
#include <windows.h>

struct EtcProject;

// Installed when its PRO_REG key exists under HKEY_LOCAL_MACHINE; without a key, when the folder
// of its PRO_PATH (as written, no macros) holds a file, not a folder, named exactly like the
// path's file name and extension (case counts). Neither given, a path without a folder part, or
// a path too long for the system: not installed.
BOOL IsExtraProjectInstalled(const EtcProject& project);
