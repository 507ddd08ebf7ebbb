// The retry rules of the server probe and of the information request, apart from the sockets
// and the downloader they drive, so the rules are tested with stand-ins in no time.
#pragma once
#include <functional>

#include "app/startuptimings.h"

using SleepFn = std::function<void(unsigned long ms)>;

// Calls `tryConnect` until it succeeds. Foreground: at most kForegroundProbeAttempts attempts,
// foregroundProbePauseMs apart; false when the last one failed. Background: backgroundProbePauseMs
// apart without limit, so it returns only once connected.
bool ProbeUntilConnected(bool bBackground, const StartupTimings& timings,
                         const std::function<bool()>& tryConnect, const SleepFn& sleep);

// Calls `request` until it yields a document. Foreground: once. Background: at most
// kBackgroundRequestAttempts times, backgroundRequestPauseMs apart. True when one succeeded.
bool RequestUntilReceived(bool bBackground, const StartupTimings& timings,
                          const std::function<bool()>& request, const SleepFn& sleep);
