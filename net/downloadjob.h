// One request of CInternetFileDown, shared by the thread that started it and its worker.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <memory>
#include <string>

#include "crypto/sha256hasher.h"
#include "net/httpvalidator.h"

#include "framework/scopedhandle.h"
#include "framework/scopedlock.h"

class CInternetFileDown;

struct DownloadJob {
  DownloadJob();
  ~DownloadJob();
  DownloadJob(const DownloadJob&) = delete;
  DownloadJob& operator=(const DownloadJob&) = delete;

  std::string m_strURL;        // as the caller gave it
  std::string m_strResult;     // text mode: the body received so far
  std::string m_strLocalPath;  // file mode: the download folder; text mode: empty
  // Text mode: the validators of a copy the caller holds; the body is then asked for only if it
  // changed since. What the answer tells: whether the copy is still current (a 304 to such a
  // request), otherwise the validators of the body received.
  HttpValidator m_known;
  bool m_bNotModified = false;
  HttpValidator m_answer;
  framework::UniqueHandle m_hEvent;  // text mode: manual-reset completion event; file mode: none
  BOOL m_bExecute = FALSE;     // file mode: open the file with the shell afterwards
  // File mode, when the caller asked for it: the body's SHA-256, fed as it arrives, and its size.
  std::unique_ptr<crypto::CSha256Hasher> m_pHasher;
  uint64_t m_nBodyBytes = 0;
  // File mode: the longest body taken (the pinned size, or the bound for an unpinned body), and
  // whether it is a pin (the announced length must then be exactly that). 0: no bound.
  uint64_t m_nMaxBody = 0;
  bool m_bPinnedSize = false;
  // File mode: the pace the body must keep (see DownloadTimings); 0: none.
  DWORD m_dwPaceWindowMs = 0;
  uint64_t m_nMinBytesPerWindow = 0;
  // File mode, pinned bodies only: the folder where a body that breaks off is kept with its record
  // for a later run ("": not kept), and the pinned SHA-256 (lower-case hex) that names it there.
  std::string m_strPartialFolder;
  std::string m_strPinnedSha256;
  uint64_t m_nRecordEveryBytes = 1u << 20;
  // File mode: how often a body that breaks off is asked for in all, and the first pause between.
  unsigned m_nBodyAttempts = 1;
  DWORD m_dwFirstRetryPauseMs = 0;
  // File mode, for the log: the bytes taken over from an earlier run's partial body, how often the
  // body was asked for again from a byte on, and every body byte that came over the wire.
  uint64_t m_nKeptBytesTaken = 0;
  unsigned m_nRangeRequests = 0;
  uint64_t m_nReceivedBytes = 0;

  bool IsTextMode() const { return m_hEvent.IsValid(); }

  // The owner link. A caller that gives up on the job (a text request that timed out, a stalled
  // file transfer, a downloader being deleted) detaches it; from then on the worker leaves the
  // downloader alone, which may already be gone. The worker calls into the owner only through
  // RunWithOwner, so a detach waits for a call in progress.
  template <typename Fn>
  bool RunWithOwner(Fn fn) {
    framework::CScopedLock lock(m_ownerLock);
    if (m_pOwner) fn(*m_pOwner);
    return m_pOwner != nullptr;
  }
  void SetOwner(CInternetFileDown* owner);
  void DetachOwner();

  // The transfer's WinINet handles: root, connection, request. Cancel closes them from another
  // thread, which makes a call blocked on them return (Wine's WinINet finishes the call under
  // way first); afterwards Get gives null, so the worker cannot reach a handle value the
  // library may have handed out again, and its next call fails at once.
  enum InternetHandleSlot { kRoot, kConnection, kRequest, kSlotCount };
  HINTERNET Get(InternetHandleSlot slot);
  // False (and the handle closed at once) when the job was cancelled meanwhile.
  bool Set(InternetHandleSlot slot, HINTERNET handle);
  void CloseInternetHandles();
  // Closes one handle (the request, before the next try on the same connection).
  void CloseInternetHandle(InternetHandleSlot slot);
  void Cancel();
  bool IsCancelled();

  // The worker notes each sign of life of the transfer (a step done, bytes received); the
  // waiting side measures the silence since the last one.
  void MarkActivity();
  DWORD MillisecondsSinceActivity() const;

  // The pace of the body: its first window starts with the headers in, and each window that has
  // brought enough starts the next. TooSlow is true once a window has ended short.
  void StartPace();
  void CountBodyBytes(DWORD n);
  bool TooSlow();

  // Jobs alive in this process: a worker that outlived its caller still counts.
  static long LiveCount();

 private:
  framework::CCriticalSection m_ownerLock;
  CInternetFileDown* m_pOwner = nullptr;
  framework::CCriticalSection m_handleLock;
  HINTERNET m_handles[kSlotCount] = {};
  bool m_bCancelled = false;
  volatile LONG m_nLastActivityTick;
  framework::CCriticalSection m_paceLock;
  bool m_bPaceStarted = false;
  DWORD m_dwWindowStart = 0;
  uint64_t m_nWindowBytes = 0;  // received since the window started
};
