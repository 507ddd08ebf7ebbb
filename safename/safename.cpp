#include "safename/safename.h"

#include <cstddef>
#include <unordered_map>

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

// Refused by Windows in every file name: the wildcards, the redirection and quote characters,
// the stream separator and control characters. None of them is a code page 949 trail byte.
bool IsForbiddenInName(char c) {
  switch (c) {
    case ':': case '<': case '>': case '"': case '|': case '?': case '*':
      return true;
    default:
      return IsControl(static_cast<unsigned char>(c));
  }
}

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

bool IsTrailByte(unsigned char c) {
  return (c >= 0x41 && c <= 0x5A) || (c >= 0x61 && c <= 0x7A) || (c >= 0x81 && c <= 0xFE);
}

// The upper-case partner of a code page 949 double-byte letter, or the pair itself.
void FoldDoubleByte(unsigned char& lead, unsigned char& trail) {
  if (lead == 0xA3 && trail >= 0xE1 && trail <= 0xFA) {  // full-width Latin
    trail = static_cast<unsigned char>(trail - 0x20);
  } else if (lead == 0xA5 && trail >= 0xA1 && trail <= 0xAA) {  // small Roman numerals
    trail = static_cast<unsigned char>(trail + 0x0F);
  } else if (lead == 0xA5 && trail >= 0xE1 && trail <= 0xF8) {  // Greek
    trail = static_cast<unsigned char>(trail - 0x20);
  } else if (lead == 0xAC && trail >= 0xD1 && trail <= 0xF1) {  // Cyrillic
    trail = static_cast<unsigned char>(trail - 0x30);
  } else if (lead == 0xA9) {  // the Latin letters of row A9 have their capitals in row A8
    if (trail == 0xA3) {  // eth
      lead = 0xA8;
      trail = 0xA2;
    } else if (trail == 0xA1 || trail == 0xA4 || trail == 0xA6 || (trail >= 0xA8 && trail <= 0xAB) ||
               (trail >= 0xAD && trail <= 0xAF)) {
      lead = 0xA8;
    }
  }
}

bool EndsInDotOrBlank(std::string_view component) {
  return !component.empty() && (component.back() == '.' || component.back() == ' ');
}

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
    if (IsSeparator(c) || IsForbiddenInName(c)) return false;
  return !IsDeviceName(name);
}

bool IsSafeRelativePath(std::string_view path) {
  if (path.empty() || IsSeparator(path[0])) return false;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    const bool bEnd = i == path.size();
    if (!bEnd) {
      const char c = path[i];
      if (IsForbiddenInName(c)) return false;
      if (!IsSeparator(c)) continue;
    }
    const std::string_view component = path.substr(start, i - start);
    if (IsDotsAndBlanksOnly(component, 2) || IsDeviceName(component)) return false;
    start = i + 1;
  }
  return true;
}

bool KeepsItsNameOnWindows(std::string_view path) {
  if (!IsSafeRelativePath(path)) return false;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    const std::string_view component = path.substr(start, i - start);
    if (component != "." && EndsInDotOrBlank(component)) return false;
    start = i + 1;
  }
  return true;
}

std::string WindowsNameKey(std::string_view path) {
  std::string key;
  key.reserve(path.size());
  size_t componentStart = 0;
  const auto endComponent = [&]() {
    while (key.size() > componentStart && (key.back() == '.' || key.back() == ' ')) key.pop_back();
  };
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsLeadByte(c) && i + 1 < path.size() && IsTrailByte(static_cast<unsigned char>(path[i + 1]))) {
      unsigned char lead = c;
      unsigned char trail = static_cast<unsigned char>(path[++i]);
      FoldDoubleByte(lead, trail);
      key += static_cast<char>(lead);
      key += static_cast<char>(trail);
    } else if (IsSeparator(static_cast<char>(c))) {
      endComponent();
      key += '/';
      componentStart = key.size();
    } else {
      key += UpperAscii(static_cast<char>(c));
    }
  }
  endComponent();
  return key;
}

std::vector<std::pair<size_t, size_t>> FindWindowsNameClashes(const std::vector<std::string>& names) {
  std::vector<std::pair<size_t, size_t>> clashes;
  std::unordered_map<std::string, size_t> first;
  for (size_t i = 0; i < names.size(); ++i) {
    const auto inserted = first.emplace(WindowsNameKey(names[i]), i);
    if (!inserted.second) clashes.emplace_back(inserted.first->second, i);
  }
  return clashes;
}
