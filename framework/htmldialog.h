// A dialog whose client area is the system's web browser control, hosted through atl.dll's
// "AtlAxWin" window class (loaded at run time, so no ATL headers or import library are needed).
// The control first shows an HTML resource of the program. Without atl.dll, without a browser
// engine or without network access the dialog opens and behaves the same; only its area stays
// blank.
#pragma once
#include <windows.h>

#include <string>

#include "framework/dialog.h"

struct IWebBrowser2;

namespace framework {

class CHtmlDialog : public CDialog {
 public:
  CHtmlDialog(UINT nIDTemplate, UINT nHtmlResID, CWnd* pParentWnd = nullptr);
  ~CHtmlDialog() override;

  // Creates the browser host over the whole client area and shows the HTML resource.
  BOOL OnInitDialog() override;
  // Asks the browser to load `url` (no flags, target frame, post data or headers). FALSE when
  // there is no browser to ask; what the page then shows is the browser's business.
  BOOL Navigate(const std::string& url);
  // The host window, or null when it could not be created.

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void ReleaseBrowser();

  UINT m_nHtmlResID;
  HWND m_hHost = nullptr;  // child window: goes with the dialog
  IWebBrowser2* m_pBrowser = nullptr;
};

}  // namespace framework
