#include "catalogue/noticefetch.h"

// Without a downloader linked in there is no network: every text is missing.
std::string DefaultFetchText(const std::string& /*url*/, unsigned long /*timeoutMs*/) {
  return std::string();
}
