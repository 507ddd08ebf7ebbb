// One request of CInternetFileDown, shared by the thread that started it and its worker.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <string>

#include "framework/scopedhandle.h"

class CInternetFileDown;

struct DownloadJob {
  DownloadJob();
  ~DownloadJob();
  DownloadJob(const DownloadJob&) = delete;
  DownloadJob& operator=(const DownloadJob&) = delete;

  std::string m_strURL;        // as the caller gave it
  std::string m_strResult;     // text mode: the body received so far
  std::string m_strLocalPath;  // file mode: the download folder; text mode: empty
  framework::UniqueHandle m_hEvent;  // text mode: manual-reset completion event; file mode: none
  BOOL m_bExecute = FALSE;     // file mode: open the file with the shell afterwards

  bool IsTextMode() const { return m_hEvent.IsValid(); }

  // The owner link. A caller that gives up on the job (a text request that timed out, a
  // downloader being deleted) detaches it; from then on the worker leaves the downloader alone,
  // which may already be gone. The worker calls into the owner only through RunWithOwner, so a
  // detach waits for a call in progress.
  template <typename Fn>
  bool RunWithOwner(Fn fn) {
    struct Guard {
      CRITICAL_SECTION& cs;
      explicit Guard(CRITICAL_SECTION& c) : cs(c) { ::EnterCriticalSection(&cs); }
      ~Guard() { ::LeaveCriticalSection(&cs); }
    } guard(m_ownerLock);
    CInternetFileDown* owner = m_pOwner;
    if (owner) fn(*owner);
    return owner != nullptr;
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
  void Cancel();
  bool IsCancelled();

  // Jobs alive in this process: a worker that outlived its caller still counts.
  static long LiveCount();

 private:
  CRITICAL_SECTION m_ownerLock;
  CInternetFileDown* m_pOwner = nullptr;
  CRITICAL_SECTION m_handleLock;
  HINTERNET m_handles[kSlotCount] = {};
  bool m_bCancelled = false;
};
