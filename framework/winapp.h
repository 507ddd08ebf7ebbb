// The application object: one per process, driven by the entry point in winmain.cpp.
#pragma once
#include <windows.h>
#include <string>

namespace framework {


class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Runs the program. Returning FALSE ends the process without a message loop.
  virtual BOOL InitInstance();
  // Exit code of the process after InitInstance.
  virtual int ExitInstance();

  // Per-application profile: an INI file named after the executable, in the Windows folder.
  UINT GetProfileInt(const char* section, const char* entry, int defaultValue) const;

  HINSTANCE m_hInstance = nullptr;
  HWND m_hMainWnd = nullptr;     // owner of message boxes while a main window exists
  std::string m_strAppName;      // executable base name without extension
  std::string m_strProfileName;  // m_strAppName + ".INI"

  // Fills the names from the module path; called by the entry point before InitInstance.
  void InitNames(HINSTANCE instance);
};

CWinApp* GetApp();

// The module whose resources the program loads: the application's instance, or the executable
// when there is no application object yet (test programs).
HINSTANCE GetResourceHandle();

// Message box titled with the application's name, owned by its main window when there is one.
int AfxMessageBox(const std::string& text, UINT type = MB_OK);

}  // namespace framework
