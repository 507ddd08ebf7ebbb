// A tiny zip writer for the tests: well-formed archives, and every way of breaking one that the
// reader must survive.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testzip {

// Raw deflate data of `data`; without `finish` the stream lacks its final block.
std::string Deflate(const std::string& data, bool finish = true);
uint32_t Crc32(const std::string& data);
// Deterministic bytes: `compressible` ones look like text, the others like noise.
std::string MakeBytes(size_t size, uint32_t seed, bool compressible);

struct Entry {
  std::string name;
  std::string data;
  uint16_t method = 8;
  // What the archive actually says, where a test wants it to lie or break.
  std::optional<std::string> compressed;  // data bytes as written (default: data, deflated if method 8)
  std::optional<uint32_t> crc;
  std::optional<uint32_t> size;
  std::optional<uint32_t> compressedSize;
  std::optional<std::string> localName;
  std::string localExtra;
  std::string centralExtra;
  std::optional<uint16_t> localMethod;
  std::optional<uint32_t> localSignature;
  int shareLocalOf = -1;  // no local record of its own: points at entry n's
  // Written as a streaming tool does: flag bit 3, no CRC or sizes in the local header, and a
  // data descriptor after the data.
  bool descriptor = false;
};

class Writer {
 public:
  Entry& Add(const std::string& name, const std::string& data, uint16_t method = 8);
  std::string Build() const;

  std::vector<Entry> entries;
  std::string prefix;  // before the first local header (a self-extractor's program)
  std::vector<int> centralOrder;  // entry indexes in central record order (default: entry order)
  std::string comment;
  std::optional<uint16_t> count;
  std::optional<uint32_t> directorySize;
  std::optional<uint32_t> directoryOffset;
  std::optional<uint32_t> centralSignature;
};

}  // namespace testzip
