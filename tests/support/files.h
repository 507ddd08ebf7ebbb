// Files and folders seen directly through Win32, not through the code under test.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace testsupport {

// Removes a file, or a folder with everything in it, read-only entries included.
void RemoveTree(const std::string& path);

// Exists: a file or a folder. IsFile: an existing file that is no folder.
bool Exists(const std::string& path);
bool IsFile(const std::string& path);
bool IsFolder(const std::string& path);
bool IsReadOnly(const std::string& path);

// Creates or truncates `path` and writes `bytes`; a failure fails the test (fatally, inside this
// helper) and the result says whether it worked.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// The file's bytes, or "<missing>" when it cannot be opened, so a comparison with expected
// content fails readably.
std::string ReadFileBytes(const std::string& path);
// The file's size; 0 when it is missing.
std::uint64_t FileSize(const std::string& path);

// The folder of the running executable, without a trailing backslash.
std::string ModuleFolder();

}  // namespace testsupport
