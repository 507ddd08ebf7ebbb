#include "app/singleinstance.h"

#include <stdlib.h>

#include <string>

#include "app/commandline.h"
#include "framework/scopedhandle.h"
#include "framework/winapp.h"

const char kInstanceGuid[] = "{D2F835A0-6893-4128-82EA-E609C4C5A02F}";

const UINT g_nInstanceMessage = ::RegisterWindowMessageA(kInstanceGuid);

namespace {

// Alone in its section: the section is shared by every process mapping this program file, lives
// while one of them runs, and starts again from 0 after the last one has ended.
volatile LONG g_nBackgroundCount __attribute__((section("UpdateAp"), shared)) = 0;

// Open until the process ends: the mutex exists exactly as long as some updater runs.
framework::UniqueHandle g_hInstanceMutex;

bool IgnoreInstancesRequested() {
  bool bIgnore = framework::GetApp() &&
                 framework::GetApp()->GetProfileInt("TalvoUpdate", "IgnoreInstances", 0) != 0;
  for (int i = 1; i < __argc; ++i) {
    if (__argv[i] && IsIgnoreInstancesArgument(__argv[i])) bIgnore = true;
  }
  return bIgnore;
}

}  // namespace

BOOL CheckSingleInstance() {
  const bool bIgnore = IgnoreInstancesRequested();
  HANDLE hMutex = ::CreateMutexA(nullptr, FALSE, kInstanceGuid);
  const DWORD dwError = ::GetLastError();
  if (hMutex) g_hInstanceMutex.Reset(hMutex);
  if (bIgnore) return TRUE;
  // ERROR_ACCESS_DENIED: the mutex exists but was made by someone we may not open it as.
  if (dwError == ERROR_ALREADY_EXISTS || dwError == ERROR_ACCESS_DENIED) {
    HWND maininst = nullptr;
    ::EnumWindows(FindPreviousInstanceProc, reinterpret_cast<LPARAM>(&maininst));
    if (maininst) {
      ::SendMessageA(maininst, WM_SYSCOMMAND, SC_RESTORE, 0);
      ::SetForegroundWindow(maininst);
    }
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindPreviousInstanceProc(HWND window, LPARAM result) {
  DWORD_PTR reply = 0;
  const LRESULT ok = ::SendMessageTimeoutA(window, g_nInstanceMessage, 0, 0,
                                           SMTO_BLOCK | SMTO_ABORTIFHUNG, 10000, &reply);
  if (!ok || reply != g_nInstanceMessage) return TRUE;
  *reinterpret_cast<HWND*>(result) = window;
  return FALSE;
}

BOOL TryCountBackgroundRun(volatile LONG* counter) {
  for (;;) {
    const LONG nSeen = *counter;
    if (nSeen > 0) return FALSE;
    if (::InterlockedCompareExchange(counter, nSeen + 1, nSeen) == nSeen) return TRUE;
  }
}

volatile LONG* BackgroundCounter() { return &g_nBackgroundCount; }
