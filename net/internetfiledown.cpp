#include "net/internetfiledown.h"

#include <shellapi.h>

#include <algorithm>
#include <new>
#include <utility>

#include "crypto/hex.h"
#include "framework/log.h"
#include "framework/progressctrl.h"
#include "framework/thread.h"
#include "localstate/filehelpers.h"
#include "net/downloadfailure.h"
#include "net/downloadjob.h"
#include "net/downloadworker.h"
#include "net/partialrecord.h"

using framework::CScopedLock;
using framework::WriteLog;

namespace {

// How often a waiting DownloadNow looks for a transfer gone silent; the end of a worker wakes it
// at once.
const DWORD kStallCheckMs = 1000;

// How long a worker that has handed over its result may take to end. Its remaining steps are
// memory releases; the bound only keeps a broken system from hanging its caller.
const DWORD kWorkerEndMs = 10000;

// Removes and returns the head of the list; empty when there is none.
std::string TakeHead(std::list<std::string>& list) {
  if (list.empty()) return std::string();
  std::string head = std::move(list.front());
  list.pop_front();
  return head;
}

}  // namespace

CInternetFileDown::CInternetFileDown() : CInternetFileDown(DownloadTimings()) {}

CInternetFileDown::CInternetFileDown(const DownloadTimings& timings) : m_timings(timings) {
  m_hIdle.Reset(::CreateEventA(nullptr, TRUE, TRUE, nullptr));
}

CInternetFileDown::~CInternetFileDown() {
  // A job still running is cut loose and cancelled, as a text request does at its time-out; its
  // worker ends by itself without touching this object again.
  for (;;) {
    std::shared_ptr<DownloadJob> job;
    {
      CScopedLock lock(m_lock);
      m_bClosing = true;
      job = m_pRunningJob;
    }
    if (!job) break;
    CutLoose(job);
    ClearRunningMark(job.get());
  }
  JoinEndedWorkers();
}

void CInternetFileDown::SetSavePath(std::string strPath) {
  std::string strDestPath = strPath;
  if (strDestPath.empty()) strDestPath = GetStagingFolder();
  CScopedLock lock(m_lock);
  m_strSavePath = strDestPath;
}

std::string CInternetFileDown::GetSavePath() {
  CScopedLock lock(m_lock);
  return m_strSavePath;
}

void CInternetFileDown::SetProgressCtrl(framework::CProgressCtrl* pProgress) {
  CScopedLock lock(m_lock);
  m_pProgress = pProgress;
}

const DownloadFailure* CInternetFileDown::GetLastFailure() {
  CScopedLock lock(m_lock);
  return m_pLastFailure;
}

BOOL CInternetFileDown::GetError() {
  CScopedLock lock(m_lock);
  return m_bError;
}

BOOL CInternetFileDown::IsRunning() {
  GiveUpStalledTransfer();
  CScopedLock lock(m_lock);
  return m_pRunningJob ? TRUE : FALSE;
}

void CInternetFileDown::AddURL(std::string strURL, BOOL bClear) {
  CScopedLock lock(m_lock);
  if (bClear) m_listURL.clear();
  m_listURL.push_back(strURL);
}

BOOL CInternetFileDown::DownloadNow(std::string strURL, BOOL bExecute, BOOL bWait) {
  if (!strURL.empty()) AddURL(strURL, TRUE);
  DownloadNext(bExecute);
  if (bWait) {
    const DWORD dwCheckMs = std::min<DWORD>(kStallCheckMs, m_timings.fileIdleLimitMs);
    while (IsRunning()) {
      if (m_hIdle) {
        ::WaitForSingleObject(m_hIdle.Get(), dwCheckMs);
      } else {
        ::Sleep(10);
      }
    }
    JoinEndedWorkers();
  }
  WriteLog("DownloadNow Success\n");
  return TRUE;
}

void CInternetFileDown::DownloadNext(BOOL bExecute) {
  CScopedLock lock(m_lock);
  DownloadNextLocked(bExecute);
}

void CInternetFileDown::DownloadNextLocked(BOOL bExecute) {
  std::shared_ptr<DownloadJob> job;
  try {
    job = std::make_shared<DownloadJob>();
    job->m_strURL = TakeHead(m_listURL);
    job->m_strLocalPath = m_strSavePath;
  } catch (const std::bad_alloc&) {
    m_bError = TRUE;
    return;
  }
  job->m_bExecute = bExecute;
  job->m_bPinnedSize = m_bPinnedSize;
  job->m_nMaxBody = m_bPinnedSize ? m_nPinnedSize : m_timings.maxUnpinnedBodyBytes;
  job->m_dwPaceWindowMs = m_timings.paceWindowMs;
  job->m_nMinBytesPerWindow = m_timings.minBytesPerWindow;
  job->m_nBodyAttempts = m_timings.bodyAttempts ? m_timings.bodyAttempts : 1;
  job->m_dwFirstRetryPauseMs = m_timings.firstRetryPauseMs;
  if (m_bHashBodies) job->m_pHasher.reset(new (std::nothrow) crypto::CSha256Hasher());
  if (m_bPinnedSize && job->m_pHasher && !m_strPartialFolder.empty()) {
    job->m_strPartialFolder = m_strPartialFolder;
    job->m_strPinnedSha256 = m_strPinnedSha256;
    job->m_nRecordEveryBytes = m_timings.recordEveryBytes ? m_timings.recordEveryBytes : 1;
  }
  job->SetOwner(this);
  m_listFile.clear();
  m_bHaveDigest = false;
  m_bHaveTransfer = false;
  m_pLastFailure = nullptr;
  if (job->m_strURL.empty()) return;
  if (!StartWorkerLocked(job)) {
    // No thread: the URL stays first in the queue for the next start.
    m_listURL.push_front(job->m_strURL);
    m_bError = TRUE;
    ClearRunningMarkLocked();
  }
}

std::string CInternetFileDown::DownloadToString(std::string strURL, DWORD dwTimeout) {
  return DownloadToStringIfChanged(std::move(strURL), dwTimeout, HttpValidator()).strBody;
}

CInternetFileDown::ConditionalText CInternetFileDown::DownloadToStringIfChanged(std::string strURL, DWORD dwTimeout,
                                                                                const HttpValidator& known) {
  ConditionalText answer;
  std::shared_ptr<DownloadJob> job;
  try {
    job = std::make_shared<DownloadJob>();
    job->m_strURL = strURL;
    job->m_known = known;
  } catch (const std::bad_alloc&) {
    return answer;
  }
  job->m_bExecute = FALSE;
  job->m_hEvent.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!job->m_hEvent) return answer;
  job->SetOwner(this);
  bool bStarted = false;
  {
    CScopedLock lock(m_lock);
    m_listFile.clear();
    bStarted = strURL.empty() || StartWorkerLocked(job);
  }
  if (!bStarted) {
    job->DetachOwner();
    return answer;
  }
  if (::WaitForSingleObject(job->m_hEvent.Get(), dwTimeout) == WAIT_OBJECT_0) {
    // The worker signals only a job that completed; it touches the job no more afterwards.
    if (job->m_bNotModified) {
      answer.outcome = ConditionalText::kNotModified;
    } else {
      answer.outcome = ConditionalText::kBody;
      answer.strBody = std::move(job->m_strResult);
      answer.validator = job->m_answer;
    }
    JoinEndedWorkers();
  } else {
    CutLoose(job);
    ClearRunningMark(job.get());
  }
  return answer;
}

std::string CInternetFileDown::GetNextURL() {
  CScopedLock lock(m_lock);
  return TakeHead(m_listURL);
}

std::string CInternetFileDown::GetFinishedFile() {
  CScopedLock lock(m_lock);
  return TakeHead(m_listFile);
}

void CInternetFileDown::FinishJob(std::string strLocalPath, BOOL bExecute) {
  {
    CScopedLock lock(m_lock);
    m_listFile.push_back(strLocalPath);
  }
  if (bExecute) ::ShellExecuteA(nullptr, "open", strLocalPath.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  WriteLog("FinishJob\n");
  // Both under one lock, so a caller waiting for the end cannot look in between and miss the
  // next queued job.
  CScopedLock lock(m_lock);
  ClearRunningMarkLocked();
  if (!m_listURL.empty() && !m_bClosing) DownloadNextLocked(FALSE);
}

void CInternetFileDown::SetHashBodies(BOOL bHash) {
  CScopedLock lock(m_lock);
  m_bHashBodies = bHash;
}

void CInternetFileDown::SetPinnedSize(unsigned long long nSize) {
  CScopedLock lock(m_lock);
  m_bPinnedSize = true;
  m_nPinnedSize = nSize;
}

void CInternetFileDown::SetKeepPartial(std::string strFolder, const crypto::Sha256Digest& pinnedDigest) {
  CScopedLock lock(m_lock);
  m_strPartialFolder = std::move(strFolder);
  m_strPinnedSha256 = crypto::EncodeHex(pinnedDigest.data(), pinnedDigest.size());
}

void CInternetFileDown::RemoveOtherPartials(const std::string& strFolder,
                                            const std::vector<crypto::Sha256Digest>& keep) {
  std::vector<std::string> keepHex;
  for (const crypto::Sha256Digest& digest : keep) keepHex.push_back(crypto::EncodeHex(digest.data(), digest.size()));
  WIN32_FIND_DATAA found;
  framework::UniqueFindHandle search(::FindFirstFileA((strFolder + "*").c_str(), &found));
  if (!search) return;
  std::vector<std::string> stale;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string name = found.cFileName;
    const std::string pin = PinOfPartialName(name);
    // Anything else in the folder (a record being replaced when a run ended) is stale as well.
    if (pin.empty() || std::find(keepHex.begin(), keepHex.end(), pin) == keepHex.end()) stale.push_back(name);
  } while (::FindNextFileA(search.Get(), &found));
  for (const std::string& name : stale) {
    ::SetFileAttributesA((strFolder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (::DeleteFileA((strFolder + name).c_str())) WriteLog("Removed the stale partial download %s\n", name.c_str());
  }
}

BOOL CInternetFileDown::GetFinishedDigest(crypto::Sha256Digest& digest, unsigned long long& nSize) {
  CScopedLock lock(m_lock);
  if (!m_bHaveDigest) return FALSE;
  digest = m_finishedDigest;
  nSize = m_nFinishedSize;
  return TRUE;
}

BOOL CInternetFileDown::GetFinishedTransfer(DownloadTransfer& transfer) {
  CScopedLock lock(m_lock);
  if (!m_bHaveTransfer) return FALSE;
  transfer = m_finishedTransfer;
  return TRUE;
}

void CInternetFileDown::RecordTransfer(const DownloadTransfer& transfer) {
  CScopedLock lock(m_lock);
  m_finishedTransfer = transfer;
  m_bHaveTransfer = true;
}

void CInternetFileDown::RecordDigest(const crypto::Sha256Digest& digest, unsigned long long nSize) {
  CScopedLock lock(m_lock);
  m_finishedDigest = digest;
  m_nFinishedSize = nSize;
  m_bHaveDigest = true;
}

void CInternetFileDown::ReLoadFile(std::string strURL) {
  {
    CScopedLock lock(m_lock);
    m_listURL.push_back(strURL);
  }
  WriteLog("ReLoadFile\n");
  CScopedLock lock(m_lock);
  ClearRunningMarkLocked();
}

void CInternetFileDown::SetProgress(int nPos) {
  framework::CProgressCtrl* pProgress;
  {
    CScopedLock lock(m_lock);
    pProgress = m_pProgress;
  }
  // Not under the lock, and without waiting for the bar's thread, which may be busy or asking
  // IsRunning() meanwhile.
  if (pProgress) pProgress->PostPos(nPos);
}

void CInternetFileDown::SetError(BOOL bError) {
  CScopedLock lock(m_lock);
  m_bError = bError;
}

void CInternetFileDown::ClearRunningMark(const DownloadJob* job) {
  CScopedLock lock(m_lock);
  if (m_pRunningJob.get() == job) ClearRunningMarkLocked();
}

void CInternetFileDown::EndJob(const DownloadJob& job, const DownloadFailure& failure) {
  bool bRequeued;
  {
    CScopedLock lock(m_lock);
    bRequeued = EndJobLocked(job, failure);
  }
  if (bRequeued) WriteLog("ReLoadFile\n");
}

bool CInternetFileDown::EndJobLocked(const DownloadJob& job, const DownloadFailure& failure) {
  if (!job.IsTextMode()) m_pLastFailure = &failure;
  if (failure.bSetError) m_bError = TRUE;
  const bool bRequeue = failure.bRequeue && !job.IsTextMode();
  if (bRequeue) m_listURL.push_back(job.m_strURL);
  if (m_pRunningJob.get() == &job) ClearRunningMarkLocked();
  return bRequeue;
}

void CInternetFileDown::ClearRunningMarkLocked() {
  m_pRunningJob.reset();
  if (m_hIdle) ::SetEvent(m_hIdle.Get());
}

bool CInternetFileDown::StartWorkerLocked(const std::shared_ptr<DownloadJob>& job) {
  auto* param = new (std::nothrow) std::shared_ptr<DownloadJob>(job);
  if (!param) return false;
  framework::UniqueHandle thread = framework::BeginThread(&DownloadThread, param);
  if (!thread) {
    delete param;
    return false;
  }
  m_pRunningJob = job;
  if (m_hIdle) ::ResetEvent(m_hIdle.Get());
  try {
    m_workers.emplace_back(job.get(), std::move(thread));
  } catch (const std::bad_alloc&) {
    // Not joined then: the worker still ends by itself.
  }
  return true;
}

void CInternetFileDown::CutLoose(const std::shared_ptr<DownloadJob>& job) {
  job->DetachOwner();
  job->Cancel();
  ForgetWorker(job.get());
}

void CInternetFileDown::ForgetWorker(const DownloadJob* job) {
  CScopedLock lock(m_lock);
  m_workers.erase(std::remove_if(m_workers.begin(), m_workers.end(),
                                 [job](const auto& worker) { return worker.first == job; }),
                  m_workers.end());
}

void CInternetFileDown::JoinEndedWorkers() {
  std::vector<std::pair<const DownloadJob*, framework::UniqueHandle>> workers;
  {
    CScopedLock lock(m_lock);
    // The running one, if any, is not ended yet.
    for (auto it = m_workers.begin(); it != m_workers.end();) {
      if (m_pRunningJob && it->first == m_pRunningJob.get()) {
        ++it;
      } else {
        workers.push_back(std::move(*it));
        it = m_workers.erase(it);
      }
    }
  }
  for (auto& worker : workers) ::WaitForSingleObject(worker.second.Get(), kWorkerEndMs);
}

void CInternetFileDown::GiveUpStalledTransfer() {
  std::shared_ptr<DownloadJob> job;
  const DownloadFailure* failure = &kReadFailed;
  {
    CScopedLock lock(m_lock);
    if (!m_pRunningJob || m_pRunningJob->IsTextMode()) return;
    const DWORD dwSilent = m_pRunningJob->MillisecondsSinceActivity();
    // The worker checks the pace itself with each piece; one waiting for its next piece is
    // checked here once it has been silent a moment.
    if (dwSilent >= m_timings.fileIdleLimitMs) {
      failure = &kReadFailed;
    } else if (dwSilent >= std::min<DWORD>(kStallCheckMs, m_timings.fileIdleLimitMs) && m_pRunningJob->TooSlow()) {
      failure = &kBodyTooSlow;
    } else {
      return;
    }
    job = m_pRunningJob;
  }
  // A read blocked on a silent connection may return only when the connection ends, so the
  // worker is not waited for.
  CutLoose(job);
  bool bRequeued;
  {
    CScopedLock lock(m_lock);
    // The worker ended the job itself before it was cut loose.
    if (m_pRunningJob != job) return;
    bRequeued = EndJobLocked(*job, *failure);
  }
  WriteLog("%s", failure->szLine);
  if (bRequeued) WriteLog("ReLoadFile\n");
}
