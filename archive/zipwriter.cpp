#include "archive/zipwriter.h"

#include <zlib.h>

#include <limits>

namespace {

// 2000-01-01 00:00, in the MS-DOS form zip uses: a fixed stamp keeps packages reproducible.
const uint16_t kDosTime = 0;
const uint16_t kDosDate = (20 << 9) | (1 << 5) | 1;
const uint16_t kVersion = 20;

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// Raw deflate data (no zlib header), as zip entries carry it; false when zlib fails.
bool Deflate(const std::string& data, std::string& out) {
  z_stream stream = {};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out.resize(deflateBound(&stream, static_cast<uLong>(data.size())));
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return result == Z_STREAM_END;
}

}  // namespace

bool CZipWriter::Add(const std::string& name, const std::string& data) {
  const uint64_t kLimit = std::numeric_limits<uint32_t>::max();
  if (name.empty() || name.size() > 0xFFFF || data.size() >= kLimit || m_entries.size() >= 0xFFFF) return false;
  std::string body;
  Entry entry;
  entry.strName = name;
  entry.nMethod = 8;
  if (!Deflate(data, body)) return false;
  if (body.size() >= data.size()) {
    body = data;
    entry.nMethod = 0;
  }
  if (m_data.size() + 30 + name.size() + body.size() >= kLimit) return false;
  entry.nCrc = static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  entry.nSize = static_cast<uint32_t>(data.size());
  entry.nCompressedSize = static_cast<uint32_t>(body.size());
  entry.nOffset = static_cast<uint32_t>(m_data.size());

  Put32(m_data, 0x04034B50);
  Put16(m_data, kVersion);
  Put16(m_data, 0);  // flags
  Put16(m_data, entry.nMethod);
  Put16(m_data, kDosTime);
  Put16(m_data, kDosDate);
  Put32(m_data, entry.nCrc);
  Put32(m_data, entry.nCompressedSize);
  Put32(m_data, entry.nSize);
  Put16(m_data, static_cast<uint32_t>(name.size()));
  Put16(m_data, 0);  // extra field
  m_data += name;
  m_data += body;
  m_entries.push_back(entry);
  return true;
}

std::string CZipWriter::Finish() const {
  std::string out = m_data;
  const uint32_t directoryOffset = static_cast<uint32_t>(out.size());
  for (const Entry& e : m_entries) {
    Put32(out, 0x02014B50);
    Put16(out, kVersion);  // made by: MS-DOS
    Put16(out, kVersion);
    Put16(out, 0);
    Put16(out, e.nMethod);
    Put16(out, kDosTime);
    Put16(out, kDosDate);
    Put32(out, e.nCrc);
    Put32(out, e.nCompressedSize);
    Put32(out, e.nSize);
    Put16(out, static_cast<uint32_t>(e.strName.size()));
    Put16(out, 0);  // extra field
    Put16(out, 0);  // comment
    Put16(out, 0);  // disk
    Put16(out, 0);  // internal attributes
    Put32(out, 0);  // external attributes
    Put32(out, e.nOffset);
    out += e.strName;
  }
  const uint32_t directorySize = static_cast<uint32_t>(out.size()) - directoryOffset;
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint32_t>(m_entries.size()));
  Put16(out, static_cast<uint32_t>(m_entries.size()));
  Put32(out, directorySize);
  Put32(out, directoryOffset);
  Put16(out, 0);
  return out;
}
