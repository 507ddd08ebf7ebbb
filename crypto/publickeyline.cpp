#include "crypto/publickeyline.h"

#include "crypto/hex.h"

namespace crypto {

bool ParsePublicKeyLine(std::string_view line, P256PublicKey& key) {
  const std::string_view prefix = kPublicKeyLinePrefix;
  if (line.substr(0, prefix.size()) != prefix) return false;
  return DecodeHex(line.substr(prefix.size()), key.data(), key.size());
}

std::string FormatPublicKeyLine(const P256PublicKey& key) {
  return kPublicKeyLinePrefix + EncodeHex(key.data(), key.size());
}

bool ParsePublicKeyList(std::string_view text, std::vector<P256PublicKey>& keys) {
  std::vector<P256PublicKey> found;
  const auto isSeparator = [](char c) { return c == ' ' || c == '\t' || c == ','; };
  while (!text.empty()) {
    if (isSeparator(text.front())) {
      text.remove_prefix(1);
      continue;
    }
    size_t end = 0;
    while (end < text.size() && !isSeparator(text[end])) ++end;
    P256PublicKey key;
    if (!ParsePublicKeyLine(text.substr(0, end), key)) return false;
    found.push_back(key);
    text.remove_prefix(end);
  }
  if (found.empty()) return false;
  keys = found;
  return true;
}

}  // namespace crypto
