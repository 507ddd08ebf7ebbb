#include "localstate/installjournalfile.h"

#include <variant>

#include "localstate/upregistry.h"

using journal::RepairOp;
using journal::RepairStep;

BOOL CInstallJournalFile::Create(const std::string& strPath) {
  m_hFile.Reset(::CreateFileA(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  return m_hFile ? TRUE : FALSE;
}

BOOL CInstallJournalFile::Append(const journal::Record& record) {
  if (!m_hFile) return FALSE;
  const std::string line = journal::EncodeRecord(record);
  DWORD written = 0;
  if (!::WriteFile(m_hFile.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
      written != line.size())
    return FALSE;
  return ::FlushFileBuffers(m_hFile.Get());
}

namespace {

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool RemoveFileIfThere(const std::string& path) {
  if (!Exists(path)) return true;
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return ::DeleteFileA(path.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

// A folder that holds something now (a file the user put there meanwhile) stays: the repair
// removes only what the step made.
bool RemoveFolderIfEmpty(const std::string& path) {
  if (!Exists(path)) return true;
  if (::RemoveDirectoryA(path.c_str())) return true;
  return ::GetLastError() == ERROR_DIR_NOT_EMPTY;
}

bool RestoreValue(const journal::RegistryValue& value) {
  const HKEY root = GetRootKey(value.strRoot);
  framework::UniqueRegKey key;
  HKEY hKey = nullptr;
  if (value.bExisted) {
    if (::RegCreateKeyExA(root, value.strSubKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr) !=
        ERROR_SUCCESS)
      return false;
    key.Reset(hKey);
    return ::RegSetValueExA(key.Get(), value.strName.c_str(), 0, value.nType,
                            reinterpret_cast<const BYTE*>(value.strData.data()),
                            static_cast<DWORD>(value.strData.size())) == ERROR_SUCCESS;
  }
  // A key that cannot be opened holds no value the step could have added.
  if (::RegOpenKeyExA(root, value.strSubKey.c_str(), 0, KEY_SET_VALUE, &hKey) != ERROR_SUCCESS) return true;
  key.Reset(hKey);
  const LONG deleted = ::RegDeleteValueA(key.Get(), value.strName.c_str());
  return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

bool RemoveKeyIfEmpty(const journal::RegistryKey& created) {
  const HKEY root = GetRootKey(created.strRoot);
  HKEY hKey = nullptr;
  if (::RegOpenKeyExA(root, created.strSubKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return true;
  framework::UniqueRegKey key(hKey);
  DWORD subKeys = 0, values = 0;
  if (::RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  key.Reset();
  if (subKeys != 0 || values != 0) return true;
  const LONG deleted = ::RegDeleteKeyA(root, created.strSubKey.c_str());
  return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

bool Carry(const RepairStep& step) {
  switch (step.op) {
    case RepairOp::kRemoveNewFile:
      // The original was never moved aside: what is at the path is still the user's file.
      if (!step.strGuard.empty() && !Exists(step.strGuard)) return true;
      return RemoveFileIfThere(step.strPath);
    case RepairOp::kRemoveFile:
      return RemoveFileIfThere(step.strPath);
    case RepairOp::kRestoreFile:
      if (!Exists(step.strGuard)) return true;
      ::SetFileAttributesA(step.strPath.c_str(), FILE_ATTRIBUTE_NORMAL);
      return ::MoveFileExA(step.strGuard.c_str(), step.strPath.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    case RepairOp::kRemoveEmptyFolder:
      return RemoveFolderIfEmpty(step.strPath);
    case RepairOp::kCreateFolder:
      return ::CreateDirectoryA(step.strPath.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
    case RepairOp::kMoveBack:
      if (!Exists(step.strGuard) || Exists(step.strPath)) return true;
      return ::MoveFileExA(step.strGuard.c_str(), step.strPath.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    case RepairOp::kRestoreRegistryValue:
      return RestoreValue(step.value);
    case RepairOp::kRemoveRegistryKey:
      return RemoveKeyIfEmpty(step.key);
  }
  return false;
}

std::string DescribeStep(const RepairStep& step) {
  switch (step.op) {
    case RepairOp::kRestoreRegistryValue:
      return "registry value " + step.value.strRoot + "\\" + step.value.strSubKey + " " + step.value.strName;
    case RepairOp::kRemoveRegistryKey:
      return "registry key " + step.key.strRoot + "\\" + step.key.strSubKey;
    default:
      return step.strPath;
  }
}

std::string ReadWholeFile(const std::string& path, bool& bFound) {
  bFound = false;
  framework::UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::string();
  bFound = true;
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
  return text;
}

}  // namespace

JournalRepairResult RepairInstallation(const std::string& strJournalPath) {
  JournalRepairResult result;
  bool bFound = false;
  const std::string text = ReadWholeFile(strJournalPath, bFound);
  if (!bFound) return result;
  const journal::JournalReading reading = journal::ReadJournal(text);
  if (reading.state == journal::JournalState::kDamaged) {
    result.outcome = JournalRepairResult::kKept;
    result.strDetail = "damaged journal (" + reading.strProblem + ")";
    return result;
  }
  if (!reading.records.empty()) {
    const auto& begin = std::get<journal::Begin>(reading.records.front());
    result.nKind = begin.nKind;
    result.strVersion = begin.strVersion;
  }
  for (const RepairStep& step : journal::PlanRepair(reading)) {
    if (!Carry(step)) {
      result.outcome = JournalRepairResult::kKept;
      result.strDetail = "could not restore " + DescribeStep(step) + " (error " + std::to_string(::GetLastError()) + ")";
      return result;
    }
  }
  if (!::DeleteFileA(strJournalPath.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
    result.outcome = JournalRepairResult::kKept;
    result.strDetail = "the journal cannot be deleted";
    return result;
  }
  result.outcome = reading.state == journal::JournalState::kCommitted ? JournalRepairResult::kFinished
                                                                       : JournalRepairResult::kRolledBack;
  return result;
}

std::string DescribeRepair(const JournalRepairResult& result) {
  const std::string component = "component " + std::to_string(result.nKind) + " version " + result.strVersion;
  switch (result.outcome) {
    case JournalRepairResult::kNoJournal: return "Install repair: nothing to repair";
    case JournalRepairResult::kRolledBack: return "Install repair: interrupted installation of " + component + " rolled back";
    case JournalRepairResult::kFinished: return "Install repair: completed installation of " + component + " tidied up";
    case JournalRepairResult::kKept: return "Install repair: kept for the next start: " + result.strDetail;
  }
  return std::string();
}
