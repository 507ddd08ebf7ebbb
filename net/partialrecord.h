// The record kept beside a partly downloaded package, so that a later run can continue it: which
// package (its address and the size and SHA-256 the signed document pins), the validator the
// server gave it, and how many of its bytes are known to be on disk.
#pragma once
#include <cstdint>
#include <string>

struct PartialRecord {
  std::string strUrl;
  std::uint64_t nPinnedSize = 0;
  std::string strPinnedSha256;  // lower-case hex
  std::string strETag;          // strong, or empty
  std::string strLastModified;  // or empty
  std::uint64_t nBytesOnDisk = 0;

  std::string Format() const;
  // False for anything that is not a whole record (a cut write, another format).
  bool Parse(const std::string& text);
  // Whether the bytes it names can be continued for this pin: a validator, some bytes and fewer
  // than the whole.
  bool CanContinue(std::uint64_t nPinnedSize, const std::string& strPinnedSha256) const;
};

// The names of a package's partial body and of its record inside the folder that keeps them.
std::string PartialBodyName(const std::string& strPinnedSha256);
std::string PartialRecordName(const std::string& strPinnedSha256);
// The pin's SHA-256 of a name PartialBodyName or PartialRecordName gave, or "" for another name.
std::string PinOfPartialName(const std::string& strName);
