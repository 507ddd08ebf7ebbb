#include "tests/net/nettestsupport.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace nettest {

namespace {

std::mutex g_logMutex;
std::vector<LogLine> g_log;
double g_logStart = 0;

// OutputDebugStringA raises DBG_PRINTEXCEPTION_C with the length and the text; continuing the
// exception here is what a debugger does after printing the line.
LONG CALLBACK OnDebugString(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != DBG_PRINTEXCEPTION_C || record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  const size_t length = static_cast<size_t>(record->ExceptionInformation[0]);
  const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
  std::string line(text, length > 0 ? length - 1 : 0);
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_log.push_back({line, testsupport::NowMs() - g_logStart});
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string ServerHostPort() { return Env("TALVO_TEST_SERVER"); }

std::string ServerUrl(const std::string& path) { return "http://" + ServerHostPort() + path; }

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> AccessLog() { return ReadLines(Env("TALVO_TEST_ACCESS_LOG")); }

bool AccessLogHas(const std::string& needle) {
  for (const std::string& line : AccessLog()) {
    if (line.find(needle) != std::string::npos) return true;
  }
  return false;
}

void StartLogCapture() {
  static bool installed = false;
  if (!installed) {
    ::AddVectoredExceptionHandler(1, &OnDebugString);
    installed = true;
  }
  ClearLog();
}

void ClearLog() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_log.clear();
  g_logStart = testsupport::NowMs();
}

std::vector<LogLine> CapturedLog() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  return g_log;
}

size_t CountLog(const std::string& text) {
  size_t count = 0;
  for (const LogLine& line : CapturedLog()) count += line.text == text ? 1 : 0;
  return count;
}

bool LogContains(const std::string& needle) {
  for (const LogLine& line : CapturedLog()) {
    if (line.text.find(needle) != std::string::npos) return true;
  }
  return false;
}

std::string Generated(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i % 251);
  return data;
}

bool IsGenerated(const std::string& data, size_t size) {
  if (data.size() != size) return false;
  for (size_t i = 0; i < size; ++i) {
    if (static_cast<unsigned char>(data[i]) != i % 251) return false;
  }
  return true;
}

LateServer::LateServer(std::string body) : m_body(std::move(body)) {
  WSADATA wsa;
  ::WSAStartup(MAKEWORD(2, 2), &wsa);
  // A port that was free a moment ago: bound, read back and released again.
  SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    m_port = ntohs(address.sin_port);
  }
  ::closesocket(probe);
}

LateServer::~LateServer() {
  if (m_thread.joinable()) m_thread.join();
  ::WSACleanup();
}

void LateServer::Start(std::function<bool()> listenWhen) {
  m_listenWhen = std::move(listenWhen);
  m_thread = std::thread([this] { Serve(); });
}

bool LateServer::Join() {
  if (m_thread.joinable()) m_thread.join();
  return m_answered;
}

void LateServer::Serve() {
  if (!testsupport::WaitUntil(m_listenWhen, 20000)) return;
  SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(m_port);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 1) != 0) {
    ::closesocket(listener);
    return;
  }
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(listener, &readable);
  timeval timeout = {20, 0};
  if (::select(0, &readable, nullptr, nullptr, &timeout) == 1) {
    SOCKET client = ::accept(listener, nullptr, nullptr);
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const int n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request.append(buffer, static_cast<size_t>(n));
    }
    const std::string response = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(m_body.size()) +
                                 "\r\nConnection: close\r\n\r\n" + m_body;
    m_answered = ::send(client, response.data(), static_cast<int>(response.size()), 0) ==
                 static_cast<int>(response.size());
    ::shutdown(client, SD_SEND);
    while (::recv(client, buffer, sizeof buffer, 0) > 0) {
    }
    ::closesocket(client);
  }
  ::closesocket(listener);
}

}  // namespace nettest
