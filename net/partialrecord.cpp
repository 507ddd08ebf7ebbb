#include "net/partialrecord.h"

#include <cstdint>

namespace {

const char kMagic[] = "TalvoPartial 1";
const char kEnd[] = "end";
const char kBodySuffix[] = ".part";
const char kRecordSuffix[] = ".record";

bool ReadUnsigned(const std::string& text, std::uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return true;
}

bool IsLowerHexDigest(const std::string& text) {
  if (text.size() != 64) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

bool EndsWith(const std::string& text, const char* suffix, size_t& stem) {
  const std::string end(suffix);
  if (text.size() < end.size() || text.compare(text.size() - end.size(), end.size(), end) != 0) return false;
  stem = text.size() - end.size();
  return true;
}

}  // namespace

std::string PartialRecord::Format() const {
  std::string text = std::string(kMagic) + "\n";
  text += "url=" + strUrl + "\n";
  text += "size=" + std::to_string(nPinnedSize) + "\n";
  text += "sha256=" + strPinnedSha256 + "\n";
  text += "etag=" + strETag + "\n";
  text += "last-modified=" + strLastModified + "\n";
  text += "bytes=" + std::to_string(nBytesOnDisk) + "\n";
  text += std::string(kEnd) + "\n";
  return text;
}

bool PartialRecord::Parse(const std::string& text) {
  PartialRecord parsed;
  size_t at = 0;
  int field = 0;
  bool ended = false;
  while (at < text.size()) {
    const size_t eol = text.find('\n', at);
    if (eol == std::string::npos) return false;  // a line cut short
    const std::string line = text.substr(at, eol - at);
    at = eol + 1;
    if (ended) return false;
    if (field == 0) {
      if (line != kMagic) return false;
      ++field;
      continue;
    }
    if (line == kEnd) {
      ended = true;
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return false;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    static const char* const kKeys[] = {"url", "size", "sha256", "etag", "last-modified", "bytes"};
    if (field > 6 || key != kKeys[field - 1]) return false;
    switch (field++) {
      case 1: parsed.strUrl = value; break;
      case 2: if (!ReadUnsigned(value, parsed.nPinnedSize)) return false; break;
      case 3: if (!IsLowerHexDigest(value)) return false; parsed.strPinnedSha256 = value; break;
      case 4: parsed.strETag = value; break;
      case 5: parsed.strLastModified = value; break;
      case 6: if (!ReadUnsigned(value, parsed.nBytesOnDisk)) return false; break;
    }
  }
  if (!ended || field != 7) return false;
  *this = parsed;
  return true;
}

bool PartialRecord::CanContinue(std::uint64_t nSize, const std::string& strSha256) const {
  return nPinnedSize == nSize && strPinnedSha256 == strSha256 && (!strETag.empty() || !strLastModified.empty()) &&
         nBytesOnDisk != 0 && nBytesOnDisk < nPinnedSize;
}

std::string PartialBodyName(const std::string& strPinnedSha256) { return strPinnedSha256 + kBodySuffix; }

std::string PartialRecordName(const std::string& strPinnedSha256) { return strPinnedSha256 + kRecordSuffix; }

std::string PinOfPartialName(const std::string& strName) {
  size_t stem = 0;
  if (!EndsWith(strName, kBodySuffix, stem) && !EndsWith(strName, kRecordSuffix, stem)) return std::string();
  const std::string pin = strName.substr(0, stem);
  return IsLowerHexDigest(pin) ? pin : std::string();
}
