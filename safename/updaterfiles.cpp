#include "safename/updaterfiles.h"

#include <string>

#include "safename/safename.h"

bool IsUpdaterOwnName(std::string_view name) {
  const std::string key = WindowsNameKey(name);
  if (key.empty() || key.find('/') != std::string::npos) return false;
  if (key == WindowsNameKey(kUpdaterProgramName) || key == WindowsNameKey(kStagingFolderName)) return true;
  // "Update." and anything: the journal, the set-aside folder, the release record and the
  // temporary names they take while being written.
  const std::string prefix = WindowsNameKey(kStagingFolderName) + ".";
  return key.size() > prefix.size() && key.compare(0, prefix.size(), prefix) == 0;
}
