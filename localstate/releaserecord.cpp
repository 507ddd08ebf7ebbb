#include "localstate/releaserecord.h"

#include "framework/modulepath.h"
#include "framework/scopedhandle.h"
#include "framework/wholefile.h"
#include "safename/updaterfiles.h"

namespace {

constexpr char kOldKey[] = "Software\\Talvo\\Install";
constexpr char kOldValue[] = "ReleaseTalvo";
// Far more than any number takes: what is longer is shown cut, and refused.
constexpr DWORD kMostBytesRead = 64;

// The per-user value of older updaters: TRUE when it exists, whatever it holds.
bool ReadOldValue(std::string& text) {
  HKEY hKey = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kOldKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
  framework::UniqueRegKey key(hKey);
  DWORD dwType = 0;
  DWORD dwSize = 0;
  if (::RegQueryValueExA(key.Get(), kOldValue, nullptr, &dwType, nullptr, &dwSize) != ERROR_SUCCESS) return false;
  std::string bytes(dwSize, '\0');
  if (dwSize > 0 && ::RegQueryValueExA(key.Get(), kOldValue, nullptr, &dwType, reinterpret_cast<BYTE*>(&bytes[0]),
                                       &dwSize) != ERROR_SUCCESS) {
    text = "(unreadable)";
    return true;
  }
  bytes.resize(dwSize);
  // A REG_SZ carries its terminating zero; anything else is shown as it is, and refused.
  if ((dwType == REG_SZ || dwType == REG_EXPAND_SZ) && !bytes.empty() && bytes.back() == '\0') bytes.pop_back();
  text = bytes;
  return true;
}

}  // namespace

std::string GetReleaseRecordPath() { return framework::GetModuleFolder() + "\\" + kReleaseRecordName; }

StoredReleaseText ReadStoredRelease() {
  StoredReleaseText stored;
  stored.strWhere = GetReleaseRecordPath();
  framework::UniqueHandle file(::CreateFileA(stored.strWhere.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD dwError = ::GetLastError();
    if (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND) {
      stored.state = StoredReleaseText::kUnreadable;
      stored.dwError = dwError;
      return stored;
    }
    std::string old;
    if (ReadOldValue(old)) {
      stored.state = StoredReleaseText::kFound;
      stored.strText = old;
      stored.strWhere = std::string("HKCU\\") + kOldKey + "\\" + kOldValue;
      stored.bOldPlace = true;
    }
    return stored;
  }
  char buffer[kMostBytesRead];
  DWORD dwRead = 0;
  if (!::ReadFile(file.Get(), buffer, sizeof buffer, &dwRead, nullptr)) {
    stored.state = StoredReleaseText::kUnreadable;
    stored.dwError = ::GetLastError();
    return stored;
  }
  stored.state = StoredReleaseText::kFound;
  stored.strText.assign(buffer, dwRead);
  return stored;
}

BOOL WriteStoredRelease(uint64_t number, DWORD& dwError) {
  return framework::ReplaceFileWhole(GetReleaseRecordPath(), std::to_string(number), dwError);
}
