#include "tools/talvo-doc/cp949.h"

namespace {

const unsigned kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, unsigned codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

}  // namespace

std::string Cp949ToUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size() * 3 / 2);
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      continue;
    }
    if (lead < 0x81 || lead > 0xFE || i + 1 == text.size()) {
      AppendUtf8(out, kReplacement);
      continue;
    }
    const unsigned char trail = static_cast<unsigned char>(text[i + 1]);
    const unsigned codePoint = trail >= 0x41 && trail <= 0xFE ? kCp949Table[lead - 0x81][trail - 0x41] : 0;
    if (codePoint != 0) {
      AppendUtf8(out, codePoint);
      ++i;
    } else {
      // Only the lead byte is bad: the next byte may begin a character of its own.
      AppendUtf8(out, kReplacement);
    }
  }
  return out;
}
