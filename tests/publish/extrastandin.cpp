// Stands in for the sample release's extra project program (TalvoExtra.exe): it does nothing
// but append a line (process id and command line) to "extra-started.log" beside itself, so a
// test can see that the updater started it.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char szPath[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameA(nullptr, szPath, MAX_PATH);
  std::string strLog(szPath, n);
  strLog = strLog.substr(0, strLog.find_last_of('\\') + 1) + "extra-started.log";
  const std::string line = std::to_string(::GetCurrentProcessId()) + " " + ::GetCommandLineA() + "\r\n";
  HANDLE h = ::CreateFileA(strLog.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  ::WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(h);
  return 0;
}
