// The zip reader against archives the tests build: well-formed ones byte for byte, and broken or
// hostile ones refused without a byte written outside the target folder or left behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "archive/zipfile.h"
#include "safename/safename.h"
#include "tests/archive/testzipwriter.h"

namespace fs = std::filesystem;
using testzip::Writer;

namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Every file and folder below `root`, so a test can show that nothing appeared anywhere.
std::set<std::string> Tree(const fs::path& root) {
  std::set<std::string> seen;
  for (const auto& item : fs::recursive_directory_iterator(root))
    seen.insert(fs::relative(item.path(), root).generic_string());
  return seen;
}

class ZipFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    root_ = fs::temp_directory_path() /
            ("talvo-zip-test-" + std::to_string(random()) + "-" + std::to_string(now));
    fs::create_directories(root_ / "pkg");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // The package folder, as the update dialog builds targets: folder, separator, entry name.
  std::string Target(const std::string& name) const { return (root_ / "pkg").string() + Sep() + name; }
  static std::string Sep() {
#ifdef _WIN32
    return "\\";
#else
    return "/";
#endif
  }
  std::string Save(const std::string& bytes, const std::string& file = "package.zip") {
    WriteAll(root_ / file, bytes);
    return (root_ / file).string();
  }
  std::string SaveArchive(const Writer& writer) { return Save(writer.Build()); }

  fs::path root_;
};

// ---------------------------------------------------------------------------------------------
// Opening

struct BrokenArchive {
  const char* what;
  std::function<std::string()> bytes;
};

std::string TwoEntries() {
  Writer w;
  w.Add("a.txt", "first file\n");
  w.Add("b.bin", testzip::MakeBytes(1000, 1, false), 0);
  return w.Build();
}

TEST_F(ZipFileTest, OpenRefusesWhatIsNotAnArchiveAndStaysClosed) {
  const std::vector<BrokenArchive> cases = {
      {"zero-byte file", [] { return std::string(); }},
      {"text file", [] { return std::string("This is not a zip archive.\r\nJust text.\r\n"); }},
      {"21 bytes", [] { return TwoEntries().substr(0, 21); }},
      {"cut in the middle", [] { std::string a = TwoEntries(); return a.substr(0, a.size() / 2); }},
      {"cut inside the end record", [] { std::string a = TwoEntries(); return a.substr(0, a.size() - 1); }},
      {"no entries", [] { return Writer().Build(); }},
      {"end record beyond the 4096-byte tail", [] {
         Writer w;
         w.Add("a.txt", "x");
         w.comment = std::string(4096 - 22 + 1, 'c');
         return w.Build();
       }},
      {"directory larger than the file", [] {
         Writer w;
         w.Add("a.txt", "x");
         w.directorySize = 0x7FFFFFF0;
         return w.Build();
       }},
      {"directory offset past the end", [] {
         Writer w;
         w.Add("a.txt", "x");
         w.directoryOffset = 0xFFFFFF00u;
         return w.Build();
       }},
      {"directory running into the end record", [] {
         Writer w;
         w.Add("a.txt", "x");
         w.directoryOffset = 20;
         return w.Build();
       }},
      {"more entries announced than recorded", [] {
         Writer w;
         w.Add("a.txt", "x");
         w.Add("b.txt", "y");
         w.count = 3;
         return w.Build();
       }},
      {"65535 entries claimed by a one-record directory", [] {
         Writer w;
         w.Add("a.txt", "x");
         w.count = 0xFFFF;
         return w.Build();
       }},
      {"name running past the directory", [] {
         Writer w;
         w.Add("a.txt", "x");
         std::string a = w.Build();
         // Central name length (directory offset + 28) raised far beyond the directory.
         const size_t directory = a.size() - 22 - (46 + 5);
         a[directory + 28] = '\xFF';
         return a;
       }},
      {"broken central signature", [] {
         Writer w;
         w.Add("a.txt", "x");
         w.centralSignature = 0x02014B51;
         return w.Build();
       }},
  };
  for (const BrokenArchive& c : cases) {
    SCOPED_TRACE(c.what);
    CZipFile zip;
    EXPECT_FALSE(zip.Open(Save(c.bytes())));
    EXPECT_NE(zip.GetLastFailure(), ZipFailure::kNone);
    EXPECT_EQ(zip.GetCount(), 0);
    EXPECT_EQ(zip.GetEntry(0), nullptr);
  }
  CZipFile zip;
  EXPECT_FALSE(zip.Open((root_ / "missing.zip").string()));
  EXPECT_EQ(zip.GetLastFailure(), ZipFailure::kOpenArchive);
  EXPECT_FALSE(zip.Open(root_.string())) << "a folder is not an archive";
}

TEST_F(ZipFileTest, FindsTheEndRecordAnywhereInTheLast4096Bytes) {
  for (size_t commentLength : {size_t(0), size_t(1000), size_t(4096 - 22)}) {
    SCOPED_TRACE(commentLength);
    Writer w;
    w.Add("big.bin", testzip::MakeBytes(10000, 7, false), 0);
    w.comment = std::string(commentLength, 'c');
    CZipFile zip;
    ASSERT_TRUE(zip.Open(SaveArchive(w)));
    ASSERT_EQ(zip.GetCount(), 1);
    EXPECT_EQ(zip.GetEntry(0)->m_strName, "big.bin");
  }
}

TEST_F(ZipFileTest, GetEntryOutsideTheTableIsNull) {
  CZipFile zip;
  EXPECT_EQ(zip.GetEntry(0), nullptr);
  ASSERT_TRUE(zip.Open(Save(TwoEntries())));
  ASSERT_EQ(zip.GetCount(), 2);
  EXPECT_EQ(zip.GetEntry(-1), nullptr);
  EXPECT_EQ(zip.GetEntry(zip.GetCount()), nullptr);
  EXPECT_NE(zip.GetEntry(zip.GetCount() - 1), nullptr);
  zip.Close();
  EXPECT_EQ(zip.GetCount(), 0);
  EXPECT_EQ(zip.GetEntry(0), nullptr);
}

TEST_F(ZipFileTest, KeepsNamesAsStoredWithBackslashesTurnedIntoSlashes) {
  Writer w;
  w.Add("sub\\file.txt", "x");
  w.Add("\xc7\xd1\xb1\xdb\\\xc6\xc4\xc0\xcf.txt", "y");  // Korean, code page 949
  CZipFile zip;
  ASSERT_TRUE(zip.Open(SaveArchive(w)));
  EXPECT_EQ(zip.GetEntry(0)->m_strName, "sub/file.txt");
  EXPECT_EQ(zip.GetEntry(1)->m_strName, "\xc7\xd1\xb1\xdb/\xc6\xc4\xc0\xcf.txt");
  EXPECT_EQ(zip.GetEntry(0)->m_pZip, &zip);
}

TEST_F(ZipFileTest, AttachReadsThroughTheCallersHandleAndLeavesItOpen) {
  const std::string path = Save(TwoEntries());
  filelayer::UniqueFile file(filelayer::OpenForReading(path));
  ASSERT_TRUE(file.IsValid());
  ASSERT_TRUE(filelayer::SeekFromStart(file.Get(), 7));  // wherever the owner left it
  {
    CZipFile zip(file.Get());
    ASSERT_EQ(zip.GetCount(), 2);
    ASSERT_TRUE(zip.GetEntry(0)->ExtractTo(Target("a.txt")));
    EXPECT_EQ(ReadAll(root_ / "pkg" / "a.txt"), "first file\n");
  }
  // Still open after the reader is gone.
  char first[2] = {};
  uint32_t nRead = 0;
  ASSERT_TRUE(filelayer::SeekFromStart(file.Get(), 0));
  ASSERT_TRUE(filelayer::ReadBytes(file.Get(), first, 2, &nRead));
  EXPECT_EQ(std::string(first, 2), "PK");

  filelayer::UniqueFile text(filelayer::OpenForReading(Save("not an archive", "text.txt")));
  CZipFile zip;
  EXPECT_FALSE(zip.Attach(text.Get()));
  ASSERT_TRUE(filelayer::SeekFromStart(text.Get(), 0));
  ASSERT_TRUE(filelayer::ReadBytes(text.Get(), first, 2, &nRead));
  EXPECT_EQ(std::string(first, 2), "no");
}

// ---------------------------------------------------------------------------------------------
// Extraction

TEST_F(ZipFileTest, ExtractsStoredAndDeflatedEntriesByteForByte) {
  Writer w;
  w.Add("small.txt", "hello, world\n", 0);
  w.Add("small-deflated.txt", "hello, world\n");
  w.Add("stored-300k.bin", testzip::MakeBytes(300000, 2, false), 0);  // several 128 KB chunks
  w.Add("text-2m.txt", testzip::MakeBytes(2000000, 3, true));  // far more output than input
  w.Add("noise-200k.bin", testzip::MakeBytes(200000, 4, false));  // several 64 KB input chunks
  w.Add("empty-stored", "", 0);
  w.Add("empty-deflated", "");
  w.Add("empty-no-data", "").compressed = std::string();
  w.Add("exact-128k.bin", testzip::MakeBytes(131072, 5, false), 0);
  testzip::Entry& local = w.Add("local-fields-differ.txt", "the central fields rule");
  local.localName = "another-name-of-other-length.txt";
  local.localExtra = std::string(40, 'e');
  local.centralExtra = std::string(12, 'x');
  CZipFile zip;
  ASSERT_TRUE(zip.Open(SaveArchive(w)));
  ASSERT_EQ(zip.GetCount(), static_cast<int>(w.entries.size()));
  for (int i = 0; i < zip.GetCount(); ++i) {
    CZipEntry* entry = zip.GetEntry(i);
    const testzip::Entry& expected = w.entries[i];
    SCOPED_TRACE(expected.name);
    EXPECT_EQ(entry->m_strName, expected.name);
    EXPECT_EQ(entry->m_nMethod, expected.method);
    EXPECT_EQ(entry->m_nSize, expected.data.size());
    ASSERT_TRUE(entry->ExtractTo(Target(entry->m_strName)))
        << DescribeZipFailure(zip.GetLastFailure());
    const fs::path out = root_ / "pkg" / expected.name;
    EXPECT_EQ(fs::file_size(out), expected.data.size());
    EXPECT_TRUE(ReadAll(out) == expected.data);
  }
}

// Layouts that common tools write and that the overlap rule must still accept: each entry's data
// ends before the next local header, but not necessarily right at it.
TEST_F(ZipFileTest, AcceptsTheLayoutsOfWellFormedArchives) {
  struct Layout {
    const char* what;
    bool descriptors;
    std::vector<int> centralOrder;
    size_t prefix;
  };
  const std::vector<Layout> layouts = {
      {"data descriptors after the entries", true, {}, 0},
      {"central records in another order than the data", false, {3, 0, 4, 2, 1}, 0},
      {"a program before the first entry", false, {}, 5000},
      {"all of these", true, {4, 3, 2, 1, 0}, 70000},
  };
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.what);
    Writer w;
    w.Add("stored.bin", testzip::MakeBytes(3000, 11, false), 0);
    w.Add("deflated.txt", testzip::MakeBytes(200000, 12, true));
    w.Add("empty-stored", "", 0);
    w.Add("empty-deflated", "");
    w.Add("last.txt", "the entry nearest the directory");
    for (testzip::Entry& e : w.entries) e.descriptor = layout.descriptors;
    w.centralOrder = layout.centralOrder;
    w.prefix = testzip::MakeBytes(layout.prefix, 13, false);
    fs::remove_all(root_ / "pkg");
    fs::create_directory(root_ / "pkg");
    CZipFile zip;
    ASSERT_TRUE(zip.Open(SaveArchive(w))) << DescribeZipFailure(zip.GetLastFailure());
    ASSERT_EQ(zip.GetCount(), 5);
    for (int i = 0; i < zip.GetCount(); ++i) {
      CZipEntry* entry = zip.GetEntry(i);
      const testzip::Entry& expected =
          w.entries[layout.centralOrder.empty() ? i : layout.centralOrder[i]];
      ASSERT_EQ(entry->m_strName, expected.name);
      ASSERT_TRUE(entry->ExtractTo(Target(entry->m_strName)))
          << expected.name << ": " << DescribeZipFailure(zip.GetLastFailure());
      EXPECT_TRUE(ReadAll(root_ / "pkg" / expected.name) == expected.data) << expected.name;
    }
  }
}

TEST_F(ZipFileTest, ExtractingTwiceFailsUntilTheOldFileIsDeleted) {
  CZipFile zip;
  ASSERT_TRUE(zip.Open(Save(TwoEntries())));
  CZipEntry* entry = zip.GetEntry(0);
  ASSERT_TRUE(entry->ExtractTo(Target("a.txt")));
  WriteAll(root_ / "pkg" / "a.txt", "changed");
  EXPECT_FALSE(entry->ExtractTo(Target("a.txt")));
  EXPECT_EQ(zip.GetLastFailure(), ZipFailure::kCreateOutput);
  EXPECT_EQ(ReadAll(root_ / "pkg" / "a.txt"), "changed") << "an existing file is never touched";
  ASSERT_TRUE(filelayer::DeleteNamedFile(Target("a.txt")));
  EXPECT_TRUE(entry->ExtractTo(Target("a.txt")));
  EXPECT_EQ(ReadAll(root_ / "pkg" / "a.txt"), "first file\n");
}

TEST_F(ZipFileTest, CreatesNoFolders) {
  Writer w;
  w.Add("folder/", "", 0);
  w.Add("missing/file.txt", "x");
  w.Add("sub/file.txt", "in a folder that exists");
  w.Add("sub\\other.txt", "backslash names");
  w.Add(".\\//", "", 0);  // names the package folder itself
  CZipFile zip;
  ASSERT_TRUE(zip.Open(SaveArchive(w)));

  EXPECT_FALSE(zip.GetEntry(0)->ExtractTo(Target("folder/")));
  EXPECT_EQ(zip.GetLastFailure(), ZipFailure::kFolderEntry);
  EXPECT_FALSE(zip.GetEntry(4)->ExtractTo(Target(zip.GetEntry(4)->m_strName)));
  EXPECT_EQ(zip.GetLastFailure(), ZipFailure::kFolderEntry);
  EXPECT_FALSE(zip.GetEntry(1)->ExtractTo(Target("missing/file.txt")));
  EXPECT_EQ(zip.GetLastFailure(), ZipFailure::kCreateOutput);
  EXPECT_EQ(Tree(root_ / "pkg"), std::set<std::string>{});

  fs::create_directory(root_ / "pkg" / "sub");
  EXPECT_TRUE(zip.GetEntry(2)->ExtractTo(Target(zip.GetEntry(2)->m_strName)));
  EXPECT_TRUE(zip.GetEntry(3)->ExtractTo(Target(zip.GetEntry(3)->m_strName)));
  EXPECT_EQ(ReadAll(root_ / "pkg" / "sub" / "file.txt"), "in a folder that exists");
  EXPECT_EQ(ReadAll(root_ / "pkg" / "sub" / "other.txt"), "backslash names");
}

struct BadEntry {
  const char* what;
  std::function<void(Writer&)> build;  // adds the entries; the last one is the bad one
  ZipFailure failure;
};

TEST_F(ZipFileTest, RefusesBrokenEntriesAndLeavesNoFileBehind) {
  const std::string text = testzip::MakeBytes(50000, 9, true);
  const std::vector<BadEntry> cases = {
      {"corrupted deflate data", [&](Writer& w) {
         std::string bad = testzip::Deflate(text);
         for (size_t i = 10; i < bad.size(); i += 97) bad[i] = static_cast<char>(bad[i] ^ 0x5A);
         w.Add("bad.txt", text).compressed = bad;
       }, ZipFailure::kBadData},
      {"wrong CRC-32, deflated", [&](Writer& w) { w.Add("bad.txt", text).crc = 0x12345678; },
       ZipFailure::kCrcMismatch},
      {"wrong CRC-32, stored", [&](Writer& w) { w.Add("bad.txt", text, 0).crc = 0x12345678; },
       ZipFailure::kCrcMismatch},
      {"more output than recorded", [&](Writer& w) { w.Add("bad.txt", text).size = 1000; },
       ZipFailure::kOversizeData},
      {"less output than recorded", [&](Writer& w) { w.Add("bad.txt", text).size = 60000; },
       ZipFailure::kTruncatedData},
      {"deflate stream without its end", [&](Writer& w) {
         w.Add("bad.txt", text).compressed = testzip::Deflate(text, false);
       }, ZipFailure::kTruncatedData},
      {"deflate stream cut short", [&](Writer& w) {
         std::string full = testzip::Deflate(text);
         w.Add("bad.txt", text).compressed = full.substr(0, full.size() / 2);
       }, ZipFailure::kTruncatedData},
      {"stored entry whose sizes differ", [&](Writer& w) { w.Add("bad.txt", text, 0).size = 100; },
       ZipFailure::kSizeMismatch},
      {"broken local signature", [&](Writer& w) { w.Add("bad.txt", text).localSignature = 0x04034B51; },
       ZipFailure::kBadLocalHeader},
      {"unsupported local method", [&](Writer& w) { w.Add("bad.txt", text).localMethod = 12; },
       ZipFailure::kUnsupportedMethod},
      {"compressed size beyond the end of the archive", [&](Writer& w) {
         w.Add("bad.txt", text).compressedSize = 0x7FFFFFFF;
       }, ZipFailure::kDataOutOfBounds},
      {"compressed data running into the directory", [&](Writer& w) {
         testzip::Entry& e = w.Add("bad.txt", text);
         e.compressedSize = static_cast<uint32_t>(testzip::Deflate(text).size() + 1);
       }, ZipFailure::kDataOutOfBounds},
      {"compressed data running into the next entry", [&](Writer& w) {
         testzip::Entry& e = w.Add("bad.txt", text);
         e.compressedSize = static_cast<uint32_t>(testzip::Deflate(text).size() + 10);
         w.Add("next.txt", "next");
       }, ZipFailure::kDataOutOfBounds},
      {"two entries sharing one local header", [&](Writer& w) {
         w.Add("first.txt", text);
         w.Add("bad.txt", text).shareLocalOf = static_cast<int>(w.entries.size()) - 1;
       }, ZipFailure::kDataOutOfBounds},
  };
  for (const BadEntry& c : cases) {
    SCOPED_TRACE(c.what);
    Writer w;
    c.build(w);
    CZipFile zip;
    ASSERT_TRUE(zip.Open(SaveArchive(w)));
    // Find the bad entry by name: some cases reorder the local records.
    CZipEntry* bad = nullptr;
    for (int i = 0; i < zip.GetCount(); ++i)
      if (zip.GetEntry(i)->m_strName == "bad.txt") bad = zip.GetEntry(i);
    ASSERT_NE(bad, nullptr);
    EXPECT_FALSE(bad->ExtractTo(Target("bad.txt")));
    EXPECT_EQ(zip.GetLastFailure(), c.failure) << DescribeZipFailure(zip.GetLastFailure());
    EXPECT_FALSE(fs::exists(root_ / "pkg" / "bad.txt"));
  }
}

TEST_F(ZipFileTest, EntriesWhoseDataCoverLaterEntriesAreRefused) {
  // The overlapping-entry bomb: every entry's data runs on over the records of the entries after
  // it, so one compressed kernel is inflated once per entry. The central order must not matter:
  // the next local header is the next one in the file.
  const std::string data(1 << 20, 'a');
  const uint32_t record = static_cast<uint32_t>(30 + 5 + testzip::Deflate(data).size());
  for (const std::vector<int>& centralOrder : {std::vector<int>{}, std::vector<int>{2, 1, 0}}) {
    SCOPED_TRACE(centralOrder.empty() ? "in file order" : "central records reversed");
    Writer w;
    for (uint32_t i = 0; i < 3; ++i)
      w.Add("bomb" + std::to_string(i), data).compressedSize = (3 - i) * record - 30 - 5;
    w.centralOrder = centralOrder;
    fs::remove_all(root_ / "pkg");
    fs::create_directory(root_ / "pkg");
    CZipFile zip;
    ASSERT_TRUE(zip.Open(SaveArchive(w)));
    for (int i = 0; i < zip.GetCount(); ++i) {
      CZipEntry* entry = zip.GetEntry(i);
      if (entry->m_strName == "bomb2") {
        EXPECT_TRUE(entry->ExtractTo(Target("bomb2"))) << "the last one keeps to its own span";
      } else {
        EXPECT_FALSE(entry->ExtractTo(Target(entry->m_strName))) << entry->m_strName;
        EXPECT_EQ(zip.GetLastFailure(), ZipFailure::kDataOutOfBounds);
      }
    }
    EXPECT_EQ(Tree(root_ / "pkg"), std::set<std::string>{"bomb2"});
  }
}

TEST_F(ZipFileTest, RefusesHostileNamesWithoutWritingAnything) {
  const std::vector<std::string> hostile = {
      "../evil.txt", "a/../../evil.txt", "..", "a/..", "..\\evil.txt", ".. /evil.txt",
      "... /evil.txt", ". ./evil.txt", "/evil.txt", "\\evil.txt", "\\\\server\\share\\evil.txt",
      "//server/share/evil.txt", "\\\\?\\C:\\evil.txt", "C:evil.txt", "C:/evil.txt",
      "c:\\evil.txt", "good.txt:stream", std::string("evil.txt\0.png", 13), "CON", "nul.txt",
      "sub/aux", "COM1.log", "lpt9", "CONOUT$", "",
  };
  fs::create_directories(root_ / "pkg" / "a" / "sub");
  const std::set<std::string> before = Tree(root_);
  for (const std::string& name : hostile) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(IsSafeRelativePath(name));
    Writer w;
    w.Add("fine.txt", "fine");
    w.Add(name, "evil");
    CZipFile zip;
    ASSERT_TRUE(zip.Open(SaveArchive(w)));
    CZipEntry* entry = zip.GetEntry(1);
    // Targets one folder down, so that ".." would still land inside the test's own root.
    EXPECT_FALSE(entry->ExtractTo((root_ / "pkg" / "a").string() + Sep() + entry->m_strName));
    EXPECT_EQ(zip.GetLastFailure(), ZipFailure::kUnsafeName);
    zip.Close();
    fs::remove(root_ / "package.zip");
    EXPECT_EQ(Tree(root_), before);
  }
  for (const char* name : {"a.txt", "sub/a.txt", "a..b", "..a", "a/./b", "./a", "CONFIG.INI",
                           "console.txt", "com10", "nullify", "\xc7\xd1\xb1\xdb.txt"}) {
    EXPECT_TRUE(IsSafeRelativePath(name)) << name;
  }
}

TEST_F(ZipFileTest, ExtractsAPackageOfManyEntriesInDirectoryOrder) {
  Writer w;
  for (int i = 0; i < 2000; ++i)
    w.Add("f" + std::to_string(i) + ".dat", testzip::MakeBytes(i % 300, i, i % 2 == 0),
          static_cast<uint16_t>(i % 3 == 0 ? 0 : 8));
  CZipFile zip;
  ASSERT_TRUE(zip.Open(SaveArchive(w)));
  ASSERT_EQ(zip.GetCount(), 2000);
  for (int i = 0; i < zip.GetCount(); ++i)
    ASSERT_TRUE(zip.GetEntry(i)->ExtractTo(Target(zip.GetEntry(i)->m_strName))) << i;
  for (int i = 0; i < 2000; i += 97)
    EXPECT_TRUE(ReadAll(root_ / "pkg" / w.entries[i].name) == w.entries[i].data) << i;
}

// Archives made at build time by Python's zipfile module and by Info-ZIP zip.
TEST_F(ZipFileTest, ExtractsArchivesMadeByCommonTools) {
  const char* binary = std::getenv("TALVO_BINARY_DIR");
  if (!binary) GTEST_SKIP() << "TALVO_BINARY_DIR is not set";
  std::string made = std::string(binary) + "/tests/archive/tool-made";
#ifdef _WIN32
  if (!made.empty() && made[0] == '/') made = "Z:" + made;
#endif
  int archives = 0;
  // Besides the plain archives: data descriptors after the entries (streamed and zip -fd), and
  // self-extractor layouts with a program before the first entry.
  for (const char* file : {"python.zip", "python-streamed.zip", "python-prefixed.zip", "infozip.zip",
                           "infozip-streamed.zip", "infozip-fd.zip", "infozip-sfx.zip"}) {
    SCOPED_TRACE(file);
    if (!fs::exists(made + "/" + file)) continue;
    ++archives;
    fs::remove_all(root_ / "pkg");
    fs::create_directory(root_ / "pkg");
    CZipFile zip;
    ASSERT_TRUE(zip.Open(made + "/" + file)) << DescribeZipFailure(zip.GetLastFailure());
    std::set<std::string> names;
    for (int i = 0; i < zip.GetCount(); ++i) {
      CZipEntry* entry = zip.GetEntry(i);
      names.insert(entry->m_strName);
      ASSERT_TRUE(entry->ExtractTo(Target(entry->m_strName)))
          << entry->m_strName << ": " << DescribeZipFailure(zip.GetLastFailure());
      EXPECT_TRUE(ReadAll(root_ / "pkg" / entry->m_strName) ==
                  ReadAll(made + "/files/" + entry->m_strName))
          << entry->m_strName;
    }
    EXPECT_EQ(names, (std::set<std::string>{"empty.txt", "noise.bin", "readme.txt", "text.txt"}));
  }
  EXPECT_GE(archives, 3);
}

}  // namespace
