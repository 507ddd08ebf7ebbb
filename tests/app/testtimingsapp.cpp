// TalvoUpdate with short waits, for the end-to-end tests of the retry rules. The same program
// as the product in every other respect; the harness installs it as TalvoUpdate.exe.
// TALVO_TEST_TIMINGS="fgProbePause,bgProbePause,fgTimeout,bgTimeout,bgRequestPause" (ms) sets
// the waits; unset, the defaults below apply.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/talvoupdate.h"

namespace {

StartupTimings TestTimings() {
  StartupTimings timings;
  timings.foregroundProbePauseMs = 200;
  timings.backgroundProbePauseMs = 500;
  timings.foregroundRequestTimeoutMs = 3000;
  timings.backgroundRequestTimeoutMs = 3000;
  timings.backgroundRequestPauseMs = 200;
  char szValue[256] = {};
  const DWORD n = ::GetEnvironmentVariableA("TALVO_TEST_TIMINGS", szValue, sizeof szValue);
  if (n == 0 || n >= sizeof szValue) return timings;
  unsigned long* fields[] = {&timings.foregroundProbePauseMs, &timings.backgroundProbePauseMs,
                             &timings.foregroundRequestTimeoutMs, &timings.backgroundRequestTimeoutMs,
                             &timings.backgroundRequestPauseMs};
  const char* p = szValue;
  for (unsigned long* field : fields) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(p, &end, 10);
    if (end == p) break;
    *field = value;
    if (*end != ',') break;
    p = end + 1;
  }
  return timings;
}

}  // namespace

CTalvoUpdateApp theApp(TestTimings());
