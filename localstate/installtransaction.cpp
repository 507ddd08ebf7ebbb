#include "localstate/installtransaction.h"

#include <restartmanager.h>

#include <algorithm>
#include <vector>

#include "framework/log.h"
#include "framework/scopedhandle.h"
#include "localstate/regsvr32.h"
#include "localstate/upregistry.h"

namespace {

// How long an unregistration may take before the step gives up on it.
const DWORD kUnregisterTimeoutMs = 60000;

const char kTemporarySuffix[] = ".talvo-new";

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The name the journal knows the root by; empty for roots whose values cannot be put back.
std::string JournalRootName(const std::string& strRootName) {
  const HKEY root = GetRootKey(strRootName);
  if (root == HKEY_CURRENT_USER) return "HKCU";
  if (root == HKEY_LOCAL_MACHINE) return "HKLM";
  if (root == HKEY_CLASSES_ROOT) return "HKCR";
  if (root == HKEY_USERS) return "HKU";
  if (root == HKEY_CURRENT_CONFIG) return "HKCC";
  return std::string();
}

std::string ErrorText(DWORD error) { return "error " + std::to_string(error); }

std::string Lower(std::string text) {
  if (!text.empty()) ::CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

bool FlushFile(const std::string& path) {
  framework::UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && ::FlushFileBuffers(file.Get());
}

CInstallTransaction::PointHook& ProcessPointHook() {
  static CInstallTransaction::PointHook hook;
  return hook;
}

}  // namespace

CInstallTransaction::CInstallTransaction(std::string strJournalPath, std::string strSetAsideFolder)
    : m_strJournalPath(std::move(strJournalPath)), m_strSetAsideFolder(std::move(strSetAsideFolder)) {}

CInstallTransaction::~CInstallTransaction() {
  if (m_bOpen) Rollback();
}

BOOL CInstallTransaction::Begin(int nKind, const std::string& strVersion) {
  m_strFailure.clear();
  m_strBlockedFile.clear();
  if (m_bOpen) return Fail("an installation step is already under way", m_strJournalPath);
  if (!m_journal.Create(m_strJournalPath)) return Fail("cannot write the installation journal", m_strJournalPath);
  m_bOpen = true;
  m_nSetAside = 0;
  m_linkedSources.clear();
  // The journal names the folder before it exists, so the repair also removes it.
  if (!Record(journal::Begin{nKind, strVersion, m_strSetAsideFolder})) return FALSE;
  Point();
  if (!IsFolder(m_strSetAsideFolder) && !::CreateDirectoryA(m_strSetAsideFolder.c_str(), nullptr))
    return Fail("cannot create the folder for replaced files", m_strSetAsideFolder);
  return TRUE;
}

void CInstallTransaction::SetProcessPointHook(PointHook hook) { ProcessPointHook() = std::move(hook); }

void CInstallTransaction::Point() {
  ++m_nPoint;
  if (m_pointHook) {
    m_pointHook(m_nPoint);
  } else if (ProcessPointHook()) {
    ProcessPointHook()(m_nPoint);
  }
}

BOOL CInstallTransaction::Record(const journal::Record& record) {
  Point();
  if (!m_bOpen || !m_journal.Append(record)) return Fail("cannot write the installation journal", m_strJournalPath);
  return TRUE;
}

BOOL CInstallTransaction::Fail(const std::string& strWhat, const std::string& strPath) {
  m_nFailureError = ::GetLastError();
  m_strFailure = strWhat + ": " + strPath + " (" + ErrorText(m_nFailureError) + ")";
  framework::WriteLog("Install step: %s\n", m_strFailure.c_str());
  return FALSE;
}

BOOL CInstallTransaction::SetAside(const std::string& strPath) {
  // Never a name that is already taken (files a kept repair left there stay theirs).
  std::string backup;
  do {
    backup = m_strSetAsideFolder + "\\" + std::to_string(++m_nSetAside);
  } while (Exists(backup) || Exists(backup + journal::kPartialSuffix));
  if (!Record(journal::SetAside{strPath, backup})) return FALSE;
  Point();
  // A rename keeps a read-only mark for the repair.
  if (::MoveFileExA(strPath.c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH)) return TRUE;
  DWORD error = ::GetLastError();
  if (error == ERROR_ACCESS_DENIED && ::SetFileAttributesA(strPath.c_str(), FILE_ATTRIBUTE_NORMAL)) {
    if (::MoveFileExA(strPath.c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH)) return TRUE;
    error = ::GetLastError();
  }
  if (error == ERROR_NOT_SAME_DEVICE) return SetAsideAcrossVolumes(strPath, backup);
  ::SetLastError(error);
  m_strBlockedFile = strPath;
  return Fail("cannot replace", strPath);
}

BOOL CInstallTransaction::SetAsideAcrossVolumes(const std::string& strPath, const std::string& strBackup) {
  // Another volume (the system folder while the client lives on D:, say): the copy is made under
  // a temporary name and flushed, and takes the recorded name only once whole, so the repair never
  // puts a half copy over the original. The original goes last; a copy cannot keep its read-only
  // mark for the undo, so the mark goes then.
  const std::string partial = strBackup + journal::kPartialSuffix;
  if (!::CopyFileA(strPath.c_str(), partial.c_str(), FALSE) || !FlushFile(partial)) {
    const DWORD error = ::GetLastError();
    ::DeleteFileA(partial.c_str());
    ::SetLastError(error);
    return Fail("cannot copy aside", strPath);
  }
  Point();
  if (!::MoveFileExA(partial.c_str(), strBackup.c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    ::DeleteFileA(partial.c_str());
    ::SetLastError(error);
    return Fail("cannot copy aside", strPath);
  }
  Point();
  ::SetFileAttributesA(strPath.c_str(), ::GetFileAttributesA(strPath.c_str()) & ~FILE_ATTRIBUTE_READONLY);
  if (::DeleteFileA(strPath.c_str())) return TRUE;
  // The original stays (held open, say): its copy goes again, so nothing is put back over it.
  const DWORD error = ::GetLastError();
  ::DeleteFileA(strBackup.c_str());
  ::SetLastError(error);
  m_strBlockedFile = strPath;
  return Fail("cannot replace", strPath);
}

BOOL CInstallTransaction::InstallFileCopy(const std::string& strSource, const std::string& strTarget) {
  if (!Exists(strSource)) return Fail("no such file", strSource);
  if (!CreateFolderTree(ParentOf(strTarget))) return FALSE;
  if (Exists(strTarget) && !SetAside(strTarget)) return FALSE;
  const std::string temporary = strTarget + kTemporarySuffix;
  if (!Record(journal::NewFile{strTarget, temporary})) return FALSE;
  Point();
  // The source stays until the step is in place (an undone step can run again), but its bytes
  // need not be copied: on its volume the temporary name is a second link to them. A copy is
  // made where a link cannot be, and for every target after the first: two installed files must
  // never share their bytes.
  const std::string source = Lower(strSource);
  const bool bLinkedBefore = std::find(m_linkedSources.begin(), m_linkedSources.end(), source) != m_linkedSources.end();
  bool bLinked = false;
  if (!bLinkedBefore && ::CreateHardLinkA(temporary.c_str(), strSource.c_str(), nullptr)) {
    bLinked = true;
    m_linkedSources.push_back(source);
  }
  if (!bLinked && !::CopyFileA(strSource.c_str(), temporary.c_str(), FALSE)) {
    const DWORD error = ::GetLastError();
    ::DeleteFileA(temporary.c_str());
    ::SetLastError(error);
    return Fail("cannot write", temporary);
  }
  Point();
  if (!::MoveFileExA(temporary.c_str(), strTarget.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    m_strBlockedFile = strTarget;
    return Fail("cannot replace", strTarget);
  }
  return TRUE;
}

BOOL CInstallTransaction::RemoveFile(const std::string& strPath) {
  if (!Exists(strPath)) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  return SetAside(strPath);
}

BOOL CInstallTransaction::CreateFolderTree(const std::string& strPath) {
  std::string path = strPath;
  if (!path.empty() && path.back() == '\\') path.pop_back();
  if (path.empty() || Exists(path)) return TRUE;
  // Refused, as the system would refuse it, before anything is made.
  if (path.size() >= MAX_PATH) return FALSE;
  const std::string parent = ParentOf(path);
  if (!parent.empty() && !CreateFolderTree(parent)) return FALSE;
  if (!Record(journal::NewFolder{path})) return FALSE;
  Point();
  if (!::CreateDirectoryA(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
    return Fail("cannot create the folder", path);
  return TRUE;
}

BOOL CInstallTransaction::RemoveEmptyFolderTree(const std::string& strPath) {
  // An empty path would name the root of the current drive.
  if (strPath.empty()) return FALSE;
  std::vector<std::string> subfolders;
  {
    WIN32_FIND_DATAA fd;
    framework::UniqueFindHandle find(::FindFirstFileA((strPath + "\\*.*").c_str(), &fd));
    if (!find) return FALSE;
    do {
      const std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = strPath + "\\" + name;
      // Read-only marks go, as they always have, also from the file that stops the removal.
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesA(path.c_str(), fd.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
      // A file stays where it is, and so does the folder that holds it.
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return FALSE;
      subfolders.push_back(path);
    } while (::FindNextFileA(find.Get(), &fd));
  }
  for (const std::string& sub : subfolders) RemoveEmptyFolderTree(sub);
  if (!Record(journal::RemovedFolder{strPath})) return FALSE;
  Point();
  if (::RemoveDirectoryA(strPath.c_str())) return TRUE;
  // A subfolder that kept a file keeps this one too; anything else is the system's refusal.
  if (::GetLastError() == ERROR_DIR_NOT_EMPTY) return FALSE;
  return Fail("cannot remove the folder", strPath);
}

BOOL CInstallTransaction::MovePath(const std::string& strFrom, const std::string& strTo) {
  if (!Exists(strFrom) || Exists(strTo)) return FALSE;
  if (!Record(journal::MovedPath{strFrom, strTo})) return FALSE;
  Point();
  if (::MoveFileA(strFrom.c_str(), strTo.c_str())) return TRUE;
  // A file to another volume: copied whole first (the repair deletes an unfinished copy while
  // the old path is still there), then the old path goes.
  if (::GetLastError() == ERROR_NOT_SAME_DEVICE && !IsFolder(strFrom)) {
    if (::CopyFileA(strFrom.c_str(), strTo.c_str(), TRUE) && FlushFile(strTo)) {
      Point();
      ::SetFileAttributesA(strFrom.c_str(), ::GetFileAttributesA(strFrom.c_str()) & ~FILE_ATTRIBUTE_READONLY);
      if (::DeleteFileA(strFrom.c_str())) return TRUE;
    }
    const DWORD error = ::GetLastError();
    ::DeleteFileA(strTo.c_str());
    ::SetLastError(error);
  }
  m_strBlockedFile = strFrom;
  return Fail("cannot rename", strFrom);
}

BOOL CInstallTransaction::WillChangeRegistryValue(const std::string& strRootName, const std::string& strSubKey,
                                                  const std::string& strName) {
  journal::RegistryValue value;
  value.strRoot = JournalRootName(strRootName);
  value.strSubKey = strSubKey;
  value.strName = strName;
  if (value.strRoot.empty() || strSubKey.empty()) return Fail("cannot record the registry value", strRootName + "\\" + strSubKey);
  HKEY hKey = nullptr;
  if (::RegOpenKeyExA(GetRootKey(strRootName), strSubKey.c_str(), 0, KEY_QUERY_VALUE, &hKey) == ERROR_SUCCESS) {
    framework::UniqueRegKey key(hKey);
    DWORD type = 0, size = 0;
    if (::RegQueryValueExA(key.Get(), strName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      std::string data(size, '\0');
      if (::RegQueryValueExA(key.Get(), strName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                             &size) != ERROR_SUCCESS)
        return Fail("cannot read the registry value", strSubKey + " " + strName);
      data.resize(size);
      value.bExisted = true;
      value.nType = type;
      value.strData = data;
    }
  }
  return Record(value);
}

BOOL CInstallTransaction::RecordKeyTree(HKEY hRoot, const std::string& strRootName, const std::string& strSubKey) {
  HKEY hKey = nullptr;
  if (::RegOpenKeyExA(hRoot, strSubKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return TRUE;
  framework::UniqueRegKey key(hKey);
  std::vector<std::string> names, subKeys;
  char szName[16384];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof szName;
    if (::RegEnumValueA(key.Get(), i, szName, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(szName, length);
  }
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof szName;
    if (::RegEnumKeyExA(key.Get(), i, szName, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subKeys.emplace_back(szName, length);
  }
  key.Reset();
  // The key itself too (an empty one as well), before its values: the undo, last first, puts the
  // values back and then makes sure the key is there.
  if (!Record(journal::RemovedRegistryKey{JournalRootName(strRootName), strSubKey})) return FALSE;
  for (const std::string& name : names)
    if (!WillChangeRegistryValue(strRootName, strSubKey, name)) return FALSE;
  for (const std::string& sub : subKeys)
    if (!RecordKeyTree(hRoot, strRootName, strSubKey + "\\" + sub)) return FALSE;
  return TRUE;
}

BOOL CInstallTransaction::WillDeleteRegistryKey(const std::string& strRootName, const std::string& strSubKey) {
  if (JournalRootName(strRootName).empty()) return Fail("cannot record the registry key", strRootName + "\\" + strSubKey);
  return RecordKeyTree(GetRootKey(strRootName), strRootName, strSubKey);
}

BOOL CInstallTransaction::WillCreateRegistryKey(const std::string& strRootName, const std::string& strSubKey) {
  const std::string root = JournalRootName(strRootName);
  if (root.empty()) return Fail("cannot record the registry key", strRootName + "\\" + strSubKey);
  // Top-down, so the repair (last first) removes the deepest level first.
  for (size_t end = 0; end != std::string::npos;) {
    end = strSubKey.find('\\', end + 1);
    const std::string level = strSubKey.substr(0, end);
    if (level.empty()) continue;
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(GetRootKey(strRootName), level.c_str(), 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
      ::RegCloseKey(hKey);
      continue;
    }
    if (!Record(journal::RegistryKey{root, level})) return FALSE;
  }
  return TRUE;
}

BOOL CInstallTransaction::RegisterAfterCommit(const std::string& strParameters) {
  return Record(journal::RegisterAfterCommit{strParameters});
}

BOOL CInstallTransaction::UnregisterNow(const std::string& strUnregisterParameters,
                                        const std::string& strRegisterParameters) {
  if (!Record(journal::Unregistered{strRegisterParameters})) return FALSE;
  Point();
  // Its outcome is not observed (as ever); only that it has ended before the file changes.
  if (!RunRegsvr32(strUnregisterParameters, kUnregisterTimeoutMs))
    framework::WriteLog("Install step: regsvr32 %s did not run to its end\n", strUnregisterParameters.c_str());
  return TRUE;
}

BOOL CInstallTransaction::Commit() {
  if (!m_bOpen) return FALSE;
  if (!Record(journal::Commit{})) return FALSE;
  m_bOpen = false;
  m_journal.Close();
  Point();
  // Complete: what is left is tidying and the registrations, which the repair also does after an
  // interruption.
  const JournalRepairResult tidy = RepairInstallation(m_strJournalPath);
  if (tidy.outcome == JournalRepairResult::kKept) framework::WriteLog("%s\n", DescribeRepair(tidy).c_str());
  std::vector<std::function<void()>> actions;
  actions.swap(m_afterCommit);
  for (const auto& action : actions) action();
  return TRUE;
}

BOOL CInstallTransaction::Rollback() {
  m_afterCommit.clear();
  if (!m_bOpen) return TRUE;
  m_bOpen = false;
  m_journal.Close();
  const JournalRepairResult undone = RepairInstallation(m_strJournalPath);
  framework::WriteLog("%s\n", DescribeRepair(undone).c_str());
  return undone.outcome != JournalRepairResult::kKept;
}

std::string DescribeFileHolders(const std::string& strPath) {
  DWORD session = 0;
  WCHAR szKey[CCH_RM_SESSION_KEY + 1] = {};
  if (::RmStartSession(&session, 0, szKey) != ERROR_SUCCESS) return std::string();
  std::string names;
  const int wideLength = ::MultiByteToWideChar(CP_ACP, 0, strPath.c_str(), -1, nullptr, 0);
  std::wstring widePath(wideLength > 0 ? static_cast<size_t>(wideLength) : 0, L'\0');
  if (wideLength > 0 && ::MultiByteToWideChar(CP_ACP, 0, strPath.c_str(), -1, &widePath[0], wideLength) > 0) {
    LPCWSTR files[] = {widePath.c_str()};
    UINT needed = 0, count = 0;
    DWORD reasons = 0;
    RM_PROCESS_INFO infos[8] = {};
    if (::RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
      count = sizeof infos / sizeof infos[0];
      const DWORD listed = ::RmGetList(session, &needed, &count, infos, &reasons);
      if (listed == ERROR_SUCCESS || listed == ERROR_MORE_DATA) {
        for (UINT i = 0; i < count && i < sizeof infos / sizeof infos[0]; ++i) {
          char szName[CCH_RM_MAX_APP_NAME * 2 + 1] = {};
          ::WideCharToMultiByte(CP_ACP, 0, infos[i].strAppName, -1, szName, sizeof szName - 1, nullptr, nullptr);
          if (!szName[0]) continue;
          if (!names.empty()) names += ", ";
          names += szName;
        }
      }
    }
  }
  ::RmEndSession(session);
  return names;
}

BOOL HasFreeSpace(const std::string& strFolder, unsigned long long nBytes, unsigned long long* pnFree) {
  ULARGE_INTEGER available = {};
  if (!::GetDiskFreeSpaceExA(strFolder.c_str(), &available, nullptr, nullptr)) return FALSE;
  if (pnFree) *pnFree = available.QuadPart;
  return available.QuadPart >= nBytes;
}
