#include "localstate/datversion.h"

void XorBuffer(unsigned char* buffer, int length, unsigned long key) {
  // Byte by byte with the key byte of the same position in the group: the same as XORing
  // little-endian words, without assuming alignment or host byte order.
  for (int i = 0; i < length; ++i)
    buffer[i] ^= static_cast<unsigned char>((key >> (8 * (i % 4))) & 0xFF);
}

std::string DecodeDatVersion(const unsigned char* bytes, std::size_t count) {
  unsigned char buffer[kDatVersionBytes + 1] = {};
  if (count > kDatVersionBytes) count = kDatVersionBytes;
  for (std::size_t i = 0; i < count; ++i) buffer[i] = bytes[i];
  XorBuffer(buffer, static_cast<int>(count), kDatVersionKey);
  buffer[count] = 0;
  return std::string(reinterpret_cast<const char*>(buffer + 1));
}
