// The update window. For now only its modal run, which ends at once without a window.
#pragma once
#include <windows.h>

class CProjectData;

class CTalvoUpdateDlg {
 public:
  CTalvoUpdateDlg() = default;
  CTalvoUpdateDlg(const CTalvoUpdateDlg&) = delete;
  CTalvoUpdateDlg& operator=(const CTalvoUpdateDlg&) = delete;

  // Runs the window modally; returns when it closes. While the window exists it is the
  // application's main window (framework::CWinApp::m_hMainWnd), the owner of message boxes.
  INT_PTR DoModal();

  CProjectData* m_pProjectData = nullptr;  // the run's catalogue, owned by the application
};
