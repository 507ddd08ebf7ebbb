#include "catalogue/signeddocument.h"

#include <cstdio>
#include <string>

#include "crypto/hex.h"

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// A line end of its own: CR LF or LF. Its length, 0 when `text` does not start with one.
size_t LineEndLength(std::string_view text) {
  if (StartsWith(text, "\r\n")) return 2;
  if (StartsWith(text, "\n")) return 1;
  return 0;
}

bool IsLineSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view TrimLine(std::string_view line) {
  while (!line.empty() && IsLineSpace(line.front())) line.remove_prefix(1);
  while (!line.empty() && IsLineSpace(line.back())) line.remove_suffix(1);
  return line;
}

}  // namespace

std::string_view TakeTrimmedLine(std::string_view& text) {
  const size_t end = text.find('\n');
  const std::string_view line = TrimLine(text.substr(0, end));
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  return line;
}

SignedDocument SplitSignedDocument(std::string_view document) {
  SignedDocument result;
  const std::string_view sectionLine = kSignatureSectionLine;
  size_t start = std::string_view::npos;
  int count = 0;
  for (size_t at = document.find(sectionLine); at != std::string_view::npos;
       at = document.find(sectionLine, at + 1)) {
    if (at != 0 && document[at - 1] != '\n') continue;
    if (++count == 1) start = at;
  }
  if (count == 0) return result;
  if (count > 1) {
    result.state = SignatureState::kSeveralSignatures;
    return result;
  }

  result.state = SignatureState::kMalformedSignature;
  std::string_view rest = document.substr(start + sectionLine.size());
  size_t lineEnd = LineEndLength(rest);
  if (lineEnd == 0) return result;
  rest.remove_prefix(lineEnd);
  if (!StartsWith(rest, kSignatureKey)) return result;
  rest.remove_prefix(std::string_view(kSignatureKey).size());
  const size_t digits = 2 * crypto::kP256SignatureBytes;
  if (rest.size() < digits || !crypto::DecodeHex(rest.substr(0, digits), result.signature.data(),
                                                 result.signature.size())) {
    return result;
  }
  rest.remove_prefix(digits);
  lineEnd = LineEndLength(rest);
  if (lineEnd == 0 && !rest.empty()) return result;  // the line goes on past its 128 digits
  if (lineEnd != rest.size()) {
    result.state = SignatureState::kLinesAfterSignature;
    return result;
  }
  result.state = SignatureState::kSigned;
  result.covered = document.substr(0, start);
  return result;
}

const char* DescribeSignatureState(SignatureState state) {
  switch (state) {
    case SignatureState::kSigned: return "signed";
    case SignatureState::kNoSignature: return "no signature";
    case SignatureState::kSeveralSignatures: return "more than one signature";
    case SignatureState::kMalformedSignature: return "malformed signature";
    case SignatureState::kLinesAfterSignature: return "lines after the signature";
  }
  return "unknown";
}

bool ParseReleaseNumber(std::string_view text, uint32_t& number) {
  if (text.empty() || text.size() > 10 || text[0] == '0') return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > kHighestReleaseNumber) return false;
  number = static_cast<uint32_t>(value);
  return true;
}

ReleaseValue ReadReleaseValue(std::string_view covered, std::string_view sectionLine, std::string_view key) {
  ReleaseValue result;
  bool inside = false;
  while (!covered.empty()) {
    const std::string_view line = TakeTrimmedLine(covered);
    if (StartsWith(line, "[")) {
      inside = line == sectionLine;
      if (inside) ++result.sections;
      continue;
    }
    if (inside && StartsWith(line, key)) {
      ++result.lines;
      result.text = line.substr(key.size());
    }
  }
  return result;
}

namespace {

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool Digits(std::string_view text, size_t at, size_t count, unsigned& value) {
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return true;
}

}  // namespace

bool ParseExpiryTime(std::string_view text, int64_t& utcSeconds) {
  // 0123456789012345678 9
  // YYYY-MM-DDTHH:MM:SSZ
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != 'Z')
    return false;
  unsigned year, month, day, hour, minute, second;
  if (!Digits(text, 0, 4, year) || !Digits(text, 5, 2, month) || !Digits(text, 8, 2, day) ||
      !Digits(text, 11, 2, hour) || !Digits(text, 14, 2, minute) || !Digits(text, 17, 2, second))
    return false;
  if (year < 1970 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return false;
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return false;
  utcSeconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

std::string FormatExpiryTime(int64_t utcSeconds) {
  int64_t days = utcSeconds / 86400;
  int64_t rest = utcSeconds % 86400;
  if (rest < 0) rest += 86400, --days;
  // Civil date from days since 1970-01-01.
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
  char text[32];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02u:%02u:%02uZ", static_cast<long long>(y), m, d,
                static_cast<unsigned>(rest / 3600), static_cast<unsigned>(rest / 60 % 60),
                static_cast<unsigned>(rest % 60));
  return text;
}

ReleaseExpiry ReadReleaseExpiry(std::string_view covered) {
  ReleaseExpiry result;
  const ReleaseValue value = ReadReleaseValue(covered, kReleasePolicySectionLine, kReleaseExpiresKey);
  if (value.sections > 1 || value.lines > 1) {
    result.state = ReleaseExpiryState::kSeveral;
  } else if (value.lines == 0) {
    result.state = ReleaseExpiryState::kMissing;
  } else if (ParseExpiryTime(value.text, result.nUtcSeconds)) {
    result.state = ReleaseExpiryState::kFound;
  } else {
    result.state = ReleaseExpiryState::kMalformed;
  }
  return result;
}

const char* DescribeReleaseExpiryState(ReleaseExpiryState state) {
  switch (state) {
    case ReleaseExpiryState::kFound: return "expiry time";
    case ReleaseExpiryState::kMissing: return "no expiry time";
    case ReleaseExpiryState::kMalformed: return "malformed expiry time";
    case ReleaseExpiryState::kSeveral: return "more than one expiry time";
  }
  return "unknown";
}

ReleaseNumber ReadReleaseNumber(std::string_view covered) {
  ReleaseNumber result;
  const ReleaseValue value = ReadReleaseValue(covered, kReleaseSectionLine, kReleaseNumberKey);
  const int sections = value.sections;
  const int numbers = value.lines;
  const std::string_view numberText = value.text;
  if (sections > 1 || numbers > 1) {
    result.state = ReleaseNumberState::kSeveral;
  } else if (numbers == 0) {
    result.state = ReleaseNumberState::kMissing;
  } else if (ParseReleaseNumber(numberText, result.number)) {
    result.state = ReleaseNumberState::kFound;
  } else {
    result.state = ReleaseNumberState::kMalformed;
  }
  return result;
}

const char* DescribeReleaseNumberState(ReleaseNumberState state) {
  switch (state) {
    case ReleaseNumberState::kFound: return "release number";
    case ReleaseNumberState::kMissing: return "no release number";
    case ReleaseNumberState::kMalformed: return "malformed release number";
    case ReleaseNumberState::kSeveral: return "more than one release number";
  }
  return "unknown";
}
