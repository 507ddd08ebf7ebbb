#include "app/serverretry.h"

bool ProbeUntilConnected(bool bBackground, const StartupTimings& timings,
                         const std::function<bool()>& tryConnect, const SleepFn& sleep) {
  int nAttempts = 0;
  for (;;) {
    const bool bConnected = tryConnect();
    ++nAttempts;
    if (bConnected) return true;
    if (bBackground) {
      sleep(timings.backgroundProbePauseMs);
    } else {
      if (nAttempts >= kForegroundProbeAttempts) return false;
      sleep(timings.foregroundProbePauseMs);
    }
  }
}

bool RequestUntilReceived(bool bBackground, const StartupTimings& timings,
                          const std::function<bool()>& request, const SleepFn& sleep) {
  int nAttempts = 0;
  for (;;) {
    if (request()) return true;
    ++nAttempts;
    if (!bBackground) return false;
    if (nAttempts >= kBackgroundRequestAttempts) return false;
    sleep(timings.backgroundRequestPauseMs);
  }
}
