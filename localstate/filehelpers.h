// File-system helpers shared by the downloader, the installer and the option file writer.
#pragma once
#include <string>

// 1 when something already exists at `path` or the last folder was created, else 0.
int CreateDirectoryTree(const std::string& path);
