#include "catalogue/noticefetch.h"

// Until a program installs a fetcher there is no network: every text is missing.
std::string DefaultFetchText(const std::string& /*url*/, unsigned long /*timeoutMs*/) {
  return std::string();
}
