#include "update/extraproject.h"

#include <string>

#include "catalogue/projectdata.h"
#include "framework/scopedhandle.h"
#include "localstate/upregistry.h"

namespace {

// The folder the path names and the file name after it. A path without a folder part names no
// folder to look in (never the drive's root or the current folder), and a path the system could
// not use at all is no installation either.
BOOL FolderHoldsFile(const std::string& strPath) {
  if (strPath.size() >= MAX_PATH) return FALSE;
  const size_t slash = strPath.find_last_of("\\/");
  if (slash == std::string::npos || slash == 0) return FALSE;
  const std::string strWanted = strPath.substr(slash + 1);
  if (strWanted.empty()) return FALSE;
  const std::string strPattern = strPath.substr(0, slash + 1) + "*.*";
  WIN32_FIND_DATAA found = {};
  framework::UniqueFindHandle search(::FindFirstFileA(strPattern.c_str(), &found));
  if (!search) return FALSE;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && strWanted == found.cFileName)
      return TRUE;
  } while (::FindNextFileA(search.Get(), &found));
  return FALSE;
}

}  // namespace

BOOL IsExtraProjectInstalled(const EtcProject& project) {
  if (!project.m_strReg.empty()) return MachineKeyExists(project.m_strReg);
  if (!project.m_strPath.empty()) return FolderHoldsFile(project.m_strPath);
  return FALSE;
}
