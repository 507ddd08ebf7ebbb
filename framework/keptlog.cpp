#include "framework/keptlog.h"

#include <windows.h>

#include <cstdio>

#include "framework/scopedhandle.h"

namespace framework {
namespace {

// A writer waits this long for its turn; past it the line is dropped rather than the caller held.
constexpr DWORD kTurnWaitMs = 2000;

struct KeptLogState {
  std::string strPath;
  std::string strProfileFolder;
  std::string strUserName;
  UniqueHandle hTurn;  // named mutex shared by every writer of this file
};

KeptLogState& State() {
  static KeptLogState state;
  return state;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The turn is named after the file, so writers of different installations do not wait for each
// other; a mutex name cannot hold backslashes, hence the hash.
std::string TurnName(const std::string& path) {
  unsigned long long hash = 1469598103934665603ull;
  for (const char c : path) {
    hash = (hash ^ static_cast<unsigned char>(Lower(c))) * 1099511628211ull;
  }
  char name[64];
  std::snprintf(name, sizeof name, "TalvoUpdateKeptLog-%016llx", hash);
  return name;
}

std::string Timestamp() {
  SYSTEMTIME now = {};
  ::GetLocalTime(&now);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond, now.wMilliseconds);
  return text;
}

UniqueHandle OpenForAppend(const std::string& path) {
  // Shared for deletion too, so another writer may rename the file while this one reads it.
  return UniqueHandle(::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void AppendWithinTurn(const std::string& path, const std::string& line) {
  UniqueHandle file = OpenForAppend(path);
  if (!file) return;
  LARGE_INTEGER size = {};
  if (::GetFileSizeEx(file.Get(), &size) && size.QuadPart > 0 &&
      static_cast<unsigned long long>(size.QuadPart) + line.size() > kKeptLogRotateBytes) {
    file.Reset();
    const std::string older = path + ".1";
    if (!::MoveFileExA(path.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING)) return;
    file = OpenForAppend(path);
    if (!file) return;
  }
  DWORD written = 0;
  ::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

bool SameIgnoringCase(const std::string& text, size_t at, const std::string& what) {
  if (what.empty() || at + what.size() > text.size()) return false;
  for (size_t i = 0; i < what.size(); ++i)
    if (Lower(text[at + i]) != Lower(what[i])) return false;
  return true;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string HidePrivateTexts(const std::string& text, const std::string& profile, const std::string& user) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (SameIgnoringCase(text, i, profile)) {
      out += "%USERPROFILE%";
      i += profile.size();
    } else if (i > 0 && IsSeparator(text[i - 1]) && SameIgnoringCase(text, i, user) &&
               (i + user.size() == text.size() || IsSeparator(text[i + user.size()]))) {
      out += "<user>";
      i += user.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::string EnvironmentText(const char* name) {
  char value[MAX_PATH] = {};
  const DWORD n = ::GetEnvironmentVariableA(name, value, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(value, n) : std::string();
}

bool IsSchemeChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
         c == '.';
}

}  // namespace

void SetKeptLogPath(const std::string& strPath) {
  KeptLogState& state = State();
  state.strPath = strPath;
  state.strProfileFolder = EnvironmentText("USERPROFILE");
  state.strUserName = EnvironmentText("USERNAME");
  state.hTurn.Reset(strPath.empty() ? nullptr : ::CreateMutexA(nullptr, FALSE, TurnName(strPath).c_str()));
}

const std::string& GetKeptLogPath() { return State().strPath; }

std::string RemoveUrlCredentials(const std::string& strText) {
  std::string out;
  size_t i = 0;
  while (i < strText.size()) {
    const size_t mark = strText.find("://", i);
    if (mark == std::string::npos) break;
    size_t schemeStart = mark;
    while (schemeStart > i && IsSchemeChar(strText[schemeStart - 1])) --schemeStart;
    const size_t authority = mark + 3;
    // The authority ends at the first of these; an "@" before that ends the credentials.
    const size_t end = strText.find_first_of("/?# \t\r\n\"'<>", authority);
    const size_t at = strText.rfind('@', end == std::string::npos ? std::string::npos : end - 1);
    out.append(strText, i, authority - i);
    if (schemeStart < mark && at != std::string::npos && at >= authority && (end == std::string::npos || at < end)) {
      i = at + 1;
    } else {
      i = authority;
    }
  }
  out.append(strText, i, std::string::npos);
  return out;
}

std::string FormatKeptLogLine(const std::string& strTimestamp, unsigned long nProcessId, unsigned long nThreadId,
                              const std::string& strText, const std::string& strProfileFolder,
                              const std::string& strUserName) {
  std::string text = HidePrivateTexts(RemoveUrlCredentials(strText), strProfileFolder, strUserName);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  char prefix[48];
  std::snprintf(prefix, sizeof prefix, " %lu.%lu ", nProcessId, nThreadId);
  return strTimestamp + prefix + text + "\r\n";
}

void KeepLogLine(const std::string& strText) {
  KeptLogState& state = State();
  if (state.strPath.empty() || !state.hTurn) return;
  const std::string line =
      FormatKeptLogLine(Timestamp(), ::GetCurrentProcessId(), ::GetCurrentThreadId(), strText,
                        state.strProfileFolder, state.strUserName);
  const DWORD wait = ::WaitForSingleObject(state.hTurn.Get(), kTurnWaitMs);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return;
  AppendWithinTurn(state.strPath, line);
  ::ReleaseMutex(state.hTurn.Get());
}

}  // namespace framework
