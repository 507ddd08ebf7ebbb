#include "catalogue/deltaoffer.h"

#include <cstring>

namespace {

bool IsDigestText(const std::string& text) {
  if (text.size() != 64) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace

bool ParseDeltaFile(const std::string& value, DeltaFile& file) {
  std::vector<std::string> fields(1);
  for (char c : value) {
    if (c == ',') fields.emplace_back();
    else fields.back() += c;
  }
  if (fields.size() != 4 || fields[0].empty() || fields[1].empty()) return false;
  if (!fields[2].empty() && !IsDigestText(fields[2])) return false;
  if (!IsDigestText(fields[3])) return false;
  file = DeltaFile{fields[0], fields[1], fields[2], fields[3]};
  return true;
}

bool DeltaOffer::ReadFiles(std::vector<DeltaFile>& files) const {
  files.clear();
  for (const std::string& value : m_saFiles) {
    DeltaFile file;
    if (!ParseDeltaFile(value, file)) {
      files.clear();
      return false;
    }
    files.push_back(file);
  }
  return true;
}

bool SplitDeltaKey(const std::string& key, std::string& urlKey, unsigned& number, DeltaField& field) {
  static const char kMarker[] = "_DELTA";
  const size_t at = key.rfind(kMarker);
  if (at == std::string::npos || at == 0) return false;
  size_t pos = at + std::strlen(kMarker);
  const size_t digitsStart = pos;
  unsigned n = 0;
  while (pos < key.size() && key[pos] >= '0' && key[pos] <= '9' && pos - digitsStart < 4)
    n = n * 10 + static_cast<unsigned>(key[pos++] - '0');
  if (pos == digitsStart || key[digitsStart] == '0') return false;
  const std::string rest = key.substr(pos);
  if (rest.empty()) field = DeltaField::kUrl;
  else if (rest == "_FROM") field = DeltaField::kFrom;
  else if (rest == kPinSizeSuffix) field = DeltaField::kSize;
  else if (rest == kPinSha256Suffix) field = DeltaField::kSha256;
  else if (rest == "_FILE") field = DeltaField::kFile;
  else return false;
  urlKey = key.substr(0, at);
  number = n;
  return true;
}
