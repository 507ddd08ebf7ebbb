// Code page 949 (Unified Hangul Code) and UTF-8, for showing documents outside Windows and for
// writing them from texts edited there.
#pragma once

#include <string>

// Lead bytes 0x81..0xFE, trail bytes 0x41..0xFE; 0 marks a pair that is not a character.
extern const unsigned short kCp949Table[0xFE - 0x81 + 1][0xFE - 0x41 + 1];

// Each byte that does not begin a code page 949 character becomes one U+FFFD, and reading goes on
// at the next byte, as Python's cp949 codec does with errors="replace".
std::string Cp949ToUtf8(const std::string& text);

// The code page 949 bytes of a UTF-8 text. False when the text is not UTF-8 or holds a character
// that code page 949 cannot write; `cp949` then holds the text up to that character.
bool Utf8ToCp949(const std::string& utf8, std::string& cp949);
