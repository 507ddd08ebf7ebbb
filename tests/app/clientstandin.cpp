// Stands in for a program the updater starts (Talvo.exe, an extra project's program) in the
// end-to-end tests: records that it was started, then ends. Each start appends one line (process
// id and command line) to STANDIN_LOG ("started.log" unless the build names another) beside the
// program.
#include <windows.h>

#include <string>

#ifndef STANDIN_LOG
#define STANDIN_LOG "started.log"
#endif

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char szPath[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameA(nullptr, szPath, MAX_PATH);
  std::string strLog(szPath, n);
  strLog = strLog.substr(0, strLog.find_last_of('\\') + 1) + STANDIN_LOG;
  const std::string line =
      std::to_string(::GetCurrentProcessId()) + " " + ::GetCommandLineA() + "\r\n";
  // Several starts may append at once; FILE_APPEND_DATA keeps each line whole.
  HANDLE h = ::CreateFileA(strLog.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  ::WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(h);
  return 0;
}
