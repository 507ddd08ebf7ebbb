// Phased rollout: which installations take a release while its share is below 100 %.
//
// Each installation keeps a random value made once (Update.rollout beside the updater). From it
// and the release number comes a bucket, 0 to 99: the same at every check of that release, so
// raising the share only adds installations, and drawn afresh for each release, so the early
// takers are not always the same machines. An installation takes the release when its bucket is
// below the share. Portable: built, tested and fuzzed on the host too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr char kRolloutKey[] = "ROLLOUT=";  // in "[RELEASE_POLICY]": 0 to 100, the percent taking it
constexpr char kUrgentKey[] = "URGENT=";    // "1": every installation takes the release at once
constexpr int kRolloutBuckets = 100;

int RolloutBucket(uint64_t installationValue, uint32_t release);
inline bool IsInRolloutShare(uint64_t installationValue, uint32_t release, int sharePercent) {
  return RolloutBucket(installationValue, release) < sharePercent;
}

// The installation's value as kept: 16 hexadecimal digits, nothing else.
bool ParseRolloutValue(std::string_view text, uint64_t& value);
std::string FormatRolloutValue(uint64_t value);

enum class RolloutState {
  kEveryone,   // no ROLLOUT line: the whole release, as before phasing
  kShare,      // `percent` of the installations
  kMalformed,  // not 0 to 100 in decimal, or more than one line: taken by nobody until mended
};

struct ReleaseRollout {
  RolloutState state = RolloutState::kEveryone;
  int percent = 100;
  bool bUrgent = false;  // URGENT=1: phasing skipped
};

// The rollout of the covered bytes of a signed document.
ReleaseRollout ReadReleaseRollout(std::string_view covered);
