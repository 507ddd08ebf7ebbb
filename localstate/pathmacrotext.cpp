#include "localstate/pathmacrotext.h"

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  std::string result;
  size_t start = 0;
  for (size_t found; (found = text.find(from, start)) != std::string::npos;
       start = found + from.size())
    result.append(text, start, found - start).append(to);
  result.append(text, start, std::string::npos);
  return result;
}

std::string SubstitutePathMacros(const std::string& path, const std::string& name,
                                 const PathMacroFolders& folders) {
  std::string result = ReplaceAll(path, "<WINDIR>", folders.strWindows);
  result = ReplaceAll(result, "<WINSYSDIR>", folders.strSystem);
  result = ReplaceAll(result, "<PROGRAMFILES>", folders.strProgramFiles);
  result = ReplaceAll(result, "<TARGETDIR>", folders.strTarget);
  if (!name.empty()) result += "\\" + name;
  return result;
}
