// Writes settings into the client's option file "config\option.ini" beside the executable, and
// moves that file aside to "config\option.in_".
#pragma once
#include <windows.h>

#include <string>
#include <vector>

class COptionSetting {
 public:
  COptionSetting();
  virtual ~COptionSetting() = default;

  // One setting "section\\key\\value" (two-backslash separators, quotes kept as they are).
  // TRUE when written; any other number of parts is refused.
  BOOL WriteSetting(const std::string& text);
  // TRUE when there is no option file or it was renamed to the backup name; FALSE (nothing
  // changed) when the rename fails, for example because the backup already exists.
  BOOL BackupFile();

  static void SplitString(const std::string& text, const std::string& separator,
                          std::vector<std::string>& list);

  const std::string& GetFile() const { return m_strFile; }

 private:
  std::string m_strFile;
};
