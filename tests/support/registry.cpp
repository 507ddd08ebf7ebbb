#include "tests/support/registry.h"

#include <gtest/gtest.h>

namespace testsupport {

RawValue QueryRaw(HKEY root, const std::string& subKey, const std::string& name) {
  RawValue value;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
  char buffer[4096];
  DWORD size = sizeof buffer;
  if (::RegQueryValueExA(key, name.c_str(), nullptr, &value.type, reinterpret_cast<BYTE*>(buffer), &size) ==
      ERROR_SUCCESS) {
    value.bytes.assign(buffer, size);
    value.missing = false;
  }
  ::RegCloseKey(key);
  return value;
}

void SetRaw(HKEY root, const std::string& subKey, const std::string& name, DWORD type, const std::string& bytes) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const LONG set = ::RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                    static_cast<DWORD>(bytes.size()));
  ::RegCloseKey(key);
  ASSERT_EQ(set, ERROR_SUCCESS);
}

void SetRawString(HKEY root, const std::string& subKey, const std::string& name, const std::string& text) {
  SetRaw(root, subKey, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

std::string DwordBytes(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

bool KeyPresent(HKEY root, const std::string& subKey) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

}  // namespace testsupport
