// The update run without a window: real packages from the test update server, the real install
// script, file system and registry of the test's own Wine prefix, and a sink that records what
// the run tells.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/projectdata.h"
#include "framework/scopedhandle.h"
#include "localstate/filehelpers.h"
#include "net/downloadfailure.h"
#include "tests/archive/testzipwriter.h"
#include "tests/localstate/testsupport.h"
#include "tests/net/nettestsupport.h"
#include "tests/update/recordingsink.h"
#include "update/updaterun.h"

namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using testsupport::Exists;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

const char kInstallKey[] = "Software\\Talvo\\Install";

class UpdateRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_target = testsupport::FreshTestFolder();
    m_staging = GetStagingFolder();
    testsupport::RemoveTree(m_staging.substr(0, m_staging.size() - 1));
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kInstallKey);
    m_data.Parse("[Talvo]\nXP_VERSION=3.41\n[FILES]\nCOPY=" + m_target + ",list.dat\nCOPY=" + m_target +
                 ",filter.dat\n[END]\n");
    testzip::Writer list;
    list.Add("list.dat", "new list");
    Serve("serverlist.zip", list);
    testzip::Writer filter;
    filter.Add("filter.dat", "new filter");
    Serve("filter.zip", filter);
  }
  void TearDown() override {
    testsupport::RemoveTree(m_target);
    testsupport::RemoveTree(m_staging.substr(0, m_staging.size() - 1));
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kInstallKey);
  }

  static void Serve(const std::string& name, const testzip::Writer& zip) {
    ASSERT_TRUE(WriteFileBytes(nettest::Env("TALVO_TEST_SERVED_DIR") + "\\" + name, zip.Build()));
  }
  static RunEntry Entry(const char* label, int nKind, const char* version, const std::string& path) {
    RunEntry entry;
    entry.strLabel = label;
    entry.nKind = nKind;
    entry.strVersion = version;
    entry.strUrl = nettest::ServerUrl(path);
    return entry;
  }
  static RunEntry ServerList(const std::string& path = "/serverlist.zip") {
    return Entry("서버 리스트 Ver 27", KIND_SERVER_LIST, "27", path);
  }
  static RunEntry Filter() { return Entry("검색어 필터 Ver 1.05", KIND_FILTER_DATA, "1.05", "/filter.zip"); }

  RunOutcome Run(std::vector<RunEntry> entries) {
    RunSettings settings;
    settings.strStagingFolder = m_staging;
    CUpdateRun run(m_data, std::move(entries), settings, m_sink);
    return run.Run();
  }
  std::string Target(const std::string& name) const { return m_target + "\\" + name; }
  static bool ListVersionRecorded() {
    return !testsupport::QueryRaw(HKEY_CURRENT_USER, kInstallKey, "VerListTalvo").missing;
  }

  CProjectData m_data;
  CRecordingSink m_sink;
  std::string m_target, m_staging;
};

TEST_F(UpdateRunTest, ANormalRunInstallsEveryEntryAndTellsEachStepInOrder) {
  const RunOutcome outcome = Run({ServerList(), Filter()});
  EXPECT_FALSE(outcome.bStopped);
  EXPECT_EQ(ReadFileBytes(Target("list.dat")), "new list");
  EXPECT_EQ(ReadFileBytes(Target("filter.dat")), "new filter");
  EXPECT_EQ(testsupport::QueryRaw(HKEY_CURRENT_USER, kInstallKey, "VerListTalvo").bytes, std::string("27") + '\0');
  EXPECT_FALSE(Exists(m_staging.substr(0, m_staging.size() - 1)));
  const std::vector<std::string> perEntry = {"status downloading", "range 100", "status extracting",
                                             "status installing", "range 100"};
  std::vector<std::string> expected = {"counter 1/2"};
  expected.insert(expected.end(), perEntry.begin(), perEntry.end());
  expected.push_back("counter 2/2");
  expected.insert(expected.end(), perEntry.begin(), perEntry.end());
  expected.push_back("status done");
  EXPECT_THAT(m_sink.Steps(), ElementsAreArray(expected));
  // Each entry's bar ends full before the next one starts.
  const std::vector<std::string> calls = m_sink.Calls();
  for (size_t i = 1; i < calls.size(); ++i) {
    if (calls[i] == "counter 2/2" || calls[i] == "status done") {
      EXPECT_EQ(calls[i - 1], "progress 100") << i;
    }
  }
}

// Each way an entry fails stops the run there with its typed result: nothing of it is installed
// or recorded, and the entry after it is never fetched.
TEST_F(UpdateRunTest, AFailedEntryStopsTheRunWithItsResult) {
  testzip::Writer hostile;
  hostile.Add("list.dat", "new list");
  hostile.Add("../escape.dat", "outside");
  Serve("hostile.zip", hostile);
  const struct {
    const char* what;
    std::string path;
    EntryResult result;
    const DownloadFailure* fetchFailure;
    ExtractResult::Stop extractStop;
    std::vector<std::string> steps;
  } cases[] = {
      {"download failure", "/faults/500.bin", EntryResult::kNotFetched, &kBadStatus, ExtractResult::Stop::kNone,
       {"counter 1/2", "status downloading", "range 100", "range 100", "status failed"}},
      {"a 401 answer, no package", "/faults/401.bin", EntryResult::kNotExtracted, nullptr,
       ExtractResult::Stop::kNotAPackage,
       {"counter 1/2", "status downloading", "range 100", "status extracting", "range 100", "status failed"}},
      {"an entry that fails extraction", "/hostile.zip", EntryResult::kNotExtracted, nullptr,
       ExtractResult::Stop::kUnsafeEntry,
       {"counter 1/2", "status downloading", "range 100", "status extracting", "range 100", "status failed"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    m_sink.Clear();
    WriteFileBytes(Target("list.dat"), "old list");
    const size_t nRequestsBefore = nettest::AccessLog().size();
    const RunOutcome outcome = Run({ServerList(c.path), Filter()});
    EXPECT_TRUE(outcome.bStopped);
    EXPECT_EQ(outcome.nFailedEntry, 0u);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.fetch.pFailure, c.fetchFailure);
    EXPECT_EQ(outcome.extract.stop, c.extractStop);
    if (c.extractStop == ExtractResult::Stop::kUnsafeEntry) {
      EXPECT_EQ(outcome.extract.zip, ZipFailure::kUnsafeName);
      EXPECT_EQ(outcome.extract.strEntry, "../escape.dat");
    } else if (c.extractStop == ExtractResult::Stop::kNotAPackage) {
      EXPECT_NE(outcome.extract.zip, ZipFailure::kNone);
    }
    EXPECT_THAT(m_sink.Steps(), ElementsAreArray(c.steps));
    EXPECT_EQ(ReadFileBytes(Target("list.dat")), "old list");
    EXPECT_FALSE(Exists(Target("filter.dat")));
    EXPECT_FALSE(ListVersionRecorded());
    EXPECT_FALSE(Exists(m_staging.substr(0, m_staging.size() - 1))) << "the staging folder stays";
    const std::vector<std::string> log = nettest::AccessLog();
    for (size_t i = nRequestsBefore; i < log.size(); ++i) EXPECT_THAT(log[i], ::testing::Not(HasSubstr("filter.zip")));
  }
}

// Each install step takes files only from what its own package brought in this run: files an
// earlier run left staged (cut off after unpacking, a package's subfolder) are gone when the run
// begins, and one package's files are not another's.
TEST_F(UpdateRunTest, AnEntryInstallsOnlyWhatItsOwnPackageBrought) {
  ::CreateDirectoryA(m_staging.c_str(), nullptr);
  ::CreateDirectoryA((m_staging + "1").c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(m_staging + "filter.dat", "stale filter"));
  ASSERT_TRUE(WriteFileBytes(m_staging + "1\\filter.dat", "stale filter"));
  const RunOutcome outcome = Run({ServerList()});
  EXPECT_FALSE(outcome.bStopped);
  EXPECT_EQ(ReadFileBytes(Target("list.dat")), "new list");
  EXPECT_FALSE(Exists(Target("filter.dat"))) << "a file the run did not fetch was installed";
  EXPECT_FALSE(Exists(m_staging.substr(0, m_staging.size() - 1)));
}

// A file the install step cannot replace fails the entry as not installed, naming the file.
TEST_F(UpdateRunTest, AnInstallStepThatFailsIsTheEntrysResult) {
  WriteFileBytes(Target("list.dat"), "old list");
  framework::UniqueHandle held(::CreateFileA(Target("list.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held);
  const RunOutcome outcome = Run({ServerList(), Filter()});
  held.Reset();
  EXPECT_TRUE(outcome.bStopped);
  EXPECT_EQ(outcome.result, EntryResult::kNotInstalled);
  EXPECT_TRUE(outcome.install.bFailed);
  EXPECT_THAT(outcome.install.strBlockedFile, HasSubstr("list.dat"));
  EXPECT_THAT(m_sink.Steps(), ElementsAreArray(std::vector<std::string>{
                                  "counter 1/2", "status downloading", "range 100", "status extracting",
                                  "status installing", "range 100", "status failed"}));
  EXPECT_EQ(ReadFileBytes(Target("list.dat")), "old list");
  EXPECT_FALSE(ListVersionRecorded());
}

}  // namespace
