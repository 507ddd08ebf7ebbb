// A top-level window to put controls on, keeping count of the notifications they send it.
#pragma once
#include <windows.h>

#include <map>
#include <utility>

#include "framework/wnd.h"

namespace testsupport {

// Registers the common control classes (list view, progress bar...); true when that worked.
bool InitCommonControlsForTests();
// Every test that includes this header gets them before its first test runs.
inline const bool kCommonControlsReady = InitCommonControlsForTests();

class ParentWindow : public framework::CWnd {
 public:
  explicit ParentWindow(bool visible = true, RECT rect = RECT{100, 100, 500, 400});
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // How many WM_COMMAND notifications `code` control `id` has sent.
  int Count(int id, int code) const;
  std::map<std::pair<int, int>, int> notifications;
};

}  // namespace testsupport
