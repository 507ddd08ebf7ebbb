// An installation step made through the transaction, ended by the process dying at every one of
// its points in turn (each journal line, each change): the repair that follows always gives back
// the installation exactly as it was before the step, or, once the step was committed, exactly as
// the step left it. A step that fails is rolled back at once and names the file it could not
// replace.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <functional>
#include <map>
#include <string>

#include "localstate/installtransaction.h"
#include "localstate/upregistry.h"
#include "testsupport.h"

using namespace testsupport;

namespace {

const char kInterruptFlag[] = "--interrupt-at";
const char kHoldFlag[] = "--hold";
const char kKey[] = "Software\\TalvoTransactionTest";
const UINT kEndedCode = 77;

struct Layout {
  std::string folder;
  // The installed files; on another volume than the journal and the set-aside folder where given.
  std::string install;
  std::string Install() const { return install.empty() ? folder + "\\install" : install; }
  std::string Staging() const { return folder + "\\staging"; }
  std::string Journal() const { return folder + "\\Update.journal"; }
  std::string Backup() const { return folder + "\\Update.backup"; }
};

// The installation before the step: a program, a data file to delete, an old folder to rename,
// an empty folder to remove, two registry values (one to change, one to delete) and a key tree to
// delete.
void MakeOldInstallation(const Layout& l) {
  RemoveTree(l.folder);
  ::CreateDirectoryA(l.folder.c_str(), nullptr);
  RemoveTree(l.Install());
  ::CreateDirectoryA(l.Install().c_str(), nullptr);
  ::CreateDirectoryA(l.Staging().c_str(), nullptr);
  WriteFileBytes(l.Install() + "\\Talvo.exe", "old program");
  WriteFileBytes(l.Install() + "\\old.dat", "old data");
  ::CreateDirectoryA((l.Install() + "\\skin").c_str(), nullptr);
  ::CreateDirectoryA((l.Install() + "\\empty").c_str(), nullptr);
  ::CreateDirectoryA((l.Install() + "\\empty\\inner").c_str(), nullptr);
  WriteFileBytes(l.Staging() + "\\Talvo.exe", "new program");
  WriteFileBytes(l.Staging() + "\\filter.dat", "new filter");
  ::SHDeleteKeyA(HKEY_CURRENT_USER, kKey);
  SetRawString(HKEY_CURRENT_USER, kKey, "Ver", "3.35");
  SetRawString(HKEY_CURRENT_USER, kKey, "Gone", "delete me");
  SetRaw(HKEY_CURRENT_USER, std::string(kKey) + "\\Tree\\Leaf", "n", REG_DWORD, DwordBytes(7));
  HKEY hEmpty = nullptr;
  ::RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kKey) + "\\Tree\\Empty").c_str(), 0, nullptr, 0, KEY_READ,
                    nullptr, &hEmpty, nullptr);
  if (hEmpty) ::RegCloseKey(hEmpty);
}

// The step: every kind of change the install jobs make.
bool RunStep(const Layout& l, const CInstallTransaction::PointHook& hook) {
  CInstallTransaction step(l.Journal(), l.Backup());
  step.SetPointHook(hook);
  const std::string key = kKey;
  bool ok = step.Begin(1, "3.41") && step.InstallFileCopy(l.Staging() + "\\Talvo.exe", l.Install() + "\\Talvo.exe") &&
            step.InstallFileCopy(l.Staging() + "\\filter.dat", l.Install() + "\\config\\deep\\filter.dat") &&
            // The same staged file a second time: its own bytes, not a second link.
            step.InstallFileCopy(l.Staging() + "\\filter.dat", l.Install() + "\\filter copy.dat") &&
            step.RemoveFile(l.Install() + "\\old.dat") && step.MovePath(l.Install() + "\\skin", l.Install() + "\\skin2") &&
            step.RemoveEmptyFolderTree(l.Install() + "\\empty") && step.WillChangeRegistryValue("HKCU", key, "Ver");
  ok = ok && AddRegValue("HKCU\\" + key, "Ver", "3.41");
  ok = ok && step.WillChangeRegistryValue("HKCU", key, "Gone") && DelRegValue("HKCU\\" + key, "Gone");
  ok = ok && step.WillCreateRegistryKey("HKCU", key + "\\New\\Sub") && AddRegKey("HKCU\\" + key + "\\New\\Sub");
  ok = ok && step.WillDeleteRegistryKey("HKCU", key + "\\Tree") && DelRegKey("HKCU\\" + key + "\\Tree");
  // A value into a key that is not there yet: the value makes the key, as the install jobs do.
  ok = ok && step.WillCreateRegistryKey("HKCU", key + "\\Made\\Deep") &&
       step.WillChangeRegistryValue("HKCU", key + "\\Made\\Deep", "v") &&
       AddRegValue("HKCU\\" + key + "\\Made\\Deep", "v", "x");
  return ok && step.Commit();
}

// Files with their contents, folders, and the test key's values, as one comparable picture.
std::map<std::string, std::string> Snapshot(const Layout& l) {
  std::map<std::string, std::string> picture;
  std::function<void(const std::string&, const std::string&)> walk = [&](const std::string& path, const std::string& rel) {
    WIN32_FIND_DATAA fd;
    HANDLE find = ::FindFirstFileA((path + "\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
      const std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        picture["dir " + rel + name] = "";
        walk(path + "\\" + name, rel + name + "\\");
      } else {
        picture["file " + rel + name] = ReadFileBytes(path + "\\" + name);
      }
    } while (::FindNextFileA(find, &fd));
    ::FindClose(find);
  };
  walk(l.Install(), "");
  for (const char* sub : {"", "\\Tree", "\\Tree\\Leaf", "\\Tree\\Empty", "\\New", "\\New\\Sub", "\\Made",
                          "\\Made\\Deep"}) {
    const std::string key = std::string(kKey) + sub;
    if (KeyPresent(HKEY_CURRENT_USER, key)) picture["key " + key] = "";
    for (const char* name : {"Ver", "Gone", "n", "v"}) {
      const RawValue value = QueryRaw(HKEY_CURRENT_USER, key, name);
      if (!value.missing) picture["value " + key + " " + name] = std::to_string(value.type) + ":" + value.bytes;
    }
  }
  return picture;
}

std::string Describe(const std::map<std::string, std::string>& picture) {
  std::string text;
  for (const auto& [what, contents] : picture) text += what + (contents.empty() ? "" : " = " + contents) + "\n";
  return text;
}

Layout TestLayout() { return Layout{FreshTestFolder(), {}}; }

// The installed files on another file system than the journal's folder (Wine's Z: drive reaches
// the shared-memory file system, where a rename from the test folder fails as across volumes).
Layout SecondVolumeLayout() {
  const std::string root = "Z:\\dev\\shm\\talvo-tests-" + std::to_string(::GetCurrentProcessId());
  ::CreateDirectoryA(root.c_str(), nullptr);
  return Layout{FreshTestFolder(), root + "\\install"};
}

// Runs this program again to make the step and end the process at `point`; its exit code.
DWORD RunStepEndingAt(const Layout& l, int point) {
  char szSelf[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, szSelf, MAX_PATH);
  std::string commandLine = "\"" + std::string(szSelf) + "\" " + kInterruptFlag + " " + std::to_string(point) + " \"" +
                            l.folder + "\" \"" + l.Install() + "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return ~0u;
  framework::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  ::WaitForSingleObject(process.Get(), 60000);
  DWORD code = ~0u;
  ::GetExitCodeProcess(process.Get(), &code);
  return code;
}

class InstallTransactionVolumes : public ::testing::TestWithParam<bool> {};

TEST_P(InstallTransactionVolumes, EveryInterruptionIsRepairedToTheOldOrTheNewInstallation) {
  const Layout l = GetParam() ? SecondVolumeLayout() : TestLayout();
  MakeOldInstallation(l);
  const auto before = Snapshot(l);
  int points = 0;
  ASSERT_TRUE(RunStep(l, [&](int n) { points = n; }));
  const auto after = Snapshot(l);
  EXPECT_FALSE(Exists(l.Journal()));
  EXPECT_FALSE(Exists(l.Backup()));
  ASSERT_NE(before, after);
  ASSERT_GT(points, 20);
  // Two installed files never share their bytes.
  WriteFileBytes(l.Install() + "\\filter copy.dat", "edited");
  EXPECT_EQ(ReadFileBytes(l.Install() + "\\config\\deep\\filter.dat"), "new filter");
  MakeOldInstallation(l);
  ASSERT_TRUE(RunStep(l, nullptr));

  int rolledBack = 0, finished = 0;
  for (int point = 1; point <= points; ++point) {
    MakeOldInstallation(l);
    ASSERT_EQ(RunStepEndingAt(l, point), kEndedCode) << "point " << point;
    const JournalRepairResult repair = RepairInstallation(l.Journal());
    ASSERT_NE(repair.outcome, JournalRepairResult::kKept) << "point " << point << ": " << repair.strDetail;
    const auto repaired = Snapshot(l);
    if (repaired == before) {
      ++rolledBack;
    } else {
      EXPECT_EQ(Describe(repaired), Describe(after)) << "point " << point << " left neither installation";
      ++finished;
    }
    EXPECT_FALSE(Exists(l.Journal())) << "point " << point;
    EXPECT_FALSE(Exists(l.Backup())) << "point " << point;
    // The next update after the repair goes through.
    MakeOldInstallation(l);
    EXPECT_TRUE(RunStep(l, nullptr)) << "point " << point;
  }
  EXPECT_GT(rolledBack, 0);
  EXPECT_GT(finished, 0);
  if (GetParam()) RemoveTree(l.Install());
}

INSTANTIATE_TEST_SUITE_P(InstallTransaction, InstallTransactionVolumes, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "InstalledOnAnotherVolume" : "OneVolume";
                         });

// A set-aside folder that still holds files (left by a repair that could not finish and was then
// tidied by hand, say) keeps them: the step's set-aside copies take names of their own, and its
// undo puts back exactly the step's files. A journal that is there is never replaced.
TEST(InstallTransaction, SetAsideNamesAvoidWhatTheFolderHoldsAndAJournalIsNeverReplaced) {
  const Layout l = TestLayout();
  MakeOldInstallation(l);
  ::CreateDirectoryA(l.Backup().c_str(), nullptr);
  WriteFileBytes(l.Backup() + "\\1", "a stranger's file");
  WriteFileBytes(l.Backup() + "\\2", "another");
  {
    CInstallTransaction step(l.Journal(), l.Backup());
    ASSERT_TRUE(step.Begin(1, "3.41"));
    EXPECT_TRUE(step.InstallFileCopy(l.Staging() + "\\Talvo.exe", l.Install() + "\\Talvo.exe")) << step.GetFailure();
    EXPECT_TRUE(step.Rollback());
  }
  EXPECT_EQ(ReadFileBytes(l.Install() + "\\Talvo.exe"), "old program");
  EXPECT_EQ(ReadFileBytes(l.Backup() + "\\1"), "a stranger's file");
  EXPECT_EQ(ReadFileBytes(l.Backup() + "\\2"), "another");

  WriteFileBytes(l.Journal(), "kept journal");
  {
    CInstallTransaction step(l.Journal(), l.Backup());
    EXPECT_FALSE(step.Begin(1, "3.41"));
  }
  EXPECT_EQ(ReadFileBytes(l.Journal()), "kept journal");
}

// Another program holding `path` open without sharing, until the object goes.
class HoldingProgram {
 public:
  explicit HoldingProgram(const std::string& path) {
    char szSelf[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, szSelf, MAX_PATH);
    std::string commandLine = "\"" + std::string(szSelf) + "\" " + kHoldFlag + " \"" + path + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
    m_process.Reset(pi.hProcess);
    framework::UniqueHandle thread(pi.hThread);
    for (int i = 0; i < 500 && !Exists(path + ".held"); ++i) ::Sleep(20);
  }
  ~HoldingProgram() {
    if (m_process) {
      ::TerminateProcess(m_process.Get(), 0);
      ::WaitForSingleObject(m_process.Get(), 10000);
    }
  }

 private:
  framework::UniqueHandle m_process;
};

// A file held open without sharing by another program cannot be replaced: the step fails there,
// names the file and, as far as the system can tell, the program holding it, and everything it
// had changed is undone at once.
TEST(InstallTransaction, FileThatCannotBeReplacedRollsTheStepBack) {
  const Layout l = TestLayout();
  MakeOldInstallation(l);
  const auto before = Snapshot(l);
  auto held = std::make_unique<HoldingProgram>(l.Install() + "\\old.dat");
  ASSERT_TRUE(Exists(l.Install() + "\\old.dat.held"));
  ::DeleteFileA((l.Install() + "\\old.dat.held").c_str());
  {
    CInstallTransaction step(l.Journal(), l.Backup());
    ASSERT_TRUE(step.Begin(1, "3.41"));
    ASSERT_TRUE(step.InstallFileCopy(l.Staging() + "\\Talvo.exe", l.Install() + "\\Talvo.exe"));
    EXPECT_FALSE(step.RemoveFile(l.Install() + "\\old.dat"));
    EXPECT_EQ(step.GetBlockedFile(), l.Install() + "\\old.dat");
    EXPECT_NE(step.GetFailure().find("old.dat"), std::string::npos);
    // Wine's Restart Manager names no program; Windows names this test program, the holder.
    const std::string holders = DescribeFileHolders(step.GetBlockedFile());
    if (!holders.empty()) {
      EXPECT_NE(holders.find("installtransaction_test"), std::string::npos) << holders;
    }
    EXPECT_TRUE(step.Rollback());
  }
  held.reset();
  EXPECT_EQ(Describe(Snapshot(l)), Describe(before));
  EXPECT_FALSE(Exists(l.Journal()));
}

TEST(InstallTransaction, StepLeftUncommittedIsUndoneWhenItEnds) {
  const Layout l = TestLayout();
  MakeOldInstallation(l);
  const auto before = Snapshot(l);
  {
    CInstallTransaction step(l.Journal(), l.Backup());
    ASSERT_TRUE(step.Begin(4, "1.0.0.8"));
    ASSERT_TRUE(step.InstallFileCopy(l.Staging() + "\\Talvo.exe", l.Install() + "\\Talvo.exe"));
    ASSERT_TRUE(step.CreateFolderTree(l.Install() + "\\a\\b"));
  }
  EXPECT_EQ(Describe(Snapshot(l)), Describe(before));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == kHoldFlag) {
    framework::UniqueHandle held(::CreateFileA(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    WriteFileBytes(std::string(argv[2]) + ".held", held ? "yes" : "no");
    ::Sleep(INFINITE);
  }
  // The child of the interruption test: the step, ended at the given point as by a power cut.
  if (argc == 5 && std::string(argv[1]) == kInterruptFlag) {
    const int endAt = std::atoi(argv[2]);
    RunStep(Layout{argv[3], argv[4]}, [endAt](int n) {
      if (n == endAt) ::TerminateProcess(::GetCurrentProcess(), kEndedCode);
    });
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
