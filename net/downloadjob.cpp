#include "net/downloadjob.h"

namespace {
volatile LONG g_nLiveJobs = 0;
}

DownloadJob::DownloadJob() {
  ::InitializeCriticalSection(&m_ownerLock);
  ::InitializeCriticalSection(&m_handleLock);
  ::InterlockedIncrement(&g_nLiveJobs);
}

DownloadJob::~DownloadJob() {
  CloseInternetHandles();
  ::DeleteCriticalSection(&m_handleLock);
  ::DeleteCriticalSection(&m_ownerLock);
  ::InterlockedDecrement(&g_nLiveJobs);
}

void DownloadJob::SetOwner(CInternetFileDown* owner) {
  ::EnterCriticalSection(&m_ownerLock);
  m_pOwner = owner;
  ::LeaveCriticalSection(&m_ownerLock);
}

void DownloadJob::DetachOwner() {
  // The call in progress may be moving a progress bar of this very thread by a sent message:
  // keep answering sent messages while waiting for it.
  while (!::TryEnterCriticalSection(&m_ownerLock)) {
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    ::Sleep(1);
  }
  m_pOwner = nullptr;
  ::LeaveCriticalSection(&m_ownerLock);
}

HINTERNET DownloadJob::Get(InternetHandleSlot slot) {
  ::EnterCriticalSection(&m_handleLock);
  HINTERNET handle = m_handles[slot];
  ::LeaveCriticalSection(&m_handleLock);
  return handle;
}

bool DownloadJob::Set(InternetHandleSlot slot, HINTERNET handle) {
  ::EnterCriticalSection(&m_handleLock);
  const bool cancelled = m_bCancelled;
  if (!cancelled) m_handles[slot] = handle;
  ::LeaveCriticalSection(&m_handleLock);
  if (cancelled && handle) ::InternetCloseHandle(handle);
  return !cancelled;
}

void DownloadJob::CloseInternetHandles() {
  ::EnterCriticalSection(&m_handleLock);
  // Children first, as a caller of the library would.
  for (int slot = kSlotCount - 1; slot >= 0; --slot) {
    if (m_handles[slot]) ::InternetCloseHandle(m_handles[slot]);
    m_handles[slot] = nullptr;
  }
  ::LeaveCriticalSection(&m_handleLock);
}

void DownloadJob::Cancel() {
  ::EnterCriticalSection(&m_handleLock);
  m_bCancelled = true;
  ::LeaveCriticalSection(&m_handleLock);
  CloseInternetHandles();
}

bool DownloadJob::IsCancelled() {
  ::EnterCriticalSection(&m_handleLock);
  const bool cancelled = m_bCancelled;
  ::LeaveCriticalSection(&m_handleLock);
  return cancelled;
}

long DownloadJob::LiveCount() { return ::InterlockedCompareExchange(&g_nLiveJobs, 0, 0); }
