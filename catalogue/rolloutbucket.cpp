#include "catalogue/rolloutbucket.h"

#include <cstdio>

#include "catalogue/signeddocument.h"

namespace {

// A 64-bit mix (the finaliser of SplitMix64): every input bit moves every output bit, so
// neighbouring release numbers give unrelated buckets.
uint64_t Mix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  x ^= x >> 31;
  return x;
}

}  // namespace

int RolloutBucket(uint64_t installationValue, uint32_t release) {
  const uint64_t mixed = Mix(installationValue ^ Mix(0x9e3779b97f4a7c15ULL * (static_cast<uint64_t>(release) + 1)));
  return static_cast<int>(mixed % kRolloutBuckets);
}

bool ParseRolloutValue(std::string_view text, uint64_t& value) {
  if (text.size() != 16) return false;
  uint64_t v = 0;
  for (const char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    v = v << 4 | static_cast<uint64_t>(digit);
  }
  value = v;
  return true;
}

std::string FormatRolloutValue(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

ReleaseRollout ReadReleaseRollout(std::string_view covered) {
  ReleaseRollout result;
  const ReleaseValue urgent = ReadReleaseValue(covered, kReleasePolicySectionLine, kUrgentKey);
  result.bUrgent = urgent.lines == 1 && urgent.text == "1";
  const ReleaseValue share = ReadReleaseValue(covered, kReleasePolicySectionLine, kRolloutKey);
  if (share.lines == 0) return result;
  result.state = RolloutState::kMalformed;
  result.percent = 0;
  if (share.sections > 1 || share.lines > 1) return result;
  const std::string_view text = share.text;
  if (text.empty() || text.size() > 3 || (text.size() > 1 && text[0] == '0')) return result;
  int percent = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return result;
    percent = percent * 10 + (c - '0');
  }
  if (percent > 100) return result;
  result.state = RolloutState::kShare;
  result.percent = percent;
  return result;
}
