#include "catalogue/noticefetch.h"

namespace {
FetchTextFn g_fetchText = &DefaultFetchText;
}

FetchTextFn SetTextFetcher(FetchTextFn fn) {
  FetchTextFn previous = g_fetchText;
  g_fetchText = fn != nullptr ? fn : &DefaultFetchText;
  return previous;
}

std::string FetchText(const std::string& url, unsigned long timeoutMs) {
  return g_fetchText(url, timeoutMs);
}
