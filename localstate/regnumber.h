// The "NUM" form of registry value data in install jobs: "NUM:1234" is the REG_DWORD 1234.
#pragma once
#include <cstdint>
#include <string>

// True when `data` starts with "NUM" (case matters: "num:5" is ordinary text).
bool IsRegNumber(const std::string& data);

// The double read, truncated toward zero to a 64-bit integer. Values beyond the 64-bit range
// saturate at its ends (infinities too); NaN gives 0.
std::int64_t TruncateToInt64(double value);

// The DWORD a "NUM" datum stands for: the text from the fifth character on (the fourth, normally
// ':', is skipped unseen) read as a decimal number the way strtod reads one (white space, sign,
// digits, fraction, exponent; reading stops at the first character that does not fit; nothing
// readable gives 0; no hexadecimal, infinity or NaN forms), truncated with TruncateToInt64, low
// 32 bits kept. So "NUM:-1" and "NUM:4294967295" both give 0xFFFFFFFF, "NUM:0x10" gives 0.
std::uint32_t ParseRegNumber(const std::string& data);
