#include "localstate/rolloutvalue.h"

#include "catalogue/rolloutbucket.h"
#include "framework/modulepath.h"
#include "framework/scopedhandle.h"
#include "safename/updaterfiles.h"

namespace {

// FALSE with the error; a file not there is ERROR_FILE_NOT_FOUND.
BOOL ReadValue(const std::string& strPath, uint64_t& value, DWORD& dwError) {
  framework::UniqueHandle file(::CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    dwError = ::GetLastError();
    if (dwError == ERROR_PATH_NOT_FOUND) dwError = ERROR_FILE_NOT_FOUND;
    return FALSE;
  }
  char buffer[32];
  DWORD dwRead = 0;
  if (!::ReadFile(file.Get(), buffer, sizeof buffer, &dwRead, nullptr)) {
    dwError = ::GetLastError();
    return FALSE;
  }
  if (!ParseRolloutValue(std::string_view(buffer, dwRead), value)) {
    dwError = ERROR_INVALID_DATA;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

std::string GetRolloutValuePath() { return framework::GetModuleFolder() + "\\" + kRolloutValueName; }

BOOL ReadOrMakeRolloutValue(const std::function<bool(uint64_t&)>& random, uint64_t& value, DWORD& dwError) {
  const std::string strPath = GetRolloutValuePath();
  if (ReadValue(strPath, value, dwError)) return TRUE;
  if (dwError != ERROR_FILE_NOT_FOUND) return FALSE;
  uint64_t made = 0;
  if (!random(made)) {
    dwError = ERROR_GEN_FAILURE;
    return FALSE;
  }
  const std::string text = FormatRolloutValue(made);
  {
    framework::UniqueHandle file(::CreateFileA(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      dwError = ::GetLastError();
      // Another updater made it first: take that one.
      if (dwError == ERROR_FILE_EXISTS) return ReadValue(strPath, value, dwError);
      return FALSE;
    }
    DWORD dwWritten = 0;
    if (!::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &dwWritten, nullptr) ||
        dwWritten != text.size() || !::FlushFileBuffers(file.Get())) {
      dwError = ::GetLastError();
      file.Reset();
      ::DeleteFileA(strPath.c_str());
      return FALSE;
    }
  }
  value = made;
  return TRUE;
}
