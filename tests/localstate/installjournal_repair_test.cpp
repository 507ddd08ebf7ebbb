// The repair at start-up carries out what an interrupted step's journal asks for, on real files
// and registry values: an unfinished step is undone, a finished one tidied, and a damaged journal
// or a step of the repair that fails leaves everything (journal and set-aside copies) for the next
// start.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>

#include "localstate/installjournalfile.h"
#include "testsupport.h"

using namespace testsupport;
using namespace journal;

namespace {

const char kKey[] = "Software\\TalvoJournalTest";

class InstallJournalRepair : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = FreshTestFolder();
    backup = folder + "\\Update.backup";
    journalPath = folder + "\\Update.journal";
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kKey);
  }
  void TearDown() override { ::SHDeleteKeyA(HKEY_CURRENT_USER, kKey); }

  void WriteJournal(const std::vector<Record>& records) {
    CInstallJournalFile file;
    ASSERT_TRUE(file.Create(journalPath));
    for (const Record& r : records) ASSERT_TRUE(file.Append(r));
  }

  std::string folder, backup, journalPath;
};

// An update of a.dat interrupted after every change was made but before the commit: all of it is
// undone, whatever kind of change.
TEST_F(InstallJournalRepair, UnfinishedStepIsUndone) {
  const std::string a = folder + "\\a.dat", b = folder + "\\b.dat", made = folder + "\\made";
  const std::string from = folder + "\\old", to = folder + "\\new", emptied = folder + "\\empty";
  WriteFileBytes(a, "old a");
  ::CreateDirectoryA(from.c_str(), nullptr);
  SetRawString(HKEY_CURRENT_USER, kKey, "Ver", "3.35");
  RegistryValue oldVersion{"HKCU", kKey, "Ver", true, REG_SZ, std::string("3.35\0", 5)};
  RegistryValue noValue{"HKCU", std::string(kKey) + "\\Fresh", "New", false, 0, ""};

  // As the installer does it: each record first, then its change.
  ::CreateDirectoryA(backup.c_str(), nullptr);
  WriteJournal({Begin{1, "3.41", backup}, SetAside{a, backup + "\\1"}, NewFile{a, a + ".new"}, NewFile{b, b + ".new"},
                NewFolder{made}, MovedPath{from, to}, RemovedFolder{emptied}, oldVersion, RegistryKey{"HKCU", std::string(kKey) + "\\Fresh"},
                noValue});
  ASSERT_TRUE(::MoveFileA(a.c_str(), (backup + "\\1").c_str()));
  WriteFileBytes(a, "new a");
  WriteFileBytes(b + ".new", "new b, not yet in place");
  ::CreateDirectoryA(made.c_str(), nullptr);
  ::MoveFileA(from.c_str(), to.c_str());
  SetRawString(HKEY_CURRENT_USER, kKey, "Ver", "3.41");
  SetRawString(HKEY_CURRENT_USER, std::string(kKey) + "\\Fresh", "New", "x");

  const JournalRepairResult result = RepairInstallation(journalPath);
  EXPECT_EQ(result.outcome, JournalRepairResult::kRolledBack) << result.strDetail;
  EXPECT_EQ(result.nKind, 1);
  EXPECT_EQ(result.strVersion, "3.41");
  EXPECT_EQ(ReadFileBytes(a), "old a");
  EXPECT_FALSE(Exists(b));
  EXPECT_FALSE(Exists(b + ".new"));
  EXPECT_FALSE(Exists(made));
  EXPECT_TRUE(IsFolder(from));
  EXPECT_FALSE(Exists(to));
  EXPECT_TRUE(IsFolder(emptied));
  EXPECT_EQ(QueryRaw(HKEY_CURRENT_USER, kKey, "Ver").bytes, std::string("3.35\0", 5));
  EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, std::string(kKey) + "\\Fresh"));
  EXPECT_FALSE(Exists(backup));
  EXPECT_FALSE(Exists(journalPath));
  EXPECT_NE(DescribeRepair(result).find("rolled back"), std::string::npos);
}

// Cut off between recording a set-aside and making it: the file at the path is still the
// original, and a new file recorded for the same path must not take it away.
TEST_F(InstallJournalRepair, OriginalNeverMovedAsideStays) {
  const std::string a = folder + "\\a.dat";
  WriteFileBytes(a, "original");
  WriteJournal({Begin{2, "1.05", backup}, SetAside{a, backup + "\\1"}, NewFile{a, a + ".new"}});
  const JournalRepairResult result = RepairInstallation(journalPath);
  EXPECT_EQ(result.outcome, JournalRepairResult::kRolledBack) << result.strDetail;
  EXPECT_EQ(ReadFileBytes(a), "original");
}

TEST_F(InstallJournalRepair, FinishedStepKeepsTheNewFilesAndDropsTheOldOnes) {
  const std::string a = folder + "\\a.dat";
  ::CreateDirectoryA(backup.c_str(), nullptr);
  WriteFileBytes(backup + "\\1", "old a");
  WriteFileBytes(a, "new a");
  WriteJournal({Begin{1, "3.41", backup}, SetAside{a, backup + "\\1"}, NewFile{a, a + ".new"}, Commit{}});
  const JournalRepairResult result = RepairInstallation(journalPath);
  EXPECT_EQ(result.outcome, JournalRepairResult::kFinished) << result.strDetail;
  EXPECT_EQ(ReadFileBytes(a), "new a");
  EXPECT_FALSE(Exists(backup));
  EXPECT_FALSE(Exists(journalPath));
}

TEST_F(InstallJournalRepair, DamagedJournalTouchesNothing) {
  const std::string a = folder + "\\a.dat";
  ::CreateDirectoryA(backup.c_str(), nullptr);
  WriteFileBytes(backup + "\\1", "old a");
  WriteFileBytes(a, "new a");
  std::string text = EncodeRecord(Begin{1, "3.41", backup}) + EncodeRecord(SetAside{a, backup + "\\1"}) +
                     EncodeRecord(NewFile{a, a + ".new"});
  text[text.size() - 20] ^= 0x04;
  WriteFileBytes(journalPath, text);
  const JournalRepairResult result = RepairInstallation(journalPath);
  EXPECT_EQ(result.outcome, JournalRepairResult::kKept);
  EXPECT_NE(result.strDetail.find("damaged"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(a), "new a");
  EXPECT_EQ(ReadFileBytes(backup + "\\1"), "old a");
  EXPECT_TRUE(Exists(journalPath));
}

// A file held open without sharing cannot be put back now: the journal and the set-aside copy
// wait for the next start, which completes the repair once the file is free.
TEST_F(InstallJournalRepair, RepairThatCannotFinishIsKeptForTheNextStart) {
  const std::string a = folder + "\\a.dat";
  ::CreateDirectoryA(backup.c_str(), nullptr);
  WriteFileBytes(backup + "\\1", "old a");
  WriteFileBytes(a, "new a");
  WriteJournal({Begin{1, "3.41", backup}, SetAside{a, backup + "\\1"}, NewFile{a, a + ".new"}});
  {
    framework::UniqueHandle held(::CreateFileA(a.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    const JournalRepairResult result = RepairInstallation(journalPath);
    EXPECT_EQ(result.outcome, JournalRepairResult::kKept);
    EXPECT_NE(result.strDetail.find("a.dat"), std::string::npos) << result.strDetail;
    EXPECT_EQ(ReadFileBytes(backup + "\\1"), "old a");
    EXPECT_TRUE(Exists(journalPath));
  }
  const JournalRepairResult again = RepairInstallation(journalPath);
  EXPECT_EQ(again.outcome, JournalRepairResult::kRolledBack) << again.strDetail;
  EXPECT_EQ(ReadFileBytes(a), "old a");
  EXPECT_FALSE(Exists(journalPath));
}

TEST_F(InstallJournalRepair, NoJournalNothingToDo) {
  EXPECT_EQ(RepairInstallation(journalPath).outcome, JournalRepairResult::kNoJournal);
}

}  // namespace
