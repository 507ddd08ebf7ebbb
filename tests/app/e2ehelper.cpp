// Sees and pokes windows of other processes for the end-to-end tests (run in the same Wine
// prefix as the updater under test). Console program; output in the ANSI code page.
//   e2ehelper boxes TITLE            one line per message box titled TITLE: "hwnd pid text"
//   e2ehelper close HWND             presses OK on that message box
//   e2ehelper window CAPTION SECONDS READYFILE
//                                    shows a top-level window with CAPTION for SECONDS (the
//                                    running client); creates READYFILE once it exists
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct BoxSearch {
  std::string title;
};

BOOL CALLBACK ListBox(HWND hWnd, LPARAM param) {
  const auto* search = reinterpret_cast<const BoxSearch*>(param);
  char szClass[64] = {};
  ::GetClassNameA(hWnd, szClass, sizeof szClass);
  if (std::string(szClass) != "#32770" || !::IsWindowVisible(hWnd)) return TRUE;
  char szTitle[256] = {};
  ::GetWindowTextA(hWnd, szTitle, sizeof szTitle);
  if (search->title != szTitle) return TRUE;
  char szText[1024] = {};
  ::GetDlgItemTextA(hWnd, 0xFFFF, szText, sizeof szText);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hWnd, &pid);
  std::printf("%lu %lu %s\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hWnd)),
              static_cast<unsigned long>(pid), szText);
  return TRUE;
}

int ShowWindowFor(const char* caption, int seconds, const char* readyFile) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ::DefWindowProcA;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "TalvoClientStandIn";
  ::RegisterClassA(&wc);
  HWND hWnd = ::CreateWindowA(wc.lpszClassName, caption, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                              nullptr, nullptr, wc.hInstance, nullptr);
  if (!hWnd) return 2;
  ::ShowWindow(hWnd, SW_SHOWNORMAL);
  HANDLE h = ::CreateFileA(readyFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  const DWORD end = ::GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
  }
  ::DestroyWindow(hWnd);
  return 0;
}

}  // namespace

// Holds FILE open without sharing for SECONDS, as a running program or a scanner would, and
// creates READYFILE once it does.
int HoldFileFor(const char* path, int seconds, const char* readyFile) {
  HANDLE file = ::CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  HANDLE ready = ::CreateFileA(readyFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready != INVALID_HANDLE_VALUE) ::CloseHandle(ready);
  ::Sleep(static_cast<DWORD>(seconds) * 1000);
  ::CloseHandle(file);
  return 0;
}

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "boxes") {
    BoxSearch search{argv[2]};
    ::EnumWindows(ListBox, reinterpret_cast<LPARAM>(&search));
    std::fflush(stdout);
    return 0;
  }
  if (argc >= 3 && std::string(argv[1]) == "close") {
    HWND hWnd = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoul(argv[2], nullptr, 10)));
    return ::PostMessageA(hWnd, WM_COMMAND, IDOK, 0) ? 0 : 1;
  }
  if (argc >= 5 && std::string(argv[1]) == "window") {
    return ShowWindowFor(argv[2], std::atoi(argv[3]), argv[4]);
  }
  if (argc >= 5 && std::string(argv[1]) == "hold") {
    return HoldFileFor(argv[2], std::atoi(argv[3]), argv[4]);
  }
  std::fprintf(stderr,
               "usage: e2ehelper boxes TITLE | close HWND | window CAPTION SECONDS READYFILE | "
               "hold FILE SECONDS READYFILE\n");
  return 2;
}
