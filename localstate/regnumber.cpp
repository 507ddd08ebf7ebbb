#include "localstate/regnumber.h"

#include <cmath>
#include <cstdlib>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The longest start of `text` that is a decimal number: white space, an optional sign, digits
// with an optional fraction, and an exponent only when digits follow it. Hexadecimal forms and
// the words for infinity and NaN, which a newer strtod would also take, are not numbers here.
std::string DecimalNumberPrefix(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  const size_t start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) ++digits;
  if (i < text.size() && text[i] == '.')
    for (++i; i < text.size() && IsDigit(text[i]); ++i) ++digits;
  if (digits == 0) return std::string();
  size_t end = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i < text.size() && IsDigit(text[i])) {
      while (i < text.size() && IsDigit(text[i])) ++i;
      end = i;
    }
  }
  return text.substr(start, end - start);
}

}  // namespace

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
  const std::string number = DecimalNumberPrefix(data.size() > 4 ? data.substr(4) : std::string());
  const double value = number.empty() ? 0.0 : std::strtod(number.c_str(), nullptr);
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(TruncateToInt64(value)));
}
