#include "tools/fetchbench/bareloop.h"

#include <wininet.h>

#include "net/parseurl.h"

double NowMs() {
  LARGE_INTEGER frequency, counter;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool BareLoop(const std::string& url, const std::string& path, unsigned long long* bytes) {
  unsigned long service = 0;
  std::string server, object;
  unsigned short port = 0;
  if (!AfxParseURL(url, service, server, object, port)) return false;
  HINTERNET root = ::InternetOpenA("bareloop", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET connection = ::InternetConnectA(root, server.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  const char* accept[] = {"*/*", nullptr};
  HINTERNET request = ::HttpOpenRequestA(connection, nullptr, object.c_str(), "HTTP/1.1", nullptr, accept,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                             INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_PRAGMA_NOCACHE,
                                         0);
  bool ok = request && ::HttpSendRequestA(request, nullptr, 0, nullptr, 0);
  char szLength[32], szStatus[32];
  DWORD length = sizeof szLength, statusLength = sizeof szStatus;
  ok = ok && ::HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, szLength, &length, nullptr) &&
       ::HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE, szStatus, &statusLength, nullptr);
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  char buffer[4097];
  while (ok) {
    // As the downloader: ask what has arrived, then read at most that much.
    DWORD available = 0;
    if (!::InternetQueryDataAvailable(request, &available, 0, 0)) ok = false;
    if (!ok) break;
    INTERNET_BUFFERSA netBuf;
    ZeroMemory(&netBuf, sizeof netBuf);
    netBuf.dwStructSize = sizeof netBuf;
    netBuf.lpvBuffer = buffer;
    netBuf.dwBufferLength = available == 0 || available > 4096 ? 4096 : available;
    if (!::InternetReadFileExA(request, &netBuf, IRF_ASYNC, 0)) ok = false;
    if (!ok || netBuf.dwBufferLength == 0) break;
    DWORD written = 0;
    ok = ::WriteFile(file, buffer, netBuf.dwBufferLength, &written, nullptr) != FALSE;
    if (bytes) *bytes += netBuf.dwBufferLength;
  }
  ::CloseHandle(file);
  ::InternetCloseHandle(request);
  ::InternetCloseHandle(connection);
  ::InternetCloseHandle(root);
  return ok;
}
