#include "app/downloaderfetchtext.h"

#include <new>

#include "net/internetfiledown.h"

std::string FetchTextWithDownloader(const std::string& url, unsigned long timeoutMs) {
  // The catalogue calls this in the middle of its parse: nothing may escape into it.
  try {
    CInternetFileDown download;
    download.SetSavePath("");
    return download.DownloadToString(url, timeoutMs);
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}
