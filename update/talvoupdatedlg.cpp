#include "update/talvoupdatedlg.h"

#include <windowsx.h>

#include <cstdio>

#include "catalogue/projectdata.h"
#include "framework/log.h"
#include "framework/resstring.h"
#include "framework/thread.h"
#include "framework/winapp.h"
#include "localstate/filehelpers.h"
#include "resources/resource.h"
#include "ui/skinpaint.h"
#include "ui/skinscrollwnd.h"
#include "update/aboutdlg.h"
#include "update/extraproject.h"
#include "update/updateappstate.h"
#include "update/updateweb.h"

namespace {

// The worker's last word to the window's thread: wParam is how its run ended.
constexpr UINT WM_UPDATE_WORKER_ENDED = WM_APP + 0x109;
// The run's status (wParam: RunStatus) and counter (wParam of lParam), posted by the worker.
constexpr UINT WM_UPDATE_RUN_STATUS = WM_APP + 0x10A;
constexpr UINT WM_UPDATE_RUN_COUNTER = WM_APP + 0x10B;
// Positions come hundreds of times a second while bytes arrive, and each message between the
// threads costs the transfer a trip through the system. The run only stores its latest position;
// this window's timer shows it while the run goes on, and once more at its end. The pace keeps
// the bar moving at least every 50 ms also where timers fire on the system clock's steps of about
// 15.6 ms (45 ms is 46.8 ms there, 50 would be 62.4), and above the bar's own repaint limit, so
// that no paint waits for the bar's catch-up timer.
constexpr UINT_PTR kProgressTimer = 1010;
constexpr UINT kProgressPaceMs = 45;
static_assert(kProgressPaceMs > CImageProgressCtrl::kMoveRepaintMs, "the bar would hold the window's paints back");
constexpr UINT_PTR kCloseTimer = 1009;
constexpr UINT kCloseDelay = 500;
constexpr int kTitleBandHeight = 24;
const char kStatusDownloading[] = "업데이트 파일을 다운로드 합니다.";
const char kStatusExtracting[] = "업데이트 파일의 압축을 해제합니다.";
const char kStatusInstalling[] = "파일을 해당 폴더에 설치합니다.";
const char kStatusDone[] = "업데이트가 완료되었습니다.";
const char kPackageMissingText[] = "서버에서 파일을 찾을 수 없습니다.";
const char kStatusFailed[] = "업데이트를 완료하지 못했습니다.";
const char kInstallFailedText[] = "설치하지 못했습니다.";
const char kFileBlockedText[] = "다음 파일을 바꿀 수 없습니다:";
const char kFileHeldByText[] = "사용 중인 프로그램:";
const char kNoRoomText[] = "디스크 공간이 부족합니다. 필요한 공간(KB):";
// Posting the worker's last word is retried for this long before the window is left to find
// the worker gone by itself.
constexpr int kEndPostAttempts = 100;
constexpr DWORD kEndPostPauseMs = 20;

// Why an entry's install step failed, for the user.
std::string DescribeInstallFailure(const InstallStepResult& result) {
  if (!result.strBlockedFile.empty()) {
    std::string strText = std::string(kFileBlockedText) + "\n" + result.strBlockedFile;
    if (!result.strHolders.empty()) strText += "\n" + std::string(kFileHeldByText) + " " + result.strHolders;
    return strText;
  }
  if (result.nSpaceNeededKB != 0)
    return std::string(kNoRoomText) + " " + std::to_string(result.nSpaceNeededKB) + " (" + result.strVolume + ")";
  return result.strFailure.empty() ? std::string(kInstallFailedText) : result.strFailure;
}

const char* StatusText(RunStatus status) {
  switch (status) {
    case RunStatus::kDownloading: return kStatusDownloading;
    case RunStatus::kExtracting: return kStatusExtracting;
    case RunStatus::kInstalling: return kStatusInstalling;
    case RunStatus::kDone: return kStatusDone;
    case RunStatus::kFailed: return kStatusFailed;
  }
  return "";
}

// The background bitmap is drawn for the template laid out with the base units of "굴림" 9 pt.
constexpr int kDesignBaseX = 7;
constexpr int kDesignBaseY = 12;

// The dialog units that the dialog manager turned into `pixels` with MulDiv(units, base, div).
// The base units here are larger than the divisors, so the mapping is one to one.
int DialogUnitsFor(int pixels, int base, int div) {
  const int guess = pixels * div / base;
  for (int units = guess - 2; units <= guess + 2; ++units)
    if (::MulDiv(units, base, div) == pixels) return units;
  return guess;
}

int Remap(int pixels, int base, int designBase, int div) {
  return ::MulDiv(DialogUnitsFor(pixels, base, div), designBase, div);
}

// Where the font that stands in for "굴림" has other metrics (another system, another font),
// the dialog manager scales the template differently and the controls would miss the panels of
// the background. Lay the window and its controls out again with the design's base units.
void PlaceAtDesignBaseUnits(HWND hDlg) {
  RECT rcUnits = {0, 0, 4, 8};
  if (!::MapDialogRect(hDlg, &rcUnits)) return;
  const int bx = rcUnits.right, by = rcUnits.bottom;
  if ((bx == kDesignBaseX && by == kDesignBaseY) || bx < 4 || by < 8) return;
  for (HWND hChild = ::GetWindow(hDlg, GW_CHILD); hChild; hChild = ::GetWindow(hChild, GW_HWNDNEXT)) {
    RECT rc = {};
    ::GetWindowRect(hChild, &rc);
    ::MapWindowPoints(HWND_DESKTOP, hDlg, reinterpret_cast<POINT*>(&rc), 2);
    ::SetWindowPos(hChild, nullptr, Remap(rc.left, bx, kDesignBaseX, 4), Remap(rc.top, by, kDesignBaseY, 8),
                   Remap(rc.right - rc.left, bx, kDesignBaseX, 4), Remap(rc.bottom - rc.top, by, kDesignBaseY, 8),
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT rcClient = {};
  ::GetClientRect(hDlg, &rcClient);
  ::SetWindowPos(hDlg, nullptr, 0, 0, Remap(rcClient.right, bx, kDesignBaseX, 4),
                 Remap(rcClient.bottom, by, kDesignBaseY, 8), SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}


}  // namespace

CTalvoUpdateDlg::CTalvoUpdateDlg(CUpdateAppState& app, framework::CWnd* pParent)
    : framework::CDialog(IDD_TALVOUPDATE_DIALOG, pParent),
      m_pBanner(std::make_unique<CUpdateWeb>()),
      m_app(app) {
  m_hIcon = ::LoadIconA(framework::GetResourceHandle(), MAKEINTRESOURCEA(IDI_TALVOUPDATE));
}

CTalvoUpdateDlg::~CTalvoUpdateDlg() {
  WaitForWorker();
  Unregister();
}

INT_PTR CTalvoUpdateDlg::DoModal() {
  const INT_PTR nResult = framework::CDialog::DoModal();
  // Every way out of the loop that the window takes itself joins the worker first; this covers
  // a loop cut short from outside (WM_QUIT).
  WaitForWorker();
  Unregister();
  DeleteEntries();
  return nResult;
}

void CTalvoUpdateDlg::DoDataExchange() {
  DDX_Control(IDC_CLOSE_BUTTON, m_btnClose);
  DDX_Control(IDC_PROGRESS, m_progress);
  DDX_Control(IDC_START, m_btnUpdate);
  DDX_Control(IDC_COMPONENT_LIST, m_listComponents);
  DDX_Control(IDC_NOTICE, m_editNotice);
}

BOOL CTalvoUpdateDlg::OnInitDialog() {
  framework::CDialog::OnInitDialog();
  PlaceAtDesignBaseUnits(m_hWnd);

  const std::string strAboutMenu = framework::LoadResString(IDS_ABOUTBOX);
  if (HMENU hSysMenu = ::GetSystemMenu(m_hWnd, FALSE); hSysMenu && !strAboutMenu.empty()) {
    ::AppendMenuA(hSysMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(hSysMenu, MF_STRING, IDM_ABOUTBOX, strAboutMenu.c_str());
  }

  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  // The list control reaches the start button through the application; message boxes are
  // owned by this window while it exists.
  m_app.m_pUpdateDlg = this;
  if (framework::CWinApp* pApp = framework::GetApp()) pApp->m_hMainWnd = m_hWnd;

  m_progress.SetRange(0, 100);
  m_progress.SetPos(0);
  m_progress.SetStep(1);
  m_progress.SetBkBitmap(3, IDB_PROGRESS_BACKGROUND);

  m_btnClose.LoadFaces(IDB_CLOSE_NORMAL, IDB_CLOSE_PRESSED, IDB_CLOSE_HOVER, IDB_CLOSE_NORMAL, 0, 0, 0, 0, 0);
  m_btnClose.ShowWindow(SW_HIDE);
  m_btnUpdate.LoadFaces(IDB_START_UPDATE_NORMAL, IDB_START_UPDATE_PRESSED, IDB_START_UPDATE_HOVER,
                        IDB_START_UPDATE_NORMAL, 0, 0, 0, 0, 0);

  FillComponentList();

  ::SetDlgItemTextA(m_hWnd, IDC_STATUS, kStatusDownloading);

  if (m_pBanner->Create(IDD_UPDATEWEB, this)) {
    const RECT rc = GetClientRect();
    ::SetWindowPos(m_pBanner->m_hWnd, nullptr, rc.left + 10, rc.bottom - 70, 480, 60, SWP_NOZORDER);
    m_pBanner->ShowWindow(SW_SHOW);
  }

  m_hScrollBitmap.Reset(framework::LoadResBitmap(IDB_SCROLL_SKIN));
  AttachSkinScroll(m_editNotice.m_hWnd, static_cast<HBITMAP>(m_hScrollBitmap.Get()));

  if (m_pProjectData) m_editNotice.SetWindowText(m_pProjectData->GetNotice());
  m_editNotice.SetMargins(5, 3);

  m_bmpBackground.Reset(framework::LoadResBitmap(IDB_BACKGROUND));
  m_backgroundPixels = skin::ReadPixels(static_cast<HBITMAP>(m_bmpBackground.Get()));
  BITMAP bm = {};
  if (m_bmpBackground && ::GetObjectA(m_bmpBackground.Get(), sizeof bm, &bm)) {
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, bm.bmWidth, bm.bmHeight, SWP_NOZORDER);
    // The banner strip keeps to the bottom of the window at its final size.
    if (m_pBanner->m_hWnd) {
      const RECT rc = GetClientRect();
      ::SetWindowPos(m_pBanner->m_hWnd, nullptr, rc.left + 10, rc.bottom - 70, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
    }
  } else {
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
  }

  framework::WriteLog("Update dialog run\n");
  return TRUE;
}

void CTalvoUpdateDlg::FillComponentList() {
  if (!m_pProjectData) return;
  const CProjectData& data = *m_pProjectData;
  const bool bXP = SelectsXPBuild(m_app.m_nOSType);
  for (const ComponentKindRow& kind : StandardComponentKinds()) {
    if (!m_app.IsOutdated(kind)) continue;
    const std::string strLabel = kind.szLabel + kind.VersionIn(data, bXP);
    m_listComponents.AddItem(strLabel, kind.nImage, kind.CompulsionIn(data, bXP) != "0", TRUE);
    m_arrEntryLabels.push_back(strLabel);
    auto pEntry = std::make_unique<EtcProject>();
    pEntry->m_strDownloadUrl = kind.UrlIn(data, bXP);
    pEntry->m_DownloadPin = kind.PinIn(data, bXP);
    pEntry->m_strName = kind.VersionIn(data, bXP);
    pEntry->m_nKind = kind.nKind;
    m_arrComponents.push_back(std::move(pEntry));
  }

  // Extra projects leave the catalogue here: the ones not installed become this window's
  // entries, the installed ones are dropped.
  auto& projects = m_pProjectData->m_arrEtcProject;
  for (auto it = projects.begin(); it != projects.end(); it = projects.erase(it)) {
    if (IsExtraProjectInstalled(**it)) continue;
    m_listComponents.AddHiddenItem();
    m_arrEntryLabels.push_back((*it)->m_strName);
    (*it)->m_nKind = KIND_EXTRA_PROJECT;
    m_arrComponents.push_back(std::move(*it));
  }
}

BOOL CTalvoUpdateDlg::PreTranslateMessage(MSG* pMsg) {
  const bool bKeyMessage = pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST;
  if (bKeyMessage && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE)) {
    // Never to the dialog manager, which would end the window with IDOK or IDCANCEL.
    if (const HWND hFocus = ::GetFocus())
      ::SendMessageA(hFocus, pMsg->message, pMsg->wParam, pMsg->lParam);
    return TRUE;
  }
  if (pMsg->message == WM_KEYDOWN && m_editNotice.m_hWnd && pMsg->hwnd == m_editNotice.m_hWnd)
    return TRUE;  // the notice is read, not edited
  return FALSE;
}

LRESULT CTalvoUpdateDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        OnSysCommand(static_cast<UINT>(wParam));
        return 0;
      }
      break;
    case WM_PAINT:
      if (::IsIconic(m_hWnd)) {
        OnPaint();
        return 0;
      }
      break;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<LRESULT>(m_hIcon);
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_START) {
        OnClickUpdate();
        return 0;
      }
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_CLOSE_BUTTON) {
        OnClickClose();
        return 0;
      }
      break;
    case WM_CLOSE:
      if (OnClose()) return 0;
      break;
    case WM_TIMER:
      OnTimer(wParam);
      break;
    case WM_CTLCOLORSTATIC:
      return OnCtlColor(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_LBUTTONDOWN:
      OnLButtonDown(lParam);
      break;
    case WM_ERASEBKGND:
      if (OnEraseBkgnd(reinterpret_cast<HDC>(wParam))) return TRUE;
      break;
    case WM_UPDATE_RUN_STATUS:
      SetStatusText(IDC_STATUS, StatusText(static_cast<RunStatus>(wParam)));
      framework::WriteLog("Update status %u\n", static_cast<unsigned>(wParam));
      return 0;
    case WM_UPDATE_RUN_COUNTER: {
      char szCounter[32];
      std::snprintf(szCounter, sizeof szCounter, "%d/%d", static_cast<int>(wParam), static_cast<int>(lParam));
      SetStatusText(IDC_COUNTER, szCounter);
      framework::WriteLog("Update counter %s\n", szCounter);
      return 0;
    }
    case WM_UPDATE_WORKER_ENDED:
      OnWorkerEnded(static_cast<WorkerEnd>(wParam));
      return 0;
    case WM_DESTROY:
      Unregister();
      break;
    default:
      break;
  }
  return framework::CDialog::WindowProc(message, wParam, lParam);
}

void CTalvoUpdateDlg::OnOK() {}

void CTalvoUpdateDlg::OnCancel() {
  // Only a close request with nothing compulsory pending gets here; a run ends the window itself.
  if (m_bRunStarted) return;
  framework::CDialog::OnCancel();
}

void CTalvoUpdateDlg::OnSysCommand(UINT) {
  CAboutDlg about;
  about.DoModal();
}

void CTalvoUpdateDlg::OnPaint() {
  framework::ScopedPaintDC dc(m_hWnd);
  const RECT rc = GetClientRect();
  const int cxIcon = ::GetSystemMetrics(SM_CXICON);
  const int cyIcon = ::GetSystemMetrics(SM_CYICON);
  ::DrawIcon(dc.Get(), (rc.right - rc.left - cxIcon + 1) / 2, (rc.bottom - rc.top - cyIcon + 1) / 2, m_hIcon);
}

void CTalvoUpdateDlg::TakeRunSelection() {
  std::vector<RunEntry> entries;
  const auto& rows = m_listComponents.m_rowButtons;
  for (size_t i = 0; i < rows.size() && i < m_arrComponents.size(); ++i) {
    if (m_bStop || !(rows[i]->m_nRowChecked || rows[i]->m_nRowLocked)) continue;
    const EtcProject& component = *m_arrComponents[i];
    RunEntry entry;
    entry.strLabel = i < m_arrEntryLabels.size() ? m_arrEntryLabels[i] : component.m_strName;
    entry.nKind = component.m_nKind;
    entry.strVersion = component.m_strName;
    entry.strUrl = component.m_strDownloadUrl;
    entry.pin = component.m_DownloadPin;
    entry.strProgram = component.m_strExe;
    entries.push_back(std::move(entry));
  }
  m_nTotal = static_cast<int>(entries.size());
  m_listComponents.FreezeEntries();
  RunSettings settings;
  settings.strStagingFolder = GetStagingFolder();
  settings.strPartialFolder = GetPartialFolder();
  settings.bCheckPackages = m_app.m_bCheckPackages != FALSE;
  settings.bUpdateProgram = m_app.m_bUpdateProgram == 1;
  settings.pOptionBackup = &m_app.m_bOptionBackup;
  settings.downloadTimings = m_app.m_downloadTimings;
  m_pRun.reset();
  if (m_pProjectData) m_pRun = std::make_unique<CUpdateRun>(*m_pProjectData, std::move(entries), settings,
                                        static_cast<IUpdateRunSink&>(*this));
}

void CTalvoUpdateDlg::OnClickUpdate() {
  m_btnUpdate.EnableWindow(FALSE);
  if (m_bRunStarted) return;
  TakeRunSelection();
  if (m_nTotal > 0 && m_pRun) {
    m_progress.SetBarBitmap(3, IDB_PROGRESS_BLOCK);
    StartWorker();
  } else {
    SetTimer(kCloseTimer, kCloseDelay);
  }
}

int CTalvoUpdateDlg::StartCompulsoryUpdate() {
  if (m_bRunStarted) return 0;
  m_nTotal = 0;
  const auto& rows = m_listComponents.m_rowButtons;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i]->m_nRowLocked == 0 || m_bStop)
      m_listComponents.SetEntryChecked(i, FALSE);  // shown deselected too
    else
      ++m_nTotal;
  }
  if (m_nTotal <= 0) return 0;
  TakeRunSelection();
  if (!m_pRun) return 0;
  m_progress.SetBarBitmap(3, IDB_PROGRESS_BLOCK);
  // The start button would start the same run again.
  m_btnUpdate.EnableWindow(FALSE);
  StartWorker();
  return 1;
}

void CTalvoUpdateDlg::OnClickClose() {
  if (m_bRunStarted) return;
  if (!StartCompulsoryUpdate()) SetTimer(kCloseTimer, kCloseDelay);
}

BOOL CTalvoUpdateDlg::OnClose() {
  // While a run is under way (or its window is about to close) a close request is dropped:
  // one worker per window, and the window ends by itself when the run is over. A worker that has
  // ended without its last word arriving is taken as ended here.
  if (m_bRunStarted) {
    if (m_hWorker && ::WaitForSingleObject(m_hWorker.Get(), 0) == WAIT_OBJECT_0)
      OnWorkerEnded(static_cast<WorkerEnd>(m_nWorkerEnd));
    return TRUE;
  }
  if (StartCompulsoryUpdate()) return TRUE;
  DeleteEntries();
  return FALSE;
}

void CTalvoUpdateDlg::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == kProgressTimer) {
    ShowLatestProgress();
    return;
  }
  if (nIDEvent != kCloseTimer) return;
  KillTimer(kCloseTimer);
  DeleteEntries();
  EndDialog(1);
}

LRESULT CTalvoUpdateDlg::OnCtlColor(UINT, HDC hDC, HWND) {
  ::SetBkMode(hDC, TRANSPARENT);
  return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
}

void CTalvoUpdateDlg::OnLButtonDown(LPARAM lParam) {
  if (GET_Y_LPARAM(lParam) < kTitleBandHeight) PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, lParam);
}

BOOL CTalvoUpdateDlg::OnEraseBkgnd(HDC hDC) {
  BITMAP bm = {};
  if (!m_bmpBackground || !::GetObjectA(m_bmpBackground.Get(), sizeof bm, &bm)) return FALSE;
  // Magenta pixels are where the desktop shows. A status line hidden or a row repainted erases
  // only its own strip, which mostly holds no magenta at all.
  const skin::Blits blits =
      skin::StretchBlits(skin::FromRECT(GetClientRect()), skin::Rect{0, 0, bm.bmWidth, bm.bmHeight});
  return skin::PaintBlitsKeyed(hDC, static_cast<HBITMAP>(m_bmpBackground.Get()), m_backgroundPixels, blits,
                               RGB(0xFF, 0x00, 0xFF));
}

BOOL CTalvoUpdateDlg::StartWorker() {
  m_bRunStarted = true;
  SetTimer(kProgressTimer, kProgressPaceMs);
  m_hWorker = framework::BeginThread(&CTalvoUpdateDlg::UpdateThread, this);
  if (m_hWorker) return TRUE;
  framework::WriteLog("Update worker not started: %lu\n", ::GetLastError());
  SetTimer(kCloseTimer, kCloseDelay);
  return FALSE;
}

void CTalvoUpdateDlg::OnWorkerEnded(WorkerEnd end) {
  // Posted as the worker's last act: the join is short, and only after it are the entries and
  // the window given up.
  WaitForWorker();
  KillTimer(kProgressTimer);
  ShowLatestProgress();
  if (end == kPackageMissing) {
    m_bStop = 1;
    ReportStoppedRun(m_outcome);
    DeleteEntries();
    EndDialog(1);
  } else {
    SetTimer(kCloseTimer, kCloseDelay);
  }
}

UINT CTalvoUpdateDlg::UpdateThread(void* param) {
  auto* pDlg = static_cast<CTalvoUpdateDlg*>(param);
  WorkerEnd end = kListDone;
  try {
    pDlg->m_outcome = pDlg->m_pRun->Run();
    if (pDlg->m_outcome.bStopped) end = kPackageMissing;
  } catch (...) {
    // Run() stops itself on any failure; should anything escape it all the same, the run still
    // ends as a failed one (the box), never as a completed one.
    framework::WriteLog("Update worker stopped by an exception\n");
    pDlg->m_outcome = RunOutcome();
    pDlg->m_outcome.bStopped = true;
    pDlg->m_outcome.nFailedEntry = static_cast<size_t>(-1);
    pDlg->m_outcome.result = EntryResult::kFailedUnexpectedly;
    end = kPackageMissing;
  }
  ::InterlockedExchange(&pDlg->m_nWorkerEnd, end);
  for (int attempt = 0; attempt < kEndPostAttempts; ++attempt) {
    if (::PostMessageA(pDlg->m_hWnd, WM_UPDATE_WORKER_ENDED, static_cast<WPARAM>(end), 0)) return 1;
    ::Sleep(kEndPostPauseMs);
  }
  framework::WriteLog("Update worker's end not posted: %lu\n", ::GetLastError());
  return 1;
}

void CTalvoUpdateDlg::ReportStoppedRun(const RunOutcome& outcome) {
  const std::vector<RunEntry>& entries = m_pRun ? m_pRun->Entries() : std::vector<RunEntry>();
  const std::string strLabel =
      outcome.nFailedEntry < entries.size() ? entries[outcome.nFailedEntry].strLabel : std::string();
  std::string strText;
  if (outcome.result == EntryResult::kNotFetched && !outcome.fetch.bPinMismatch) {
    strText = kPackageMissingText;  // as the server not having it always read
  } else if (outcome.result == EntryResult::kNotInstalled) {
    strText = strLabel + " " + kInstallFailedText + "\n\n" + DescribeInstallFailure(outcome.install);
  } else {
    strText = std::string(kPackageMissingText) + "\n\n" + strLabel;
  }
  framework::AfxMessageBox(strText, MB_OK);
}

void CTalvoUpdateDlg::ShowStatus(RunStatus status) {
  PostMessage(WM_UPDATE_RUN_STATUS, static_cast<WPARAM>(status), 0);
}

void CTalvoUpdateDlg::ShowCounter(int nDone, int nTotal) {
  PostMessage(WM_UPDATE_RUN_COUNTER, static_cast<WPARAM>(nDone), static_cast<LPARAM>(nTotal));
}

void CTalvoUpdateDlg::SetProgressRange(int nUpper) {
  if (m_progress.m_hWnd) ::PostMessageA(m_progress.m_hWnd, PBM_SETRANGE32, 0, static_cast<LPARAM>(nUpper));
}

void CTalvoUpdateDlg::ShowProgress(int nPos) {
  m_nLatestProgress.store(nPos);
}

void CTalvoUpdateDlg::ShowLatestProgress() {
  const int nPos = m_nLatestProgress.load();
  if (m_progress.m_hWnd && m_progress.GetPos() != nPos) m_progress.SetPos(nPos);
}

void CTalvoUpdateDlg::SetStatusText(int nID, const std::string& strText) {
  const HWND hItem = GetDlgItem(nID);
  ::SetWindowTextA(hItem, " ");
  ::ShowWindow(hItem, SW_HIDE);
  ::SetWindowTextA(hItem, strText.c_str());
  ::ShowWindow(hItem, SW_SHOWNORMAL);
}

void CTalvoUpdateDlg::DeleteEntries() { m_arrComponents.clear(); }

void CTalvoUpdateDlg::WaitForWorker() {
  if (!m_hWorker) return;
  // The worker only posts to this thread's windows, so the join needs no pumping.
  ::WaitForSingleObject(m_hWorker.Get(), INFINITE);
  m_hWorker.Reset();
}

void CTalvoUpdateDlg::Unregister() {
  if (m_app.m_pUpdateDlg == this) m_app.m_pUpdateDlg = nullptr;
  framework::CWinApp* pApp = framework::GetApp();
  if (pApp && m_hWnd && pApp->m_hMainWnd == m_hWnd) pApp->m_hMainWnd = nullptr;
}
