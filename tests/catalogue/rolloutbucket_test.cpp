// Phased rollout: the bucket rule over many simulated installations, and the signed share.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "catalogue/rolloutbucket.h"

namespace {

std::vector<uint64_t> Installations(size_t count, uint64_t seed) {
  std::mt19937_64 random(seed);
  std::vector<uint64_t> values(count);
  for (uint64_t& v : values) v = random();
  return values;
}

double ShareTaken(const std::vector<uint64_t>& installations, uint32_t release, int percent) {
  size_t taken = 0;
  for (const uint64_t v : installations) taken += IsInRolloutShare(v, release, percent) ? 1 : 0;
  return 100.0 * static_cast<double>(taken) / static_cast<double>(installations.size());
}

TEST(RolloutBucket, TheShareTakenIsWithinOnePercentOfTheSetting) {
  const std::vector<uint64_t> installations = Installations(100000, 31);
  for (const uint32_t release : {1u, 2u, 7u, 1000u, 0x7fffffffu}) {
    for (const int percent : {0, 1, 5, 10, 25, 50, 90, 99, 100}) {
      SCOPED_TRACE("release " + std::to_string(release) + ", " + std::to_string(percent) + " %");
      EXPECT_NEAR(ShareTaken(installations, release, percent), percent, 1.0);
    }
  }
  // Consecutive installation values (a weak random source) spread as well.
  std::vector<uint64_t> consecutive(100000);
  for (size_t i = 0; i < consecutive.size(); ++i) consecutive[i] = i;
  EXPECT_NEAR(ShareTaken(consecutive, 3, 10), 10.0, 1.0);
}

TEST(RolloutBucket, RaisingTheShareKeepsEveryoneAndANewReleaseDrawsAfresh) {
  const std::vector<uint64_t> installations = Installations(20000, 7);
  size_t first = 0, kept = 0, again = 0;
  for (const uint64_t v : installations) {
    // The same at every check: a pure function of the value and the release.
    EXPECT_EQ(RolloutBucket(v, 8), RolloutBucket(v, 8));
    EXPECT_GE(RolloutBucket(v, 8), 0);
    EXPECT_LT(RolloutBucket(v, 8), kRolloutBuckets);
    if (!IsInRolloutShare(v, 8, 10)) continue;
    ++first;
    kept += IsInRolloutShare(v, 8, 50) ? 1 : 0;
    again += IsInRolloutShare(v, 9, 10) ? 1 : 0;
  }
  EXPECT_EQ(kept, first);  // 10 -> 50: all the first 10 % stay in
  // Release 9 at 10 % takes about a tenth of release 8's early takers, not the same machines.
  EXPECT_NEAR(100.0 * static_cast<double>(again) / static_cast<double>(first), 10.0, 3.0);
  // Halted: nobody takes it.
  EXPECT_EQ(ShareTaken(installations, 8, 0), 0.0);
}

TEST(RolloutBucket, FixedBucketsStayAsTheyAre) {
  // Buckets already handed out must never move with a change of the code: these pin the rule.
  const struct {
    uint64_t value;
    uint32_t release;
  } cases[] = {{0, 1}, {1, 1}, {0xffffffffffffffffULL, 1}, {0x0123456789abcdefULL, 7}, {0x0123456789abcdefULL, 8}};
  std::vector<int> buckets;
  for (const auto& c : cases) buckets.push_back(RolloutBucket(c.value, c.release));
  const std::vector<int> expected = {90, 80, 1, 54, 84};
  EXPECT_EQ(buckets, expected);
}

TEST(RolloutBucket, InstallationValuesAsKept) {
  uint64_t value = 0;
  EXPECT_TRUE(ParseRolloutValue("0123456789abcdef", value));
  EXPECT_EQ(value, 0x0123456789abcdefULL);
  EXPECT_TRUE(ParseRolloutValue("FFFFFFFFFFFFFFFF", value));
  EXPECT_EQ(value, 0xffffffffffffffffULL);
  EXPECT_EQ(FormatRolloutValue(0x0123456789abcdefULL), "0123456789abcdef");
  EXPECT_EQ(FormatRolloutValue(0), "0000000000000000");
  for (const char* bad : {"", "0123456789abcde", "0123456789abcdef0", "0123456789abcdeg", " 123456789abcdef",
                          "0123456789abcdef\n"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseRolloutValue(bad, value));
  }
}

TEST(RolloutBucket, TheSignedShare) {
  const struct {
    const char* what;
    std::string policy;
    RolloutState state;
    int percent;
    bool urgent;
  } cases[] = {
      {"no share: everyone", "EXPIRES=2026-12-25T10:00:00Z\r\n", RolloutState::kEveryone, 100, false},
      {"ten percent", "ROLLOUT=10\r\n", RolloutState::kShare, 10, false},
      {"halted", "ROLLOUT=0\r\n", RolloutState::kShare, 0, false},
      {"all", "ROLLOUT=100\r\n", RolloutState::kShare, 100, false},
      {"urgent", "ROLLOUT=5\r\nURGENT=1\r\n", RolloutState::kShare, 5, true},
      {"urgent 0 is not urgent", "URGENT=0\r\n", RolloutState::kEveryone, 100, false},
      {"above 100", "ROLLOUT=101\r\n", RolloutState::kMalformed, 0, false},
      {"a percent sign", "ROLLOUT=10%\r\n", RolloutState::kMalformed, 0, false},
      {"a leading zero", "ROLLOUT=010\r\n", RolloutState::kMalformed, 0, false},
      {"empty", "ROLLOUT=\r\n", RolloutState::kMalformed, 0, false},
      {"twice", "ROLLOUT=10\r\nROLLOUT=50\r\n", RolloutState::kMalformed, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string covered = "[Talvo]\r\nXP_VERSION=3.41\r\n[RELEASE_POLICY]\r\n" + c.policy +
                                "[END]\r\n[RELEASE]\r\nNUMBER=8\r\n";
    const ReleaseRollout rollout = ReadReleaseRollout(covered);
    EXPECT_EQ(rollout.state, c.state);
    EXPECT_EQ(rollout.percent, c.percent);
    EXPECT_EQ(rollout.bUrgent, c.urgent);
  }
  // Outside the policy section the keys mean nothing.
  EXPECT_EQ(ReadReleaseRollout("[Talvo]\r\nROLLOUT=10\r\n[RELEASE]\r\nROLLOUT=10\r\n").state, RolloutState::kEveryone);
}

}  // namespace
