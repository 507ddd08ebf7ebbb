// The install script against the real file system, registry and regsvr32 of the test's own Wine
// prefix. Registration is observed through regmark.dll (built beside this test), whose
// DllRegisterServer / DllUnregisterServer append a line to the file in TALVO_REGMARK_LOG.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "catalogue/projectdata.h"
#include "framework/scopedhandle.h"
#include "localstate/filehelpers.h"
#include "tests/localstate/testsupport.h"
#include "update/installscript.h"
#include "tests/update/recordingsink.h"
#include "update/updaterun.h"

namespace {

using testsupport::Exists;
using testsupport::IsFolder;
using testsupport::IsReadOnly;
using testsupport::ReadFileBytes;
using testsupport::RemoveTree;
using testsupport::WriteFileBytes;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const char kTestKey[] = "Software\\TalvoInstallTest";
const char kInstallKey[] = "Software\\Talvo\\Install";

std::string SystemFolder() {
  char szFolder[MAX_PATH] = {};
  ::GetSystemDirectoryA(szFolder, MAX_PATH);
  return szFolder;
}

std::string ShortPathOf(const std::string& path) {
  char szShort[MAX_PATH] = {};
  const DWORD n = ::GetShortPathNameA(path.c_str(), szShort, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(szShort, n) : std::string();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

class InstallScript : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strDir = testsupport::FreshTestFolder();
    m_strStaging = GetStagingFolder();
    ASSERT_EQ(m_strStaging.back(), '\\');
    RemoveTree(StagingFolderPath());
    ASSERT_TRUE(::CreateDirectoryA(StagingFolderPath().c_str(), nullptr));
    m_strMarks = m_strDir + "\\marks.log";
    ::SetEnvironmentVariableA("TALVO_REGMARK_LOG", m_strMarks.c_str());
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kInstallKey);
  }

  void TearDown() override {
    RemoveTree(m_strDir);
    RemoveTree(StagingFolderPath());
    for (const std::string& path : m_saCleanUp) RemoveTree(path);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kInstallKey);
  }

  std::string StagingFolderPath() const { return m_strStaging.substr(0, m_strStaging.size() - 1); }
  std::string Path(const std::string& rest) const { return m_strDir + "\\" + rest; }
  // "<TARGETDIR>": this executable's folder.
  std::string TargetDir() const { return testsupport::ModuleFolder(); }

  // The catalogue of a document holding the product section and `jobSections`.
  void Load(const std::string& jobSections) {
    m_data.Parse("[Talvo]\nXP_VERSION=3.41\n" + jobSections + "[END]\n");
  }
  void Stage(const std::string& name, const std::string& bytes) {
    WriteFileBytes(m_strStaging + name, bytes);
  }
  // What the dialog does after each component: the staging folder goes with all its files.
  void ClearStaging() {
    DeleteDirectoryTree(StagingFolderPath(), TRUE);
    ::CreateDirectoryA(StagingFolderPath().c_str(), nullptr);
  }
  void RunPass(int nKind = KIND_FILTER_DATA, const std::string& version = "1") {
    OnUpgradeNow(m_data, nKind, version);
  }

  // The lines regmark.dll has written, once there are `count` of them or after 30 seconds
  // (regsvr32 runs on its own).
  std::vector<std::string> WaitForMarks(size_t count) {
    std::vector<std::string> marks;
    for (int i = 0; i < 300; ++i) {
      marks = SplitLines(ReadFileBytes(m_strMarks));
      if (marks.size() >= count) break;
      ::Sleep(100);
    }
    return marks;
  }
  // Copies regmark.dll to `path`.
  void InstallMarkDll(const std::string& path) {
    const std::string dll = testsupport::ModuleFolder() + "\\regmark.dll";
    ASSERT_TRUE(::CopyFileA(dll.c_str(), path.c_str(), FALSE)) << dll << " -> " << path;
  }

  std::string m_strDir;
  std::string m_strStaging;
  std::string m_strMarks;
  std::vector<std::string> m_saCleanUp;
  CProjectData m_data;
};

// ---- FOLDER ----

TEST_F(InstallScript, FolderCreateMakesEveryMissingLevelAndAcceptsAnExistingFolder) {
  const std::string levels = TargetDir() + "\\InstallScriptCreate";
  m_saCleanUp.push_back(levels);
  RemoveTree(levels);
  Load("[FOLDER]\n"
       "CREATE=<TARGETDIR>\\InstallScriptCreate\\one\\two\n"
       "CREATE=" + m_strDir + "\n"
       "CREATE =" + Path("blank") + "\n"
       "create=" + Path("lower") + "\n");
  RunPass();
  EXPECT_TRUE(IsFolder(levels + "\\one\\two"));
  EXPECT_FALSE(Exists(Path("blank")));
  EXPECT_FALSE(Exists(Path("lower")));
  EXPECT_EQ(m_data.m_saFolder,
            (std::vector<std::string>{"DONE=<TARGETDIR>\\InstallScriptCreate\\one\\two",
                                      "DONE=" + m_strDir, "CREATE =" + Path("blank"),
                                      "create=" + Path("lower")}));
}

TEST_F(InstallScript, FolderDeleteAndChangeFailWithoutHarmAndStayPending) {
  ASSERT_TRUE(::CreateDirectoryA(Path("full").c_str(), nullptr));
  WriteFileBytes(Path("full\\keep.txt"), "keep");
  ASSERT_TRUE(::SetFileAttributesA(Path("full\\keep.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(::CreateDirectoryA(Path("empty").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(Path("empty\\inner").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(Path("old").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(Path("taken").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(Path("old2").c_str(), nullptr));
  // An empty folder path must not reach the root of the current drive.
  const std::string canary = "C:\\talvo-install-canary";
  m_saCleanUp.push_back(canary);
  ::CreateDirectoryA(canary.c_str(), nullptr);
  ASSERT_TRUE(::SetCurrentDirectoryA("C:\\"));

  Load("[FOLDER]\n"
       "DELETE=" + Path("full") + "\n"
       "DELETE=" + Path("empty") + "\n"
       "CHANGE=" + Path("old") + "," + Path("taken") + "\n"
       "CHANGE=" + Path("old2") + "," + Path("renamed") + "\n"
       "DELETE=\n");
  RunPass();

  EXPECT_EQ(ReadFileBytes(Path("full\\keep.txt")), "keep");
  // The file that stops the deletion has lost its read-only mark all the same.
  EXPECT_FALSE(IsReadOnly(Path("full\\keep.txt")));
  EXPECT_FALSE(Exists(Path("empty")));
  EXPECT_TRUE(IsFolder(Path("old")));
  EXPECT_TRUE(IsFolder(Path("taken")));
  EXPECT_FALSE(Exists(Path("taken\\old")));
  EXPECT_TRUE(IsFolder(Path("renamed")));
  EXPECT_TRUE(IsFolder(canary));
  EXPECT_EQ(m_data.m_saFolder,
            (std::vector<std::string>{"DELETE=" + Path("full"), "DONE=" + Path("empty"),
                                      "CHANGE=" + Path("old") + "," + Path("taken"),
                                      "DONE=" + Path("old2") + "," + Path("renamed"),
                                      "DELETE="}));
}

// The document's quotes keep a ";" in the path; the catalogue drops the quotes and the comment
// cutting is done, so the whole path is acted on.
TEST_F(InstallScript, QuotedPathsKeepTheirSemicolon) {
  ASSERT_TRUE(::CreateDirectoryA(Path("skin").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(Path("skin;old").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(Path("a;1").c_str(), nullptr));
  WriteFileBytes(Path("gone.txt"), "stays");
  WriteFileBytes(Path("gone.txt;.bak"), "goes");
  Load("[FOLDER]\n"
       "CREATE=\"" + Path("semi;colon\\inner") + "\"\n"
       "DELETE=\"" + Path("skin;old") + "\"; the old skins\n"
       "CHANGE=\"" + Path("a;1") + "\",\"" + Path("b;2") + "\"\n"
       "[FILES]\n"
       "DELETE=\"" + m_strDir + "\",\"gone.txt;.bak\"\n");
  ASSERT_EQ(m_data.m_saFolder[1], "DELETE=" + Path("skin;old"));
  RunPass();
  EXPECT_TRUE(IsFolder(Path("semi;colon\\inner")));
  EXPECT_FALSE(Exists(Path("semi")));
  EXPECT_TRUE(IsFolder(Path("skin")));
  EXPECT_FALSE(Exists(Path("skin;old")));
  EXPECT_FALSE(Exists(Path("a;1")));
  EXPECT_TRUE(IsFolder(Path("b;2")));
  EXPECT_EQ(ReadFileBytes(Path("gone.txt")), "stays");
  EXPECT_FALSE(Exists(Path("gone.txt;.bak")));
  EXPECT_EQ(m_data.m_saFolder,
            (std::vector<std::string>{"DONE=" + Path("semi;colon\\inner"), "DONE=" + Path("skin;old"),
                                      "DONE=" + Path("a;1") + "," + Path("b;2")}));
  EXPECT_EQ(m_data.m_saFiles, std::vector<std::string>{"DONE=" + m_strDir + ",gone.txt;.bak"});
}

// A document comes over plain HTTP: a path of any length must neither crash the installer nor
// leave a trail of folders behind.
TEST_F(InstallScript, PathsTooLongForTheSystemAreRefusedWithoutCreatingAnything) {
  const std::string base = Path("long");
  std::string deep = base;
  for (int i = 0; i < 20000; ++i) deep += "\\a";
  std::string justTooLong = base;
  while (justTooLong.size() < MAX_PATH - 1) justTooLong += "\\b";
  if (justTooLong.size() < MAX_PATH) justTooLong += "b";
  Stage("staged.txt", "staged");
  Load("[FOLDER]\n"
       "CREATE=" + deep + "\n"
       "CREATE=" + justTooLong + "\n"
       "[FILES]\n"
       "COPY=" + deep + ",staged.txt\n");
  RunPass();
  EXPECT_FALSE(Exists(base));
  EXPECT_EQ(ReadFileBytes(m_strStaging + "staged.txt"), "staged");
  EXPECT_THAT(m_data.m_saFolder[0], StartsWith("CREATE="));
  EXPECT_THAT(m_data.m_saFolder[1], StartsWith("CREATE="));
  EXPECT_THAT(m_data.m_saFiles[0], StartsWith("COPY="));
}

// ---- FILES ----

TEST_F(InstallScript, CopyReplacesAReadOnlySystemFileAndDeletesTheStagedFile) {
  const std::string target = SystemFolder() + "\\TalvoLogin.ocx";
  m_saCleanUp.push_back(target);
  WriteFileBytes(target, "old control");
  ASSERT_TRUE(::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
  Stage("TalvoLogin.ocx", "new control");
  Load("[FILES]\nCOPY=\"<WINSYSDIR>\",\"TalvoLogin.ocx\"\n");
  ASSERT_EQ(m_data.m_saFiles, std::vector<std::string>{"COPY=<WINSYSDIR>,TalvoLogin.ocx"});

  RunPass();
  EXPECT_EQ(ReadFileBytes(target), "new control");
  EXPECT_FALSE(IsReadOnly(target));
  EXPECT_FALSE(Exists(m_strStaging + "TalvoLogin.ocx"));
  EXPECT_EQ(m_data.m_saFiles, std::vector<std::string>{"DONE=<WINSYSDIR>,TalvoLogin.ocx"});
}

TEST_F(InstallScript, CopyOfALaterPackagesFileWaitsForItAndRunsExactlyOnce) {
  Load("[FILES]\n"
       "COPY=" + m_strDir + ",first.txt\n"
       "COPY=" + Path("deeper\\level") + ",second.txt\n");

  Stage("first.txt", "first");  // the first package
  RunPass();
  EXPECT_EQ(ReadFileBytes(Path("first.txt")), "first");
  EXPECT_FALSE(Exists(Path("deeper\\level\\second.txt")));
  EXPECT_THAT(m_data.m_saFiles[0], StartsWith("DONE="));
  EXPECT_THAT(m_data.m_saFiles[1], StartsWith("COPY="));

  ClearStaging();
  Stage("second.txt", "second");  // the second package
  RunPass();
  EXPECT_EQ(ReadFileBytes(Path("deeper\\level\\second.txt")), "second");
  EXPECT_FALSE(Exists(m_strStaging + "second.txt"));
  EXPECT_THAT(m_data.m_saFiles[1], StartsWith("DONE="));

  // A third package bringing the same files again changes nothing.
  ClearStaging();
  WriteFileBytes(Path("deeper\\level\\second.txt"), "edited");
  Stage("first.txt", "again");
  Stage("second.txt", "again");
  RunPass();
  EXPECT_EQ(ReadFileBytes(Path("first.txt")), "first");
  EXPECT_EQ(ReadFileBytes(Path("deeper\\level\\second.txt")), "edited");
  EXPECT_TRUE(Exists(m_strStaging + "second.txt"));
}

// The copy deletes its source, so a source outside the staging folder is never touched.
TEST_F(InstallScript, CopyRefusesAStagedNameThatLeavesTheStagingFolder) {
  const std::string outside = TargetDir() + "\\InstallScriptOutside.txt";
  m_saCleanUp.push_back(outside);
  WriteFileBytes(outside, "not staged");
  Load("[FILES]\nCOPY=" + m_strDir + ",..\\InstallScriptOutside.txt\n");
  RunPass();
  EXPECT_EQ(ReadFileBytes(outside), "not staged");
  EXPECT_FALSE(Exists(m_strDir + "\\..\\InstallScriptOutside.txt"));
  EXPECT_THAT(m_data.m_saFiles[0], StartsWith("COPY="));
}

TEST_F(InstallScript, FilesDeleteCountsAMissingFileAsDeleted) {
  WriteFileBytes(Path("readonly.txt"), "x");
  ASSERT_TRUE(::SetFileAttributesA(Path("readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  Load("[FILES]\n"
       "DELETE=" + m_strDir + ",readonly.txt\n"
       "DELETE=" + m_strDir + ",missing.txt\n"
       "DELETE=" + Path("no folder") + ",missing.txt\n");
  RunPass();
  EXPECT_FALSE(Exists(Path("readonly.txt")));
  // Only a missing file counts as deleted; a missing folder is a failure.
  EXPECT_EQ(m_data.m_saFiles,
            (std::vector<std::string>{"DONE=" + m_strDir + ",readonly.txt",
                                      "DONE=" + m_strDir + ",missing.txt",
                                      "DELETE=" + Path("no folder") + ",missing.txt"}));
}

TEST_F(InstallScript, RegistAndUnregistStartRegsvr32WithTheShortPathUnquoted) {
  const std::string folder = Path("My Controls");
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  InstallMarkDll(folder + "\\mark.ocx");
  const std::string shortPath = ShortPathOf(folder + "\\mark.ocx");
  ASSERT_THAT(shortPath, Not(HasSubstr(" ")));
  Load("[FILES]\n"
       "REGIST=" + folder + ",mark.ocx\n"
       "UNREGIST=" + folder + ",mark.ocx\n"
       "REGIST=" + Path("nowhere") + ",absent.ocx\n");
  RunPass();
  for (const std::string& line : m_data.m_saFiles) EXPECT_THAT(line, StartsWith("DONE="));

  const std::vector<std::string> marks = WaitForMarks(2);
  ASSERT_EQ(marks.size(), 2u) << ReadFileBytes(m_strMarks);
  int registered = 0, unregistered = 0;
  for (const std::string& mark : marks) {
    EXPECT_THAT(mark, Not(HasSubstr("\"" + shortPath)));
    if (mark.compare(0, 9, "register|") == 0) {
      ++registered;
      EXPECT_THAT(mark, EndsWith(" /s " + shortPath));
    } else {
      ++unregistered;
      EXPECT_THAT(mark, EndsWith(" /u /s " + shortPath));
    }
  }
  EXPECT_EQ(registered, 1);
  EXPECT_EQ(unregistered, 1);
}

// UNREGIST runs at its own line, against the file as it is there: before a later line deletes the
// control or replaces it with a new file.
TEST_F(InstallScript, UnregistRunsAtItsLineBeforeTheFileIsDeletedOrReplaced) {
  InstallMarkDll(Path("gone.ocx"));
  InstallMarkDll(Path("swapped.ocx"));
  Stage("swapped.ocx", "the new control, not a library");
  Load("[FILES]\n"
       "UNREGIST=" + m_strDir + ",gone.ocx\n"
       "DELETE=" + m_strDir + ",gone.ocx\n"
       "UNREGIST=" + m_strDir + ",swapped.ocx\n"
       "COPY=" + m_strDir + ",swapped.ocx\n");
  RunPass();
  for (const std::string& line : m_data.m_saFiles) EXPECT_THAT(line, StartsWith("DONE="));
  EXPECT_FALSE(Exists(Path("gone.ocx")));
  EXPECT_EQ(ReadFileBytes(Path("swapped.ocx")), "the new control, not a library");

  const std::vector<std::string> marks = WaitForMarks(2);
  ASSERT_EQ(marks.size(), 2u) << ReadFileBytes(m_strMarks);
  EXPECT_THAT(marks[0], StartsWith("unregister|"));
  EXPECT_THAT(marks[0], EndsWith("gone.ocx"));
  EXPECT_THAT(marks[1], StartsWith("unregister|"));
  EXPECT_THAT(marks[1], EndsWith("swapped.ocx"));
}

// Two COPY lines of one staged file: two files, each with bytes of its own.
TEST_F(InstallScript, TwoCopiesOfOneStagedFileDoNotShareTheirBytes) {
  const std::string target = TargetDir() + "\\InstallScriptTwoCopies";
  m_saCleanUp.push_back(target);
  RemoveTree(target);
  Stage("shared.dat", "staged bytes");
  Load("[FILES]\n"
       "COPY=" + target + "\\a,shared.dat\n"
       "COPY=" + target + "\\b,shared.dat\n");
  RunPass();
  ASSERT_EQ(ReadFileBytes(target + "\\a\\shared.dat"), "staged bytes");
  ASSERT_EQ(ReadFileBytes(target + "\\b\\shared.dat"), "staged bytes");
  WriteFileBytes(target + "\\a\\shared.dat", "edited");
  EXPECT_EQ(ReadFileBytes(target + "\\b\\shared.dat"), "staged bytes");
}

// ---- REGISTRY ----

TEST_F(InstallScript, RegistryJobsEditKeysAndValues) {
  const std::string base = std::string("HKCU\\") + kTestKey;
  testsupport::SetRawString(HKEY_CURRENT_USER, std::string(kTestKey) + "\\Old\\Inner", "v", "x");
  testsupport::SetRawString(HKEY_CURRENT_USER, std::string(kTestKey) + "\\Values", "Stale", "x");
  Load("[REGISTRY]\n"
       "ADDKEY=" + base + "\\Added\n"
       "ADDVAL=" + base + "\\Values,Folder,<TARGETDIR>\n"
       "ADDVAL=" + base + "\\Values,Count,NUM:42\n"
       "ADDVAL=" + base + "\\Values,\"a;b\",\"c,d\"\n"
       "DELVAL=" + base + "\\Values,Stale\n"
       "DELVAL=" + base + "\\NoSuchKey,x\n"
       "DELKEY=" + base + "\\Old\n"
       "DELKEY=" + base + "\\NoSuchKey\n");
  RunPass();

  const std::string values = std::string(kTestKey) + "\\Values";
  EXPECT_TRUE(testsupport::KeyPresent(HKEY_CURRENT_USER, std::string(kTestKey) + "\\Added"));
  const testsupport::RawValue folder = testsupport::QueryRaw(HKEY_CURRENT_USER, values, "Folder");
  EXPECT_EQ(folder.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(folder.bytes, TargetDir() + std::string(1, '\0'));
  const testsupport::RawValue count = testsupport::QueryRaw(HKEY_CURRENT_USER, values, "Count");
  EXPECT_EQ(count.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(count.bytes, testsupport::DwordBytes(42));
  // The quotes stay, protect the ";" and not the ",".
  const testsupport::RawValue quoted = testsupport::QueryRaw(HKEY_CURRENT_USER, values, "\"a;b\"");
  EXPECT_EQ(quoted.bytes, std::string("\"c") + '\0');
  EXPECT_TRUE(testsupport::QueryRaw(HKEY_CURRENT_USER, values, "Stale").missing);
  EXPECT_FALSE(testsupport::KeyPresent(HKEY_CURRENT_USER, std::string(kTestKey) + "\\Old"));
  for (const std::string& line : m_data.m_saRegistry) EXPECT_THAT(line, StartsWith("DONE="));
}

// A value job that wrote or deleted nothing has not succeeded: it stays for the next pass.
TEST_F(InstallScript, RegistryValueJobsThatChangeNothingStayPending) {
  const std::string base = std::string("HKCU\\") + kTestKey;
  testsupport::SetRawString(HKEY_CURRENT_USER, kTestKey, "v", "x");
  Load("[REGISTRY]\n"
       // Quoted, the root field reads "HKL and the sub key begins with a backslash.
       "ADDVAL=\"HKLM\\Software\\TalvoInstallTest\",v,\"d\"\n"
       "DELVAL=\"" + base + "\",v\n"
       // A value name the registry refuses.
       "ADDVAL=" + base + "," + std::string(20000, 'n') + ",x\n"
       "ADDVAL=" + base + ",written,x\n"
       "DELVAL=" + base + ",absent\n");
  RunPass();
  EXPECT_FALSE(testsupport::KeyPresent(HKEY_LOCAL_MACHINE, kTestKey));
  EXPECT_FALSE(testsupport::QueryRaw(HKEY_CURRENT_USER, kTestKey, "v").missing);
  EXPECT_EQ(testsupport::QueryRaw(HKEY_CURRENT_USER, kTestKey, "written").bytes, std::string("x", 2));
  const std::vector<std::string>& lines = m_data.m_saRegistry;
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_THAT(lines[0], StartsWith("ADDVAL="));
  EXPECT_THAT(lines[1], StartsWith("DELVAL="));
  EXPECT_THAT(lines[2], StartsWith("ADDVAL="));
  EXPECT_THAT(lines[3], StartsWith("DONE="));
  EXPECT_THAT(lines[4], StartsWith("DONE="));
}

// ---- Completion step ----

TEST_F(InstallScript, ComponentVersionIsRecordedEvenWhenJobsFail) {
  struct Case { int kind; const char* value; } cases[] = {
      {KIND_CLIENT_PROGRAM, "VerTalvo"},   {KIND_FILTER_DATA, nullptr},
      {KIND_SERVER_LIST, "VerListTalvo"},  {KIND_OPTION_SETTINGS, nullptr},
      {KIND_EXTRA_PROJECT, nullptr},
  };
  Load("[FOLDER]\nDELETE=" + Path("missing") + "\n[FILES]\nCOPY=" + m_strDir + ",absent.txt\n");
  for (const Case& c : cases) {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kInstallKey);
    RunPass(c.kind, "9.9.9");
    HKEY key = nullptr;
    DWORD values = 0;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kInstallKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
      ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr);
      ::RegCloseKey(key);
    }
    if (c.value) {
      EXPECT_EQ(values, 1u) << c.kind;
      EXPECT_EQ(testsupport::QueryRaw(HKEY_CURRENT_USER, kInstallKey, c.value).bytes,
                std::string("9.9.9") + '\0')
          << c.kind;
    } else {
      EXPECT_EQ(values, 0u) << c.kind;
    }
  }
  EXPECT_THAT(m_data.m_saFolder[0], StartsWith("DELETE="));
  EXPECT_THAT(m_data.m_saFiles[0], StartsWith("COPY="));
}

TEST_F(InstallScript, LoginControlPackageRegistersTheSystemFoldersControlWithoutARegistLine) {
  const std::string control = SystemFolder() + "\\TalvoLogin.ocx";
  m_saCleanUp.push_back(control);
  InstallMarkDll(control);
  Load("[REGISTRY]\nADDKEY=HKCU\\" + std::string(kTestKey) + "\n");
  RunPass(KIND_LOGIN_CONTROL, "1.0.0.9");

  EXPECT_EQ(testsupport::QueryRaw(HKEY_CURRENT_USER, kInstallKey, "LogOcxTalvo").bytes,
            std::string("1.0.0.9") + '\0');
  const std::vector<std::string> marks = WaitForMarks(1);
  ASSERT_EQ(marks.size(), 1u) << ReadFileBytes(m_strMarks);
  EXPECT_THAT(marks[0], StartsWith("register|"));
  EXPECT_THAT(marks[0], EndsWith(" /s " + control));
}

// ---- One step, wholly done or wholly undone ----

// A file the step must replace is held open without sharing: the step fails there, names the file,
// and what it had already changed (a copy, a folder, a registry value) is undone; no line is
// marked done and no version recorded, so the whole component is offered again.
TEST_F(InstallScript, StepThatCannotReplaceAFileIsUndoneAsAWhole) {
  WriteFileBytes(Path("first.dat"), "old first");
  WriteFileBytes(Path("held.dat"), "old held");
  testsupport::SetRawString(HKEY_CURRENT_USER, kInstallKey, "VerTalvo", "3.35");
  Stage("first.dat", "new first");
  Stage("held.dat", "new held");
  Load("[FOLDER]\nCREATE=" + Path("made") + "\n"
       "[FILES]\nCOPY=" + m_strDir + ",first.dat\nCOPY=" + m_strDir + ",held.dat\n"
       "[REGISTRY]\nADDVAL=HKCU\\" + std::string(kTestKey) + ",v,x\n");
  const std::vector<std::string> folderLines = m_data.m_saFolder, fileLines = m_data.m_saFiles;
  InstallStepResult result;
  {
    framework::UniqueHandle held(::CreateFileA(Path("held.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                               nullptr));
    ASSERT_TRUE(held);
    result = OnUpgradeNow(m_data, KIND_CLIENT_PROGRAM, "3.41");
  }
  EXPECT_TRUE(result.bFailed);
  EXPECT_EQ(result.strBlockedFile, Path("held.dat"));
  EXPECT_THAT(result.strFailure, HasSubstr("held.dat"));
  EXPECT_EQ(ReadFileBytes(Path("first.dat")), "old first");
  EXPECT_EQ(ReadFileBytes(Path("held.dat")), "old held");
  EXPECT_FALSE(Exists(Path("made")));
  EXPECT_TRUE(testsupport::QueryRaw(HKEY_CURRENT_USER, kTestKey, "v").missing);
  EXPECT_EQ(testsupport::QueryRaw(HKEY_CURRENT_USER, kInstallKey, "VerTalvo").bytes, std::string("3.35") + '\0');
  EXPECT_EQ(m_data.m_saFolder, folderLines);
  EXPECT_EQ(m_data.m_saFiles, fileLines);
  EXPECT_FALSE(Exists(GetInstallJournalPath()));
  EXPECT_FALSE(Exists(GetSetAsideFolder()));

  // Once the file is free, the same pass goes through.
  EXPECT_FALSE(OnUpgradeNow(m_data, KIND_CLIENT_PROGRAM, "3.41").bFailed);
  EXPECT_EQ(ReadFileBytes(Path("held.dat")), "new held");
  EXPECT_EQ(testsupport::QueryRaw(HKEY_CURRENT_USER, kInstallKey, "VerTalvo").bytes, std::string("3.41") + '\0');
  for (const std::string& line : m_data.m_saFiles) EXPECT_THAT(line, StartsWith("DONE="));
}

// The new files need more room than the volume has: nothing is changed at all, and the message
// says how much is needed.
TEST_F(InstallScript, StepWithoutRoomForItsFilesChangesNothing) {
  WriteFileBytes(Path("big.dat"), "old");
  {
    // A sparse staged file far larger than any free space here.
    framework::UniqueHandle staged(::CreateFileA((m_strStaging + "big.dat").c_str(), GENERIC_WRITE, 0, nullptr,
                                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(staged);
    LARGE_INTEGER size;
    size.QuadPart = 8LL << 40;
    ASSERT_TRUE(::SetFilePointerEx(staged.Get(), size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(staged.Get()));
  }
  Load("[FOLDER]\nCREATE=" + Path("made") + "\n[FILES]\nCOPY=" + m_strDir + ",big.dat\n");
  const InstallStepResult result = OnUpgradeNow(m_data, KIND_CLIENT_PROGRAM, "3.41");
  EXPECT_TRUE(result.bFailed);
  EXPECT_THAT(result.strFailure, HasSubstr("not enough free space"));
  EXPECT_THAT(result.strFailure, HasSubstr("8589934592 KB needed"));
  EXPECT_EQ(ReadFileBytes(Path("big.dat")), "old");
  EXPECT_FALSE(Exists(Path("made")));
  EXPECT_TRUE(testsupport::QueryRaw(HKEY_CURRENT_USER, kInstallKey, "VerTalvo").missing);
  EXPECT_FALSE(Exists(GetInstallJournalPath()));
}

// The run's install step hands over its entry's kind and version.
TEST_F(InstallScript, TheRunRunsTheScriptForItsEntry) {
  RunEntry program;
  program.strVersion = "3.41";
  program.nKind = KIND_CLIENT_PROGRAM;
  RunEntry serverList;
  serverList.strVersion = "27";
  serverList.nKind = KIND_SERVER_LIST;
  Load("[FOLDER]\nCREATE=" + Path("made") + "\n");
  CRecordingSink sink;
  CUpdateRun run(m_data, {program, serverList}, RunSettings(), sink);
  run.OnUpgradeNow(1);
  EXPECT_TRUE(IsFolder(Path("made")));
  EXPECT_EQ(testsupport::QueryRaw(HKEY_CURRENT_USER, kInstallKey, "VerListTalvo").bytes,
            std::string("27") + '\0');
  EXPECT_TRUE(testsupport::QueryRaw(HKEY_CURRENT_USER, kInstallKey, "VerTalvo").missing);
}

}  // namespace
