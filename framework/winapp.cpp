#include "framework/winapp.h"

#include <cassert>

#include "framework/modulepath.h"

namespace framework {

namespace {
CWinApp* g_pApp = nullptr;
}

CWinApp::CWinApp() {
  assert(g_pApp == nullptr && "only one application object per process");
  g_pApp = this;
}

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = nullptr;
}

BOOL CWinApp::InitInstance() { return FALSE; }

int CWinApp::ExitInstance() { return 0; }

void CWinApp::InitNames(HINSTANCE instance) {
  m_hInstance = instance;
  m_strAppName = GetModuleFileTitle();
  m_strProfileName = m_strAppName + ".INI";
}

UINT CWinApp::GetProfileInt(const char* section, const char* entry, int defaultValue) const {
  // A file name without a folder makes the profile API look in the Windows folder.
  return ::GetPrivateProfileIntA(section, entry, defaultValue, m_strProfileName.c_str());
}

CWinApp* GetApp() { return g_pApp; }

HINSTANCE GetResourceHandle() {
  return (g_pApp && g_pApp->m_hInstance) ? g_pApp->m_hInstance : ::GetModuleHandleA(nullptr);
}

int AfxMessageBox(const std::string& text, UINT type) {
  CWinApp* app = GetApp();
  const HWND owner = app ? app->m_hMainWnd : nullptr;
  const char* title = (app && !app->m_strAppName.empty()) ? app->m_strAppName.c_str() : nullptr;
  return ::MessageBoxA(owner, text.c_str(), title, type);
}

}  // namespace framework
