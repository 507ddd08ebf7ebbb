// The application object's own look at the machine: the client's window, the system family
// and the Windows version it reports.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/talvoupdate.h"

namespace {

constexpr char kCaptionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Talvo";

void SetCaptionValue(const std::string& caption) {
  HKEY hKey = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kCaptionKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &hKey, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExA(hKey, "TalvoVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(caption.c_str()),
                   static_cast<DWORD>(caption.size() + 1));
  ::RegCloseKey(hKey);
}

// A top-level window standing in for the running client.
class ClientWindow {
 public:
  explicit ClientWindow(const std::string& caption) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "TalvoClientTest";
    ::RegisterClassA(&wc);
    m_hWnd = ::CreateWindowA(wc.lpszClassName, caption.c_str(), WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                             nullptr, wc.hInstance, nullptr);
  }
  ~ClientWindow() { ::DestroyWindow(m_hWnd); }
  HWND Get() const { return m_hWnd; }

 private:
  HWND m_hWnd = nullptr;
};

class TalvoUpdateAppTest : public ::testing::Test {
 protected:
  void TearDown() override { ::RegDeleteKeyA(HKEY_CURRENT_USER, kCaptionKey); }
  CTalvoUpdateApp app;
};

TEST_F(TalvoUpdateAppTest, FindClientWindowFindsTheWindowWhoseCaptionIsRecorded) {
  EXPECT_EQ(app.FindClientWindow(), nullptr) << "no key: no client";

  const std::string caption = "Talvo 3.41 \xc5\xbb\xba\xb8";  // with Korean text
  ClientWindow client(caption);
  ASSERT_NE(client.Get(), nullptr);
  SetCaptionValue(caption);
  EXPECT_EQ(app.FindClientWindow(), client.Get());

  SetCaptionValue("Talvo 9.99");
  EXPECT_EQ(app.FindClientWindow(), nullptr) << "recorded caption names no window";
}

TEST_F(TalvoUpdateAppTest, FindClientWindowTakesACaptionOverNinetyNineCharactersForNoClient) {
  const std::string longest(99, 'a');
  ClientWindow fits(longest);
  SetCaptionValue(longest);
  EXPECT_EQ(app.FindClientWindow(), fits.Get());

  // The window exists, but the caption does not fit the 100-byte buffer.
  const std::string tooLong(100, 'b');
  ClientWindow over(tooLong);
  SetCaptionValue(tooLong);
  EXPECT_EQ(app.FindClientWindow(), nullptr);
  const std::string farTooLong(300, 'c');
  ClientWindow farOver(farTooLong);
  SetCaptionValue(farTooLong);
  EXPECT_EQ(app.FindClientWindow(), nullptr);
}

TEST_F(TalvoUpdateAppTest, FindClientWindowTakesAnEmptyCaptionForNoClient) {
  ClientWindow untitled("");
  SetCaptionValue("");
  EXPECT_EQ(app.FindClientWindow(), nullptr);
}

TEST_F(TalvoUpdateAppTest, FamilyCodeAndVersionTextOfThisSystem) {
  // Wine in a fresh prefix reports Windows 7: NT platform, 6.1.
  EXPECT_EQ(app.GetOSType(), 0x105u);
  EXPECT_EQ(app.GetWinVersionText(0x110), "6.1");
  EXPECT_EQ(app.GetWinVersionText(0x100), "6");
}

TEST_F(TalvoUpdateAppTest, TheProductWaitsAreTheDefaults) {
  EXPECT_EQ(app.m_timings.foregroundProbePauseMs, 1000u);
  EXPECT_EQ(app.m_timings.backgroundProbePauseMs, 7000u);
  EXPECT_EQ(app.m_timings.foregroundRequestTimeoutMs, 10000u);
  EXPECT_EQ(app.m_timings.backgroundRequestTimeoutMs, 30000u);
  EXPECT_EQ(app.m_timings.backgroundRequestPauseMs, 7000u);
}

}  // namespace
