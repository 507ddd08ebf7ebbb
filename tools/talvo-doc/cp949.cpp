#include "tools/talvo-doc/cp949.h"

#include <unordered_map>

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

namespace {

// Decodes the UTF-8 character at `pos` and moves past it; false for a malformed or overlong one.
bool NextCodePoint(const std::string& text, size_t& pos, unsigned& codePoint) {
  const unsigned char lead = static_cast<unsigned char>(text[pos]);
  size_t length = 0;
  unsigned minimum = 0;
  if (lead < 0x80) {
    codePoint = lead;
    ++pos;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, codePoint = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, codePoint = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, codePoint = lead & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (pos + length > text.size()) return false;
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return false;
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  pos += length;
  return codePoint >= minimum && codePoint <= 0x10FFFF;
}

const std::unordered_map<unsigned, unsigned short>& EncodeTable() {
  static const std::unordered_map<unsigned, unsigned short> table = [] {
    std::unordered_map<unsigned, unsigned short> made;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x41; trail <= 0xFE; ++trail) {
        const unsigned codePoint = kCp949Table[lead - 0x81][trail - 0x41];
        if (codePoint != 0) made.emplace(codePoint, static_cast<unsigned short>(lead << 8 | trail));
      }
    }
    return made;
  }();
  return table;
}

}  // namespace

bool Utf8ToCp949(const std::string& utf8, std::string& cp949) {
  cp949.clear();
  size_t pos = 0;
  while (pos < utf8.size()) {
    unsigned codePoint = 0;
    if (!NextCodePoint(utf8, pos, codePoint)) return false;
    if (codePoint < 0x80) {
      cp949 += static_cast<char>(codePoint);
      continue;
    }
    const auto found = EncodeTable().find(codePoint);
    if (found == EncodeTable().end()) return false;
    cp949 += static_cast<char>(found->second >> 8);
    cp949 += static_cast<char>(found->second & 0xFF);
  }
  return true;
}
