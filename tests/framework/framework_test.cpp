// The ground the program stands on: code page 949 literals, the string table, threads, profile.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/modulepath.h"
#include "framework/resstring.h"
#include "framework/thread.h"
#include "framework/winapp.h"
#include "resources/resource.h"
#include "talvobuildconfig.h"

namespace {

// "업데이트" in code page 949.
const char kUpdateCp949[] = "\xbe\xf7\xb5\xa5\xc0\xcc\xc6\xae";

TEST(Cp949, KoreanLiteralsAreCodePage949Bytes) {
  EXPECT_EQ(std::string("업데이트"), kUpdateCp949);
  EXPECT_EQ(::GetACP(), 949u) << "tests must run with the Korean ANSI code page";
}

TEST(StringTable, HoldsTheProgramsTexts) {
  using framework::LoadResString;
  EXPECT_EQ(LoadResString(IDS_ABOUTBOX), "TalvoUpdate 정보(&A)...");
  EXPECT_EQ(LoadResString(IDS_SOCKET_INIT_FAILED), "Windows 소켓 초기화에 실패하였습니다.");
  EXPECT_EQ(LoadResString(IDS_INFORMATION_URL),
            std::string("http://") + TALVO_UPDATE_HOST + "/talvoupdate/PlusInformation.php?ver=");
  EXPECT_EQ(LoadResString(IDS_CLIENT_PATH), "<TARGETDIR>\\Talvo.exe");
  EXPECT_EQ(LoadResString(IDS_UPDATE_HOST), TALVO_UPDATE_HOST);
  EXPECT_EQ(LoadResString(9999), "");
}

TEST(Thread, RunsTheProcedureAndHandsBackItsExitCode) {
  struct Ctx { int seen = 0; } ctx;
  framework::UniqueHandle thread = framework::BeginThread(
      [](void* p) -> UINT {
        static_cast<Ctx*>(p)->seen = 42;
        return 7;
      },
      &ctx);
  ASSERT_TRUE(thread.IsValid());
  ASSERT_EQ(::WaitForSingleObject(thread.Get(), 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(::GetExitCodeThread(thread.Get(), &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(ctx.seen, 42);
}

TEST(Thread, AnEscapingExceptionEndsOnlyTheThread) {
  framework::UniqueHandle thread =
      framework::BeginThread([](void*) -> UINT { throw 1; }, nullptr);
  ASSERT_EQ(::WaitForSingleObject(thread.Get(), 10000), WAIT_OBJECT_0);
  DWORD code = 99;
  ::GetExitCodeThread(thread.Get(), &code);
  EXPECT_EQ(code, 0u);
}

class ProfileApp : public framework::CWinApp {};

TEST(WinApp, NamesComeFromTheExecutableAndTheProfileLivesInTheWindowsFolder) {
  ProfileApp app;
  app.InitNames(::GetModuleHandleA(nullptr));
  EXPECT_EQ(app.m_strAppName, "framework_test");
  EXPECT_EQ(app.m_strProfileName, "framework_test.INI");
  EXPECT_EQ(app.GetProfileInt("TalvoUpdate", "IgnoreInstances", 0), 0u);

  char szWin[MAX_PATH];
  ::GetWindowsDirectoryA(szWin, MAX_PATH);
  const std::string ini = std::string(szWin) + "\\framework_test.INI";
  ASSERT_TRUE(::WritePrivateProfileStringA("TalvoUpdate", "IgnoreInstances", "1", ini.c_str()));
  EXPECT_EQ(app.GetProfileInt("TalvoUpdate", "IgnoreInstances", 0), 1u);
  ::DeleteFileA(ini.c_str());
}

TEST(ModulePath, FolderIsThePathCutBeforeTheLastBackslash) {
  const std::string path = framework::GetModulePath();
  const std::string folder = framework::GetModuleFolder();
  ASSERT_LT(folder.size(), path.size());
  EXPECT_EQ(path.compare(0, folder.size(), folder), 0);
  EXPECT_EQ(path[folder.size()], '\\');
  EXPECT_EQ(path.find('\\', folder.size() + 1), std::string::npos);
}

}  // namespace
