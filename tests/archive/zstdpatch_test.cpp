// The delta applier on real binaries and data: what the maker makes (with libzstd as the publisher
// does, and with the zstd tool's --patch-from) applies to byte-identical results, and damaged,
// truncated or misdirected deltas fail cleanly, leaving no result file behind.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "archive/zstdpatch.h"

namespace fs = std::filesystem;
using zstdpatch::PatchResult;

namespace {

std::string g_oldProgram, g_newProgram, g_zstdTool;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A delta as the publisher makes it: the old file as the prefix, a window covering both files,
// long-distance matching, the frame's checksum on.
std::string MakeDelta(const std::string& from, const std::string& to) {
  ZSTD_CCtx* cctx = ZSTD_createCCtx();
  int windowLog = 10;
  while ((size_t(1) << windowLog) <= std::max(from.size(), to.size())) ++windowLog;
  ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, 12);
  ZSTD_CCtx_setParameter(cctx, ZSTD_c_windowLog, windowLog);
  ZSTD_CCtx_setParameter(cctx, ZSTD_c_enableLongDistanceMatching, 1);
  ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, 1);
  ZSTD_CCtx_refPrefix(cctx, from.data(), from.size());
  std::string out(ZSTD_compressBound(to.size()), '\0');
  size_t n = ZSTD_compress2(cctx, out.data(), out.size(), to.data(), to.size());
  ZSTD_freeCCtx(cctx);
  EXPECT_FALSE(ZSTD_isError(n)) << ZSTD_getErrorName(n);
  out.resize(ZSTD_isError(n) ? 0 : n);
  return out;
}

class Collector : public zstdpatch::PatchObserver {
 public:
  bool Consume(const void* data, size_t size) override {
    bytes.append(static_cast<const char*>(data), size);
    return true;
  }
  std::string bytes;
};

std::string PseudoRandom(size_t size, uint32_t seed) {
  std::string s(size, '\0');
  for (auto& c : s) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 16);
  }
  return s;
}

// A data file and the next release's copy with a block inserted in the middle and a few bytes changed.
struct DataPair {
  std::string from, to;
  DataPair() {
    from = PseudoRandom(3 << 20, 7);
    to = from;
    to.insert(to.size() / 2, PseudoRandom(4096, 99));
    to[100] ^= 0x55;
    to[to.size() - 10] ^= 0x55;
  }
};

class ZstdPatchFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("talvo-zstdpatch-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

}  // namespace

TEST_F(ZstdPatchFiles, RealProgramsAndDataComeOutByteIdentical) {
  const std::string oldProgram = ReadFile(g_oldProgram), newProgram = ReadFile(g_newProgram);
  ASSERT_GT(oldProgram.size(), 10000u);
  ASSERT_NE(oldProgram, newProgram) << "the two builds should differ";
  const DataPair data;
  struct Case {
    const char* name;
    const std::string& from;
    const std::string& to;
  } cases[] = {
      {"program, older build to newer", oldProgram, newProgram},
      {"program, newer build to older", newProgram, oldProgram},
      {"data file with an insertion", data.from, data.to},
      {"from an empty file", std::string(), data.to},
      {"to an empty file", data.from, std::string()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string delta = MakeDelta(c.from, c.to);
    fs::remove(dir / "old");
    fs::remove(dir / "new");
    WriteFile(dir / "old", c.from);
    WriteFile(dir / "delta", delta);
    Collector seen;
    EXPECT_EQ(zstdpatch::ApplyPatchFile((dir / "old").string(), (dir / "delta").string(), (dir / "new").string(),
                                        c.to.size(), &seen),
              PatchResult::kApplied);
    EXPECT_TRUE(ReadFile(dir / "new") == c.to);
    EXPECT_TRUE(seen.bytes == c.to);
    // The size as the frame announces it; a new file has no reference at all.
    fs::remove(dir / "new");
    EXPECT_EQ(zstdpatch::ApplyPatchFile(c.from.empty() ? std::string() : (dir / "old").string(),
                                        (dir / "delta").string(), (dir / "new").string(), zstdpatch::kAnnouncedSize,
                                        nullptr),
              PatchResult::kApplied);
    EXPECT_TRUE(ReadFile(dir / "new") == c.to);
    if (!c.from.empty() && !c.to.empty() && &c.to == &data.to)
      EXPECT_LT(delta.size(), c.to.size() / 50) << "an insertion should cost little";
  }
}

// The maker's command line (zstd --patch-from) gives frames the updater applies as well.
TEST_F(ZstdPatchFiles, FramesOfTheZstdToolApply) {
  fs::path from = g_oldProgram, to = g_newProgram;
  std::string command = g_zstdTool + " -q -f -19 --patch-from=" + from.string() + " " + to.string() + " -o " +
                        (dir / "delta").string();
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string expected = ReadFile(to);
  ASSERT_EQ(zstdpatch::ApplyPatchFile(from.string(), (dir / "delta").string(), (dir / "new").string(),
                                      expected.size(), nullptr),
            PatchResult::kApplied);
  EXPECT_TRUE(ReadFile(dir / "new") == expected);
}

TEST_F(ZstdPatchFiles, BadDeltasFailCleanly) {
  const DataPair data;
  const std::string good = MakeDelta(data.from, data.to);
  std::string damaged = good;
  damaged[damaged.size() / 2] ^= 0x20;
  std::string otherSource = data.from;
  otherSource[otherSource.size() / 3] ^= 1;
  struct Case {
    const char* name;
    const std::string& source;
    std::string delta;
    uint64_t expectedSize;
    PatchResult result;
  } cases[] = {
      {"damaged delta", data.from, damaged, data.to.size(), PatchResult::kDeltaDamaged},
      {"installed file not the one the delta was made from", otherSource, good, data.to.size(),
       PatchResult::kDeltaDamaged},
      {"truncated delta", data.from, good.substr(0, good.size() - 7), data.to.size(), PatchResult::kDeltaDamaged},
      {"delta cut after its header", data.from, good.substr(0, 12), data.to.size(), PatchResult::kDeltaDamaged},
      {"empty delta", data.from, std::string(), data.to.size(), PatchResult::kDeltaDamaged},
      {"bytes after the frame", data.from, good + good, data.to.size(), PatchResult::kDeltaDamaged},
      {"not a zstd frame", data.from, std::string(64, 'x'), data.to.size(), PatchResult::kDeltaDamaged},
      {"result larger than announced in the document", data.from, good, data.to.size() - 1,
       PatchResult::kWrongSize},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(dir / "new");
    WriteFile(dir / "old", c.source);
    WriteFile(dir / "delta", c.delta);
    EXPECT_EQ(zstdpatch::ApplyPatchFile((dir / "old").string(), (dir / "delta").string(), (dir / "new").string(),
                                        c.expectedSize, nullptr),
              c.result);
    EXPECT_FALSE(fs::exists(dir / "new")) << "a failed patch leaves no result behind";
  }
}

TEST_F(ZstdPatchFiles, MissingFilesAndAnExistingResultAreRefused) {
  const DataPair data;
  WriteFile(dir / "old", data.from);
  WriteFile(dir / "delta", MakeDelta(data.from, data.to));
  const std::string old = (dir / "old").string(), delta = (dir / "delta").string(), out = (dir / "new").string();
  EXPECT_EQ(zstdpatch::ApplyPatchFile((dir / "gone").string(), delta, out, data.to.size(), nullptr),
            PatchResult::kSourceUnreadable);
  EXPECT_EQ(zstdpatch::ApplyPatchFile(old, (dir / "gone").string(), out, data.to.size(), nullptr),
            PatchResult::kDeltaUnreadable);
  WriteFile(dir / "new", "kept");
  EXPECT_EQ(zstdpatch::ApplyPatchFile(old, delta, out, data.to.size(), nullptr), PatchResult::kOutputFailed);
  EXPECT_EQ(ReadFile(dir / "new"), "kept");
}

TEST(ZstdPatchObserver, AnObserverThatRefusesStopsThePatch) {
  const DataPair data;
  const std::string delta = MakeDelta(data.from, data.to);
  struct Refuser : zstdpatch::PatchObserver {
    bool Consume(const void*, size_t) override { return false; }
  } refuser;
  EXPECT_EQ(zstdpatch::ApplyPatchBytes(data.from.data(), data.from.size(), delta.data(), delta.size(),
                                       data.to.size(), refuser),
            PatchResult::kOutputFailed);
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: zstdpatch_test OLD-PROGRAM NEW-PROGRAM ZSTD-TOOL\n");
    return 2;
  }
  g_oldProgram = argv[1];
  g_newProgram = argv[2];
  g_zstdTool = argv[3];
  return RUN_ALL_TESTS();
}
