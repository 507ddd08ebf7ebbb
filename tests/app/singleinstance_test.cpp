// The instance guard's pieces inside one process: the instance message, the window search, a
// mutex this user may not open, the background rule under racing threads, and the probe's connect.
#include <winsock2.h>
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "app/serverprobe.h"
#include "app/singleinstance.h"
#include "framework/scopedhandle.h"

namespace {

TEST(InstanceMessage, IsRegisteredBeforeMainUnderTheMutexName) {
  EXPECT_NE(g_nInstanceMessage, 0u);
  EXPECT_EQ(g_nInstanceMessage, ::RegisterWindowMessageA("{D2F835A0-6893-4128-82EA-E609C4C5A02F}"));
}

// A top-level window that answers the instance message with `reply`.
class AnsweringWindow {
 public:
  explicit AnsweringWindow(LRESULT reply) {
    static const char kClass[] = "TalvoInstanceTestWindow";
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &AnsweringWindow::Proc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = kClass;
    ::RegisterClassA(&wc);  // a second registration fails harmlessly
    m_hWnd = ::CreateWindowA(kClass, "instance test", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                             wc.hInstance, nullptr);
    ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reply);
  }
  ~AnsweringWindow() { ::DestroyWindow(m_hWnd); }
  HWND Get() const { return m_hWnd; }

 private:
  static LRESULT CALLBACK Proc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == g_nInstanceMessage) return ::GetWindowLongPtrA(hWnd, GWLP_USERDATA);
    return ::DefWindowProcA(hWnd, msg, wParam, lParam);
  }
  HWND m_hWnd = nullptr;
};

TEST(FindPreviousInstanceProc, StopsAtTheWindowThatAnswersWithTheMessagesOwnValue) {
  AnsweringWindow silent(0);
  AnsweringWindow wrong(g_nInstanceMessage + 1);
  HWND found = nullptr;
  EXPECT_TRUE(FindPreviousInstanceProc(silent.Get(), reinterpret_cast<LPARAM>(&found)));
  EXPECT_TRUE(FindPreviousInstanceProc(wrong.Get(), reinterpret_cast<LPARAM>(&found)));
  EXPECT_EQ(found, nullptr);

  AnsweringWindow updater(g_nInstanceMessage);
  EXPECT_FALSE(FindPreviousInstanceProc(updater.Get(), reinterpret_cast<LPARAM>(&found)));
  EXPECT_EQ(found, updater.Get());

  found = nullptr;
  ::EnumWindows(FindPreviousInstanceProc, reinterpret_cast<LPARAM>(&found));
  EXPECT_EQ(found, updater.Get());
}

// Leaves this process holding the instance mutex: keep it the only test that calls the guard.
TEST(CheckSingleInstance, AMutexThisUserMayNotOpenCountsAsAnotherUpdater) {
  {
    // Made by another user's updater, with a security descriptor that refuses us everything.
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;GA;;;WD)", SDDL_REVISION_1,
                                                                        &sd, nullptr));
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd, FALSE};
    framework::UniqueHandle foreign(::CreateMutexA(&sa, FALSE, kInstanceGuid));
    ::LocalFree(sd);
    ASSERT_TRUE(foreign);
    ASSERT_EQ(::CreateMutexA(nullptr, FALSE, kInstanceGuid), nullptr);
    ASSERT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    EXPECT_FALSE(CheckSingleInstance());
  }
  // That updater has ended: this start is the only one.
  EXPECT_TRUE(CheckSingleInstance());
}

TEST(BackgroundRule, TheFirstRunIsCountedAndEveryLaterOneRefused) {
  volatile LONG counter = 0;
  EXPECT_TRUE(TryCountBackgroundRun(&counter));
  EXPECT_EQ(counter, 1);
  EXPECT_FALSE(TryCountBackgroundRun(&counter));
  EXPECT_EQ(counter, 1) << "a refused run leaves the counter as it is";
}

TEST(BackgroundRule, OfManyRunsStartingAtOnceExactlyOnePasses) {
  for (int round = 0; round < 50; ++round) {
    volatile LONG counter = 0;
    volatile LONG start = 0;
    LONG passed = 0;
    std::vector<std::thread> runs;
    for (int i = 0; i < 8; ++i) {
      runs.emplace_back([&] {
        while (start == 0) {
        }
        if (TryCountBackgroundRun(&counter)) ::InterlockedIncrement(&passed);
      });
    }
    ::InterlockedExchange(&start, 1);
    for (std::thread& t : runs) t.join();
    ASSERT_EQ(passed, 1) << "round " << round;
    ASSERT_EQ(counter, 1);
  }
}

TEST(BackgroundRule, TheProgramsCounterStartsAtZero) { EXPECT_EQ(*BackgroundCounter(), 0); }

class WinsockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(::WSAStartup(MAKEWORD(1, 1), &data), 0);
  }
  void TearDown() override { ::WSACleanup(); }
};

TEST_F(WinsockTest, ProbeConnectsToAListeningPortAndFailsOnAClosedOneOrAnUnknownHost) {
  SOCKET listener = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_NE(listener, INVALID_SOCKET);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = ::inet_addr("127.0.0.1");
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  int length = sizeof address;
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const unsigned short port = ::ntohs(address.sin_port);

  EXPECT_TRUE(ConnectProbe("127.0.0.1", port));
  EXPECT_TRUE(ConnectProbe("localhost", port)) << "a host name is resolved first";
  ::closesocket(listener);
  EXPECT_FALSE(ConnectProbe("127.0.0.1", port));
  EXPECT_FALSE(ConnectProbe("no-such-host.invalid", port));
}

}  // namespace
