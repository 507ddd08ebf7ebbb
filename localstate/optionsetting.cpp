#include "localstate/optionsetting.h"

#include "framework/modulepath.h"
#include "localstate/filehelpers.h"
#include "localstate/splitstring.h"

COptionSetting::COptionSetting() {
  const std::string strFolder = framework::GetModuleFolder();
  // Without a folder the name would point into the current folder's drive root.
  if (!strFolder.empty()) m_strFile = strFolder + "\\config\\option.ini";
}

void COptionSetting::SplitString(const std::string& text, const std::string& separator,
                                 std::vector<std::string>& list) {
  ::SplitString(text, separator, list);
}

BOOL COptionSetting::WriteSetting(const std::string& text) {
  // Without a full path the platform would write into the Windows folder instead.
  if (text.empty() || m_strFile.empty()) return FALSE;
  std::vector<std::string> parts;
  SplitString(text, "\\\\", parts);
  if (parts.size() != 3) return FALSE;
  return ::WritePrivateProfileStringA(parts[0].c_str(), parts[1].c_str(), parts[2].c_str(),
                                      m_strFile.c_str())
             ? TRUE
             : FALSE;
}

BOOL COptionSetting::BackupFile() {
  if (m_strFile.empty() || ::GetFileAttributesA(m_strFile.c_str()) == INVALID_FILE_ATTRIBUTES)
    return TRUE;
  const std::string strBackup = m_strFile.substr(0, m_strFile.size() - 3) + "in_";
  return RenameFileNoThrow(m_strFile, strBackup) ? TRUE : FALSE;
}
