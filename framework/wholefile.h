// A small file replaced whole: whoever reads it, and a run cut off at any point, finds the old
// bytes or the new ones, never a mix.
#pragma once
#include <windows.h>

#include <string>

namespace framework {

// Writes `bytes` to "<strPath>.new", flushes it, and renames it over strPath. FALSE with the
// system's error in dwError when any step fails; the temporary file is removed then.
BOOL ReplaceFileWhole(const std::string& strPath, const std::string& bytes, DWORD& dwError);

}  // namespace framework
