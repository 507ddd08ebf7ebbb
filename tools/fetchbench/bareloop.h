// The floor the benchmarks measure the updater against: a bare WinINet transfer making the
// downloader's calls (ask what has arrived, read at most 4096 bytes), with no queue, progress or
// threads, and a millisecond clock.
#pragma once
#include <windows.h>

#include <string>

double NowMs();
// Fetches `url` into the file `path`; adds the bytes received to *bytes when given.
bool BareLoop(const std::string& url, const std::string& path, unsigned long long* bytes = nullptr);
