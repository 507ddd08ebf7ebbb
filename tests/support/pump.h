// Running this thread's messages, and waiting for a condition with or without running them.
#pragma once
#include <windows.h>

#include <functional>

namespace testsupport {

// How long PumpUntil and WaitUntil wait when the caller names no time.
constexpr DWORD kDefaultWaitMs = 2000;

// Dispatches every message already queued for this thread, then returns.
void PumpMessages();
// Runs this thread's messages for `ms` milliseconds (at least one pass).
void PumpFor(DWORD ms);
// Runs this thread's messages until `done` holds or `ms` have passed. The result is whether
// `done` holds, asked once more when the time is up, so a late change still counts.
bool PumpUntil(const std::function<bool()>& done, DWORD ms = kDefaultWaitMs);
// The same without running messages: polls `done` every 20 ms, for threads that own no window
// or must not dispatch. Same result rule as PumpUntil.
bool WaitUntil(const std::function<bool()>& done, DWORD ms = kDefaultWaitMs);

// A steady clock in milliseconds, for measuring how long something took.
double NowMs();

}  // namespace testsupport
