#include "update/installscript.h"

#include <shellapi.h>

#include <vector>

#include "catalogue/componentkind.h"
#include "catalogue/projectdata.h"
#include "framework/log.h"
#include "framework/logcause.h"
#include "localstate/filehelpers.h"
#include "localstate/installtransaction.h"
#include "localstate/regpath.h"
#include "localstate/pathmacros.h"
#include "localstate/upregistry.h"

namespace {

const char kLoginControlFile[] = "TalvoLogin.ocx";

// The short form keeps blanks out of regsvr32's command line; the path as given when there is none.
std::string ShortPathOf(const std::string& path) {
  char szShort[MAX_PATH] = {};
  const DWORD n = ::GetShortPathNameA(path.c_str(), szShort, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(szShort, n) : path;
}

// A file that is not there is as good as deleted. Its attributes are changed only when they are
// what stops the delete: a staged file may share its bytes, and so its attributes, with the
// installed copy.
BOOL DeleteFileOrMissing(const std::string& path) {
  if (::DeleteFileA(path.c_str())) return TRUE;
  if (::GetLastError() == ERROR_FILE_NOT_FOUND) return TRUE;
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_TEMPORARY);
  if (::DeleteFileA(path.c_str())) return TRUE;
  return ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A registry edit, recorded in the step first. Refused edits (the registry's own no) leave the
// line pending as they always have.
BOOL RegistryOperation(CInstallTransaction& step, JobOperation operation, const std::string& strKeyPath,
                       const std::string& strName, const std::string& strData) {
  const RegistryPath key = SplitRegistryPath(strKeyPath);
  // A whole root key cannot be recorded for the undo; nothing is done to it.
  if (key.strSubKey.empty()) return FALSE;
  switch (operation) {
    case JobOperation::kAddKey:
      return step.WillCreateRegistryKey(key.strRootName, key.strSubKey) && AddRegKey(strKeyPath);
    case JobOperation::kDeleteKey:
      return step.WillDeleteRegistryKey(key.strRootName, key.strSubKey) && DelRegKey(strKeyPath);
    case JobOperation::kAddValue:
      // AddRegValue makes a missing key: that is recorded too.
      return step.WillCreateRegistryKey(key.strRootName, key.strSubKey) &&
             step.WillChangeRegistryValue(key.strRootName, key.strSubKey, strName) &&
             AddRegValue(strKeyPath, strName, strData);
    case JobOperation::kDeleteValue:
      return step.WillChangeRegistryValue(key.strRootName, key.strSubKey, strName) &&
             DelRegValue(strKeyPath, strName);
    default:
      return FALSE;
  }
}

// TRUE when the line is done; FALSE with step.GetFailure() set when it fails the step.
BOOL RunJob(CInstallTransaction& step, const JobRule& rule, const std::vector<std::string>& saJobParam,
            const std::string& strSource) {
  JobOperands operands;
  if (!MakeJobOperands(rule, saJobParam, strSource, ExpandPathMacros, operands)) {
    framework::WriteLog("OnUpgradeNow : refused file name %s\n", saJobParam[2].c_str());
    return FALSE;
  }
  const BOOL bReturn = UpOperation(step, rule.operation, operands.str1, operands.str2, operands.str3);
  // The staged file goes only once the step that copied it is in place: an undone step leaves
  // the package's files as they were.
  if (bReturn && rule.operation == JobOperation::kCopyFile) {
    const std::string staged = operands.str1;
    step.RunAfterCommit([staged] { DeleteFileOrMissing(staged); });
  }
  return bReturn;
}

BOOL RegisterLoginControl(CInstallTransaction& step) {
  char szSystem[MAX_PATH] = {};
  ::GetSystemDirectoryA(szSystem, MAX_PATH);
  return step.RegisterAfterCommit(RegsvrParameters(" /s", std::string(szSystem) + "\\" + kLoginControlFile));
}

// The version is recorded in the step too, so an undone step takes it back with the files.
BOOL CompleteComponent(CInstallTransaction& step, const std::string& strProject, int nKind,
                       const std::string& strVersion) {
  const ComponentKindRow* kind = FindComponentKind(nKind);
  if (!kind) return TRUE;
  if (kind->bRecordedByInstallStep) {
    const std::string strValue = kind->szVersionValue + strProject;
    if (!step.WillCreateRegistryKey("HKCU", kInstallKey) || !step.WillChangeRegistryValue("HKCU", kInstallKey, strValue))
      return FALSE;
    WriteInstallValue(strValue, strVersion);
  }
  if (kind->bRegistersControl) return RegisterLoginControl(step);
  return TRUE;
}

// The new files of the pass need room on their volumes before the first change; a set-aside file
// needs room too where it is copied to another volume. Empty when there is enough.
std::string CheckFreeSpace(const CProjectData& projectData, const std::string& strSource, InstallStepResult& result) {
  std::vector<std::pair<std::string, unsigned long long>> needs;  // volume, bytes
  auto need = [&](const std::string& path, unsigned long long bytes) {
    char szVolume[MAX_PATH] = {};
    if (!::GetVolumePathNameA(path.c_str(), szVolume, MAX_PATH)) return;
    for (auto& n : needs)
      if (n.first == szVolume) {
        n.second += bytes;
        return;
      }
    needs.emplace_back(szVolume, bytes);
  };
  auto sizeOf = [](const std::string& path) -> unsigned long long {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  };
  char szSetAside[MAX_PATH] = {};
  ::GetVolumePathNameA(GetSetAsideFolder().c_str(), szSetAside, MAX_PATH);
  const int n = projectData.GetJobCount(CProjectData::JOB_FILES);
  for (int j = 0; j < n; ++j) {
    const std::string line = projectData.GetJobLine(CProjectData::JOB_FILES, j);
    if (line.empty()) continue;
    std::vector<std::string> saJobParam;
    SplitJobLine(CProjectData::JOB_FILES, line, saJobParam);
    const JobRule* rule = FindJobRule(CProjectData::JOB_FILES, saJobParam[0]);
    JobOperands operands;
    if (!rule || rule->operation != JobOperation::kCopyFile ||
        !MakeJobOperands(*rule, saJobParam, strSource, ExpandPathMacros, operands) || !Exists(operands.str1))
      continue;
    need(operands.str2, sizeOf(operands.str1));
    char szTarget[MAX_PATH] = {};
    if (Exists(operands.str2) && ::GetVolumePathNameA(operands.str2.c_str(), szTarget, MAX_PATH) &&
        std::string(szTarget) != szSetAside)
      need(GetSetAsideFolder(), sizeOf(operands.str2));
  }
  for (const auto& [volume, bytes] : needs) {
    unsigned long long free = 0;
    if (!HasFreeSpace(volume, bytes, &free) && free < bytes) {
      const unsigned long long kb = 1024;
      result.nSpaceNeededKB = (bytes + kb - 1) / kb;
      result.strVolume = volume;
      return "not enough free space on " + volume + ": " + std::to_string((bytes + kb - 1) / kb) + " KB needed, " +
             std::to_string(free / kb) + " KB free";
    }
  }
  return std::string();
}

}  // namespace

InstallStepResult OnUpgradeNow(CProjectData& projectData, int nKind, const std::string& strVersion,
                               const std::string& strPackageFolder) {
  InstallStepResult result;
  const std::string strSource = strPackageFolder.empty() ? GetStagingFolder() : strPackageFolder;
  auto fail = [&](const CInstallTransaction* step, const std::string& why) {
    result.bFailed = true;
    result.strFailure = why;
    if (step && !step->GetBlockedFile().empty()) {
      result.strBlockedFile = step->GetBlockedFile();
      result.strHolders = DescribeFileHolders(result.strBlockedFile);
    }
    result.nError = step ? step->GetFailureError() : 0;
    const char* cause = result.nSpaceNeededKB ? framework::cause::kDisk
                        : !result.strHolders.empty() ? framework::cause::kHeld
                                                      : framework::CauseOfSystemError(result.nError);
    framework::WriteLog("Install step of component %d failed and rolled back: %s%s%s %s\n", nKind, why.c_str(),
                        result.strHolders.empty() ? "" : ", held by ", result.strHolders.c_str(), cause);
    return result;
  };
  if (const std::string shortage = CheckFreeSpace(projectData, strSource, result); !shortage.empty())
    return fail(nullptr, shortage);

  CInstallTransaction step(GetInstallJournalPath(), GetSetAsideFolder());
  if (!step.Begin(nKind, strVersion)) return fail(&step, step.GetFailure());
  for (const int nSection :
       {CProjectData::JOB_FOLDER, CProjectData::JOB_FILES, CProjectData::JOB_REGISTRY}) {
    const int n = projectData.GetJobCount(nSection);
    for (int j = 0; j < n; ++j) {
      const std::string line = projectData.GetJobLine(nSection, j);
      if (line.empty()) continue;
      std::vector<std::string> saJobParam;
      SplitJobLine(nSection, line, saJobParam);
      framework::WriteLog("OnUpgradeNow : %d %s\n", nSection, saJobParam[0].c_str());
      const JobRule* rule = FindJobRule(nSection, saJobParam[0]);
      if (!rule) continue;
      step.ClearFailure();
      if (RunJob(step, *rule, saJobParam, strSource)) {
        // Marked only once the whole step is in place.
        step.RunAfterCommit([&projectData, nSection, j] { projectData.MarkJobDone(nSection, j); });
      } else if (!step.GetFailure().empty()) {
        const InstallStepResult failed = fail(&step, step.GetFailure());
        step.Rollback();
        return failed;
      }
    }
  }
  if (!CompleteComponent(step, projectData.GetProjectName(), nKind, strVersion) || !step.Commit()) {
    const InstallStepResult failed = fail(&step, step.GetFailure());
    step.Rollback();
    return failed;
  }
  framework::WriteLog("Install step of component %d version %s: committed\n", nKind, strVersion.c_str());
  return result;
}

BOOL UpOperation(CInstallTransaction& step, JobOperation operation, const std::string& strOperand1,
                 const std::string& strOperand2, const std::string& strOperand3) {
  BOOL bReturn = FALSE;
  switch (operation) {
    case JobOperation::kCopyFile:
      // Not in this package: the line waits for the package that brings the file.
      bReturn = Exists(strOperand1) && step.InstallFileCopy(strOperand1, strOperand2);
      break;
    case JobOperation::kDeleteFile:
      bReturn = step.RemoveFile(strOperand1);
      break;
    case JobOperation::kRegisterControl:
      // The file may be new in this step: registered once the step is in place.
      bReturn = step.RegisterAfterCommit(RegsvrParameters("/s", ShortPathOf(strOperand1)));
      break;
    case JobOperation::kUnregisterControl: {
      // Now, against the file as it is at this point of the script (a later line may delete or
      // replace it).
      const std::string path = ShortPathOf(strOperand1);
      bReturn = step.UnregisterNow(RegsvrParameters("/u /s", path), RegsvrParameters("/s", path));
      break;
    }
    case JobOperation::kCreateFolder:
      bReturn = step.CreateFolderTree(strOperand1);
      break;
    case JobOperation::kDeleteFolder:
      bReturn = step.RemoveEmptyFolderTree(strOperand1);
      break;
    case JobOperation::kRename:
      bReturn = step.MovePath(strOperand1, strOperand2);
      break;
    case JobOperation::kAddKey:
    case JobOperation::kDeleteKey:
    case JobOperation::kAddValue:
    case JobOperation::kDeleteValue:
      bReturn = RegistryOperation(step, operation, strOperand1, strOperand2, strOperand3);
      break;
  }
  framework::WriteLog("UpOperation Result : %d(%s)\n", bReturn, strOperand1.c_str());
  return bReturn;
}
