#include "update/installscript.h"

#include <shellapi.h>

#include <vector>

#include "catalogue/projectdata.h"
#include "framework/log.h"
#include "localstate/filehelpers.h"
#include "localstate/pathmacros.h"
#include "localstate/upregistry.h"

namespace {

const char kLoginControlFile[] = "TalvoLogin.ocx";

// regsvr32 is left to run on its own: its outcome is not observed.
void StartRegsvr32(const std::string& strParameters) {
  ::ShellExecuteA(nullptr, "open", "regsvr32", strParameters.c_str(), nullptr, SW_HIDE);
}

// The short form keeps blanks out of regsvr32's command line; the path as given when there is none.
std::string ShortPathOf(const std::string& path) {
  char szShort[MAX_PATH] = {};
  const DWORD n = ::GetShortPathNameA(path.c_str(), szShort, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(szShort, n) : path;
}

BOOL CopyFileReplacing(const std::string& strSource, const std::string& strDestination) {
  // FILE_ATTRIBUTE_TEMPORARY, as the stored installs have always set it: it clears read-only.
  ::SetFileAttributesA(strDestination.c_str(), FILE_ATTRIBUTE_TEMPORARY);
  const size_t slash = strDestination.rfind('\\');
  CreateDirectoryTree(slash == std::string::npos ? std::string() : strDestination.substr(0, slash));
  return ::CopyFileA(strSource.c_str(), strDestination.c_str(), FALSE);
}

// A file that is not there is as good as deleted.
BOOL DeleteFileOrMissing(const std::string& path) {
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_TEMPORARY);
  if (::DeleteFileA(path.c_str())) return TRUE;
  return ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

BOOL RunJob(const JobRule& rule, const std::vector<std::string>& saJobParam,
            const std::string& strSource) {
  JobOperands operands;
  if (!MakeJobOperands(rule, saJobParam, strSource, ExpandPathMacros, operands)) {
    framework::WriteLog("OnUpgradeNow : refused file name %s\n", saJobParam[2].c_str());
    return FALSE;
  }
  BOOL bReturn = UpOperation(rule.operation, operands.str1, operands.str2, operands.str3);
  // The staged file goes only once its copy is in place.
  if (bReturn && rule.operation == JobOperation::kCopyFile)
    bReturn = UpOperation(JobOperation::kDeleteFile, operands.str1, "", "");
  return bReturn;
}

void RegisterLoginControl() {
  char szSystem[MAX_PATH] = {};
  ::GetSystemDirectoryA(szSystem, MAX_PATH);
  StartRegsvr32(RegsvrParameters(" /s", std::string(szSystem) + "\\" + kLoginControlFile));
}

void CompleteComponent(const std::string& strProject, int nKind, const std::string& strVersion) {
  switch (nKind) {
    case KIND_CLIENT_PROGRAM:
      WriteVersion(strProject, strVersion);
      break;
    case KIND_SERVER_LIST:
      WriteServerListVersion(strProject, strVersion);
      break;
    case KIND_LOGIN_CONTROL:
      WriteLoginOcxVersion(strProject, strVersion);
      RegisterLoginControl();
      break;
    default:
      break;
  }
}

}  // namespace

void OnUpgradeNow(CProjectData& projectData, int nKind, const std::string& strVersion) {
  const std::string strSource = GetStagingFolder();
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
      if (rule && RunJob(*rule, saJobParam, strSource)) projectData.MarkJobDone(nSection, j);
    }
  }
  CompleteComponent(projectData.GetProjectName(), nKind, strVersion);
}

BOOL UpOperation(JobOperation operation, const std::string& strOperand1,
                 const std::string& strOperand2, const std::string& strOperand3) {
  BOOL bReturn = FALSE;
  switch (operation) {
    case JobOperation::kCopyFile:
      bReturn = CopyFileReplacing(strOperand1, strOperand2);
      break;
    case JobOperation::kDeleteFile:
      bReturn = DeleteFileOrMissing(strOperand1);
      break;
    case JobOperation::kRegisterControl:
      StartRegsvr32(RegsvrParameters("/s", ShortPathOf(strOperand1)));
      bReturn = TRUE;
      break;
    case JobOperation::kUnregisterControl:
      StartRegsvr32(RegsvrParameters("/u /s", ShortPathOf(strOperand1)));
      bReturn = TRUE;
      break;
    case JobOperation::kCreateFolder:
      bReturn = CreateDirectoryTree(strOperand1);
      break;
    case JobOperation::kDeleteFolder:
      bReturn = DeleteDirectoryTree(strOperand1, FALSE);
      break;
    case JobOperation::kRename:
      bReturn = RenamePath(strOperand1, strOperand2);
      break;
    case JobOperation::kAddKey:
      bReturn = AddRegKey(strOperand1);
      break;
    case JobOperation::kDeleteKey:
      bReturn = DelRegKey(strOperand1);
      break;
    case JobOperation::kAddValue:
      bReturn = AddRegValue(strOperand1, strOperand2, strOperand3);
      break;
    case JobOperation::kDeleteValue:
      bReturn = DelRegValue(strOperand1, strOperand2);
      break;
  }
  framework::WriteLog("UpOperation Result : %d(%s)\n", bReturn, strOperand1.c_str());
  return bReturn;
}
