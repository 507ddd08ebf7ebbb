// The catalogue's texts (the notice and the log page) fetched over HTTP, each with a downloader
// of its own: what the program installs as the catalogue's text fetcher.
#pragma once
#include <string>

std::string FetchTextWithDownloader(const std::string& url, unsigned long timeoutMs);
