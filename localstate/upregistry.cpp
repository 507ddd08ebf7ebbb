#include "localstate/upregistry.h"

#include "catalogue/componentkind.h"
#include "framework/modulepath.h"
#include "framework/scopedhandle.h"
#include "localstate/registry.h"
#include "localstate/regnumber.h"
#include "localstate/regpath.h"

std::string ReadInstallValue(const std::string& valueName) {
  std::string result;
  CRegistry reg(HKEY_CURRENT_USER);
  if (reg.KeyExists(HKEY_CURRENT_USER, kInstallKey) &&
      reg.Open(HKEY_CURRENT_USER, kInstallKey, FALSE)) {
    reg.ReadString(valueName, result);
    reg.Close();
  }
  return result;
}

void WriteInstallValue(const std::string& valueName, const std::string& version) {
  CRegistry reg(HKEY_CURRENT_USER);
  if (!reg.KeyExists(HKEY_CURRENT_USER, kInstallKey)) reg.CreateKey(HKEY_CURRENT_USER, kInstallKey);
  if (reg.Open(HKEY_CURRENT_USER, kInstallKey, FALSE)) {
    reg.WriteString(valueName, version);
    reg.Close();
  }
}

namespace {

// The value a kind's version is kept under: the kind's prefix (one table for all) + the project.
std::string VersionValue(ComponentKind kind, const std::string& name) {
  return FindComponentKind(kind)->szVersionValue + name;
}

}  // namespace

std::string ReadVersion(const std::string& name) { return ReadInstallValue(VersionValue(KIND_CLIENT_PROGRAM, name)); }
std::string ReadServerListVersion(const std::string& name) {
  return ReadInstallValue(VersionValue(KIND_SERVER_LIST, name));
}
std::string ReadLoginOcxVersion(const std::string& name) {
  return ReadInstallValue(VersionValue(KIND_LOGIN_CONTROL, name));
}
std::string ReadOptionsVersion(const std::string& name) {
  return ReadInstallValue(VersionValue(KIND_OPTION_SETTINGS, name));
}

void WriteVersion(const std::string& name, const std::string& version) {
  WriteInstallValue(VersionValue(KIND_CLIENT_PROGRAM, name), version);
}
void WriteServerListVersion(const std::string& name, const std::string& version) {
  WriteInstallValue(VersionValue(KIND_SERVER_LIST, name), version);
}
void WriteLoginOcxVersion(const std::string& name, const std::string& version) {
  WriteInstallValue(VersionValue(KIND_LOGIN_CONTROL, name), version);
}
void WriteOptionsVersion(const std::string& name, const std::string& version) {
  WriteInstallValue(VersionValue(KIND_OPTION_SETTINGS, name), version);
}

std::string ReadAcceptedRelease(const std::string& name) { return ReadInstallValue("Release" + name); }
void WriteAcceptedRelease(const std::string& name, const std::string& number) {
  WriteInstallValue("Release" + name, number);
}

std::string ReadDatVersion() {
  const std::string strPath = framework::GetModuleFolder() + "\\config\\talvo.dat";
  framework::UniqueHandle file(::CreateFileA(
      strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return "0";
  unsigned char buffer[kDatVersionBytes] = {};
  DWORD dwRead = 0;
  if (!::ReadFile(file.Get(), buffer, sizeof buffer, &dwRead, nullptr)) dwRead = 0;
  return DecodeDatVersion(buffer, dwRead);
}

std::string GetProgramFilesDir() {
  static const char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  std::string result = kProgramFilesDefault;
  CRegistry reg(HKEY_LOCAL_MACHINE);
  if (reg.KeyExists(HKEY_LOCAL_MACHINE, kCurrentVersion) &&
      reg.Open(HKEY_LOCAL_MACHINE, kCurrentVersion, FALSE)) {
    reg.ReadString("ProgramFilesDir", result);
    reg.Close();
    if (result.empty()) result = kProgramFilesDefault;
  }
  return result;
}

BOOL MachineKeyExists(const std::string& path) {
  CRegistry reg(HKEY_LOCAL_MACHINE);
  return reg.KeyExists(HKEY_LOCAL_MACHINE, path);
}

HKEY GetRootKey(const std::string& name) {
  if (name == "HKCR") return HKEY_CLASSES_ROOT;
  if (name == "HKCU") return HKEY_CURRENT_USER;
  if (name == "HKLM") return HKEY_LOCAL_MACHINE;
  if (name == "HKU") return HKEY_USERS;
  if (name == "HKCC") return HKEY_CURRENT_CONFIG;
  if (name == "HKPD") return HKEY_PERFORMANCE_DATA;
  if (name == "HKDD") return HKEY_DYN_DATA;
  return HKEY_CURRENT_USER;
}

BOOL AddRegKey(const std::string& path) {
  const RegistryPath key = SplitRegistryPath(path);
  const HKEY hRoot = GetRootKey(key.strRootName);
  CRegistry reg(hRoot);
  if (reg.KeyExists(hRoot, key.strSubKey)) return TRUE;
  return reg.CreateKey(hRoot, key.strSubKey);
}

BOOL DelRegKey(const std::string& path) {
  const RegistryPath key = SplitRegistryPath(path);
  // An empty sub key would name the root itself, and SHDeleteKeyA would empty the whole hive.
  if (key.strSubKey.find_first_not_of('\\') == std::string::npos) return FALSE;
  const HKEY hRoot = GetRootKey(key.strRootName);
  const LONG probe = CRegistry::ProbeKey(hRoot, key.strSubKey);
  if (probe == ERROR_FILE_NOT_FOUND) return TRUE;
  // A key that is there but cannot be opened is not deleted either.
  if (probe != ERROR_SUCCESS) return FALSE;
  CRegistry reg(hRoot);
  return reg.DeleteKey(key.strSubKey);
}

BOOL AddRegValue(const std::string& path, const std::string& valueName, const std::string& data) {
  const RegistryPath key = SplitRegistryPath(path);
  const HKEY hRoot = GetRootKey(key.strRootName);
  CRegistry reg(hRoot);
  if (!reg.KeyExists(hRoot, key.strSubKey) && !reg.CreateKey(hRoot, key.strSubKey)) return FALSE;
  // Empty data has no number of its own: it is written as the REG_DWORD 0.
  DWORD dwNumber = 0;
  std::string strData = data;
  if (IsRegNumber(strData)) {
    dwNumber = ParseRegNumber(strData);
    strData.clear();
  }
  if (!reg.Open(hRoot, key.strSubKey, FALSE)) return FALSE;
  const BOOL bWritten = strData.empty() ? reg.WriteDword(valueName, dwNumber) == ERROR_SUCCESS
                                        : reg.WriteString(valueName, strData);
  reg.Close();
  return bWritten;
}

BOOL DelRegValue(const std::string& path, const std::string& valueName) {
  const RegistryPath key = SplitRegistryPath(path);
  const HKEY hRoot = GetRootKey(key.strRootName);
  const LONG probe = CRegistry::ProbeKey(hRoot, key.strSubKey);
  // Without the key there is no value: nothing to do.
  if (probe == ERROR_FILE_NOT_FOUND) return TRUE;
  CRegistry reg(hRoot);
  if (probe != ERROR_SUCCESS || !reg.Open(hRoot, key.strSubKey, FALSE)) return FALSE;
  const LONG result = reg.RemoveValue(valueName);
  reg.Close();
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}
