// The window base: one window procedure for every window that has an object, the object found
// from the HWND through a window property (GWLP_USERDATA stays free for the window's own users).
//
// An object meets its window in one of three ways:
//   - a window of a class registered here (RegisterWndClass): bound at WM_NCCREATE;
//   - a dialog (CDialog): bound at WM_INITDIALOG;
//   - an existing window of another class (a dialog item, a window created through its system
//     class such as "BUTTON"): bound by subclassing (SubclassWindow / SubclassDlgItem / Create).
// The binding ends at WM_NCDESTROY, or earlier with UnsubclassWindow.
//
// Reflection: WM_COMMAND (from a control), WM_DRAWITEM, WM_NOTIFY and WM_CTLCOLOR* that reach a
// window with an object are first offered to the sending child's object (OnChildNotify); only when
// the child declines does the parent's WindowProc see them. So a control keeps its own logic.
#pragma once
#include <windows.h>

#include <string>

namespace framework {

class CWnd {
 public:
  CWnd() = default;
  // Unbinds the object; a window this object created is destroyed, a subclassed one is given
  // back its procedure and lives on.
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }

  // The object bound to `hWnd`, or null.
  static CWnd* FromHandlePermanent(HWND hWnd);

  // Binds the object to an existing window without taking over its messages (no subclassing).
  void Attach(HWND hWnd) { m_hWnd = hWnd; }
  HWND Detach();

  // Takes over the window's messages; runs PreSubclassWindow first. FALSE when the window is
  // missing or already bound to an object.
  BOOL SubclassWindow(HWND hWnd);
  BOOL SubclassDlgItem(UINT id, CWnd* pParent);
  // Gives the window its procedure back (only when nobody subclassed it after us) and unbinds.
  HWND UnsubclassWindow();

  // Creates a window. For a class registered with RegisterWndClass the object is bound from
  // WM_NCCREATE on; for any other class (a system control) right after creation, by subclassing.
  BOOL CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                const RECT& rect, HWND hParent, UINT id);
  BOOL Create(const char* className, const char* windowName, DWORD style, const RECT& rect,
              CWnd* pParent, UINT id);
  BOOL DestroyWindow();

  // The window's messages. Overrides switch on the message and call the base (or Default()) for
  // what they leave alone.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The processing the window had before this object: the class's or the previous subclass's
  // procedure, for the message being handled now.
  LRESULT Default();
  // A reflected notification from this object's own window (see above). TRUE with *pResult set
  // when handled; FALSE lets the parent handle it.
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  // The attach hook: runs once when an existing window is bound (subclassing), before it is shown
  // by the framework. Style changes belong here.
  virtual void PreSubclassWindow() {}
  // After WM_NCDESTROY, when the object has let go of the window.
  virtual void PostNcDestroy() {}

  // Thin conveniences over the platform.
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  HWND GetParent() const { return ::GetParent(m_hWnd); }
  DWORD GetStyle() const;
  void ModifyStyle(DWORD remove, DWORD add);
  void SetWindowText(const std::string& text);
  std::string GetWindowText() const;
  BOOL ShowWindow(int cmd) const { return ::ShowWindow(m_hWnd, cmd); }
  BOOL EnableWindow(BOOL enable) const { return ::EnableWindow(m_hWnd, enable); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  void Invalidate(BOOL erase = TRUE) const { ::InvalidateRect(m_hWnd, nullptr, erase); }
  RECT GetClientRect() const;
  RECT GetWindowRect() const;
  HWND SetFocus() const { return ::SetFocus(m_hWnd); }
  UINT_PTR SetTimer(UINT_PTR id, UINT elapse) const { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
  BOOL KillTimer(UINT_PTR id) const { return ::KillTimer(m_hWnd, id); }

  // The one window procedure of every window class registered here.
  static LRESULT CALLBACK WndProcThunk(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  // The procedure Default() hands messages to: DefWindowProcA for registered classes, the
  // previous procedure for subclassed windows.
  WNDPROC m_pfnSuper = nullptr;
  // Set when this object created the window (it destroys it in the destructor).
  bool m_bCreatedHere = false;

 private:
  friend class CDialog;
  void BindHandle(HWND hWnd);
  void UnbindHandle();
  LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  static BOOL ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

  struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  CurrentMessage m_current{};
  bool m_bSubclassed = false;
};

// Registers (once) a window class whose procedure is CWnd::WndProcThunk and returns its name.
// Windows of such a class get their object bound at WM_NCCREATE.
const char* RegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                                HICON icon = nullptr);
// The plain class for helper windows: double clicks, arrow cursor, no background.
const char* DefaultWndClass();

}  // namespace framework
