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

}  // namespace crypto
