#include "net/downloadjob.h"

using framework::CScopedLock;

namespace {
volatile LONG g_nLiveJobs = 0;
}

DownloadJob::DownloadJob() : m_nLastActivityTick(static_cast<LONG>(::GetTickCount())) {
  ::InterlockedIncrement(&g_nLiveJobs);
}

DownloadJob::~DownloadJob() {
  CloseInternetHandles();
  ::InterlockedDecrement(&g_nLiveJobs);
}

void DownloadJob::SetOwner(CInternetFileDown* owner) {
  CScopedLock lock(m_ownerLock);
  m_pOwner = owner;
}

void DownloadJob::DetachOwner() {
  // The call in progress may be moving a progress bar of this very thread by a sent message:
  // keep answering sent messages while waiting for it.
  while (!m_ownerLock.TryLock()) {
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    ::Sleep(1);
  }
  CScopedLock lock(m_ownerLock, CScopedLock::kAdopt);
  m_pOwner = nullptr;
}

HINTERNET DownloadJob::Get(InternetHandleSlot slot) {
  CScopedLock lock(m_handleLock);
  return m_handles[slot];
}

bool DownloadJob::Set(InternetHandleSlot slot, HINTERNET handle) {
  bool cancelled;
  {
    CScopedLock lock(m_handleLock);
    cancelled = m_bCancelled;
    if (!cancelled) m_handles[slot] = handle;
  }
  if (cancelled && handle) ::InternetCloseHandle(handle);
  return !cancelled;
}

void DownloadJob::CloseInternetHandles() {
  CScopedLock lock(m_handleLock);
  // Children first, as a caller of the library would.
  for (int slot = kSlotCount - 1; slot >= 0; --slot) {
    if (m_handles[slot]) ::InternetCloseHandle(m_handles[slot]);
    m_handles[slot] = nullptr;
  }
}

void DownloadJob::CloseInternetHandle(InternetHandleSlot slot) {
  CScopedLock lock(m_handleLock);
  if (m_handles[slot]) ::InternetCloseHandle(m_handles[slot]);
  m_handles[slot] = nullptr;
}

void DownloadJob::Cancel() {
  {
    CScopedLock lock(m_handleLock);
    m_bCancelled = true;
  }
  CloseInternetHandles();
}

bool DownloadJob::IsCancelled() {
  CScopedLock lock(m_handleLock);
  return m_bCancelled;
}

void DownloadJob::MarkActivity() {
  ::InterlockedExchange(&m_nLastActivityTick, static_cast<LONG>(::GetTickCount()));
}

DWORD DownloadJob::MillisecondsSinceActivity() const {
  // Unsigned difference: right across the tick count's wrap after 49 days.
  const DWORD dwLast = static_cast<DWORD>(
      ::InterlockedCompareExchange(const_cast<volatile LONG*>(&m_nLastActivityTick), 0, 0));
  return ::GetTickCount() - dwLast;
}

void DownloadJob::StartPace() {
  CScopedLock lock(m_paceLock);
  m_bPaceStarted = true;
  m_dwWindowStart = ::GetTickCount();
  m_nWindowBytes = 0;
}

void DownloadJob::CountBodyBytes(DWORD n) {
  CScopedLock lock(m_paceLock);
  m_nWindowBytes += n;
}

bool DownloadJob::TooSlow() {
  CScopedLock lock(m_paceLock);
  if (!m_bPaceStarted || m_dwPaceWindowMs == 0) return false;
  const DWORD dwNow = ::GetTickCount();
  if (dwNow - m_dwWindowStart < m_dwPaceWindowMs) return false;
  if (m_nWindowBytes < m_nMinBytesPerWindow) return true;
  m_dwWindowStart = dwNow;
  m_nWindowBytes = 0;
  return false;
}

long DownloadJob::LiveCount() { return ::InterlockedCompareExchange(&g_nLiveJobs, 0, 0); }
