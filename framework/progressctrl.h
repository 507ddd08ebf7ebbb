// A progress bar window (the platform's "msctls_progress32") seen through its messages.
// Not owning: the window belongs to its dialog. Skinned bars derive from it; so may test doubles.
#pragma once
#include <windows.h>

namespace framework {

class CProgressCtrl {
 public:
  CProgressCtrl() = default;
  explicit CProgressCtrl(HWND hWnd) : m_hWnd(hWnd) {}
  virtual ~CProgressCtrl() = default;
  CProgressCtrl(const CProgressCtrl&) = delete;
  CProgressCtrl& operator=(const CProgressCtrl&) = delete;

  void Attach(HWND hWnd) { m_hWnd = hWnd; }
  HWND Detach();
  HWND GetSafeHwnd() const { return m_hWnd; }

  virtual void SetRange(int nLower, int nUpper);
  // Sent, not posted: from another thread the call returns once the window's thread has
  // handled it. Returns the previous position.
  virtual int SetPos(int nPos);
  virtual int GetPos() const;

  HWND m_hWnd = nullptr;
};

}  // namespace framework
