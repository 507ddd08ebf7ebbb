// The running executable's path and folder.
#pragma once
#include <string>

namespace framework {

// Full path of the executable (GetModuleFileNameA, 260-byte buffer).
std::string GetModulePath();
// The executable's folder: its path cut before the last backslash (no trailing backslash).
std::string GetModuleFolder();

}  // namespace framework
