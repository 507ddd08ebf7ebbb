// The scrambled version bytes at the start of the filter data file "config\talvo.dat".
#pragma once
#include <cstddef>
#include <string>

constexpr unsigned long kDatVersionKey = 0x5EC7A31DUL;
constexpr std::size_t kDatVersionBytes = 5;

// XORs each whole group of 4 bytes, read as a little-endian 32-bit word, with the low 32 bits of
// `key`, and each remaining byte with the key byte of the same position in its group. Applying
// it twice with the same key restores the buffer.
void XorBuffer(unsigned char* buffer, int length, unsigned long key);

// The version text held by the first `count` bytes read from the data file (at most 5 are used):
// descrambled, byte 0 dropped, up to the first zero byte. A short file gives only what was read.
std::string DecodeDatVersion(const unsigned char* bytes, std::size_t count);
