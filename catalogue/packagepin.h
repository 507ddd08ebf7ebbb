// A package's size and SHA-256 as a signed document pins them, in the section of its address key
// and named after it: <KEY>_SIZE=<byte count> and <KEY>_SHA256=<64 lower-case hex digits>, for
// XP_DOWNLOADURL, 98_DOWNLOADURL, DOWN_DAT_URL, SERVER_DOWN_URL, OCX_DOWN_URL and each extra
// project's PRO_DOWN_URL. Older updaters ignore both keys.
//
// Portable: built, tested and fuzzed on the host too.
#pragma once

#include <cstdint>
#include <string>

#include "crypto/sha256digest.h"

struct PackagePin {
  // As written (quotes removed like every component value); "" when the document has none.
  std::string m_strSize;
  std::string m_strSha256;

  bool IsEmpty() const { return m_strSize.empty() && m_strSha256.empty(); }
  // Both written and well formed: the size in decimal without sign or leading zero (0 itself
  // aside) within 64 bits, the digest as 64 lower-case hex digits. A pin that is written but not
  // well formed matches no package.
  bool Read(uint64_t& size, crypto::Sha256Digest& sha256) const;
  bool operator==(const PackagePin& other) const {
    return m_strSize == other.m_strSize && m_strSha256 == other.m_strSha256;
  }
  bool operator!=(const PackagePin& other) const { return !(*this == other); }
};

constexpr char kPinSizeSuffix[] = "_SIZE";
constexpr char kPinSha256Suffix[] = "_SHA256";
