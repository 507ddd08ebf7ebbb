// The parts of an HTTP Content-Range that a resumed download checks.
#pragma once
#include <cstdint>

struct ContentRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::uint64_t total = 0;
};

// "bytes first-last/total" with first <= last < total; false for anything else (an unknown
// total "*", a 416's "bytes */total", several ranges, overflow).
bool ParseContentRange(const char* szValue, ContentRange& range);
