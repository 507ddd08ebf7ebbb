#include "localstate/pathmacros.h"

#include <mutex>

#include "framework/modulepath.h"
#include "framework/resstring.h"
#include "localstate/pathmacrotext.h"
#include "localstate/upregistry.h"

namespace {

std::string FolderFrom(UINT (WINAPI* getFolder)(LPSTR, UINT)) {
  char szFolder[MAX_PATH] = {};
  const UINT n = getFolder(szFolder, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(szFolder, n) : std::string();
}

}  // namespace

std::string ExpandPathMacros(const std::string& path, const std::string& name) {
  static std::mutex s_mutex;
  static PathMacroFolders s_folders;
  PathMacroFolders folders;
  {
    std::lock_guard<std::mutex> lock(s_mutex);
    if (s_folders.strWindows.empty()) s_folders.strWindows = FolderFrom(::GetWindowsDirectoryA);
    if (s_folders.strSystem.empty()) s_folders.strSystem = FolderFrom(::GetSystemDirectoryA);
    if (s_folders.strProgramFiles.empty()) s_folders.strProgramFiles = GetProgramFilesDir();
    if (s_folders.strTarget.empty()) s_folders.strTarget = framework::GetModuleFolder();
    folders = s_folders;
  }
  return SubstitutePathMacros(path, name, folders);
}

std::string LoadMacroPath(UINT id, const std::string& name) {
  return ExpandPathMacros(framework::LoadResString(id), name);
}
