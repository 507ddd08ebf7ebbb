// The update window: lists the outdated components, shows the notice and the banner, and on the
// start button (or on a close request while compulsory components are pending) runs one worker
// that downloads, unpacks and installs each selected component in list order.
#pragma once
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/scopedhandle.h"
#include "ui/imageprogressctrl.h"
#include "ui/skinblits.h"
#include "ui/listctrlex.h"
#include "ui/xskinbutton.h"
#include "update/updaterun.h"

class CProjectData;
class CUpdateAppState;
class CUpdateWeb;
struct EtcProject;

class CTalvoUpdateDlg : public framework::CDialog, private IUpdateRunSink {
 public:
  // `app` is what the start-up decided; the window also registers itself there while it runs.
  explicit CTalvoUpdateDlg(CUpdateAppState& app, framework::CWnd* pParent = nullptr);
  // Waits for a worker still running (only possible when the modal loop was cut short).
  ~CTalvoUpdateDlg() override;

  // Runs the window; while it exists it is the application's main window and m_pUpdateDlg.
  // 1 when it closed by itself (run finished, nothing to do, missing package), IDCANCEL when it
  // was closed with nothing compulsory pending.
  INT_PTR DoModal() override;

  // Rows for the outdated standard components and hidden entries for the extra projects not
  // installed yet; entry i of m_arrComponents belongs to entry i of the list's m_rowButtons.
  void FillComponentList();

  // Worker entry; `param` is the dialog. Runs this window's CUpdateRun (update/updaterun), which
  // holds the run's steps, and posts how it ended. Returns 1.
  static UINT UpdateThread(void* param);
  // Starts a run of the compulsory rows only (optional rows are deselected). 1 when it started.
  int StartCompulsoryUpdate();

  CxSkinButton m_btnClose;
  CImageProgressCtrl m_progress;
  CxSkinButton m_btnUpdate;
  CListCtrlEx m_listComponents;
  std::vector<std::unique_ptr<EtcProject>> m_arrComponents;  // text 0 is the version it brings
  CProjectData* m_pProjectData = nullptr;  // the run's catalogue, owned by the application
  int m_nTotal = 0;
  volatile LONG m_bStop = 0;  // a package could not be fetched: no further run
  std::unique_ptr<CUpdateWeb> m_pBanner;
  HICON m_hIcon = nullptr;  // shared resource icon, not destroyed
  framework::CEdit m_editNotice;
  framework::UniqueBitmap m_hScrollBitmap;  // outlives the notice box's skinned bars
  framework::UniqueBitmap m_bmpBackground;

 protected:
  void DoDataExchange() override;
  BOOL OnInitDialog() override;
  BOOL PreTranslateMessage(MSG* pMsg) override;
  void OnOK() override;
  void OnCancel() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // How the worker's run ended, told to the window's thread.
  enum WorkerEnd { kListDone = 0, kPackageMissing = 1 };

  void OnSysCommand(UINT nID);
  void OnPaint();
  void OnClickUpdate();
  void OnClickClose();
  BOOL OnClose();
  void OnTimer(UINT_PTR nIDEvent);
  LRESULT OnCtlColor(UINT message, HDC hDC, HWND hCtl);
  void OnLButtonDown(LPARAM lParam);
  BOOL OnEraseBkgnd(HDC hDC);
  void OnWorkerEnded(WorkerEnd end);

  // The run's sink: each call is posted to this window's thread (the position coalesced to the
  // latest one), so the worker never waits for the window.
  void ShowStatus(RunStatus status) override;
  void ShowCounter(int nDone, int nTotal) override;
  void SetProgressRange(int nUpper) override;
  void ShowProgress(int nPos) override;
  void ShowLatestProgress();

  // Takes the selection once, on this thread, and freezes the rows: the run gets exactly these
  // entries (m_nTotal of them) whatever happens to the rows meanwhile.
  void TakeRunSelection();
  // Starts UpdateThread for the entries taken; FALSE when the thread could not start.
  BOOL StartWorker();
  // The run stopped at an entry: says so (which component, and why where known) as the missing
  // package does.
  void ReportStoppedRun(const RunOutcome& outcome);
  // Blanks, hides, sets and shows the item, so the transparent label repaints cleanly.
  void SetStatusText(int nID, const std::string& strText);
  void DeleteEntries();
  void WaitForWorker();
  void Unregister();

  CUpdateAppState& m_app;
  framework::UniqueHandle m_hWorker;  // the one worker of this window, until it has ended
  bool m_bRunStarted = false;         // a run was started: the window closes by itself
  std::vector<std::string> m_arrEntryLabels;  // per entry, what the user knows it by
  std::unique_ptr<CUpdateRun> m_pRun;         // made when the run starts; the worker reads only it
  RunOutcome m_outcome;                       // written by the worker before it ends
  std::atomic<int> m_nLatestProgress{0};      // the run's latest position, shown by a timer
  skin::PixelGrid m_backgroundPixels;  // m_bmpBackground's, so most erases are plain copies
  // The worker's end, also when its message to the window was lost (then a close request finds
  // the worker gone and ends the run itself).
  volatile LONG m_nWorkerEnd = kListDone;
};
