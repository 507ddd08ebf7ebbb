#include "localstate/filehelpers.h"

#include <vector>

#include "framework/modulepath.h"
#include "framework/scopedhandle.h"
#include "safename/updaterfiles.h"

namespace {

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

void ClearReadOnly(const std::string& path, DWORD attributes) {
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    ::SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

}  // namespace

int CreateDirectoryTree(const std::string& path) {
  if (path.empty()) return 0;
  std::string strPath = path;
  if (strPath.back() == '\\') strPath.pop_back();
  if (strPath.empty()) return 0;
  // The ANSI file functions cannot take such a path, and a hostile document could make it as
  // long as it likes: nothing is created.
  if (strPath.size() >= MAX_PATH) return 0;
  // The levels that do not exist yet, deepest first; each is the text before a backslash, with
  // one backslash of a doubled pair left out, as its own creation would.
  std::vector<size_t> missingLevelEnds;
  size_t end = strPath.size();
  while (end > 0 && ::GetFileAttributesA(strPath.substr(0, end).c_str()) == INVALID_FILE_ATTRIBUTES) {
    missingLevelEnds.push_back(end);
    const size_t slash = strPath.rfind('\\', end - 1);
    if (slash == std::string::npos) break;
    end = slash > 0 && strPath[slash - 1] == '\\' ? slash - 1 : slash;
  }
  if (missingLevelEnds.empty()) return 1;
  // A parent that cannot be created shows up as the failure of the last step.
  BOOL bCreated = FALSE;
  for (auto level = missingLevelEnds.rbegin(); level != missingLevelEnds.rend(); ++level)
    bCreated = ::CreateDirectoryA(strPath.substr(0, *level).c_str(), nullptr);
  return bCreated ? 1 : 0;
}

int DeleteDirectoryTree(const std::string& folder, BOOL bDeleteFiles) {
  if (folder.empty()) return 0;
  WIN32_FIND_DATAA fd;
  {
    framework::UniqueFindHandle find(::FindFirstFileA((folder + "\\*.*").c_str(), &fd));
    if (!find) return 0;
    do {
      if (IsDotEntry(fd.cFileName)) continue;
      const std::string strPath = folder + "\\" + fd.cFileName;
      ClearReadOnly(strPath, fd.dwFileAttributes);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        DeleteDirectoryTree(strPath, FALSE);
      else if (bDeleteFiles)
        ::DeleteFileA(strPath.c_str());
      else
        return 0;
    } while (::FindNextFileA(find.Get(), &fd));
  }
  ClearReadOnly(folder, ::GetFileAttributesA(folder.c_str()));
  return ::RemoveDirectoryA(folder.c_str()) ? 1 : 0;
}

int RemoveFolderTree(const std::string& folder) {
  if (folder.empty()) return 0;
  const DWORD attributes = ::GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 1 : 0;
  }
  ClearReadOnly(folder, attributes);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ::DeleteFileA(folder.c_str()) ? 1 : 0;
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAA fd;
    framework::UniqueFindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &fd));
    if (find) {
      do {
        if (!IsDotEntry(fd.cFileName)) RemoveFolderTree(folder + "\\" + fd.cFileName);
      } while (::FindNextFileA(find.Get(), &fd));
    }
  }
  return ::RemoveDirectoryA(folder.c_str()) ? 1 : 0;
}

int RenameFileNoThrow(const std::string& oldPath, const std::string& newPath) {
  return ::MoveFileA(oldPath.c_str(), newPath.c_str()) ? 1 : 0;
}

int RenamePath(const std::string& oldPath, const std::string& newPath) {
  return ::MoveFileA(oldPath.c_str(), newPath.c_str()) ? 1 : 0;
}

std::string GetStagingFolder() { return framework::GetModuleFolder() + "\\" + kStagingFolderName + "\\"; }
int EmptyStagingFolder() {
  std::string folder = GetStagingFolder();
  folder.pop_back();
  return RemoveFolderTree(folder);
}

std::string GetInstallJournalPath() { return framework::GetModuleFolder() + "\\" + kInstallJournalName; }
std::string GetSetAsideFolder() { return framework::GetModuleFolder() + "\\" + kSetAsideFolderName; }
std::string GetPartialFolder() { return framework::GetModuleFolder() + "\\" + kPartialFolderName + "\\"; }
