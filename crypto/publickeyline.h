// The release public key as a build carries it: "ecdsa-p256:" followed by 128 hexadecimal digits,
// the X and Y coordinates of the uncompressed P-256 point, 32 bytes each, big-endian.
// Portable: built and tested on the host too.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace crypto {

constexpr size_t kP256CoordinateBytes = 32;
constexpr size_t kP256PublicKeyBytes = 2 * kP256CoordinateBytes;  // X || Y
constexpr size_t kP256SignatureBytes = 2 * kP256CoordinateBytes;  // r || s
constexpr char kPublicKeyLinePrefix[] = "ecdsa-p256:";

using P256PublicKey = std::array<unsigned char, kP256PublicKeyBytes>;
using P256Signature = std::array<unsigned char, kP256SignatureBytes>;

// The outcome of a signature check.
enum class SignatureCheck {
  kGood,
  kBad,         // the signature does not belong to these bytes and this key
  kNotChecked,  // the system could not make the check (no ECDSA, a key it refuses, ...)
};

// Exactly the prefix and 128 digits of either case, nothing around them. Whether the point lies
// on the curve is for the system's cryptography to say when it imports the key.
bool ParsePublicKeyLine(std::string_view line, P256PublicKey& key);
// The line for `key`, digits in lower case.
std::string FormatPublicKeyLine(const P256PublicKey& key);

// The keys a build trusts: one or more key lines separated by blanks or commas (the active key
// first, then the ones kept offline). False when any of them is malformed or there is none.
bool ParsePublicKeyList(std::string_view text, std::vector<P256PublicKey>& keys);

}  // namespace crypto
