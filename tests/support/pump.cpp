#include "tests/support/pump.h"

#include <algorithm>

namespace testsupport {

void PumpMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    PumpMessages();
    if (done()) return true;
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= ms) {
      PumpMessages();
      return done();
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(ms - elapsed, 10), QS_ALLINPUT);
  }
}

bool WaitUntil(const std::function<bool()>& done, DWORD ms) {
  const double end = NowMs() + ms;
  while (!done()) {
    if (NowMs() > end) return done();
    ::Sleep(20);
  }
  return true;
}

double NowMs() {
  LARGE_INTEGER frequency, counter;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

}  // namespace testsupport
