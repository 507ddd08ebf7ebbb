// Support for the downloader tests: the test server's address and logs, WriteLog capture and the
// generated bodies. Files, folders and waiting come from tests/support.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/freshfolder.h"
#include "tests/support/pump.h"

namespace nettest {

// From run-with-server.py.
std::string Env(const char* name);
std::string ServerUrl(const std::string& path);  // "http://127.0.0.1:PORT" + path
std::string ServerHostPort();                    // "127.0.0.1:PORT"
std::vector<std::string> ReadLines(const std::string& path);
std::vector<std::string> AccessLog();  // "<seconds> <event> <detail>" per line
bool AccessLogHas(const std::string& needle);

// WriteLog lines of this process, caught as the debug output they are.
struct LogLine {
  std::string text;
  double ms;  // since the capture was cleared
};
void StartLogCapture();
void ClearLog();
std::vector<LogLine> CapturedLog();
size_t CountLog(const std::string& text);
bool LogContains(const std::string& needle);

// The test server's generated bodies: byte i is i % 251.
std::string Generated(size_t size);
bool IsGenerated(const std::string& data, size_t size);

// A one-request HTTP server on a free loopback port that starts listening only once a
// condition holds, answering 200 with a fixed body.
class LateServer {
 public:
  explicit LateServer(std::string body);
  ~LateServer();
  LateServer(const LateServer&) = delete;
  LateServer& operator=(const LateServer&) = delete;
  unsigned short Port() const { return m_port; }
  void Start(std::function<bool()> listenWhen);
  bool Join();  // true when one request was answered

 private:
  void Serve();
  std::string m_body;
  unsigned short m_port = 0;
  std::function<bool()> m_listenWhen;
  std::thread m_thread;
  bool m_answered = false;
};

}  // namespace nettest
