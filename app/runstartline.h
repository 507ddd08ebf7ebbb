// The kept log's first line of each run: what support needs to place every line after it.
#pragma once
#include <string>

// "Run: TalvoUpdate 1.0.0 win32, Windows 6.1.7601, command line "...", release key 0123abcd...,
// free on C:\: 12345 MB". The key part names the first 16 hex digits of the SHA-256 of the build's
// key line (then those of the keys kept offline, "(kept offline: ...)"), or says the build has none.
std::string DescribeRunStart(const std::string& strCommandLine, const std::string& strReleasePublicKey,
                             const std::string& strInstallFolder);
