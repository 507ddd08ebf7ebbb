#include "crypto/hex.h"

#include <vector>

namespace crypto {

namespace {

int DigitValue(char c, HexDigits digits) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (digits == HexDigits::kAnyCase && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool DecodeHex(std::string_view text, unsigned char* out, size_t size, HexDigits digits) {
  if (text.size() != 2 * size) return false;
  std::vector<unsigned char> bytes(size);
  for (size_t i = 0; i < size; ++i) {
    const int high = DigitValue(text[2 * i], digits);
    const int low = DigitValue(text[2 * i + 1], digits);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<unsigned char>(high << 4 | low);
  }
  for (size_t i = 0; i < size; ++i) out[i] = bytes[i];
  return true;
}

std::string EncodeHex(const unsigned char* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * size);
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 0x0f];
  }
  return text;
}

}  // namespace crypto
