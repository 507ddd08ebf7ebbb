// The update run's pieces that need no server: unpacking a package in the staging folder, and
// the test for extra projects that are already installed.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "catalogue/projectdata.h"
#include "tests/archive/testzipwriter.h"
#include "tests/localstate/testsupport.h"
#include "tests/update/recordingsink.h"
#include "update/extraproject.h"
#include "update/updaterun.h"

namespace {

using testsupport::Exists;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

class ExtractPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_root = testsupport::FreshTestFolder();
    m_staging = m_root + "\\Update";
    ::CreateDirectoryA(m_staging.c_str(), nullptr);
    m_package = m_staging + "\\package.zip";
  }

  BOOL Extract(const testzip::Writer& zip) {
    WriteFileBytes(m_package, zip.Build());
    return ExtractPackage();
  }
  BOOL ExtractPackage() {
    RunSettings settings;
    settings.strStagingFolder = m_staging + "\\";
    CUpdateRun run(m_data, {}, settings, m_sink);
    return run.ExtractPackage(m_package) ? TRUE : FALSE;
  }

  CProjectData m_data;
  CRecordingSink m_sink;
  std::string m_root, m_staging, m_package;
};

// An older file of the same name is replaced, even when it is read-only; the package goes.
TEST_F(ExtractPackageTest, ReplacesAnOlderFileAndDeletesThePackage) {
  const std::string older = m_staging + "\\Talvo.exe";
  WriteFileBytes(older, "old build");
  ::SetFileAttributesA(older.c_str(), FILE_ATTRIBUTE_READONLY);
  testzip::Writer zip;
  zip.Add("Talvo.exe", "new build");
  zip.Add("readme.txt", "notes", 0);
  EXPECT_TRUE(Extract(zip));
  EXPECT_EQ(ReadFileBytes(older), "new build");
  EXPECT_EQ(ReadFileBytes(m_staging + "\\readme.txt"), "notes");
  EXPECT_FALSE(Exists(m_package));
}

// A name that would reach outside the staging folder never deletes what is there: the entry
// fails before the older file is touched, nothing is installed, the package stays for the clean-up.
TEST_F(ExtractPackageTest, HostileNamesFailBeforeAnythingIsDeleted) {
  const std::string victim = m_root + "\\victim.txt";
  const std::string victimFromRoot = victim.substr(3);  // without "C:\"
  const struct {
    const char* what;
    std::string name;
  } cases[] = {
      {"parent folder", "../victim.txt"},
      {"parent folder, backslash", "sub\\..\\..\\victim.txt"},
      {"absolute path", victim},
      {"root-relative path", "/" + victimFromRoot},
      {"drive-relative path", "C:" + victimFromRoot},
      {"device name", "nul.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(victim, "keep me");
    testzip::Writer zip;
    zip.Add("first.txt", "a");
    zip.Add(c.name, "overwritten");
    EXPECT_FALSE(Extract(zip));
    EXPECT_EQ(ReadFileBytes(victim), "keep me");
    EXPECT_TRUE(Exists(m_package));
  }
}

// The target is built in a 256-byte buffer: 256 characters or more fail the entry, and an older
// file of the shorter, truncated name is left alone.
TEST_F(ExtractPackageTest, TargetsOf256CharactersOrMoreFailTheEntry) {
  const size_t room = 256 - (m_staging.size() + 1);
  const std::string fits(room - 1, 'a');  // 255 characters in all
  testzip::Writer ok;
  ok.Add(fits, "fits");
  EXPECT_TRUE(Extract(ok));
  EXPECT_EQ(ReadFileBytes(m_staging + "\\" + fits), "fits");

  const std::string truncated = m_staging + "\\" + std::string(room - 1, 'b');
  WriteFileBytes(truncated, "keep me");
  testzip::Writer tooLong;
  tooLong.Add(std::string(room, 'b'), "too long");
  EXPECT_FALSE(Extract(tooLong));
  EXPECT_EQ(ReadFileBytes(truncated), "keep me");
  EXPECT_TRUE(Exists(m_package));
}

// A reply that is no package is never taken for one: its extraction fails, and the file stays
// for the clean-up, which removes the whole staging folder.
TEST_F(ExtractPackageTest, AnUnreadablePackageInstallsNothing) {
  WriteFileBytes(m_package, "not a zip");
  EXPECT_FALSE(ExtractPackage());
  EXPECT_TRUE(Exists(m_package));
}

TEST(ExtraProjectInstalled, RegistryKeyFirstThenAnExactFileName) {
  const std::string root = testsupport::FreshTestFolder();
  const std::string folder = root + "\\Extra";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  WriteFileBytes(folder + "\\Tool.exe", "x");
  ::CreateDirectoryA((folder + "\\Dir.exe").c_str(), nullptr);
  HKEY hKey = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TalvoExtraTest", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &hKey, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(hKey);

  const struct {
    const char* what;
    std::string reg, path;
    BOOL installed;
  } cases[] = {
      {"key exists", "SOFTWARE\\TalvoExtraTest", "", TRUE},
      {"key missing, the path is not looked at", "SOFTWARE\\TalvoExtraMissing", folder + "\\Tool.exe", FALSE},
      {"file exists", "", folder + "\\Tool.exe", TRUE},
      {"other letter case", "", folder + "\\tool.EXE", FALSE},
      {"a folder of that name", "", folder + "\\Dir.exe", FALSE},
      {"no such file", "", folder + "\\Other.exe", FALSE},
      {"macros are not expanded", "", "<TARGETDIR>\\Tool.exe", FALSE},
      {"neither key nor path", "", "", FALSE},
      // Only the folder the path names is searched: not the drive's root for a bare name.
      {"a bare file name", "", "TalvoBareTool.exe", FALSE},
      {"a name longer than the system allows", "", folder + "\\" + std::string(300, 'a') + ".exe", FALSE},
      {"a folder longer than the system allows", "", folder + "\\" + std::string(300, 'd') + "\\Tool.exe", FALSE},
  };
  WriteFileBytes("C:\\TalvoBareTool.exe", "x");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EtcProject project;
    project.m_strReg = c.reg;
    project.m_strPath = c.path;
    EXPECT_EQ(IsExtraProjectInstalled(project), c.installed);
  }
  ::DeleteFileA("C:\\TalvoBareTool.exe");
}

}  // namespace
