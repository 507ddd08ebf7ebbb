// CInternetFileDown: fetches one HTTP resource at a time on a worker thread of its own, either
// into a file in a download folder (file mode) or into a string for a caller that waits with a
// time-out (text mode). Failures are never shown: they set the error flag, go to WriteLog, and in
// file mode put the URL back into the queue.
#pragma once
#include <windows.h>

#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/scopedhandle.h"
#include "framework/scopedlock.h"
#include "crypto/sha256digest.h"
#include "net/downloadtimings.h"
#include "net/downloadtransfer.h"
#include "net/httpvalidator.h"

namespace framework {
class CProgressCtrl;
}
struct DownloadFailure;
struct DownloadJob;

class CInternetFileDown {
 public:
  CInternetFileDown();
  // Test programs shorten the idle limit of file transfers through this; the product never does.
  explicit CInternetFileDown(const DownloadTimings& timings);
  // Cancels a transfer still running; its worker no longer touches this object afterwards.
  virtual ~CInternetFileDown();
  CInternetFileDown(const CInternetFileDown&) = delete;
  CInternetFileDown& operator=(const CInternetFileDown&) = delete;

  // Empty: the staging folder, the executable's folder followed by "\Update\". Otherwise the
  // path as given; the file name is appended directly, so it ends with a backslash.
  void SetSavePath(std::string strPath);
  std::string GetSavePath();
  // Not owned. Moved from the worker without waiting (CProgressCtrl::PostPos): the bar shows the
  // latest position when its thread handles its messages.
  void SetProgressCtrl(framework::CProgressCtrl* pProgress);
  BOOL GetError();
  // The failure row applied to the last file transfer since the last start (one of the rows in
  // net/downloadfailure.h), or null when none failed.
  const DownloadFailure* GetLastFailure();
  // Whether a worker runs. A file transfer that has received nothing for the idle limit is given
  // up here (and in DownloadNow's wait) as a failed read, without waiting for its worker.
  BOOL IsRunning();

  void AddURL(std::string strURL, BOOL bClear);
  // Queues url (replacing the queue) unless it is empty, starts the head of the queue, and with
  // bWait returns only once no worker runs, chained ones included. Always TRUE.
  BOOL DownloadNow(std::string strURL, BOOL bExecute, BOOL bWait);
  // Starts a file-mode worker on the head of the queue; empties the finished list first.
  void DownloadNext(BOOL bExecute);
  // The body of url, or "" when it did not arrive complete within dwTimeout milliseconds.
  std::string DownloadToString(std::string strURL, DWORD dwTimeout);
  // The same request, made on condition that the body changed since the answer whose validators
  // the caller kept with its copy (none kept: an ordinary request).
  struct ConditionalText {
    enum Outcome { kFailed, kBody, kNotModified } outcome = kFailed;
    std::string strBody;     // kBody: the body
    HttpValidator validator;  // kBody: its validators, those fit to be kept (possibly none)
  };
  ConditionalText DownloadToStringIfChanged(std::string strURL, DWORD dwTimeout, const HttpValidator& known);
  std::string GetNextURL();
  std::string GetFinishedFile();

  // File mode: each body's SHA-256 is computed while it arrives (so checking it costs next to
  // nothing). GetFinishedDigest gives that of the last file finished since the last start; FALSE
  // when none was hashed or the system could not hash it.
  void SetHashBodies(BOOL bHash);
  // File mode: the size the signed document pins for the next bodies. Such a body may not be a
  // byte longer (the first byte past it fails the job and removes the file), and one announced
  // with another Content-Length fails before anything is written. Without a pin a body is bound
  // by DownloadTimings::maxUnpinnedBodyBytes. Every file body also keeps the pace of its timings.
  void SetPinnedSize(unsigned long long nSize);
  BOOL GetFinishedDigest(crypto::Sha256Digest& digest, unsigned long long& nSize);
  // How the last file finished since the last start came; FALSE when none finished.
  BOOL GetFinishedTransfer(DownloadTransfer& transfer);
  // File mode: a pinned body that breaks off (or is given up) is kept in strFolder with a record
  // of how far it got, and the next job for the same pin, in this run or a later one, continues
  // it when the server proves it is the same file. Only the pinned size and SHA-256 over the
  // whole body decide whether what comes out is the package. Needs SetPinnedSize and hashing.
  void SetKeepPartial(std::string strFolder, const crypto::Sha256Digest& pinnedDigest);
  // Removes from strFolder the partial bodies and records of every pin not in keep.
  static void RemoveOtherPartials(const std::string& strFolder, const std::vector<crypto::Sha256Digest>& keep);

  // Called by the worker.
  void FinishJob(std::string strLocalPath, BOOL bExecute);
  void RecordDigest(const crypto::Sha256Digest& digest, unsigned long long nSize);
  void RecordTransfer(const DownloadTransfer& transfer);
  void ReLoadFile(std::string strURL);
  void SetProgress(int nPos);
  void SetError(BOOL bError);
  // Clears the running mark if `job` holds it (a given-up text job).
  void ClearRunningMark(const DownloadJob* job);
  // The one place a row of the failure table is applied to a job that ended: the error flag,
  // a file-mode URL back into the queue (ReLoadFile), the running mark if the job holds it.
  void EndJob(const DownloadJob& job, const DownloadFailure& failure);

  // The largest text body DownloadToString accepts; a longer one fails the request.
  static constexpr size_t kMaxTextBody = 4u << 20;

 private:
  // These expect m_lock held.
  void DownloadNextLocked(BOOL bExecute);
  bool StartWorkerLocked(const std::shared_ptr<DownloadJob>& job);
  void ClearRunningMarkLocked();
  // Returns whether the URL went back into the queue.
  bool EndJobLocked(const DownloadJob& job, const DownloadFailure& failure);

  void GiveUpStalledTransfer();
  // Gives up on a job without killing its thread (a text request past its time-out, a silent
  // file transfer, the downloader being deleted): detached from this object, its connection
  // closed so a blocked call returns, its thread no longer waited for. The worker ends on its
  // own, holding the job as long as it needs it.
  void CutLoose(const std::shared_ptr<DownloadJob>& job);
  // Lets go of the thread of a job that was cut loose: nobody waits for that one.
  void ForgetWorker(const DownloadJob* job);
  // Waits for the threads of the jobs that ended by themselves. Their last steps run after the
  // running mark is cleared; a process ending under them takes the libraries away mid-step.
  void JoinEndedWorkers();

  const DownloadTimings m_timings;
  framework::CProgressCtrl* m_pProgress = nullptr;
  // The running mark: the job of the current worker, empty while idle. m_hIdle is signalled
  // exactly while it is empty, so a waiting caller wakes the moment the last worker is done.
  std::shared_ptr<DownloadJob> m_pRunningJob;
  framework::UniqueHandle m_hIdle;
  std::list<std::string> m_listURL;   // still to fetch, head first
  std::list<std::string> m_listFile;  // local paths fetched since the last start
  std::string m_strSavePath = "C:\\";
  BOOL m_bError = FALSE;  // set by failures, never cleared
  const DownloadFailure* m_pLastFailure = nullptr;
  BOOL m_bHashBodies = FALSE;
  bool m_bPinnedSize = false;
  unsigned long long m_nPinnedSize = 0;
  std::string m_strPartialFolder;
  std::string m_strPinnedSha256;
  bool m_bHaveDigest = false;  // the last finished file's digest, since the last start
  crypto::Sha256Digest m_finishedDigest{};
  unsigned long long m_nFinishedSize = 0;
  bool m_bHaveTransfer = false;  // likewise for how it came
  DownloadTransfer m_finishedTransfer;
  bool m_bClosing = false;  // the destructor runs: no further job is chained
  // The threads of the workers started and not cut loose, with their jobs (for identity only).
  std::vector<std::pair<const DownloadJob*, framework::UniqueHandle>> m_workers;
  // Guards the members above: the worker changes them while the caller may be looking.
  framework::CCriticalSection m_lock;
};
