#include "localstate/registry.h"

#include <shlwapi.h>

#include <cassert>

#include "framework/scopedhandle.h"

namespace {

using framework::UniqueRegKey;

LONG CreateKeyInto(HKEY hRoot, const std::string& subKey, HKEY* phKey) {
  return ::RegCreateKeyExA(hRoot, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, phKey, nullptr);
}

}  // namespace

CRegistry::CRegistry(HKEY hRoot) : m_hKey(hRoot) {}

CRegistry::~CRegistry() { Close(); }

BOOL CRegistry::KeyExists(HKEY hRoot, const std::string& subKey) {
  return ProbeKey(hRoot, subKey) == ERROR_SUCCESS;
}

LONG CRegistry::ProbeKey(HKEY hRoot, const std::string& subKey) {
  assert(hRoot);
  HKEY hKey = nullptr;
  const LONG result = ::RegOpenKeyExA(hRoot, subKey.c_str(), 0, KEY_ALL_ACCESS, &hKey);
  UniqueRegKey key(result == ERROR_SUCCESS ? hKey : nullptr);
  return result;
}

BOOL CRegistry::CreateKey(HKEY hRoot, const std::string& subKey) {
  HKEY hKey = nullptr;
  const LONG result = CreateKeyInto(hRoot, subKey, &hKey);
  UniqueRegKey key(result == ERROR_SUCCESS ? hKey : nullptr);
  return result == ERROR_SUCCESS;
}

BOOL CRegistry::Open(HKEY hRoot, const std::string& subKey, BOOL bCreate) {
  Close();
  HKEY hKey = nullptr;
  LONG result = ::RegOpenKeyExA(hRoot, subKey.c_str(), 0, KEY_ALL_ACCESS, &hKey);
  if (result != ERROR_SUCCESS && bCreate) result = CreateKeyInto(hRoot, subKey, &hKey);
  m_hKey = result == ERROR_SUCCESS ? hKey : nullptr;
  return m_hKey != nullptr;
}

void CRegistry::Close() {
  if (m_hKey && !framework::IsPredefinedRegKey(m_hKey)) ::RegCloseKey(m_hKey);
  m_hKey = nullptr;
}

LONG CRegistry::WriteDword(const std::string& name, DWORD value) {
  assert(m_hKey);
  return ::RegSetValueExA(m_hKey, name.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&value), sizeof value);
}

BOOL CRegistry::WriteString(const std::string& name, const std::string& text) {
  assert(m_hKey);
  return ::RegSetValueExA(m_hKey, name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

BOOL CRegistry::ReadString(const std::string& name, std::string& out) {
  assert(m_hKey);
  // One spare byte: a value of exactly kMaxReadBytes without a terminating zero still ends.
  char szBuffer[kMaxReadBytes + 1] = {};
  DWORD dwType = 0;
  DWORD dwSize = kMaxReadBytes;
  if (::RegQueryValueExA(m_hKey, name.c_str(), nullptr, &dwType,
                         reinterpret_cast<BYTE*>(szBuffer), &dwSize) != ERROR_SUCCESS)
    return FALSE;
  szBuffer[dwSize < kMaxReadBytes ? dwSize : kMaxReadBytes] = '\0';
  out = szBuffer;
  return TRUE;
}

BOOL CRegistry::DeleteValue(const std::string& name) { return RemoveValue(name) == ERROR_SUCCESS; }

LONG CRegistry::RemoveValue(const std::string& name) {
  assert(m_hKey);
  return ::RegDeleteValueA(m_hKey, name.c_str());
}

BOOL CRegistry::DeleteKey(const std::string& subKey) {
  assert(m_hKey);
  return ::SHDeleteKeyA(m_hKey, subKey.c_str()) == ERROR_SUCCESS;
}
