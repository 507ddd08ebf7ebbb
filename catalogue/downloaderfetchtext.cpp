#include "catalogue/noticefetch.h"

#include "net/internetfiledown.h"

// In the program the catalogue's texts come over HTTP, each with a downloader of its own.
std::string DefaultFetchText(const std::string& url, unsigned long timeoutMs) {
  CInternetFileDown download;
  download.SetSavePath("");
  return download.DownloadToString(url, timeoutMs);
}
