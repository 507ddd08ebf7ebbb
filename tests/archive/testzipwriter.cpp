#include "tests/archive/testzipwriter.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

namespace testzip {
namespace {

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

std::string Deflate(const std::string& data, bool finish) {
  z_stream s;
  std::memset(&s, 0, sizeof(s));
  if (deflateInit2(&s, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&s, data.size()) + 16, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(&out[0]);
  s.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&s, finish ? Z_FINISH : Z_SYNC_FLUSH);
  if (rc != (finish ? Z_STREAM_END : Z_OK)) throw std::runtime_error("deflate");
  out.resize(out.size() - s.avail_out);
  deflateEnd(&s);
  return out;
}

uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string MakeBytes(size_t size, uint32_t seed, bool compressible) {
  static const char* const kWords[] = {"update ", "talvo ", "package ", "version ", "client\n",
                                       "server ", "list ", "option "};
  std::string out;
  out.reserve(size);
  uint32_t x = seed * 2654435761u + 1;
  while (out.size() < size) {
    x = x * 1664525u + 1013904223u;
    if (compressible) out += kWords[(x >> 24) & 7];
    else out += static_cast<char>(x >> 24);
  }
  out.resize(size);
  return out;
}

Entry& Writer::Add(const std::string& name, const std::string& data, uint16_t method) {
  Entry e;
  e.name = name;
  e.data = data;
  e.method = method;
  entries.push_back(e);
  return entries.back();
}

std::string Writer::Build() const {
  std::string out = prefix;
  std::vector<uint32_t> offsets(entries.size(), 0);
  std::vector<std::string> stored(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    stored[i] = e.compressed ? *e.compressed : (e.method == 8 ? Deflate(e.data) : e.data);
    if (e.shareLocalOf >= 0) continue;
    offsets[i] = static_cast<uint32_t>(out.size());
    const std::string& localName = e.localName ? *e.localName : e.name;
    Put32(out, e.localSignature ? *e.localSignature : 0x04034B50);
    Put16(out, 20);
    Put16(out, e.descriptor ? 8 : 0);
    Put16(out, e.localMethod ? *e.localMethod : e.method);
    Put32(out, 0);  // time and date
    const uint32_t crc = e.crc ? *e.crc : Crc32(e.data);
    Put32(out, e.descriptor ? 0 : crc);
    Put32(out, e.descriptor ? 0 : static_cast<uint32_t>(stored[i].size()));
    Put32(out, e.descriptor ? 0 : static_cast<uint32_t>(e.data.size()));
    Put16(out, static_cast<uint32_t>(localName.size()));
    Put16(out, static_cast<uint32_t>(e.localExtra.size()));
    out += localName;
    out += e.localExtra;
    out += stored[i];
    if (e.descriptor) {
      Put32(out, 0x08074B50);
      Put32(out, crc);
      Put32(out, static_cast<uint32_t>(stored[i].size()));
      Put32(out, static_cast<uint32_t>(e.data.size()));
    }
  }
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i].shareLocalOf >= 0) offsets[i] = offsets[entries[i].shareLocalOf];

  const uint32_t directoryStart = static_cast<uint32_t>(out.size());
  std::vector<int> order = centralOrder;
  if (order.empty())
    for (size_t i = 0; i < entries.size(); ++i) order.push_back(static_cast<int>(i));
  for (int i : order) {
    const Entry& e = entries[i];
    Put32(out, centralSignature ? *centralSignature : 0x02014B50);
    Put16(out, 20);  // made by
    Put16(out, 20);  // needed
    Put16(out, e.descriptor ? 8 : 0);
    Put16(out, e.method);
    Put32(out, 0);
    Put32(out, e.crc ? *e.crc : Crc32(e.data));
    Put32(out, e.compressedSize ? *e.compressedSize : static_cast<uint32_t>(stored[i].size()));
    Put32(out, e.size ? *e.size : static_cast<uint32_t>(e.data.size()));
    Put16(out, static_cast<uint32_t>(e.name.size()));
    Put16(out, static_cast<uint32_t>(e.centralExtra.size()));
    Put16(out, 0);  // comment
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, 0);
    Put32(out, offsets[i]);
    out += e.name;
    out += e.centralExtra;
  }
  const uint32_t directoryLength = static_cast<uint32_t>(out.size()) - directoryStart;
  const uint16_t n = count ? *count : static_cast<uint16_t>(entries.size());
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, n);
  Put16(out, n);
  Put32(out, directorySize ? *directorySize : directoryLength);
  Put32(out, directoryOffset ? *directoryOffset : directoryStart);
  Put16(out, static_cast<uint32_t>(comment.size()));
  out += comment;
  return out;
}

}  // namespace testzip
