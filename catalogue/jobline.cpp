#include "catalogue/jobline.h"

#include "catalogue/projectdata.h"
#include "safename/safename.h"

int SplitJobLine(int nSection, const std::string& line, std::vector<std::string>& saJobParam) {
  const bool bCommentsLeft = nSection == CProjectData::JOB_REGISTRY;
  saJobParam.clear();
  std::string szToken;
  bool bQuoted = false;
  for (const char c : line) {
    if (c == '=' || c == ',') {
      saJobParam.push_back(szToken);
      szToken.clear();
      continue;
    }
    if (c == '"')
      bQuoted = !bQuoted;
    else if (c == ';' && !bQuoted && bCommentsLeft)
      break;
    szToken += c;
  }
  if (!szToken.empty()) saJobParam.push_back(szToken);
  // No instruction reads past field 4, so extra fields are dropped rather than the line refused.
  saJobParam.resize(kJobParamCount);
  return 1;
}

namespace {

constexpr int kFolderSection = CProjectData::JOB_FOLDER;
constexpr int kFilesSection = CProjectData::JOB_FILES;
constexpr int kRegistrySection = CProjectData::JOB_REGISTRY;

const JobRule kJobRules[] = {
    {kFolderSection, "CREATE", JobOperation::kCreateFolder, JobOperandForm::kFolder},
    {kFolderSection, "DELETE", JobOperation::kDeleteFolder, JobOperandForm::kFolder},
    {kFolderSection, "CHANGE", JobOperation::kRename, JobOperandForm::kOldAndNewPath},
    {kFilesSection, "COPY", JobOperation::kCopyFile, JobOperandForm::kStagedFile},
    {kFilesSection, "DELETE", JobOperation::kDeleteFile, JobOperandForm::kFileInFolder},
    {kFilesSection, "UNREGIST", JobOperation::kUnregisterControl, JobOperandForm::kFileInFolder},
    {kFilesSection, "REGIST", JobOperation::kRegisterControl, JobOperandForm::kFileInFolder},
    {kRegistrySection, "ADDKEY", JobOperation::kAddKey, JobOperandForm::kKey},
    {kRegistrySection, "DELKEY", JobOperation::kDeleteKey, JobOperandForm::kKey},
    {kRegistrySection, "ADDVAL", JobOperation::kAddValue, JobOperandForm::kKeyValueData},
    {kRegistrySection, "DELVAL", JobOperation::kDeleteValue, JobOperandForm::kKeyAndValue},
};

}  // namespace

const JobRule* FindJobRule(int nSection, const std::string& keyword) {
  for (const JobRule& rule : kJobRules)
    if (rule.nSection == nSection && keyword == rule.szKeyword) return &rule;
  return nullptr;
}

bool MakeJobOperands(const JobRule& rule, const std::vector<std::string>& saJobParam,
                     const std::string& strSource, PathExpander expand, JobOperands& operands) {
  auto field = [&saJobParam](size_t i) {
    return i < saJobParam.size() ? saJobParam[i] : std::string();
  };
  operands = JobOperands();
  switch (rule.form) {
    case JobOperandForm::kFolder:
      operands.str1 = expand(field(1), "");
      break;
    case JobOperandForm::kOldAndNewPath:
      operands.str1 = expand(field(1), "");
      operands.str2 = expand(field(2), "");
      break;
    case JobOperandForm::kFileInFolder:
      operands.str1 = expand(field(1), field(2));
      break;
    case JobOperandForm::kStagedFile:
      if (!IsSafeRelativePath(field(2))) return false;
      operands.str1 = strSource + field(2);
      operands.str2 = expand(field(1), field(2));
      break;
    case JobOperandForm::kKey:
      operands.str1 = field(1);
      break;
    case JobOperandForm::kKeyAndValue:
      operands.str1 = field(1);
      operands.str2 = field(2);
      break;
    case JobOperandForm::kKeyValueData:
      operands.str1 = field(1);
      operands.str2 = field(2);
      operands.str3 = expand(field(3), "");
      break;
  }
  return true;
}

std::string RegsvrParameters(const std::string& flags, const std::string& path) {
  const bool bQuote = path.find(' ') != std::string::npos;
  return flags + " " + (bQuote ? "\"" + path + "\"" : path);
}
