// Fuzzes the delta applier with hostile frames against a fixed old file: the first four bytes
// (little-endian) are the expected result size, the rest is the delta. Seeds are real patches of
// that old file (tests/archive/corpus/zstdpatch_fuzz).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "archive/zstdpatch.h"

namespace {

// The same bytes as the seeds' old file: a 64 KiB linear congruential sequence.
std::vector<unsigned char> FuzzSource() {
  std::vector<unsigned char> bytes(65536);
  uint32_t state = 12345;
  for (auto& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<unsigned char>(state >> 16);
  }
  return bytes;
}

class CountingObserver : public zstdpatch::PatchObserver {
 public:
  bool Consume(const void*, size_t size) override {
    m_nTotal += size;
    return true;
  }
  uint64_t m_nTotal = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<unsigned char> source = FuzzSource();
  if (size < 4) return 0;
  // At most 1 MiB of result, so that the window stays at zstd's default limit.
  uint64_t expected = (uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16) & 0xFFFFF;
  CountingObserver observer;
  zstdpatch::PatchResult result =
      zstdpatch::ApplyPatchBytes(source.data(), source.size(), data + 4, size - 4, expected, observer);
  if (observer.m_nTotal > expected ||
      (result == zstdpatch::PatchResult::kApplied && observer.m_nTotal != expected)) {
    std::fprintf(stderr, "zstdpatch_fuzz: %llu bytes produced for %llu expected\n",
                 static_cast<unsigned long long>(observer.m_nTotal), static_cast<unsigned long long>(expected));
    std::abort();
  }
  return 0;
}
