// Writes zip archives (a release's packages, the updater's diagnostics bundle): deflated entries
// (stored when that is smaller), with a fixed time stamp so that the same files always give the
// same bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class CZipWriter {
 public:
  // `name` is the entry name as the updater will read it (code page 949 bytes). False when
  // the data or the archive would need zip64 (4 GiB and more) or the name is too long.
  bool Add(const std::string& name, const std::string& data);
  // The whole archive.
  std::string Finish() const;

 private:
  struct Entry {
    std::string strName;
    uint32_t nCrc = 0;
    uint32_t nSize = 0;
    uint32_t nCompressedSize = 0;
    uint16_t nMethod = 0;
    uint32_t nOffset = 0;
  };
  std::vector<Entry> m_entries;
  std::string m_data;  // local headers and entry data so far
};
