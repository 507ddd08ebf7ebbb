// The signed form of the update information document, read before anything of it is trusted.
//
// A signed document is the document followed by its signature as the last section:
//
//   ...every byte the signature covers, ending with a line end...
//   [SIGNATURE]
//   ECDSA-P256-SHA256=<128 hex digits: r || s, 32 bytes each, big-endian>
//   (at most one line end, then nothing)
//
// The signature covers every byte before the "[" of the "[SIGNATURE]" line. Line ends are CR LF or
// LF. Within the covered bytes a section "[RELEASE]" carries "NUMBER=<1 to 2^31-1>", the release
// number that keeps an older signed document from being served again. A section
// "[RELEASE_POLICY]" carries "EXPIRES=" with the time (UTC, "YYYY-MM-DDTHH:MM:SSZ") after which the
// document is stale: whoever serves the last signed document for ever cannot keep a newer release
// from being known. The parser of older updaters takes these sections as unknown ones and ignores
// their lines; updaters that read [RELEASE] ignore the other keys and sections.
//
// Portable: built, tested and fuzzed on the host too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "crypto/publickeyline.h"

constexpr char kSignatureSectionLine[] = "[SIGNATURE]";
constexpr char kSignatureKey[] = "ECDSA-P256-SHA256=";
constexpr char kReleaseSectionLine[] = "[RELEASE]";
constexpr char kReleaseNumberKey[] = "NUMBER=";
constexpr char kReleasePolicySectionLine[] = "[RELEASE_POLICY]";
constexpr char kReleaseExpiresKey[] = "EXPIRES=";
constexpr uint32_t kHighestReleaseNumber = 0x7fffffff;

enum class SignatureState {
  kSigned,
  kNoSignature,          // no "[SIGNATURE]" line
  kSeveralSignatures,    // more than one "[SIGNATURE]" line
  kMalformedSignature,   // the section is not the section line and one well-formed signature line
  kLinesAfterSignature,  // something follows the signature line besides one line end
};

struct SignedDocument {
  SignatureState state = SignatureState::kNoSignature;
  // kSigned only: the bytes the signature covers (a view into the document) and the signature.
  std::string_view covered;
  crypto::P256Signature signature{};
};

// Where the signature is and what it covers. Only a line start counts: "[SIGNATURE]" at the very
// beginning of the document or right after a line feed.
SignedDocument SplitSignedDocument(std::string_view document);
// For diagnostic lines: "no signature", "more than one signature", ...
const char* DescribeSignatureState(SignatureState state);

enum class ReleaseNumberState {
  kFound,
  kMissing,    // no "[RELEASE]" section, or one without a NUMBER line
  kMalformed,  // a NUMBER that is not 1 to 2^31-1 in decimal without leading zeros
  kSeveral,    // more than one "[RELEASE]" section or NUMBER line
};

struct ReleaseNumber {
  ReleaseNumberState state = ReleaseNumberState::kMissing;
  uint32_t number = 0;  // kFound only
};

// The release number of the covered bytes. Lines are cut at LF; white space around a line is not
// part of it. The section runs from its line to the next line that starts with "[".
ReleaseNumber ReadReleaseNumber(std::string_view covered);
// "no release number", "malformed release number", "more than one release number".
const char* DescribeReleaseNumberState(ReleaseNumberState state);

// The next line of `text`, cut at LF and without the white space around it, taken off its front:
// how the covered bytes are read line by line.
std::string_view TakeTrimmedLine(std::string_view& text);

// The value of `key` (with its "=") in the section of `sectionLine`: how many such sections and
// lines there are, and the last value. Lines are cut at LF and trimmed.
struct ReleaseValue {
  int sections = 0;
  int lines = 0;
  std::string_view text;
};
ReleaseValue ReadReleaseValue(std::string_view covered, std::string_view sectionLine, std::string_view key);

enum class ReleaseExpiryState {
  kFound,
  kMissing,    // no EXPIRES line in a "[RELEASE_POLICY]" section (signed before it was written)
  kMalformed,  // not "YYYY-MM-DDTHH:MM:SSZ" of a real time
  kSeveral,    // more than one "[RELEASE_POLICY]" section or EXPIRES line
};

struct ReleaseExpiry {
  ReleaseExpiryState state = ReleaseExpiryState::kMissing;
  int64_t nUtcSeconds = 0;  // kFound only: seconds since 1970-01-01 00:00:00 UTC
};

// The expiry time of the covered bytes, read as the release number is.
ReleaseExpiry ReadReleaseExpiry(std::string_view covered);
// "no expiry time", "malformed expiry time", "more than one expiry time".
const char* DescribeReleaseExpiryState(ReleaseExpiryState state);

// "YYYY-MM-DDTHH:MM:SSZ", years 1970 to 9999, exactly so: the form the publisher writes.
bool ParseExpiryTime(std::string_view text, int64_t& utcSeconds);
std::string FormatExpiryTime(int64_t utcSeconds);

// A release number as written in the document and in the registry: 1 to 2^31-1, decimal digits
// only, no leading zero.
bool ParseReleaseNumber(std::string_view text, uint32_t& number);
