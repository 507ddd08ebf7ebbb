#include "catalogue/packagepin.h"

#include <limits>

#include "crypto/hex.h"

bool PackagePin::Read(uint64_t& size, crypto::Sha256Digest& sha256) const {
  const std::string& text = m_strSize;
  if (text.empty() || (text[0] == '0' && text.size() > 1)) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
    value = value * 10 + digit;
  }
  crypto::Sha256Digest digest;
  if (!crypto::DecodeHex(m_strSha256, digest.data(), digest.size(), crypto::HexDigits::kLowerCase)) return false;
  size = value;
  sha256 = digest;
  return true;
}
