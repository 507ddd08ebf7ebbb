#include "safename/safename.h"

#include <cstddef>

namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringCase(std::string_view text, std::string_view upperWord) {
  if (text.size() != upperWord.size()) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (UpperAscii(text[i]) != upperWord[i]) return false;
  return true;
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A digit as the system reads it after COM or LPT: 0-9, or superscript 1-3 in code page 949
// (A9 F6..F8) or Latin-1 (B9, B2, B3).
bool IsPortNumber(std::string_view rest) {
  if (rest.size() == 1) {
    const unsigned char c = static_cast<unsigned char>(rest[0]);
    return (c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
  }
  if (rest.size() == 2) {
    const unsigned char lead = static_cast<unsigned char>(rest[0]);
    const unsigned char trail = static_cast<unsigned char>(rest[1]);
    return lead == 0xA9 && trail >= 0xF6 && trail <= 0xF8;
  }
  return false;
}

// Windows drops trailing dots and blanks from a component, so ". ." and ".. " mean "..".
bool IsDotsAndBlanksOnly(std::string_view component, size_t minimumDots) {
  size_t dots = 0;
  for (const char c : component) {
    if (c == '.')
      ++dots;
    else if (c != ' ')
      return false;
  }
  return dots >= minimumDots;
}

}  // namespace

bool IsDeviceName(std::string_view component) {
  std::string_view stem = component.substr(0, component.find_first_of(".:"));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (EqualsIgnoringCase(stem, device)) return true;
  if (stem.size() < 4) return false;
  const std::string_view prefix = stem.substr(0, 3);
  return (EqualsIgnoringCase(prefix, "COM") || EqualsIgnoringCase(prefix, "LPT")) &&
         IsPortNumber(stem.substr(3));
}

bool IsSafeFileName(std::string_view name) {
  if (name.empty() || IsDotsAndBlanksOnly(name, 0)) return false;
  for (const char c : name)
    if (IsSeparator(c) || c == ':' || IsControl(static_cast<unsigned char>(c))) return false;
  return !IsDeviceName(name);
}

bool IsSafeRelativePath(std::string_view path) {
  if (path.empty() || IsSeparator(path[0])) return false;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    const bool bEnd = i == path.size();
    if (!bEnd) {
      const char c = path[i];
      if (c == ':' || IsControl(static_cast<unsigned char>(c))) return false;
      if (!IsSeparator(c)) continue;
    }
    const std::string_view component = path.substr(start, i - start);
    if (IsDotsAndBlanksOnly(component, 2) || IsDeviceName(component)) return false;
    start = i + 1;
  }
  return true;
}
