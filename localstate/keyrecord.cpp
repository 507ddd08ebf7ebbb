#include "localstate/keyrecord.h"

#include "framework/modulepath.h"
#include "framework/scopedhandle.h"
#include "framework/wholefile.h"
#include "safename/updaterfiles.h"

namespace {

// Far more than a record of many changes takes: what is longer is read cut, and refused.
constexpr DWORD kMostBytesRead = 64 * 1024;

}  // namespace

std::string GetKeyRecordPath() { return framework::GetModuleFolder() + "\\" + kKeyRecordName; }

StoredKeysText ReadStoredKeys() {
  StoredKeysText stored;
  stored.strWhere = GetKeyRecordPath();
  framework::UniqueHandle file(::CreateFileA(stored.strWhere.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD dwError = ::GetLastError();
    if (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND) {
      stored.state = StoredKeysText::kUnreadable;
      stored.dwError = dwError;
    }
    return stored;
  }
  std::string buffer(kMostBytesRead, '\0');
  DWORD dwRead = 0;
  if (!::ReadFile(file.Get(), &buffer[0], kMostBytesRead, &dwRead, nullptr)) {
    stored.state = StoredKeysText::kUnreadable;
    stored.dwError = ::GetLastError();
    return stored;
  }
  buffer.resize(dwRead);
  stored.state = StoredKeysText::kFound;
  stored.strText = buffer;
  return stored;
}

BOOL WriteStoredKeys(const std::string& text, DWORD& dwError) {
  return framework::ReplaceFileWhole(GetKeyRecordPath(), text, dwError);
}
