#include "tests/support/parentwindow.h"

#include <commctrl.h>

#include "tests/support/pump.h"

namespace testsupport {

bool InitCommonControlsForTests() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  return ::InitCommonControlsEx(&controls) != FALSE;
}

ParentWindow::ParentWindow(bool visible, RECT rect) {
  const DWORD style = WS_POPUP | WS_CLIPCHILDREN | (visible ? WS_VISIBLE : 0);
  const HBRUSH background = ::GetSysColorBrush(COLOR_WINDOW);
  CreateEx(WS_EX_TOPMOST, framework::RegisterWndClass(CS_DBLCLKS, ::LoadCursor(nullptr, IDC_ARROW), background),
           "controls", style, rect, nullptr, 0);
  if (visible) {
    ::UpdateWindow(m_hWnd);
    PumpMessages();
  }
}

LRESULT ParentWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) ++notifications[{LOWORD(wParam), HIWORD(wParam)}];
  return CWnd::WindowProc(message, wParam, lParam);
}

int ParentWindow::Count(int id, int code) const {
  const auto found = notifications.find({id, code});
  return found == notifications.end() ? 0 : found->second;
}

}  // namespace testsupport
