#include "net/internetfiledown.h"

#include <shellapi.h>

#include <new>
#include <utility>

#include "framework/log.h"
#include "localstate/filehelpers.h"
#include "framework/progressctrl.h"
#include "framework/thread.h"
#include "net/downloadjob.h"
#include "net/downloadworker.h"

using framework::WriteLog;

namespace {

class ScopedLock {
 public:
  explicit ScopedLock(CRITICAL_SECTION& cs) : m_cs(cs) { ::EnterCriticalSection(&m_cs); }
  ~ScopedLock() { ::LeaveCriticalSection(&m_cs); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  CRITICAL_SECTION& m_cs;
};

}  // namespace

CInternetFileDown::CInternetFileDown() {
  ::InitializeCriticalSection(&m_lock);
  m_hIdle.Reset(::CreateEventA(nullptr, TRUE, TRUE, nullptr));
}

CInternetFileDown::~CInternetFileDown() {
  // A job still running is cut loose and cancelled, as a text request does at its time-out; its
  // worker ends by itself without touching this object again.
  for (;;) {
    std::shared_ptr<DownloadJob> job;
    {
      ScopedLock lock(m_lock);
      m_bClosing = true;
      job = m_pRunningJob;
    }
    if (!job) break;
    job->DetachOwner();
    job->Cancel();
    ClearRunningMark(job.get());
  }
  ::DeleteCriticalSection(&m_lock);
}

void CInternetFileDown::SetSavePath(std::string strPath) {
  std::string strDestPath = strPath;
  if (strDestPath.empty()) strDestPath = GetStagingFolder();
  ScopedLock lock(m_lock);
  m_strSavePath = strDestPath;
}

std::string CInternetFileDown::GetSavePath() {
  ScopedLock lock(m_lock);
  return m_strSavePath;
}

void CInternetFileDown::SetProgressCtrl(framework::CProgressCtrl* pProgress) {
  ScopedLock lock(m_lock);
  m_pProgress = pProgress;
}

BOOL CInternetFileDown::GetError() {
  ScopedLock lock(m_lock);
  return m_bError;
}

BOOL CInternetFileDown::IsRunning() {
  ScopedLock lock(m_lock);
  return m_pRunningJob ? TRUE : FALSE;
}

void CInternetFileDown::AddURL(std::string strURL, BOOL bClear) {
  ScopedLock lock(m_lock);
  if (bClear) m_listURL.clear();
  m_listURL.push_back(strURL);
}

BOOL CInternetFileDown::DownloadNow(std::string strURL, BOOL bExecute, BOOL bWait) {
  if (!strURL.empty()) AddURL(strURL, TRUE);
  DownloadNext(bExecute);
  if (bWait) {
    while (IsRunning()) {
      if (m_hIdle) {
        ::WaitForSingleObject(m_hIdle.Get(), INFINITE);
      } else {
        ::Sleep(10);
      }
    }
  }
  WriteLog("DownloadNow Success\n");
  return TRUE;
}

void CInternetFileDown::DownloadNext(BOOL bExecute) {
  std::shared_ptr<DownloadJob> job;
  try {
    job = std::make_shared<DownloadJob>();
  } catch (const std::bad_alloc&) {
    SetError(TRUE);
    return;
  }
  ScopedLock lock(m_lock);
  job->m_strURL = GetNextURL();
  job->m_strLocalPath = GetSavePath();
  job->m_bExecute = bExecute;
  job->SetOwner(this);
  m_listFile.clear();
  if (job->m_strURL.empty()) return;
  if (!StartWorker(job)) {
    // No thread: the URL stays first in the queue for the next start.
    m_listURL.push_front(job->m_strURL);
    m_bError = TRUE;
    ClearRunningMarkLocked();
  }
}

std::string CInternetFileDown::DownloadToString(std::string strURL, DWORD dwTimeout) {
  std::string strReturn;
  std::shared_ptr<DownloadJob> job;
  try {
    job = std::make_shared<DownloadJob>();
  } catch (const std::bad_alloc&) {
    return strReturn;
  }
  job->m_strURL = strURL;
  job->m_bExecute = FALSE;
  job->m_hEvent.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!job->m_hEvent) return strReturn;
  job->SetOwner(this);
  {
    ScopedLock lock(m_lock);
    m_listFile.clear();
  }
  if (!strURL.empty() && !StartWorker(job)) {
    job->DetachOwner();
    return strReturn;
  }
  if (::WaitForSingleObject(job->m_hEvent.Get(), dwTimeout) == WAIT_OBJECT_0) {
    strReturn = job->m_strResult;
  } else {
    // Give up on the job without killing its thread: cut it loose from this object, close its
    // connection so a blocked call returns, and let the worker end on its own. The job lives
    // on as long as the worker holds it.
    job->DetachOwner();
    job->Cancel();
    ClearRunningMark(job.get());
  }
  return strReturn;
}

// Removes and returns the head of the list; empty when there is none.
static std::string TakeHead(std::list<std::string>& list) {
  if (list.empty()) return std::string();
  std::string head = std::move(list.front());
  list.pop_front();
  return head;
}

std::string CInternetFileDown::GetNextURL() {
  ScopedLock lock(m_lock);
  return TakeHead(m_listURL);
}

std::string CInternetFileDown::GetFinishedFile() {
  ScopedLock lock(m_lock);
  return TakeHead(m_listFile);
}

void CInternetFileDown::FinishJob(std::string strLocalPath, BOOL bExecute) {
  {
    ScopedLock lock(m_lock);
    m_listFile.push_back(strLocalPath);
  }
  if (bExecute) ::ShellExecuteA(nullptr, "open", strLocalPath.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  WriteLog("FinishJob\n");
  // Both under the lock, so a caller waiting for the end cannot look in between and miss the
  // next queued job.
  ScopedLock lock(m_lock);
  ClearRunningMarkLocked();
  if (!m_listURL.empty() && !m_bClosing) DownloadNext(FALSE);
}

void CInternetFileDown::ReLoadFile(std::string strURL) {
  {
    ScopedLock lock(m_lock);
    m_listURL.push_back(strURL);
  }
  WriteLog("ReLoadFile\n");
  ScopedLock lock(m_lock);
  ClearRunningMarkLocked();
}

void CInternetFileDown::SetProgress(int nPos) {
  framework::CProgressCtrl* pProgress;
  {
    ScopedLock lock(m_lock);
    pProgress = m_pProgress;
  }
  // Not under the lock: the bar's thread may be asking IsRunning() meanwhile.
  if (pProgress) pProgress->SetPos(nPos);
}

void CInternetFileDown::SetError(BOOL bError) {
  ScopedLock lock(m_lock);
  m_bError = bError;
}

void CInternetFileDown::ClearRunningMark(const DownloadJob* job) {
  ScopedLock lock(m_lock);
  if (m_pRunningJob.get() == job) ClearRunningMarkLocked();
}

void CInternetFileDown::ClearRunningMarkLocked() {
  m_pRunningJob.reset();
  if (m_hIdle) ::SetEvent(m_hIdle.Get());
}

bool CInternetFileDown::StartWorker(const std::shared_ptr<DownloadJob>& job) {
  ScopedLock lock(m_lock);
  auto* param = new (std::nothrow) std::shared_ptr<DownloadJob>(job);
  if (!param) return false;
  framework::UniqueHandle thread = framework::AfxBeginThread(&DownloadThread, param);
  if (!thread) {
    delete param;
    return false;
  }
  m_pRunningJob = job;
  if (m_hIdle) ::ResetEvent(m_hIdle.Get());
  return true;
}
