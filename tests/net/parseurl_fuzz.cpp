// Fuzzes the URL splitter and the file-name rules with arbitrary text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/downloadname.h"
#include "net/parseurl.h"
#include "safename/safename.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string url(reinterpret_cast<const char*>(data), size);
  for (const std::string& candidate : {url, "http://" + url}) {
    unsigned long service = 0;
    std::string server, object;
    unsigned short port = 0;
    if (AfxParseURL(candidate, service, server, object, port)) {
      // What reaches the request line must be safe to send.
      if (server.empty() || port == 0 || object.empty() || object[0] != '/') std::abort();
      for (unsigned char c : server + object) {
        if (c <= 0x20 || c >= 0x7F) std::abort();
      }
    }
  }
  const std::string name = DownloadFileName(url);
  if (IsSafeFileName(name) && (name.find('\\') != std::string::npos || name == "..")) std::abort();
  (void)ContentLengthValue(url.c_str());
  if (size >= 16) {
    uint64_t a = 0, b = 0;
    for (int i = 0; i < 8; ++i) a = (a << 8) | data[i];
    for (int i = 8; i < 16; ++i) b = (b << 8) | data[i];
    if (b != 0) {
      const int p = ProgressPercent(a, b);
      if (p < 0 || (a <= b && p > 100)) std::abort();
    }
  }
  return 0;
}
