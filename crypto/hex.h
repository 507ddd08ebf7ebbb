// Hexadecimal text to bytes and back, for keys, signatures and digests written into texts.
// Portable: built and tested on the host too.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace crypto {

enum class HexDigits {
  kAnyCase,    // 0-9, a-f and A-F
  kLowerCase,  // 0-9 and a-f only: a digest written one way, so that it is compared one way
};

// `text` must be exactly 2 * size digits; `out` is left as it was when it is not.
bool DecodeHex(std::string_view text, unsigned char* out, size_t size, HexDigits digits = HexDigits::kAnyCase);
// Lower case, two digits per byte.
std::string EncodeHex(const unsigned char* data, size_t size);

}  // namespace crypto
