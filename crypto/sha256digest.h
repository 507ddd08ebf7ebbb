// A SHA-256 digest as the program passes it around: the 32 bytes the hash gives, in its order.
// Portable: the type carries no hashing, which is the system's (crypto/sha256hasher).
#pragma once

#include <array>
#include <cstddef>

namespace crypto {

constexpr size_t kSha256Bytes = 32;
using Sha256Digest = std::array<unsigned char, kSha256Bytes>;

}  // namespace crypto
