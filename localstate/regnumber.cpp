#include "localstate/regnumber.h"

#include <cmath>
#include <cstdlib>

bool IsRegNumber(const std::string& data) { return data.compare(0, 3, "NUM") == 0; }

std::int64_t TruncateToInt64(double value) {
  // Converting a double outside the 64-bit range is undefined, so the ends are checked first.
  // 2^63 is exact as a double; everything in [-2^63, 2^63) converts.
  constexpr double kTwo63 = 9223372036854775808.0;
  if (std::isnan(value)) return 0;
  if (value >= kTwo63) return INT64_MAX;
  if (value < -kTwo63) return INT64_MIN;
  return static_cast<std::int64_t>(value);
}

std::uint32_t ParseRegNumber(const std::string& data) {
  const char* number = data.size() > 4 ? data.c_str() + 4 : "";
  const double value = std::strtod(number, nullptr);
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(TruncateToInt64(value)));
}
