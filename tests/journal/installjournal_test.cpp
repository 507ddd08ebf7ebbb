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
      {"a change recorded after the repair's progress",
       begin + EncodeRecord(Repaired{1}) + newFile},
      {"the repair's progress going back", begin + newFile + EncodeRecord(Repaired{2}) + EncodeRecord(Repaired{1})},
      {"a deleted key under an unknown root", begin + EncodeRecord(RemovedRegistryKey{"HKXX", "Software"})},
      {"a registration without parameters", begin + EncodeRecord(RegisterAfterCommit{""})},
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

TEST(InstallJournal, NewRecordsReadBackAndOldJournalsStillRepair) {
  std::vector<Record> records = FullStep();
  records.push_back(RemovedRegistryKey{"HKCU", "Software\\Talvo\\Skin\\Empty"});
  records.push_back(Unregistered{"/s C:\\Talvo\\a.ocx"});
  records.push_back(RegisterAfterCommit{" /s C:\\windows\\system32\\TalvoLogin.ocx"});
  records.push_back(Commit{});
  records.push_back(Repaired{1});
  records.push_back(Repaired{3});
  const std::string text = Encode(records);
  const JournalReading reading = ReadJournal(text);
  ASSERT_EQ(reading.state, JournalState::kCommitted) << reading.strProblem;
  EXPECT_EQ(Encode(reading.records), text);
  EXPECT_NE(text.find("REPAIRED\t3\t"), std::string::npos);
  // A journal written before these records existed plans as it did.
  EXPECT_EQ(PlanRepair(ReadJournal(Encode(FullStep()))).size(), 12u);
}

// The undo of a step that renamed a file and then put a new file under the old name: the
// repair's progress records make a second run (a cut before the journal was deleted, a kept
// repair) go on where the first stopped, so the original given back to A is never taken for the
// new file.
TEST(InstallJournal, RepairRunAgainSkipsWhatItHasDone) {
  const std::vector<Record> step = {Begin{1, "3.41", kBackup}, MovedPath{"C:\\Talvo\\A", "C:\\Talvo\\B"},
                                    NewFile{"C:\\Talvo\\A", "C:\\Talvo\\A.talvo-new"}};
  const std::vector<RepairStep> whole = PlanRepair(ReadJournal(Encode(step)));
  ASSERT_EQ(whole.size(), 4u);
  EXPECT_EQ(whole[1].op, RepairOp::kRemoveNewFile);
  EXPECT_EQ(whole[2].op, RepairOp::kMoveBack);
  for (uint32_t done = 0; done <= whole.size(); ++done) {
    std::vector<Record> progress = step;
    if (done > 0) progress.push_back(Repaired{done});
    const JournalReading reading = ReadJournal(Encode(progress));
    ASSERT_EQ(reading.state, JournalState::kOpen) << reading.strProblem;
    const std::vector<RepairStep> rest = PlanRepair(reading);
    ASSERT_EQ(rest.size(), whole.size() - done);
    for (size_t i = 0; i < rest.size(); ++i) EXPECT_EQ(rest[i].op, whole[done + i].op);
  }
}

TEST(InstallJournal, DeletedKeysComeBackAndRegistrationsFollowTheCommit) {
  const std::vector<Record> step = {
      Begin{4, "1.0.0.8", kBackup},
      Unregistered{"/s C:\\old.ocx"},
      RemovedRegistryKey{"HKCU", "Software\\Tree"},
      RegistryValue{"HKCU", "Software\\Tree", "v", true, 1, std::string("x\0", 2)},
      RemovedRegistryKey{"HKCU", "Software\\Tree\\Empty"},
      RegisterAfterCommit{" /s C:\\windows\\system32\\TalvoLogin.ocx"},
  };
  const std::vector<RepairStep> undo = PlanRepair(ReadJournal(Encode(step)));
  const RepairOp expectedUndo[] = {RepairOp::kCreateRegistryKey, RepairOp::kRestoreRegistryValue,
                                   RepairOp::kCreateRegistryKey, RepairOp::kStartRegsvr32,
                                   RepairOp::kRemoveEmptyFolder};
  ASSERT_EQ(undo.size(), sizeof expectedUndo / sizeof expectedUndo[0]);
  for (size_t i = 0; i < undo.size(); ++i) EXPECT_EQ(undo[i].op, expectedUndo[i]) << "step " << i;
  EXPECT_EQ(undo[0].key.strSubKey, "Software\\Tree\\Empty");
  // Undone: the control goes back to its registration, the new one is never registered.
  EXPECT_EQ(undo[3].strPath, "/s C:\\old.ocx");

  std::vector<Record> committed = step;
  committed.push_back(Commit{});
  const std::vector<RepairStep> finish = PlanRepair(ReadJournal(Encode(committed)));
  ASSERT_EQ(finish.size(), 2u);
  EXPECT_EQ(finish[0].op, RepairOp::kStartRegsvr32);
  EXPECT_EQ(finish[0].strPath, " /s C:\\windows\\system32\\TalvoLogin.ocx");
  EXPECT_EQ(finish[1].op, RepairOp::kRemoveEmptyFolder);
}

}  // namespace
