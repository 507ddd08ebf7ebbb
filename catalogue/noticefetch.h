// The one narrow way the catalogue reaches the network: fetching a short text by HTTP.
// The default fetcher makes no request and answers ""; the program installs the real downloader,
// tests install a recording one.
#pragma once

#include <string>

using FetchTextFn = std::string (*)(const std::string& url, unsigned long timeoutMs);

// Installs fn (nullptr restores the default) and returns the fetcher it replaces.
FetchTextFn SetTextFetcher(FetchTextFn fn);

// The body of url as text, or "" when it could not be fetched within timeoutMs.
std::string FetchText(const std::string& url, unsigned long timeoutMs);

// The fetcher in place when none is installed.
std::string DefaultFetchText(const std::string& url, unsigned long timeoutMs);
