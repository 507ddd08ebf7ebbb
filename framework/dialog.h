// Dialogs from resource templates: modal, in the framework's own message loop, or modeless
// (a child page such as the banner). The object is bound to its window at WM_INITDIALOG.
#pragma once
#include <windows.h>

#include "framework/wnd.h"

namespace framework {

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

  // Creates the dialog, disables its owner (the parent, else the application's main window) and
  // runs the message loop until EndDialog. The window is destroyed before this returns.
  // Returns the EndDialog result; -1 when the template cannot be created.
  virtual INT_PTR DoModal();
  // A modeless dialog from `nIDTemplate` (the template given at construction when 0).
  BOOL Create(UINT nIDTemplate, CWnd* pParentWnd);
  // Ends a modal run with `nResult` once the current message has been handled; a modeless
  // dialog is destroyed. Only from the window's own thread.
  void EndDialog(int nResult);

  // The loop offers every message here first; TRUE means handled (IsDialogMessage and the
  // dispatch are skipped).
  virtual BOOL PreTranslateMessage(MSG* pMsg) { return FALSE; }
  // After the controls exist: binds them (DoDataExchange). The result is WM_INITDIALOG's.
  virtual BOOL OnInitDialog();
  // Binds dialog items to control objects with DDX_Control.
  virtual void DoDataExchange() {}
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

 protected:
  // Subclasses item `id` into `control` (the control's attach hook runs).
  BOOL DDX_Control(int id, CWnd& control);

 private:
  static INT_PTR CALLBACK DialogProcThunk(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  bool m_bModalRunning = false;
  INT_PTR m_nModalResult = -1;
};

}  // namespace framework
