#include "catalogue/signeddocument.h"

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

ReleaseNumber ReadReleaseNumber(std::string_view covered) {
  ReleaseNumber result;
  int sections = 0;
  int numbers = 0;
  bool inside = false;
  std::string_view numberText;
  while (!covered.empty()) {
    const size_t end = covered.find('\n');
    const std::string_view line = TrimLine(covered.substr(0, end));
    covered.remove_prefix(end == std::string_view::npos ? covered.size() : end + 1);
    if (StartsWith(line, "[")) {
      inside = line == kReleaseSectionLine;
      if (inside) ++sections;
      continue;
    }
    if (inside && StartsWith(line, kReleaseNumberKey)) {
      ++numbers;
      numberText = line.substr(std::string_view(kReleaseNumberKey).size());
    }
  }
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
