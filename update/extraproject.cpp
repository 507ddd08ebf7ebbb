#include "update/extraproject.h"

#include <cstdlib>
#include <string>

#include "catalogue/projectdata.h"
#include "framework/scopedhandle.h"
#include "localstate/upregistry.h"

namespace {

BOOL FolderHoldsFile(const std::string& strPath) {
  char szDrive[_MAX_DRIVE] = {};
  char szDir[_MAX_DIR] = {};
  char szName[_MAX_FNAME] = {};
  char szExt[_MAX_EXT] = {};
  if (_splitpath_s(strPath.c_str(), szDrive, sizeof szDrive, szDir, sizeof szDir, szName, sizeof szName,
                   szExt, sizeof szExt) != 0)
    return FALSE;
  const std::string strWanted = std::string(szName) + szExt;
  std::string strPattern = std::string(szDrive) + szDir;
  if (strPattern.empty() || strPattern.back() != '\\') strPattern += '\\';
  strPattern += "*.*";
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
