#include "framework/thread.h"

#include <process.h>

#include <new>

namespace framework {

namespace {

struct ThreadStart {
  ThreadProc proc;
  void* param;
};

unsigned __stdcall ThreadEntry(void* raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  try {
    return start.proc(start.param);
  } catch (...) {
    return 0;
  }
}

}  // namespace

UniqueHandle BeginThread(ThreadProc proc, void* param) {
  auto* start = new (std::nothrow) ThreadStart{proc, param};
  if (!start) return UniqueHandle();
  // _beginthreadex rather than CreateThread so the C runtime's per-thread state is set up.
  const uintptr_t h = _beginthreadex(nullptr, 0, &ThreadEntry, start, 0, nullptr);
  if (h == 0) {
    delete start;
    return UniqueHandle();
  }
  return UniqueHandle(reinterpret_cast<HANDLE>(h));
}

}  // namespace framework
