// updatefloor: the least work a run of the update window must do for a release, timed: each
// package fetched with fetchbench's bare WinINet loop (the downloader's calls, reads of at most
// 4 KB), unpacked with the updater's zip reader, and its files copied to where they are installed.
// With --register FILE, the package that installs FILE is followed by what the login control's
// completion step must do: regsvr32 started on the system folder's FILE, and not waited for.
// No window, no threads.
//   updatefloor.exe WORKDIR [--register FILE] URL...
//     prints "floor MS fetch MS extract MS copy MS register MS bytes N"
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive/zipfile.h"
#include "tools/fetchbench/bareloop.h"

namespace {

// As the login control's completion step starts it.
void StartRegistration(const std::string& file) {
  char szSystem[MAX_PATH] = {};
  ::GetSystemDirectoryA(szSystem, MAX_PATH);
  const std::string parameters = " /s " + std::string(szSystem) + "\\" + file;
  ::ShellExecuteA(nullptr, "open", "regsvr32", parameters.c_str(), nullptr, SW_HIDE);
}

}  // namespace

int main(int argc, char** argv) {
  int first = 2;
  std::string registered;
  if (argc > 3 && std::string(argv[2]) == "--register") {
    registered = argv[3];
    first = 4;
  }
  if (argc <= first) {
    std::fprintf(stderr, "usage: updatefloor WORKDIR [--register FILE] URL...\n");
    return 2;
  }
  const std::string work = argv[1];
  const std::string staging = work + "\\staging\\";
  const std::string installed = work + "\\installed\\";
  ::CreateDirectoryA(work.c_str(), nullptr);
  ::CreateDirectoryA(staging.c_str(), nullptr);
  ::CreateDirectoryA(installed.c_str(), nullptr);
  double fetchMs = 0, extractMs = 0, copyMs = 0, registerMs = 0;
  unsigned long long bytes = 0;
  const double began = NowMs();
  for (int i = first; i < argc; ++i) {
    const std::string package = staging + "package" + std::to_string(i) + ".zip";
    double t = NowMs();
    if (!BareLoop(argv[i], package, &bytes)) {
      std::fprintf(stderr, "fetch failed: %s\n", argv[i]);
      return 1;
    }
    fetchMs += NowMs() - t;
    t = NowMs();
    std::vector<std::string> names;
    {
      CZipFile zip;
      zip.Open(package);
      for (int e = 0; e < zip.GetCount(); ++e) {
        CZipEntry* entry = zip.GetEntry(e);
        const std::string target = staging + entry->m_strName;
        ::DeleteFileA(target.c_str());
        if (!entry->ExtractTo(target)) {
          std::fprintf(stderr, "extract failed: %s\n", entry->m_strName.c_str());
          return 1;
        }
        names.push_back(entry->m_strName);
      }
    }
    ::DeleteFileA(package.c_str());
    extractMs += NowMs() - t;
    t = NowMs();
    for (const std::string& name : names) {
      const std::string source = staging + name;
      if (!::CopyFileA(source.c_str(), (installed + name).c_str(), FALSE)) {
        std::fprintf(stderr, "copy failed: %s\n", name.c_str());
        return 1;
      }
      ::DeleteFileA(source.c_str());
    }
    copyMs += NowMs() - t;
    t = NowMs();
    for (const std::string& name : names)
      if (!registered.empty() && name == registered) StartRegistration(registered);
    registerMs += NowMs() - t;
  }
  std::printf("floor %.1f fetch %.1f extract %.1f copy %.1f register %.1f bytes %llu\n", NowMs() - began, fetchMs,
              extractMs, copyMs, registerMs, bytes);
  return 0;
}
