#include "net/httpvalidator.h"

namespace {

const char kMagic[] = "TalvoValidator 1";
const char kEnd[] = "end";
// Far beyond real ETags and dates; the downloader reads header values into 512 bytes.
const size_t kLongestValue = 256;

}  // namespace

bool IsSafeValidatorValue(const std::string& value) {
  if (value.size() > kLongestValue) return false;
  for (char c : value)
    if (c < 0x20 || c > 0x7E) return false;
  return true;
}

bool HttpValidator::IsSafe() const { return IsSafeValidatorValue(strETag) && IsSafeValidatorValue(strLastModified); }

std::string HttpValidator::ConditionalHeaders() const {
  if (!IsSafe()) return std::string();
  std::string headers;
  if (!strETag.empty()) headers += "If-None-Match: " + strETag + "\r\n";
  if (!strLastModified.empty()) headers += "If-Modified-Since: " + strLastModified + "\r\n";
  return headers;
}

std::string HttpValidator::FormatRecord() const {
  return std::string(kMagic) + "\netag=" + strETag + "\nlast-modified=" + strLastModified + "\n" + kEnd + "\n";
}

bool HttpValidator::ParseRecord(const std::string& text) {
  HttpValidator parsed;
  static const char* const kKeys[] = {"etag=", "last-modified="};
  std::string* const values[] = {&parsed.strETag, &parsed.strLastModified};
  size_t at = 0;
  int line = 0;
  while (at < text.size()) {
    const size_t eol = text.find('\n', at);
    if (eol == std::string::npos) return false;  // a line cut short
    const std::string content = text.substr(at, eol - at);
    at = eol + 1;
    if (line == 0) {
      if (content != kMagic) return false;
    } else if (line <= 2) {
      const std::string key = kKeys[line - 1];
      if (content.compare(0, key.size(), key) != 0) return false;
      *values[line - 1] = content.substr(key.size());
    } else if (line == 3) {
      if (content != kEnd) return false;
    } else {
      return false;
    }
    ++line;
  }
  if (line != 4 || parsed.IsEmpty() || !parsed.IsSafe()) return false;
  *this = parsed;
  return true;
}
