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

}  // namespace framework
