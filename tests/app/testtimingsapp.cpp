// TalvoUpdate with short waits, for the end-to-end tests of the retry rules and of unexpected
// failures. The same program as the product in every other respect; the harness installs it as
// TalvoUpdate.exe.
// TALVO_TEST_TIMINGS="fgProbePause,bgProbePause,fgTimeout,bgTimeout,bgRequestPause" (ms) sets
// the waits; unset, the defaults below apply.
// TALVO_TEST_THROW_AT_FETCH="text": a text the catalogue fetches (the notice, the log page)
// whose URL holds the text throws std::bad_alloc instead, as running out of memory in the
// middle of the document's parse would.
// TALVO_TEST_DOWNLOAD_LIMITS="paceWindow,minBytesPerWindow,maxUnpinnedBytes" (ms, bytes, bytes)
// sets the limits of package transfers; unset, the product's apply.
// TALVO_TEST_END_AT_INSTALL_POINT=N: the process ends (exit code 77, as a power cut would end
// it) at the N-th point of its installation steps, counted over the whole run (every journal line
// and every change is one); 0 only logs each point ("Install point N").
// TALVO_TEST_THROW_AT_INSTALL_POINT=N: at that point std::bad_alloc is thrown instead, as running
// out of memory in the middle of an installation step would.
// Built with TALVO_TEST_RELEASE_KEY it carries the test release key (signed documents, deltas).
#include <windows.h>

#include <cstdlib>
#include <new>
#include <string>

#include "app/talvoupdate.h"
#include "catalogue/noticefetch.h"
#include "framework/log.h"
#include "localstate/installtransaction.h"

namespace {

std::string EnvironmentText(const char* name) {
  char szValue[256] = {};
  const DWORD n = ::GetEnvironmentVariableA(name, szValue, sizeof szValue);
  return n > 0 && n < sizeof szValue ? std::string(szValue, n) : std::string();
}

StartupTimings TestTimings() {
  StartupTimings timings;
  timings.foregroundProbePauseMs = 200;
  timings.backgroundProbePauseMs = 500;
  timings.foregroundRequestTimeoutMs = 3000;
  timings.backgroundRequestTimeoutMs = 3000;
  timings.backgroundRequestPauseMs = 200;
  const std::string text = EnvironmentText("TALVO_TEST_TIMINGS");
  if (text.empty()) return timings;
  unsigned long* fields[] = {&timings.foregroundProbePauseMs, &timings.backgroundProbePauseMs,
                             &timings.foregroundRequestTimeoutMs, &timings.backgroundRequestTimeoutMs,
                             &timings.backgroundRequestPauseMs};
  const char* p = text.c_str();
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

FetchTextFn g_programFetcher = nullptr;

std::string FetchOrRunOutOfMemory(const std::string& url, unsigned long timeoutMs) {
  const std::string failAt = EnvironmentText("TALVO_TEST_THROW_AT_FETCH");
  if (!failAt.empty() && url.find(failAt) != std::string::npos) throw std::bad_alloc();
  return g_programFetcher(url, timeoutMs);
}

// Installed before the application object starts its run (definitions of one file are initialised
// in order, and this one comes first).
const bool g_installPointsWatched = [] {
  const std::string endText = EnvironmentText("TALVO_TEST_END_AT_INSTALL_POINT");
  const std::string throwText = EnvironmentText("TALVO_TEST_THROW_AT_INSTALL_POINT");
  if (endText.empty() && throwText.empty()) return false;
  const long endAt = endText.empty() ? -1 : std::strtol(endText.c_str(), nullptr, 10);
  const long throwAt = throwText.empty() ? -1 : std::strtol(throwText.c_str(), nullptr, 10);
  CInstallTransaction::SetProcessPointHook([endAt, throwAt](int) {
    static long count = 0;
    ++count;
    framework::WriteLog("Install point %ld\n", count);
    if (count == endAt) ::TerminateProcess(::GetCurrentProcess(), 77);
    if (count == throwAt) throw std::bad_alloc();
  });
  return true;
}();

}  // namespace

#ifdef TALVO_TEST_RELEASE_KEY
CTalvoUpdateApp theApp(TestTimings(), TALVO_TEST_RELEASE_KEY);
#else
CTalvoUpdateApp theApp(TestTimings());
#endif

namespace {

DownloadTimings TestDownloadTimings() {
  DownloadTimings timings;
  const std::string text = EnvironmentText("TALVO_TEST_DOWNLOAD_LIMITS");
  char* end = nullptr;
  const char* p = text.c_str();
  if (text.empty()) return timings;
  timings.paceWindowMs = std::strtoul(p, &end, 10);
  if (*end == ',') timings.minBytesPerWindow = std::strtoul(p = end + 1, &end, 10);
  if (*end == ',') timings.maxUnpinnedBodyBytes = std::strtoull(p = end + 1, &end, 10);
  return timings;
}

// Definitions of one file are initialised in order: the application exists.
const bool g_downloadLimitsSet = (theApp.m_downloadTimings = TestDownloadTimings(), true);

}  // namespace

namespace {
// Definitions of one file are initialised in order: the application has installed its fetcher.
const bool g_fetcherWrapped = (g_programFetcher = SetTextFetcher(&FetchOrRunOutOfMemory)) != nullptr;
}  // namespace
