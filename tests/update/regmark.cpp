// Stand-in for an ActiveX control: DllRegisterServer and DllUnregisterServer append
// "<action>|<module path>|<command line>" to the file named by TALVO_REGMARK_LOG, so tests see
// that regsvr32 really loaded this file and with which parameters.
#include <windows.h>

namespace {

HMODULE g_hModule = nullptr;

void AppendMark(const char* action) {
  char szLog[MAX_PATH] = {};
  const DWORD n = ::GetEnvironmentVariableA("TALVO_REGMARK_LOG", szLog, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  char szModule[MAX_PATH] = {};
  ::GetModuleFileNameA(g_hModule, szModule, MAX_PATH);
  char szLine[3 * MAX_PATH + 1024];
  const int length = wsprintfA(szLine, "%s|%s|%.600s\r\n", action, szModule, ::GetCommandLineA());
  HANDLE file = ::CreateFileA(szLog, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, szLine, static_cast<DWORD>(length), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_hModule = hInstance;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
  AppendMark("register");
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
  AppendMark("unregister");
  return S_OK;
}
