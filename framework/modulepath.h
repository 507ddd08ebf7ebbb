// The running executable's path, folder and base name: the one place they are derived.
#pragma once
#include <string>

namespace framework {

// Full path of the executable (GetModuleFileNameA, 260-byte buffer).
std::string GetModulePath();
// The executable's folder: its path cut before the last backslash (no trailing backslash).
std::string GetModuleFolder();
// The executable's file name without folder and extension, e.g. "TalvoUpdate".
std::string GetModuleFileTitle();

}  // namespace framework
