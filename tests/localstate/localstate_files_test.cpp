// The file side of the local state, against the real file system of the test's own prefix: path
// macros, folder and rename helpers, the filter data version and the option file.
//
// The data file and the option file live beside the executable, and the build tree is shared
// with other tests running at the same time. So the tests of suite BesideExe run only in a
// private copy of this executable on the prefix's own C: drive, which PrivateCopy starts.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "localstate/filehelpers.h"
#include "localstate/optionsetting.h"
#include "localstate/pathmacros.h"
#include "localstate/upregistry.h"
#include "resources/resource.h"
#include "tests/support/files.h"
#include "tests/support/freshfolder.h"

namespace {

using testsupport::Exists;
using testsupport::IsFolder;
using testsupport::IsReadOnly;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

const char kPrivateCopyFlag[] = "--in-private-copy";
bool g_bInPrivateCopy = false;

std::string SystemFolder(UINT (WINAPI* getFolder)(LPSTR, UINT)) {
  char szFolder[MAX_PATH] = {};
  getFolder(szFolder, MAX_PATH);
  return szFolder;
}

// ---- Path macros ----

TEST(ExpandPathMacros, ReplacesTheMacrosByTheMachinesFolders) {
  const std::string target = testsupport::ModuleFolder();
  ASSERT_NE(target.back(), '\\');
  const std::string windows = SystemFolder(::GetWindowsDirectoryA);
  const std::string system = SystemFolder(::GetSystemDirectoryA);
  struct Case { std::string path; std::string name; std::string expanded; } cases[] = {
      {"<TARGETDIR>", "", target},
      {"<TARGETDIR>\\Talvo.exe", "", target + "\\Talvo.exe"},
      {"<WINDIR>\\a|<WINSYSDIR>\\b", "", windows + "\\a|" + system + "\\b"},
      {"<PROGRAMFILES>", "", GetProgramFilesDir()},
      {"<windir>\\<Targetdir>", "", "<windir>\\<Targetdir>"},  // case matters
      {"<TARGETDIR>\\Update\\", "pkg.zip", target + "\\Update\\\\pkg.zip"},
      {"C:\\\\a\\\\b", "", "C:\\\\a\\\\b"},
  };
  for (const Case& c : cases) EXPECT_EQ(ExpandPathMacros(c.path, c.name), c.expanded) << c.path;
}

TEST(LoadMacroPath, ExpandsTheClientPathOfTheStringTable) {
  const std::string target = testsupport::ModuleFolder();
  EXPECT_EQ(LoadMacroPath(IDS_CLIENT_PATH, ""), target + "\\Talvo.exe");
  EXPECT_EQ(LoadMacroPath(IDS_CLIENT_PATH, "x"), target + "\\Talvo.exe\\x");
  EXPECT_EQ(LoadMacroPath(9999, ""), "");
}

// ---- Folder and rename helpers ----

class FileHelpers : public ::testing::Test {
 protected:
  void SetUp() override { m_strDir = testsupport::FreshTestFolder(); }
  void TearDown() override { testsupport::RemoveTree(m_strDir); }
  std::string Path(const std::string& rest) const { return m_strDir + "\\" + rest; }
  void MakeFile(const std::string& rest, const std::string& bytes = "data", bool readOnly = false) {
    WriteFileBytes(Path(rest), bytes);
    if (readOnly) ::SetFileAttributesA(Path(rest).c_str(), FILE_ATTRIBUTE_READONLY);
  }
  void MakeFolder(const std::string& rest) { ASSERT_TRUE(::CreateDirectoryA(Path(rest).c_str(), nullptr)); }

  std::string m_strDir;
};

TEST_F(FileHelpers, CreateDirectoryTreeCreatesEveryMissingParent) {
  EXPECT_EQ(CreateDirectoryTree(Path("a\\b\\c")), 1);
  EXPECT_TRUE(IsFolder(Path("a\\b\\c")));
  EXPECT_EQ(CreateDirectoryTree(Path("a\\b\\c")), 1);   // exists already
  EXPECT_EQ(CreateDirectoryTree(Path("d\\")), 1);       // one trailing backslash
  EXPECT_TRUE(IsFolder(Path("d")));
  EXPECT_EQ(CreateDirectoryTree(Path("e\\\\f")), 1);    // a doubled backslash goes to the system
  EXPECT_TRUE(IsFolder(Path("e\\f")));
  EXPECT_EQ(CreateDirectoryTree(""), 0);
}

TEST_F(FileHelpers, CreateDirectoryTreeOnAFileOrBelowOneCreatesNothing) {
  MakeFile("file");
  EXPECT_EQ(CreateDirectoryTree(Path("file")), 1);
  EXPECT_FALSE(IsFolder(Path("file")));
  EXPECT_EQ(ReadFileBytes(Path("file")), "data");
  EXPECT_EQ(CreateDirectoryTree(Path("file\\sub\\deeper")), 0);
  EXPECT_FALSE(Exists(Path("file\\sub")));
}

// The ANSI file functions end at MAX_PATH; a longer path is refused before any level exists.
TEST_F(FileHelpers, CreateDirectoryTreeRefusesAPathOfMaxPathCharactersOrMore) {
  std::string tooLong = Path("long");
  while (tooLong.size() < MAX_PATH - 1) tooLong += "\\l";
  if (tooLong.size() < MAX_PATH) tooLong += "l";
  for (const std::string& path : {tooLong, tooLong + "\\", tooLong + "\\more"}) {
    EXPECT_EQ(CreateDirectoryTree(path), 0) << path.size();
    EXPECT_FALSE(Exists(Path("long"))) << path.size();
  }
}

TEST_F(FileHelpers, DeleteDirectoryTreeOnAMissingFolderFails) {
  EXPECT_EQ(DeleteDirectoryTree(Path("missing"), TRUE), 0);
  EXPECT_EQ(DeleteDirectoryTree(Path("missing"), FALSE), 0);
}

TEST_F(FileHelpers, WithoutDeletingFilesATreeOfEmptyFoldersIsRemoved) {
  ASSERT_EQ(CreateDirectoryTree(Path("top\\a\\b\\c")), 1);
  ASSERT_EQ(CreateDirectoryTree(Path("top\\d")), 1);
  ::SetFileAttributesA(Path("top\\a\\b").c_str(), FILE_ATTRIBUTE_READONLY);
  ::SetFileAttributesA(Path("top").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(DeleteDirectoryTree(Path("top"), FALSE), 1);
  EXPECT_FALSE(Exists(Path("top")));
}

TEST_F(FileHelpers, WithoutDeletingFilesTheFirstFileStopsEverythingButLosesItsReadOnlyMark) {
  MakeFolder("top");
  MakeFile("top\\kept.txt", "kept", /*readOnly=*/true);
  EXPECT_EQ(DeleteDirectoryTree(Path("top"), FALSE), 0);
  EXPECT_EQ(ReadFileBytes(Path("top\\kept.txt")), "kept");
  EXPECT_FALSE(IsReadOnly(Path("top\\kept.txt")));

  // A file deeper down: the subfolder stays with it, and so does the folder above.
  MakeFolder("nested");
  MakeFolder("nested\\sub");
  MakeFile("nested\\sub\\kept.txt");
  EXPECT_EQ(DeleteDirectoryTree(Path("nested"), FALSE), 0);
  EXPECT_EQ(ReadFileBytes(Path("nested\\sub\\kept.txt")), "data");
}

TEST_F(FileHelpers, DeletingFilesRemovesReadOnlyFilesAndTheFolder) {
  MakeFolder("top");
  MakeFile("top\\a.txt");
  MakeFile("top\\locked.txt", "x", /*readOnly=*/true);
  MakeFolder("top\\empty");
  MakeFolder("top\\empty\\deeper");
  ::SetFileAttributesA(Path("top").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(DeleteDirectoryTree(Path("top"), TRUE), 1);
  EXPECT_FALSE(Exists(Path("top")));
}

TEST_F(FileHelpers, DeletingFilesNeverReachesIntoSubfolders) {
  MakeFolder("top");
  MakeFile("top\\a.txt");
  MakeFolder("top\\sub");
  MakeFile("top\\sub\\inner.txt", "inner");
  MakeFolder("top\\emptysub");
  EXPECT_EQ(DeleteDirectoryTree(Path("top"), TRUE), 0);
  EXPECT_FALSE(Exists(Path("top\\a.txt")));
  EXPECT_FALSE(Exists(Path("top\\emptysub")));
  EXPECT_EQ(ReadFileBytes(Path("top\\sub\\inner.txt")), "inner");
}

TEST_F(FileHelpers, RenamesMoveFilesAndFoldersButNeverOntoAnExistingTarget) {
  for (auto rename : {RenamePath, RenameFileNoThrow}) {
    testsupport::RemoveTree(m_strDir);
    ::CreateDirectoryA(m_strDir.c_str(), nullptr);
    MakeFile("old.txt", "old");
    EXPECT_EQ(rename(Path("old.txt"), Path("new.txt")), 1);
    EXPECT_FALSE(Exists(Path("old.txt")));
    EXPECT_EQ(ReadFileBytes(Path("new.txt")), "old");

    MakeFolder("folder");
    MakeFile("folder\\inside.txt", "inside");
    EXPECT_EQ(rename(Path("folder"), Path("moved")), 1);
    EXPECT_EQ(ReadFileBytes(Path("moved\\inside.txt")), "inside");

    MakeFile("source.txt", "source");
    MakeFile("target.txt", "target");
    EXPECT_EQ(rename(Path("source.txt"), Path("target.txt")), 0);
    EXPECT_EQ(ReadFileBytes(Path("source.txt")), "source");
    EXPECT_EQ(ReadFileBytes(Path("target.txt")), "target");
    EXPECT_EQ(rename(Path("source.txt"), Path("moved")), 0);  // an existing folder too
    EXPECT_EQ(rename(Path("missing.txt"), Path("other.txt")), 0);
    EXPECT_FALSE(Exists(Path("other.txt")));
  }
}

// ---- Run in a private copy of this executable ----

// Runs the BesideExe tests in a copy of this program in a folder of its own, and fails when any
// of them fails; their output appears in this test's output.
TEST(PrivateCopy, RunsTheTestsThatNeedFilesBesideTheExecutable) {
  const std::string folder = testsupport::FreshTestFolder();
  ASSERT_EQ(folder.compare(0, 3, "C:\\"), 0) << "the copy must live on the prefix's own drive";
  char szSelf[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, szSelf, MAX_PATH);
  const std::string copy = folder + "\\localstate_files_test.exe";
  ASSERT_TRUE(::CopyFileA(szSelf, copy.c_str(), TRUE));

  std::string commandLine = "\"" + copy + "\" " + kPrivateCopyFlag;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  std::fflush(stdout);
  ASSERT_TRUE(::CreateProcessA(copy.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                               folder.c_str(), &si, &pi));
  const DWORD wait = ::WaitForSingleObject(pi.hProcess, 120000);
  DWORD exitCode = 1;
  ::GetExitCodeProcess(pi.hProcess, &exitCode);
  if (wait != WAIT_OBJECT_0) ::TerminateProcess(pi.hProcess, 1);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  EXPECT_EQ(wait, WAIT_OBJECT_0);
  EXPECT_EQ(exitCode, 0u) << "a test in the private copy failed (see above)";
  testsupport::RemoveTree(folder);
}

// ---- Beside the executable (private copy only) ----

// Each test starts and ends without a "config" folder beside the executable.
class BesideExe : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(g_bInPrivateCopy);
    m_strConfig = testsupport::ModuleFolder() + "\\config";
    testsupport::RemoveTree(m_strConfig);
  }
  void TearDown() override { testsupport::RemoveTree(m_strConfig); }
  void MakeConfig() { ASSERT_TRUE(::CreateDirectoryA(m_strConfig.c_str(), nullptr)); }
  std::string ConfigFile(const std::string& name) const { return m_strConfig + "\\" + name; }

  std::string m_strConfig;
};

std::string ScrambledDat(std::string plain) {
  XorBuffer(reinterpret_cast<unsigned char*>(&plain[0]), static_cast<int>(plain.size()),
            kDatVersionKey);
  return plain;
}

TEST_F(BesideExe, DatVersionIsZeroWithoutTheFile) {
  EXPECT_EQ(ReadDatVersion(), "0");
  MakeConfig();
  EXPECT_EQ(ReadDatVersion(), "0");
}

TEST_F(BesideExe, DatVersionIsTheDescrambledBytesOneToFour) {
  MakeConfig();
  struct Case { std::string plain; std::string version; } cases[] = {
      {"X1.23", "1.23"},
      {"X1.23" + std::string(1000, '\x7f'), "1.23"},  // the rest belongs to the client
      {std::string("X2\0" "00", 5), "2"},
      {"X1.", "1."},  // a short file gives the bytes that are there
      {"X", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    WriteFileBytes(ConfigFile("talvo.dat"), ScrambledDat(c.plain));
    EXPECT_EQ(ReadDatVersion(), c.version) << c.plain.size() << " bytes";
  }
}

TEST_F(BesideExe, DatVersionIsReadWhileTheClientHasTheFileOpen) {
  MakeConfig();
  WriteFileBytes(ConfigFile("talvo.dat"), ScrambledDat("X3.01"));
  HANDLE held = ::CreateFileA(ConfigFile("talvo.dat").c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadDatVersion(), "3.01");
  ::CloseHandle(held);
}

TEST_F(BesideExe, OptionFileIsConfigOptionIniBesideTheExecutable) {
  EXPECT_EQ(COptionSetting().GetFile(), testsupport::ModuleFolder() + "\\config\\option.ini");
}

TEST_F(BesideExe, WriteSettingWritesOnlyThreePartSettings) {
  MakeConfig();
  COptionSetting options;
  EXPECT_TRUE(options.WriteSetting("General\\\\Port\\\\1234"));
  EXPECT_TRUE(options.WriteSetting("General\\\\Path\\\\C:\\Talvo\\Down"));  // single backslashes stay
  const std::string written = ReadFileBytes(ConfigFile("option.ini"));
  for (const char* refused : {"General\\\\Port", "General\\\\Port\\\\1234\\\\5",
                              "General\\\\Port\\\\", "", "General"})
    EXPECT_FALSE(options.WriteSetting(refused)) << refused;
  EXPECT_EQ(ReadFileBytes(ConfigFile("option.ini")), written);
  char szValue[64] = {};
  ::GetPrivateProfileStringA("General", "Port", "", szValue, sizeof szValue,
                             ConfigFile("option.ini").c_str());
  EXPECT_STREQ(szValue, "1234");
  ::GetPrivateProfileStringA("General", "Path", "", szValue, sizeof szValue,
                             ConfigFile("option.ini").c_str());
  EXPECT_STREQ(szValue, "C:\\Talvo\\Down");
}

TEST_F(BesideExe, WriteSettingKeepsQuotesAsPartsOfSectionAndValue) {
  MakeConfig();
  EXPECT_TRUE(COptionSetting().WriteSetting("\"Net\\\\Limit\\\\10\""));
  const std::string written = ReadFileBytes(ConfigFile("option.ini"));
  EXPECT_NE(written.find("[\"Net]"), std::string::npos) << written;
  EXPECT_NE(written.find("Limit=10\""), std::string::npos) << written;
}

TEST_F(BesideExe, WriteSettingWithoutTheConfigFolderFails) {
  EXPECT_FALSE(COptionSetting().WriteSetting("General\\\\Port\\\\1234"));
  EXPECT_FALSE(Exists(m_strConfig));
}

TEST_F(BesideExe, BackupFileMovesTheOptionFileAsideOnce) {
  COptionSetting options;
  EXPECT_TRUE(options.BackupFile());  // nothing to move
  MakeConfig();
  EXPECT_TRUE(options.BackupFile());
  WriteFileBytes(ConfigFile("option.ini"), "[Old]\r\nKey=1\r\n");
  EXPECT_TRUE(options.BackupFile());
  EXPECT_FALSE(Exists(ConfigFile("option.ini")));
  EXPECT_EQ(ReadFileBytes(ConfigFile("option.in_")), "[Old]\r\nKey=1\r\n");

  // The next setting starts a new file holding only what is written from then on.
  EXPECT_TRUE(options.WriteSetting("New\\\\Key\\\\2"));
  const std::string fresh = ReadFileBytes(ConfigFile("option.ini"));
  EXPECT_NE(fresh.find("[New]"), std::string::npos);
  EXPECT_EQ(fresh.find("Old"), std::string::npos);

  // A backup that exists already is never overwritten.
  EXPECT_FALSE(options.BackupFile());
  EXPECT_EQ(ReadFileBytes(ConfigFile("option.ini")), fresh);
  EXPECT_EQ(ReadFileBytes(ConfigFile("option.in_")), "[Old]\r\nKey=1\r\n");
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == kPrivateCopyFlag) g_bInPrivateCopy = true;
  std::string& filter = ::testing::GTEST_FLAG(filter);
  if (g_bInPrivateCopy)
    filter = "BesideExe.*";
  else
    filter += filter.find('-') == std::string::npos ? "-BesideExe.*" : ":BesideExe.*";
  return RUN_ALL_TESTS();
}
