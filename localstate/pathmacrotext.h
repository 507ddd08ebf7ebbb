// Text substitution of the path macros, given the folders they stand for.
#pragma once
#include <string>

struct PathMacroFolders {
  std::string strWindows;       // "<WINDIR>"
  std::string strSystem;        // "<WINSYSDIR>"
  std::string strProgramFiles;  // "<PROGRAMFILES>"
  std::string strTarget;        // "<TARGETDIR>"
};

// Replaces every "<WINDIR>", then every "<WINSYSDIR>", then "<PROGRAMFILES>", then "<TARGETDIR>"
// (exact case) by its folder; nothing else is touched, doubled backslashes included. A non-empty
// `name` is then joined with one backslash, even after a trailing one.
std::string SubstitutePathMacros(const std::string& path, const std::string& name,
                                 const PathMacroFolders& folders);

// Every occurrence of `from` in `text` replaced by `to`, left to right, not rescanning what was
// inserted.
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to);
