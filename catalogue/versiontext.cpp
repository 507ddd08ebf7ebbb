#include "catalogue/versiontext.h"

namespace {

bool IsCp949LeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Reads the unit at `pos` and moves past it. A lead byte cut off by the end of the text stands
// alone as lead * 256, so it still sorts above every single byte.
unsigned NextUnit(const std::string& text, size_t& pos) {
  const unsigned char c = static_cast<unsigned char>(text[pos++]);
  if (!IsCp949LeadByte(c)) return c;
  if (pos >= text.size()) return c * 256u;
  return c * 256u + static_cast<unsigned char>(text[pos++]);
}

}  // namespace

int CompareVersionText(const std::string& left, const std::string& right) {
  size_t l = 0;
  size_t r = 0;
  while (l < left.size() && r < right.size()) {
    const unsigned a = NextUnit(left, l);
    const unsigned b = NextUnit(right, r);
    if (a != b) return a < b ? -1 : 1;
  }
  if (l < left.size()) return 1;
  if (r < right.size()) return -1;
  return 0;
}

bool IsVersionLower(const std::string& installed, const std::string& offered) {
  return CompareVersionText(installed, offered) < 0;
}
