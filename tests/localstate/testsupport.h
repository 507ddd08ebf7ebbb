// Small helpers of the Windows local state tests: private folders, files and raw registry access
// that do not go through the code under test.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testsupport {

inline std::string CurrentTestName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string(info->test_suite_name()) + "." + info->name();
}

// Removes a folder with everything in it, read-only entries included.
inline void RemoveTree(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  ::SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA fd;
  HANDLE find = ::FindFirstFileA((path + "\\*").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = fd.cFileName;
      if (name != "." && name != "..") RemoveTree(path + "\\" + name);
    } while (::FindNextFileA(find, &fd));
    ::FindClose(find);
  }
  ::RemoveDirectoryA(path.c_str());
}

// A fresh, empty folder of the running test under the temporary folder (no trailing backslash).
inline std::string FreshTestFolder() {
  char szTemp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, szTemp);
  std::string folder = std::string(szTemp) + "talvo-localstate";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  folder += "\\" + CurrentTestName();
  RemoveTree(folder);
  ::CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

inline bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline bool IsReadOnly(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  ASSERT_EQ(written, bytes.size()) << path;
}

// The file's bytes, or "<missing>" when it cannot be opened.
inline std::string ReadFileBytes(const std::string& path) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
    bytes.append(buffer, read);
  ::CloseHandle(file);
  return bytes;
}

inline std::string ModuleFolder() {
  char szPath[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, szPath, MAX_PATH);
  std::string folder = szPath;
  return folder.substr(0, folder.rfind('\\'));
}

// A registry value as stored: its type and bytes. type is REG_NONE when it is missing.
struct RawValue {
  DWORD type = REG_NONE;
  std::string bytes;
  bool missing = true;
};

inline RawValue QueryRaw(HKEY root, const std::string& subKey, const std::string& name) {
  RawValue value;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
  char buffer[4096];
  DWORD size = sizeof buffer;
  if (::RegQueryValueExA(key, name.c_str(), nullptr, &value.type,
                         reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS) {
    value.bytes.assign(buffer, size);
    value.missing = false;
  }
  ::RegCloseKey(key);
  return value;
}

inline void SetRaw(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
                   const std::string& bytes) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExA(key, name.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
  ::RegCloseKey(key);
}

inline void SetRawString(HKEY root, const std::string& subKey, const std::string& name,
                         const std::string& text) {
  SetRaw(root, subKey, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

inline std::string DwordBytes(DWORD value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

inline bool KeyPresent(HKEY root, const std::string& subKey) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

}  // namespace testsupport
