#include "framework/modulepath.h"

#include <windows.h>

namespace framework {

std::string GetModulePath() {
  char szPath[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameA(nullptr, szPath, MAX_PATH);
  return std::string(szPath, n < MAX_PATH ? n : MAX_PATH - 1);
}

std::string GetModuleFolder() {
  std::string path = GetModulePath();
  const size_t slash = path.rfind('\\');
  if (slash != std::string::npos) path.resize(slash);
  return path;
}

std::string GetModuleFileTitle() {
  const std::string path = GetModulePath();
  std::string title = path.substr(path.find_last_of("\\/") + 1);
  const size_t dot = title.rfind('.');
  if (dot != std::string::npos) title.resize(dot);
  return title;
}

}  // namespace framework
