#include "net/downloadname.h"

#include <climits>

std::string DownloadFileName(const std::string& strURL) {
  const size_t slash = strURL.rfind('/');
  if (slash == std::string::npos) return "SetupFile.exe";
  return strURL.substr(slash + 1);
}

std::uint64_t ContentLengthValue(const char* szLength) {
  if (!szLength) return 0;
  while (*szLength == ' ' || *szLength == '\t') ++szLength;
  std::uint64_t value = 0;
  for (; *szLength >= '0' && *szLength <= '9'; ++szLength) {
    const unsigned digit = static_cast<unsigned>(*szLength - '0');
    if (value > (static_cast<std::uint64_t>(INT64_MAX) - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return value;
}

namespace {

// floor(10 * value / divisor) and the remainder, for value < divisor, by adding value ten
// times modulo divisor: no intermediate exceeds divisor.
std::uint64_t TimesTenDivided(std::uint64_t value, std::uint64_t divisor, std::uint64_t& remainder) {
  std::uint64_t quotient = 0;
  std::uint64_t sum = 0;
  for (int i = 0; i < 10; ++i) {
    if (value >= divisor - sum) {
      sum = value - (divisor - sum);
      ++quotient;
    } else {
      sum += value;
    }
  }
  remainder = sum;
  return quotient;
}

}  // namespace

int ProgressPercent(std::uint64_t received, std::uint64_t expected) {
  if (expected == 0) return 0;
  const std::uint64_t whole = received / expected;
  if (whole >= static_cast<std::uint64_t>(INT_MAX) / 100) return INT_MAX;
  std::uint64_t rest = received % expected;
  const std::uint64_t tens = TimesTenDivided(rest, expected, rest);
  const std::uint64_t units = TimesTenDivided(rest, expected, rest);
  const std::uint64_t percent = whole * 100 + tens * 10 + units;
  return percent > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(percent);
}
