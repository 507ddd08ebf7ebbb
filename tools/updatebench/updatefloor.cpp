// updatefloor: the least work a run of the update window must do for a release, timed: each
// package fetched with a bare WinINet loop (the downloader's calls, 4 KB reads), unpacked with the
// updater's zip reader, and its files copied to where they are installed. No window, no threads.
//   updatefloor.exe WORKDIR URL...     prints "floor MS fetch MS extract MS copy MS bytes N"
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive/zipfile.h"
#include "net/parseurl.h"

namespace {

double NowMs() {
  LARGE_INTEGER frequency, counter;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool Fetch(const std::string& url, const std::string& path, unsigned long long* bytes) {
  unsigned long service = 0;
  std::string server, object;
  unsigned short port = 0;
  if (!AfxParseURL(url, service, server, object, port)) return false;
  HINTERNET root = ::InternetOpenA("updatefloor", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET connection = ::InternetConnectA(root, server.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  const char* accept[] = {"*/*", nullptr};
  HINTERNET request = ::HttpOpenRequestA(connection, nullptr, object.c_str(), "HTTP/1.1", nullptr, accept,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                             INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_PRAGMA_NOCACHE,
                                         0);
  bool ok = request && ::HttpSendRequestA(request, nullptr, 0, nullptr, 0);
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ok = ok && file != INVALID_HANDLE_VALUE;
  char buffer[4096];
  while (ok) {
    INTERNET_BUFFERSA netBuf = {};
    netBuf.dwStructSize = sizeof netBuf;
    netBuf.lpvBuffer = buffer;
    netBuf.dwBufferLength = sizeof buffer;
    if (!::InternetReadFileExA(request, &netBuf, IRF_ASYNC, 0)) ok = false;
    if (!ok || netBuf.dwBufferLength == 0) break;
    DWORD written = 0;
    ok = ::WriteFile(file, buffer, netBuf.dwBufferLength, &written, nullptr) != FALSE;
    *bytes += netBuf.dwBufferLength;
  }
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  if (request) ::InternetCloseHandle(request);
  if (connection) ::InternetCloseHandle(connection);
  if (root) ::InternetCloseHandle(root);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: updatefloor WORKDIR URL...\n");
    return 2;
  }
  const std::string work = argv[1];
  const std::string staging = work + "\\staging\\";
  const std::string installed = work + "\\installed\\";
  ::CreateDirectoryA(work.c_str(), nullptr);
  ::CreateDirectoryA(staging.c_str(), nullptr);
  ::CreateDirectoryA(installed.c_str(), nullptr);
  double fetchMs = 0, extractMs = 0, copyMs = 0;
  unsigned long long bytes = 0;
  const double began = NowMs();
  for (int i = 2; i < argc; ++i) {
    const std::string package = staging + "package" + std::to_string(i) + ".zip";
    double t = NowMs();
    if (!Fetch(argv[i], package, &bytes)) {
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
  }
  std::printf("floor %.1f fetch %.1f extract %.1f copy %.1f bytes %llu\n", NowMs() - began, fetchMs, extractMs,
              copyMs, bytes);
  return 0;
}
