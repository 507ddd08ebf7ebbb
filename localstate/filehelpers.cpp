#include "localstate/filehelpers.h"

#include <windows.h>

int CreateDirectoryTree(const std::string& path) {
  if (path.empty()) return 0;
  std::string strPath = path;
  if (strPath.back() == '\\') strPath.pop_back();
  if (::GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES) return 1;
  const size_t slash = strPath.rfind('\\');
  CreateDirectoryTree(slash == std::string::npos ? std::string() : strPath.substr(0, slash));
  return ::CreateDirectoryA(strPath.c_str(), nullptr) ? 1 : 0;
}
