#include "localstate/installjournalfile.h"

#include <variant>

#include "localstate/regsvr32.h"
#include "localstate/upregistry.h"

using journal::RepairOp;
using journal::RepairStep;

BOOL CInstallJournalFile::Create(const std::string& strPath) {
  m_hFile.Reset(::CreateFileA(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  return m_hFile ? TRUE : FALSE;
}

BOOL CInstallJournalFile::OpenForRepair(const std::string& strPath, unsigned long nKeep) {
  m_hFile.Reset(::CreateFileA(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!m_hFile) return FALSE;
  if (::SetFilePointer(m_hFile.Get(), static_cast<LONG>(nKeep), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
      !::SetEndOfFile(m_hFile.Get())) {
    m_hFile.Reset();
    return FALSE;
  }
  return TRUE;
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

// Flushes a file just written, so that what the journal says next holds after a power cut.
bool FlushFile(const std::string& path) {
  framework::UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && ::FlushFileBuffers(file.Get());
}

// Moves the file from `from` to `to` (replacing a file there when bReplace); across volumes it is
// copied over `to`, flushed, and only then is `from` deleted: cut off anywhere, `from` stays whole
// until `to` is, and the repair step runs again.
bool MoveFileAnyVolume(const std::string& from, const std::string& to, bool bReplace) {
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (bReplace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (::MoveFileExA(from.c_str(), to.c_str(), flags)) return true;
  if (::GetLastError() != ERROR_NOT_SAME_DEVICE) return false;
  const DWORD attributes = ::GetFileAttributesA(from.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::SetLastError(ERROR_NOT_SAME_DEVICE);
    return false;
  }
  if (!::CopyFileA(from.c_str(), to.c_str(), bReplace ? FALSE : TRUE) || !FlushFile(to)) return false;
  ::SetFileAttributesA(from.c_str(), FILE_ATTRIBUTE_NORMAL);
  return ::DeleteFileA(from.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool CreateKey(const journal::RegistryKey& removed) {
  HKEY hKey = nullptr;
  if (::RegCreateKeyExA(GetRootKey(removed.strRoot), removed.strSubKey.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                        &hKey, nullptr) != ERROR_SUCCESS)
    return false;
  ::RegCloseKey(hKey);
  return true;
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
      if (!RemoveFileIfThere(step.strGuard + journal::kPartialSuffix)) return false;
      if (!Exists(step.strGuard)) return true;
      ::SetFileAttributesA(step.strPath.c_str(), FILE_ATTRIBUTE_NORMAL);
      return MoveFileAnyVolume(step.strGuard, step.strPath, true);
    case RepairOp::kRemoveEmptyFolder:
      return RemoveFolderIfEmpty(step.strPath);
    case RepairOp::kCreateFolder:
      return ::CreateDirectoryA(step.strPath.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
    case RepairOp::kMoveBack:
      if (!Exists(step.strGuard)) return true;
      // The old path is still there: the move was a copy across volumes that never finished.
      if (Exists(step.strPath)) return RemoveFileIfThere(step.strGuard);
      return MoveFileAnyVolume(step.strGuard, step.strPath, false);
    case RepairOp::kRestoreRegistryValue:
      return RestoreValue(step.value);
    case RepairOp::kRemoveRegistryKey:
      return RemoveKeyIfEmpty(step.key);
    case RepairOp::kCreateRegistryKey:
      return CreateKey(step.key);
    case RepairOp::kStartRegsvr32:
      return StartRegsvr32(step.strPath) != FALSE;
  }
  return false;
}

std::string DescribeStep(const RepairStep& step) {
  switch (step.op) {
    case RepairOp::kRestoreRegistryValue:
      return "registry value " + step.value.strRoot + "\\" + step.value.strSubKey + " " + step.value.strName;
    case RepairOp::kRemoveRegistryKey:
    case RepairOp::kCreateRegistryKey:
      return "registry key " + step.key.strRoot + "\\" + step.key.strSubKey;
    case RepairOp::kStartRegsvr32:
      return "regsvr32 " + step.strPath;
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
  const std::vector<RepairStep> plan = journal::PlanRepair(reading);
  if (!plan.empty()) {
    // Each step done is recorded, so a repair cut off goes on where it stopped and never undoes a
    // step twice (a path given back its original must not lose it to a second run).
    CInstallJournalFile progress;
    const size_t complete = text.rfind("\r\n");
    if (!progress.OpenForRepair(strJournalPath,
                                static_cast<unsigned long>(complete == std::string::npos ? 0 : complete + 2))) {
      result.outcome = JournalRepairResult::kKept;
      result.strDetail = "the journal cannot be written (error " + std::to_string(::GetLastError()) + ")";
      return result;
    }
    uint32_t done = journal::CountRepairedSteps(reading);
    for (const RepairStep& step : plan) {
      if (!Carry(step)) {
        result.outcome = JournalRepairResult::kKept;
        result.strDetail =
            "could not restore " + DescribeStep(step) + " (error " + std::to_string(::GetLastError()) + ")";
        return result;
      }
      if (!progress.Append(journal::Repaired{++done})) {
        result.outcome = JournalRepairResult::kKept;
        result.strDetail = "the journal cannot be written (error " + std::to_string(::GetLastError()) + ")";
        return result;
      }
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
