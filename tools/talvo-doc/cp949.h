// Code page 949 (Unified Hangul Code) to UTF-8, for showing documents outside Windows.
#pragma once

#include <string>

// Lead bytes 0x81..0xFE, trail bytes 0x41..0xFE; 0 marks a pair that is not a character.
extern const unsigned short kCp949Table[0xFE - 0x81 + 1][0xFE - 0x41 + 1];

// Bytes that are not code page 949 become U+FFFD. A lead byte followed by an ASCII byte stands
// alone, so the ASCII byte (a quote, a line end) is never swallowed.
std::string Cp949ToUtf8(const std::string& text);
