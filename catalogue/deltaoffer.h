// Delta packages a signed document may offer beside a component's full package, each from one
// earlier release, in the section of the package address key <KEY> (XP_DOWNLOADURL, ...):
//   <KEY>_DELTA<n>=<address of the delta package>           n = 1, 2, ... (no leading zero)
//   <KEY>_DELTA<n>_FROM=<the release the delta starts from>
//   <KEY>_DELTA<n>_SIZE=<byte count>  <KEY>_DELTA<n>_SHA256=<64 lower-case hex digits>
//   <KEY>_DELTA<n>_FILE=<folder>,<name>,<SHA-256 before>,<SHA-256 after>   once per file
// A FILE line names a file of the full package as its COPY job does (folder with path macros,
// name as staged): the installed copy must have the SHA-256 before ("" for a file new in this
// release), and the result the SHA-256 after. Where before and after differ the delta package
// holds an entry of that name: a zstd frame made with the installed file as its reference
// (--patch-from); where they are equal the installed file is staged as it is. Older updaters
// ignore every one of these keys (a key a section does not know does nothing).
//
// Portable: built, tested and fuzzed on the host too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/packagepin.h"

struct DeltaFile {
  std::string m_strFolder;
  std::string m_strName;
  std::string m_strSha256Before;  // "" for a file the release adds
  std::string m_strSha256After;

  bool IsChanged() const { return m_strSha256Before != m_strSha256After; }
};

struct DeltaOffer {
  unsigned m_nNumber = 0;     // the n of <KEY>_DELTA<n>
  std::string m_strFrom;      // as written, quotes removed
  std::string m_strUrl;
  PackagePin m_Pin;
  std::vector<std::string> m_saFiles;  // the FILE values as written, in document order

  // Every FILE value read; false (and nothing usable) when one is not well formed.
  bool ReadFiles(std::vector<DeltaFile>& files) const;
};

// One FILE value: four fields split at ",", the folder and name not empty, the digests 64
// lower-case hex digits (before may be empty).
bool ParseDeltaFile(const std::string& value, DeltaFile& file);

enum class DeltaField { kUrl, kFrom, kSize, kSha256, kFile };
// "<URLKEY>_DELTA<n>[_FROM|_SIZE|_SHA256|_FILE]": the address key, n and the field.
bool SplitDeltaKey(const std::string& key, std::string& urlKey, unsigned& number, DeltaField& field);
