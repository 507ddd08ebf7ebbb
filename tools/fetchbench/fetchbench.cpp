// fetchbench: times CInternetFileDown in file mode against a bare WinINet loop making the same
// calls with the same reads of at most 4096 bytes (on the calling thread, and on a thread of its own as the
// downloader's worker is), on the same URL, taking turns, in one process.
//   fetchbench.exe URL ROUNDS FOLDER
// Prints one line per run, then per kind "summary <kind> median <ms> min <ms> cpu <ms>" (wall
// clock median and minimum, median process CPU time).
#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/progressctrl.h"
#include "net/internetfiledown.h"
#include "net/parseurl.h"
#include "tools/fetchbench/bareloop.h"

namespace {

struct BareArgs {
  std::string url;
  std::string path;
  bool ok;
};

DWORD WINAPI BareThread(void* param) {
  auto* args = static_cast<BareArgs*>(param);
  args->ok = BareLoop(args->url, args->path);
  return 0;
}

// The same loop on a thread of its own, as the downloader's worker runs.
bool BareLoopOnThread(const std::string& url, const std::string& path) {
  BareArgs args = {url, path, false};
  HANDLE thread = ::CreateThread(nullptr, 0, &BareThread, &args, 0, nullptr);
  ::WaitForSingleObject(thread, INFINITE);
  ::CloseHandle(thread);
  return args.ok;
}

struct CallerArgs {
  CInternetFileDown* down;
  std::string url;
  DWORD mainThread;
};

// The update dialog's arrangement: its worker thread waits for the download while the window
// thread runs its message loop and serves the bar's messages.
DWORD WINAPI CallerThread(void* param) {
  auto* args = static_cast<CallerArgs*>(param);
  args->down->DownloadNow(args->url, FALSE, TRUE);
  ::PostThreadMessageA(args->mainThread, WM_QUIT, 0, 0);
  return 0;
}

bool Downloader(const std::string& url, const std::string& folder, framework::CProgressCtrl* bar) {
  CInternetFileDown down;
  down.SetSavePath(folder);
  if (!bar) {
    down.DownloadNow(url, FALSE, TRUE);
  } else {
    down.SetProgressCtrl(bar);
    CallerArgs args = {&down, url, ::GetCurrentThreadId()};
    HANDLE caller = ::CreateThread(nullptr, 0, &CallerThread, &args, 0, nullptr);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    ::WaitForSingleObject(caller, INFINITE);
    ::CloseHandle(caller);
  }
  return !down.GetFinishedFile().empty() && !down.GetError();
}

// User and kernel time of this process so far: the work a run costs, whatever else the machine
// is doing meanwhile.
double CpuMs() {
  FILETIME creation, exit, kernel, user;
  ::GetProcessTimes(::GetCurrentProcess(), &creation, &exit, &kernel, &user);
  const auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
  };
  return ms(kernel) + ms(user);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: fetchbench.exe URL ROUNDS FOLDER\n", stderr);
    return 2;
  }
  const std::string url = argv[1];
  const int rounds = std::atoi(argv[2]);
  std::string folder = argv[3];
  if (folder.back() != '\\') folder += '\\';
  ::CreateDirectoryA(folder.c_str(), nullptr);

  INITCOMMONCONTROLSEX init = {sizeof init, ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&init);
  HWND hWnd = ::CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 200, 20, nullptr, nullptr,
                                ::GetModuleHandleA(nullptr), nullptr);
  framework::CProgressCtrl bar(hWnd);
  bar.SetRange(0, 100);

  const char* kNames[] = {"bare", "bare-thread", "downloader", "downloader+bar"};
  const int kKinds = 4;
  std::vector<double> wall[kKinds], cpu[kKinds];
  for (int round = 0; round < rounds; ++round) {
    // Each round starts with another kind, so none always runs right after the same other one.
    for (int step = 0; step < kKinds; ++step) {
      const int kind = (step + round) % kKinds;
      bar.SetPos(0);
      const double start = NowMs();
      const double startCpu = CpuMs();
      bool ok = false;
      switch (kind) {
        case 0: ok = BareLoop(url, folder + "bare.bin"); break;
        case 1: ok = BareLoopOnThread(url, folder + "bare.bin"); break;
        case 2: ok = Downloader(url, folder + "plain\\", nullptr); break;
        default: ok = Downloader(url, folder + "bar\\", &bar); break;
      }
      if (!ok) return 1;
      wall[kind].push_back(NowMs() - start);
      cpu[kind].push_back(CpuMs() - startCpu);
      std::printf("%s %.1f ms, cpu %.1f ms\n", kNames[kind], wall[kind].back(), cpu[kind].back());
    }
    std::fflush(stdout);
  }
  for (int kind = 0; kind < kKinds; ++kind) {
    // The fastest run is the one least disturbed by whatever else the machine was doing.
    std::printf("summary %s median %.1f min %.1f cpu %.1f\n", kNames[kind], Median(wall[kind]),
                *std::min_element(wall[kind].begin(), wall[kind].end()), Median(cpu[kind]));
  }
  ::DestroyWindow(hWnd);
  return 0;
}
