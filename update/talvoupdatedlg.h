// The update window. For now its modal run ends at once without a window; the worker's install
// step is in place.
#pragma once
#include <windows.h>

#include <vector>

class CProjectData;
struct EtcProject;

class CTalvoUpdateDlg {
 public:
  CTalvoUpdateDlg() = default;
  CTalvoUpdateDlg(const CTalvoUpdateDlg&) = delete;
  CTalvoUpdateDlg& operator=(const CTalvoUpdateDlg&) = delete;

  // Runs the window modally; returns when it closes. While the window exists it is the
  // application's main window (framework::CWinApp::m_hMainWnd), the owner of message boxes.
  INT_PTR DoModal();

  // The install step of the worker: runs the install script for the component being processed
  // (m_nCurKind, the version of entry m_nCurIndex).
  void OnUpgradeNow();

  std::vector<EtcProject*> m_arrComponents;  // owned; text 0 (m_strName) is the package's version
  CProjectData* m_pProjectData = nullptr;    // the run's catalogue, owned by the application
  int m_nCurKind = 0;
  int m_nCurIndex = 0;
};
