#include "localstate/filehelpers.h"

#include "framework/modulepath.h"
#include "framework/scopedhandle.h"

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
  if (::GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES) return 1;
  const size_t slash = strPath.rfind('\\');
  // A parent that cannot be created shows up as the failure of the last step.
  CreateDirectoryTree(slash == std::string::npos ? std::string() : strPath.substr(0, slash));
  return ::CreateDirectoryA(strPath.c_str(), nullptr) ? 1 : 0;
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
      const bool bFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      // A file that is going to stay keeps its read-only mark.
      if (!bFolder && !bDeleteFiles) return 0;
      ClearReadOnly(strPath, fd.dwFileAttributes);
      if (bFolder)
        DeleteDirectoryTree(strPath, FALSE);
      else
        ::DeleteFileA(strPath.c_str());
    } while (::FindNextFileA(find.Get(), &fd));
  }
  ClearReadOnly(folder, ::GetFileAttributesA(folder.c_str()));
  return ::RemoveDirectoryA(folder.c_str()) ? 1 : 0;
}

int RenameFileNoThrow(const std::string& oldPath, const std::string& newPath) {
  return ::MoveFileA(oldPath.c_str(), newPath.c_str()) ? 1 : 0;
}

int RenamePath(const std::string& oldPath, const std::string& newPath) {
  return ::MoveFileA(oldPath.c_str(), newPath.c_str()) ? 1 : 0;
}

std::string GetStagingFolder() { return framework::GetModuleFolder() + "\\Update\\"; }
