// One registry key handle, created on the stack for one task and closed on destruction.
#pragma once
#include <windows.h>

#include <string>

class CRegistry {
 public:
  // The root (a predefined key such as HKEY_CURRENT_USER) is the current key until Open.
  explicit CRegistry(HKEY hRoot);
  ~CRegistry();
  CRegistry(const CRegistry&) = delete;
  CRegistry& operator=(const CRegistry&) = delete;

  // TRUE when root\subKey opens with full access; the current key is not touched.
  static BOOL KeyExists(HKEY hRoot, const std::string& subKey);
  // The platform result of that open: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when there is no such
  // key, another code when it exists but cannot be opened (or the path is malformed).
  static LONG ProbeKey(HKEY hRoot, const std::string& subKey);
  // Creates root\subKey (an existing key succeeds too); the current key is not touched.
  static BOOL CreateKey(HKEY hRoot, const std::string& subKey);
  // Closes the current key and opens root\subKey in its place, creating it when bCreate is TRUE.
  // On failure there is no current key.
  BOOL Open(HKEY hRoot, const std::string& subKey, BOOL bCreate);
  void Close();

  // The platform result code: ERROR_SUCCESS (0) on success.
  LONG WriteDword(const std::string& name, DWORD value);
  BOOL WriteString(const std::string& name, const std::string& text);
  // Whatever the value holds, up to kMaxReadBytes, taken as text up to its first zero byte. A
  // longer value fails; `out` is changed only on success.
  BOOL ReadString(const std::string& name, std::string& out);
  BOOL DeleteValue(const std::string& name);
  // The platform result of deleting the value: ERROR_FILE_NOT_FOUND when there was none.
  LONG RemoveValue(const std::string& name);
  // Deletes subKey of the current key with everything below it; on a wrapper that was never
  // opened that is directly under the root.
  BOOL DeleteKey(const std::string& subKey);

  HKEY GetKey() const { return m_hKey; }

  static constexpr DWORD kMaxReadBytes = 200;

 private:
  HKEY m_hKey;
};
