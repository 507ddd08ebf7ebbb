// The path macros "<WINDIR>", "<WINSYSDIR>", "<PROGRAMFILES>" and "<TARGETDIR>" (the updater's
// own folder, no trailing backslash) in install paths and string resources.
#pragma once
#include <windows.h>

#include <string>

// Expands the macros (exact case, in that order) with folder texts looked up once per process;
// a folder the system could not supply expands to "" this time and is asked for again next time.
// A non-empty `name` is joined with one backslash.
std::string ExpandPathMacros(const std::string& path, const std::string& name);

// ExpandPathMacros of the string resource `id` of the executable.
std::string LoadMacroPath(UINT id, const std::string& name);
