// Raw registry access that does not go through the code under test.
#pragma once
#include <windows.h>

#include <string>

namespace testsupport {

// A registry value as stored: its type and bytes. type is REG_NONE when it is missing.
struct RawValue {
  DWORD type = REG_NONE;
  std::string bytes;
  bool missing = true;
};

RawValue QueryRaw(HKEY root, const std::string& subKey, const std::string& name);
// Creates the key as needed; a failure fails the test.
void SetRaw(HKEY root, const std::string& subKey, const std::string& name, DWORD type, const std::string& bytes);
// REG_SZ with its terminating zero.
void SetRawString(HKEY root, const std::string& subKey, const std::string& name, const std::string& text);
std::string DwordBytes(DWORD value);
bool KeyPresent(HKEY root, const std::string& subKey);

}  // namespace testsupport
