// A critical section owned by an object, and the scoped lock that takes it. Code that holds the
// lock never takes it again on the same thread: every path that needs the guarded state under
// the lock gets it through a function that expects the lock already held.
#pragma once
#include <windows.h>

namespace framework {

class CCriticalSection {
 public:
  CCriticalSection() { ::InitializeCriticalSection(&m_cs); }
  ~CCriticalSection() { ::DeleteCriticalSection(&m_cs); }
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;

  void Lock() { ::EnterCriticalSection(&m_cs); }
  bool TryLock() { return ::TryEnterCriticalSection(&m_cs) != FALSE; }
  void Unlock() { ::LeaveCriticalSection(&m_cs); }

 private:
  CRITICAL_SECTION m_cs;
};

// Holds the lock from construction to the end of the scope. Constructed on an already locked
// section (kAdopt) it only releases it, for a lock taken by TryLock.
class CScopedLock {
 public:
  enum AdoptTag { kAdopt };
  explicit CScopedLock(CCriticalSection& section) : m_section(section) { m_section.Lock(); }
  CScopedLock(CCriticalSection& section, AdoptTag) : m_section(section) {}
  ~CScopedLock() { m_section.Unlock(); }
  CScopedLock(const CScopedLock&) = delete;
  CScopedLock& operator=(const CScopedLock&) = delete;

 private:
  CCriticalSection& m_section;
};

}  // namespace framework
