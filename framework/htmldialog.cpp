#include "framework/htmldialog.h"

#include <exdisp.h>
#include <oleauto.h>

#include "framework/log.h"
#include "framework/modulepath.h"

namespace framework {

namespace {

using AtlAxWinInitProc = BOOL(WINAPI*)();
using AtlAxGetControlProc = HRESULT(WINAPI*)(HWND, IUnknown**);

// atl.dll stays loaded once found: its window class must outlive every host window.
struct AtlHost {
  AtlAxWinInitProc pfnInit = nullptr;
  AtlAxGetControlProc pfnGetControl = nullptr;
  bool bClassReady = false;
};

const AtlHost& LoadAtlHost() {
  static const AtlHost host = [] {
    AtlHost h;
    const HMODULE atl = ::LoadLibraryA("atl.dll");
    if (!atl) return h;
    h.pfnInit = reinterpret_cast<AtlAxWinInitProc>(reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxWinInit")));
    h.pfnGetControl = reinterpret_cast<AtlAxGetControlProc>(reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxGetControl")));
    h.bClassReady = h.pfnInit && h.pfnInit();
    return h;
  }();
  return host;
}

std::wstring Widen(const std::string& text) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

}  // namespace

CHtmlDialog::CHtmlDialog(UINT nIDTemplate, UINT nHtmlResID, CWnd* pParentWnd)
    : CDialog(nIDTemplate, pParentWnd), m_nHtmlResID(nHtmlResID) {}

CHtmlDialog::~CHtmlDialog() { ReleaseBrowser(); }

void CHtmlDialog::ReleaseBrowser() {
  if (m_pBrowser) {
    m_pBrowser->Release();
    m_pBrowser = nullptr;
  }
}

BOOL CHtmlDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  const AtlHost& atl = LoadAtlHost();
  if (!atl.bClassReady) {
    WriteLog("Browser host unavailable: atl.dll or AtlAxWinInit missing\n");
    return TRUE;
  }
  // The host's title is the first address it loads: the page resource of this program.
  const std::string strFirstPage = "res://" + GetModulePath() + "/" + std::to_string(m_nHtmlResID);
  const RECT rc = GetClientRect();
  m_hHost = ::CreateWindowExA(0, "AtlAxWin", strFirstPage.c_str(), WS_CHILD | WS_VISIBLE, 0, 0,
                              rc.right - rc.left, rc.bottom - rc.top, m_hWnd, nullptr,
                              ::GetModuleHandleA(nullptr), nullptr);
  if (!m_hHost) {
    WriteLog("Browser host window not created: %lu\n", ::GetLastError());
    return TRUE;
  }
  IUnknown* pControl = nullptr;
  if (atl.pfnGetControl && SUCCEEDED(atl.pfnGetControl(m_hHost, &pControl)) && pControl) {
    if (FAILED(pControl->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&m_pBrowser))))
      m_pBrowser = nullptr;
    pControl->Release();
  }
  if (!m_pBrowser) WriteLog("Browser host holds no web browser control\n");
  return TRUE;
}

BOOL CHtmlDialog::Navigate(const std::string& url) {
  if (!m_pBrowser) return FALSE;
  BSTR bstrUrl = ::SysAllocString(Widen(url).c_str());
  if (!bstrUrl) return FALSE;
  VARIANT vEmpty;
  ::VariantInit(&vEmpty);
  const HRESULT hr = m_pBrowser->Navigate(bstrUrl, &vEmpty, &vEmpty, &vEmpty, &vEmpty);
  ::SysFreeString(bstrUrl);
  if (FAILED(hr)) WriteLog("Browser navigation refused: 0x%08lx\n", static_cast<unsigned long>(hr));
  return SUCCEEDED(hr);
}

LRESULT CHtmlDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      if (m_hHost) ::MoveWindow(m_hHost, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      break;
    case WM_DESTROY:
      // The control goes with its host window; let go of it first.
      ReleaseBrowser();
      m_hHost = nullptr;
      break;
    default:
      break;
  }
  return CDialog::WindowProc(message, wParam, lParam);
}

}  // namespace framework
