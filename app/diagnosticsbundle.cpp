#include "app/diagnosticsbundle.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/zipwriter.h"
#include "framework/keptlog.h"
#include "framework/modulepath.h"
#include "framework/scopedhandle.h"
#include "framework/wholefile.h"
#include "localstate/filehelpers.h"
#include "localstate/upregistry.h"
#include "safename/updaterfiles.h"

namespace {

// A bundle is for reading, not for a full disk: a log is at most its rotation size anyway.
constexpr unsigned long long kLargestCopiedFile = 4ull << 20;

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  framework::UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  bytes.clear();
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    if (bytes.size() + read > kLargestCopiedFile) break;
    bytes.append(buffer, read);
  }
  return true;
}

void ListFolder(const std::string& folder, const std::string& shown, std::string& out) {
  WIN32_FIND_DATAA fd;
  framework::UniqueFindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &fd));
  if (!find) return;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out += shown + name + "\\\r\n";
      ListFolder(folder + "\\" + name, shown + name + "\\", out);
    } else {
      const unsigned long long size = (static_cast<unsigned long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
      out += shown + name + "\t" + std::to_string(size) + "\r\n";
    }
  } while (::FindNextFileA(find.Get(), &fd));
}

std::string Listing(const std::string& folder) {
  if (::GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return "(no such folder: " + folder + ")\r\n";
  std::string out = folder + "\r\n";
  ListFolder(folder, "  ", out);
  return out;
}

std::string RegistryValueText(DWORD type, const std::string& data) {
  if (type == REG_SZ || type == REG_EXPAND_SZ) return data.substr(0, data.find('\0'));
  if (type == REG_DWORD && data.size() == 4) {
    DWORD value = 0;
    std::memcpy(&value, data.data(), 4);
    return std::to_string(value) + " (DWORD)";
  }
  return "(" + std::to_string(data.size()) + " bytes of type " + std::to_string(type) + ")";
}

// Every value of the key, "name = data", one a line.
std::string KeyValues(HKEY root, const char* rootName, const char* subKey) {
  std::string out = std::string(rootName) + "\\" + subKey + "\r\n";
  HKEY hKey = nullptr;
  if (::RegOpenKeyExA(root, subKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return out + "  (no such key)\r\n";
  framework::UniqueRegKey key(hKey);
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD nameLength = sizeof name;
    DWORD type = 0, size = 0;
    if (::RegEnumValueA(key.Get(), i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::string data(size, '\0');
    nameLength = sizeof name;
    if (::RegEnumValueA(key.Get(), i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                        &size) != ERROR_SUCCESS)
      continue;
    data.resize(size);
    out += "  " + std::string(name, nameLength) + " = " + RegistryValueText(type, data) + "\r\n";
  }
  return out;
}

std::string ProxySettings() {
  std::string out = "WinINet (INTERNET_OPTION_PROXY):\r\n";
  DWORD size = 0;
  ::InternetQueryOptionA(nullptr, INTERNET_OPTION_PROXY, nullptr, &size);
  if (size >= sizeof(INTERNET_PROXY_INFO)) {
    std::unique_ptr<char[]> buffer(new char[size]);
    if (::InternetQueryOptionA(nullptr, INTERNET_OPTION_PROXY, buffer.get(), &size)) {
      const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.get());
      out += "  access type " + std::to_string(info->dwAccessType) +
             (info->dwAccessType == INTERNET_OPEN_TYPE_DIRECT ? " (direct)" : "") + "\r\n";
      if (info->lpszProxy) out += "  proxy " + RemoveProxyCredentials(reinterpret_cast<const char*>(info->lpszProxy)) + "\r\n";
      if (info->lpszProxyBypass) out += "  bypass " + std::string(reinterpret_cast<const char*>(info->lpszProxyBypass)) + "\r\n";
    }
  } else {
    out += "  (not available)\r\n";
  }
  // What the user set in the system's settings, which WinINet reads at its start.
  const char kSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  HKEY hKey = nullptr;
  out += "HKCU\\" + std::string(kSettings) + ":\r\n";
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSettings, 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
    framework::UniqueRegKey key(hKey);
    for (const char* name : {"ProxyEnable", "ProxyServer", "ProxyOverride", "AutoConfigURL", "AutoDetect"}) {
      DWORD type = 0, size = 0;
      if (::RegQueryValueExA(key.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) continue;
      std::string data(size, '\0');
      if (size && ::RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) !=
                      ERROR_SUCCESS)
        continue;
      data.resize(size);
      out += "  " + std::string(name) + " = " +
             framework::RemoveUrlCredentials(RemoveProxyCredentials(RegistryValueText(type, data))) + "\r\n";
    }
  }
  return out;
}

std::string BundleName() {
  SYSTEMTIME now = {};
  ::GetLocalTime(&now);
  char name[64];
  std::snprintf(name, sizeof name, "TalvoUpdate-diagnostics-%04u%02u%02u-%02u%02u%02u.zip", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond);
  return name;
}

}  // namespace

std::string RemoveProxyCredentials(const std::string& strProxy) {
  std::string out;
  size_t start = 0;
  while (start <= strProxy.size()) {
    size_t end = strProxy.find_first_of("; ", start);
    if (end == std::string::npos) end = strProxy.size();
    std::string entry = strProxy.substr(start, end - start);
    // [protocol=][scheme://][user[:password]@]host[:port]
    size_t hostStart = entry.find('=');
    hostStart = hostStart == std::string::npos ? 0 : hostStart + 1;
    const size_t scheme = entry.find("://", hostStart);
    if (scheme != std::string::npos) hostStart = scheme + 3;
    const size_t at = entry.rfind('@');
    if (at != std::string::npos && at >= hostStart) entry.erase(hostStart, at + 1 - hostStart);
    out += entry;
    if (end < strProxy.size()) out += strProxy[end];
    start = end + 1;
  }
  return out;
}

bool WriteDiagnosticsBundle(const std::string& strFolder, const std::string& strRunLine, std::string& strBundle) {
  const std::string updater = framework::GetModuleFolder();
  CZipWriter zip;
  bool ok = true;
  auto add = [&](const std::string& name, const std::string& bytes) { ok = zip.Add(name, bytes) && ok; };
  add("system.txt", strRunLine + "\r\n");
  for (const char* name : {kKeptLogName, kOlderKeptLogName}) {
    std::string bytes;
    if (ReadWholeFile(updater + "\\" + name, bytes)) add(name, bytes);
  }
  std::string journal;
  if (ReadWholeFile(GetInstallJournalPath(), journal)) add("Update.journal", journal);
  add("set-aside files.txt", Listing(GetSetAsideFolder()));
  std::string staging = GetStagingFolder();
  if (!staging.empty() && staging.back() == '\\') staging.pop_back();
  add("staging folder.txt", Listing(staging));
  add("recorded versions.txt", KeyValues(HKEY_CURRENT_USER, "HKCU", kInstallKey));
  // What the last run received and what this installation accepted before: the kept log's
  // "Release check:" line says what was made of the document; its validators are there only
  // while it is a document that was accepted.
  for (const char* name :
       {kLastDocumentName, kLastDocumentValidatorName, kReleaseRecordName, kKeyRecordName, kBadDeltaListName}) {
    std::string bytes;
    if (ReadWholeFile(updater + "\\" + name, bytes)) add(name, bytes);
  }
  add("partial downloads.txt", Listing(GetPartialFolder()));
  add("proxy.txt", ProxySettings());
  if (!ok) {
    strBundle = "the bundle could not be put together";
    return false;
  }
  std::string folder = strFolder.empty() ? updater : strFolder;
  if (folder.back() == '\\') folder.pop_back();
  const std::string path = folder + "\\" + BundleName();
  DWORD dwError = 0;
  if (!framework::ReplaceFileWhole(path, zip.Finish(), dwError)) {
    strBundle = path + " (error " + std::to_string(dwError) + ")";
    return false;
  }
  strBundle = path;
  return true;
}
