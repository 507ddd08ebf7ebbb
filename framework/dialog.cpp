#include "framework/dialog.h"

#include "framework/winapp.h"

namespace framework {

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

INT_PTR CALLBACK CDialog::DialogProcThunk(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;  // the dialog's subclass sees everything else
  auto* dialog = reinterpret_cast<CDialog*>(lParam);
  if (!dialog || dialog->m_hWnd) return TRUE;
  // From here on every message goes through the common procedure; the dialog class's own
  // procedure (which calls back here and gets FALSE) is the default processing.
  dialog->BindHandle(hWnd);
  dialog->m_pfnSuper = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::WndProcThunk)));
  dialog->m_bSubclassed = true;
  dialog->m_bCreatedHere = true;  // a dialog object still holding its window destroys it
  return static_cast<INT_PTR>(dialog->Dispatch(message, wParam, lParam));
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
  if (m_hWnd) return FALSE;
  if (nIDTemplate) m_nIDTemplate = nIDTemplate;
  m_pParentWnd = pParentWnd;
  const HWND hWnd = ::CreateDialogParamA(GetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate),
                                         pParentWnd ? pParentWnd->m_hWnd : nullptr,
                                         &CDialog::DialogProcThunk, reinterpret_cast<LPARAM>(this));
  return hWnd ? TRUE : FALSE;
}

INT_PTR CDialog::DoModal() {
  if (m_hWnd) return -1;
  HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  if (!owner) {
    CWinApp* app = GetApp();
    owner = app ? app->m_hMainWnd : nullptr;
  }
  m_nModalResult = -1;
  m_bModalRunning = true;
  const HWND hWnd = ::CreateDialogParamA(GetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner,
                                         &CDialog::DialogProcThunk, reinterpret_cast<LPARAM>(this));
  if (!hWnd) {
    m_bModalRunning = false;
    return -1;
  }
  const bool disableOwner = owner && ::IsWindowEnabled(owner);
  if (disableOwner) ::EnableWindow(owner, FALSE);
  if (m_bModalRunning && !(::GetWindowLongA(hWnd, GWL_STYLE) & WS_VISIBLE))
    ::ShowWindow(hWnd, SW_SHOWNORMAL);

  MSG msg;
  while (m_bModalRunning && ::IsWindow(hWnd)) {
    const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {  // WM_QUIT: end the run and leave the quit for the loop outside
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got == -1) break;
    if (PreTranslateMessage(&msg)) continue;
    if (::IsDialogMessageA(hWnd, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  m_bModalRunning = false;

  // Re-enable the owner before the dialog goes, so activation returns to it.
  if (disableOwner) ::EnableWindow(owner, TRUE);
  if (::IsWindow(hWnd)) {
    ::SetWindowPos(hWnd, nullptr, 0, 0, 0, 0,
                   SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    ::DestroyWindow(hWnd);
  }
  return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
  m_nModalResult = nResult;
  if (m_bModalRunning) {
    m_bModalRunning = false;
    if (m_hWnd) ::PostMessageA(m_hWnd, WM_NULL, 0, 0);  // wake the loop
  } else if (m_hWnd) {
    ::DestroyWindow(m_hWnd);
  }
}

BOOL CDialog::OnInitDialog() {
  DoDataExchange();
  return TRUE;
}

BOOL CDialog::DDX_Control(int id, CWnd& control) {
  if (control.m_hWnd) return TRUE;
  return control.SubclassDlgItem(static_cast<UINT>(id), this);
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      // Menus, accelerators and buttons alike: IDOK and IDCANCEL end the dialog.
      if (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == 1) {
        if (LOWORD(wParam) == IDOK) {
          OnOK();
          return 0;
        }
        if (LOWORD(wParam) == IDCANCEL) {
          OnCancel();
          return 0;
        }
      }
      break;
    default:
      break;
  }
  return Default();
}

}  // namespace framework
