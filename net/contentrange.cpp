#include "net/contentrange.h"

#include <cstdint>
#include <cstring>

namespace {

bool ReadNumber(const char*& p, std::uint64_t& value) {
  if (*p < '0' || *p > '9') return false;
  value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    const unsigned digit = static_cast<unsigned>(*p - '0');
    if (value > (static_cast<std::uint64_t>(INT64_MAX) - digit) / 10) return false;
    value = value * 10 + digit;
  }
  return true;
}

}  // namespace

bool ParseContentRange(const char* szValue, ContentRange& range) {
  if (!szValue) return false;
  const char* p = szValue;
  while (*p == ' ' || *p == '\t') ++p;
  if (std::strncmp(p, "bytes", 5) != 0) return false;
  p += 5;
  if (*p != ' ' && *p != '=') return false;
  while (*p == ' ' || *p == '=') ++p;
  ContentRange parsed;
  if (!ReadNumber(p, parsed.first) || *p++ != '-') return false;
  if (!ReadNumber(p, parsed.last) || *p++ != '/') return false;
  if (!ReadNumber(p, parsed.total)) return false;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p != '\0') return false;
  if (parsed.first > parsed.last || parsed.last >= parsed.total) return false;
  range = parsed;
  return true;
}
