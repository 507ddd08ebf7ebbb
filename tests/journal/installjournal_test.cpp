// The installation journal: its lines read back exactly as written, an interrupted last line is a
// change never made, any other damage leaves the repair nothing to do, and the repair plan undoes
// a step last change first without ever taking an original file for a new one.
#include "journal/installjournal.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace journal;

namespace {

const char kBackup[] = "C:\\Talvo\\Update.backup";

std::string Encode(const std::vector<Record>& records) {
  std::string text;
  for (const Record& r : records) text += EncodeRecord(r);
  return text;
}

// A step of every kind of change, with the texts that need escaping.
std::vector<Record> FullStep() {
  RegistryValue value;
  value.strRoot = "HKCU";
  value.strSubKey = "Software\\Talvo\\Install";
  value.strName = "Ver\tTalvo%";
  value.bExisted = true;
  value.nType = 1;
  value.strData = std::string("3.35\0", 5);
  RegistryValue absent;
  absent.strRoot = "HKLM";
  absent.strSubKey = "SOFTWARE\\TalvoExtra";
  absent.strName = "";
  return {
      Begin{1, "3.41", kBackup},
      NewFolder{"C:\\Talvo\\\xC5\xBB\xBA\xB8"},  // code page 949 bytes
      SetAside{"C:\\Talvo\\Talvo.exe", std::string(kBackup) + "\\1"},
      NewFile{"C:\\Talvo\\Talvo.exe", "C:\\Talvo\\Talvo.exe.talvo-new"},
      NewFile{"C:\\Talvo\\config\\new.dat", "C:\\Talvo\\config\\new.dat.talvo-new"},
      MovedPath{"C:\\Talvo\\old", "C:\\Talvo\\new"},
      RemovedFolder{"C:\\Talvo\\empty"},
      value,
      absent,
      RegistryKey{"HKCU", "Software\\TalvoExtra"},
  };
}

TEST(InstallJournal, EveryRecordReadsBackAsWritten) {
  std::vector<Record> records = FullStep();
  records.push_back(Commit{});
  const std::string text = Encode(records);
  const JournalReading reading = ReadJournal(text);
  ASSERT_EQ(reading.state, JournalState::kCommitted) << reading.strProblem;
  EXPECT_EQ(Encode(reading.records), text);
  // One line per record, readable, with no raw control character inside a field.
  EXPECT_NE(text.find("SETASIDE\tC:\\Talvo\\Talvo.exe\t"), std::string::npos);
  EXPECT_NE(text.find("Ver%09Talvo%25"), std::string::npos);
}

TEST(InstallJournal, StatesFollowTheLastCompleteLine) {
  const std::string begin = EncodeRecord(Begin{2, "1.05", kBackup});
  const std::string setAside = EncodeRecord(SetAside{"C:\\Talvo\\a.dat", std::string(kBackup) + "\\1"});
  const std::string commit = EncodeRecord(Commit{});
  struct Case {
    const char* name;
    std::string text;
    JournalState state;
    size_t records;
  };
  const Case cases[] = {
      {"no file contents", "", JournalState::kEmpty, 0},
      {"BEGIN cut off while written", begin.substr(0, begin.size() - 2), JournalState::kEmpty, 0},
      {"begun", begin, JournalState::kOpen, 1},
      {"a change recorded", begin + setAside, JournalState::kOpen, 2},
      {"the next record cut off", begin + setAside.substr(0, 10), JournalState::kOpen, 1},
      {"COMMIT cut off before its line end", begin + setAside + commit.substr(0, commit.size() - 1),
       JournalState::kOpen, 2},
      {"committed", begin + setAside + commit, JournalState::kCommitted, 3},
  };
  for (const Case& c : cases) {
    const JournalReading reading = ReadJournal(c.text);
    EXPECT_EQ(reading.state, c.state) << c.name << ": " << reading.strProblem;
    EXPECT_EQ(reading.records.size(), c.records) << c.name;
  }
}

TEST(InstallJournal, DamageAnywhereLeavesNothingToDo) {
  const std::string begin = EncodeRecord(Begin{1, "3.41", kBackup});
  const std::string newFile = EncodeRecord(NewFile{"C:\\Talvo\\a.dat", "C:\\Talvo\\a.dat.talvo-new"});
  const std::string commit = EncodeRecord(Commit{});
  std::string flipped = begin + newFile;
  flipped[begin.size() + 12] ^= 0x01;
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"a byte changed in a middle line", flipped + commit},
      {"a line without its checksum", begin + "NEWFOLDER\tC:\\x\r\n"},
      {"a bare LF line end", begin.substr(0, begin.size() - 2) + "\n" + newFile},
      {"first record not BEGIN", newFile + begin},
      {"a second BEGIN", begin + begin},
      {"records after COMMIT", begin + commit + newFile},
      {"set-aside copy outside the backup folder",
       begin + EncodeRecord(SetAside{"C:\\Talvo\\a.dat", "C:\\Talvo\\a.dat.old"})},
      {"set-aside copy in a folder below the backup folder",
       begin + EncodeRecord(SetAside{"C:\\Talvo\\a.dat", std::string(kBackup) + "\\sub\\1"})},
      {"set-aside copy named ..", begin + EncodeRecord(SetAside{"C:\\Talvo\\a.dat", std::string(kBackup) + "\\.."})},
      {"set-aside copy beside a folder of a longer name",
       begin + EncodeRecord(SetAside{"C:\\Talvo\\a.dat", std::string(kBackup) + "2\\1"})},
      {"registry value under an unknown root",
       begin + EncodeRecord(RegistryValue{"HKEY_NOWHERE", "Software", "x", false, 0, ""})},
      {"new file without a temporary name", begin + EncodeRecord(NewFile{"C:\\Talvo\\a.dat", ""})},
  };
  for (const Case& c : cases) {
    const JournalReading reading = ReadJournal(c.text);
    EXPECT_EQ(reading.state, JournalState::kDamaged) << c.name;
    EXPECT_TRUE(reading.records.empty()) << c.name;
    EXPECT_FALSE(reading.strProblem.empty()) << c.name;
    EXPECT_TRUE(PlanRepair(reading).empty()) << c.name;
  }
}

TEST(InstallJournal, OpenStepIsUndoneLastChangeFirst) {
  const JournalReading reading = ReadJournal(Encode(FullStep()));
  ASSERT_EQ(reading.state, JournalState::kOpen) << reading.strProblem;
  const std::vector<RepairStep> plan = PlanRepair(reading);
  struct Expected {
    RepairOp op;
    std::string path;
    std::string guard;
  };
  const std::string backup1 = std::string(kBackup) + "\\1";
  const Expected expected[] = {
      {RepairOp::kRemoveRegistryKey, "", ""},
      {RepairOp::kRestoreRegistryValue, "", ""},
      {RepairOp::kRestoreRegistryValue, "", ""},
      {RepairOp::kCreateFolder, "C:\\Talvo\\empty", ""},
      {RepairOp::kMoveBack, "C:\\Talvo\\old", "C:\\Talvo\\new"},
      {RepairOp::kRemoveFile, "C:\\Talvo\\config\\new.dat.talvo-new", ""},
      {RepairOp::kRemoveNewFile, "C:\\Talvo\\config\\new.dat", ""},
      {RepairOp::kRemoveFile, "C:\\Talvo\\Talvo.exe.talvo-new", ""},
      // Removed only once the original is known to be set aside.
      {RepairOp::kRemoveNewFile, "C:\\Talvo\\Talvo.exe", backup1},
      {RepairOp::kRestoreFile, "C:\\Talvo\\Talvo.exe", backup1},
      {RepairOp::kRemoveEmptyFolder, "C:\\Talvo\\\xC5\xBB\xBA\xB8", ""},
      {RepairOp::kRemoveEmptyFolder, kBackup, ""},
  };
  ASSERT_EQ(plan.size(), sizeof expected / sizeof expected[0]);
  for (size_t i = 0; i < plan.size(); ++i) {
    EXPECT_EQ(plan[i].op, expected[i].op) << "step " << i;
    EXPECT_EQ(plan[i].strPath, expected[i].path) << "step " << i;
    EXPECT_EQ(plan[i].strGuard, expected[i].guard) << "step " << i;
  }
  EXPECT_EQ(plan[0].key.strSubKey, "Software\\TalvoExtra");
  EXPECT_EQ(plan[1].value.strSubKey, "SOFTWARE\\TalvoExtra");
  EXPECT_FALSE(plan[1].value.bExisted);
  EXPECT_EQ(plan[2].value.strData, std::string("3.35\0", 5));
}

TEST(InstallJournal, CommittedStepOnlyDropsWhatWasKeptAside) {
  std::vector<Record> records = FullStep();
  records.push_back(Commit{});
  const std::vector<RepairStep> plan = PlanRepair(ReadJournal(Encode(records)));
  std::vector<std::string> removed;
  for (const RepairStep& step : plan) {
    ASSERT_TRUE(step.op == RepairOp::kRemoveFile || step.op == RepairOp::kRemoveEmptyFolder);
    removed.push_back(step.strPath);
  }
  const std::vector<std::string> expected = {std::string(kBackup) + "\\1", "C:\\Talvo\\Talvo.exe.talvo-new",
                                             "C:\\Talvo\\config\\new.dat.talvo-new", kBackup};
  EXPECT_EQ(removed, expected);
}

// Whatever single byte of a journal is changed, the repair deletes or overwrites only files the
// intact journal would: a new file, a temporary, a set-aside copy.
TEST(InstallJournal, NoChangedByteMakesTheRepairTouchAnotherFile) {
  std::vector<Record> records = FullStep();
  const std::string text = Encode(records);
  std::set<std::string> mayGo;
  for (const RepairStep& step : PlanRepair(ReadJournal(text))) {
    if (step.op == RepairOp::kRemoveNewFile || step.op == RepairOp::kRemoveFile) mayGo.insert(step.strPath);
    if (step.op == RepairOp::kRestoreFile) mayGo.insert(step.strPath + " <- " + step.strGuard);
  }
  for (size_t i = 0; i < text.size(); ++i) {
    for (const unsigned char delta : {0x01, 0x20, 0x80}) {
      std::string changed = text;
      changed[i] = static_cast<char>(static_cast<unsigned char>(changed[i]) ^ delta);
      for (const RepairStep& step : PlanRepair(ReadJournal(changed))) {
        if (step.op == RepairOp::kRemoveNewFile || step.op == RepairOp::kRemoveFile) {
          EXPECT_TRUE(mayGo.count(step.strPath)) << "byte " << i << " removes " << step.strPath;
        }
        if (step.op == RepairOp::kRestoreFile) {
          EXPECT_TRUE(mayGo.count(step.strPath + " <- " + step.strGuard)) << "byte " << i << " restores " << step.strPath;
        }
      }
    }
  }
}

}  // namespace
