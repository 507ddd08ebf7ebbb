// talvo-fetch: checks whether this machine can reach the update server, by fetching the way the
// updater does.
//   talvo-fetch.exe [--save-dir DIR] URL...   queue the URLs, download them in file mode and wait;
//                                             prints "file=<finished file or empty> error=<0|1>"
//   talvo-fetch.exe --text MILLISECONDS URL   prints the text a text request returns
// Exit status 0 when a file or a non-empty text came back, 1 otherwise, 2 for a bad command line.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "net/internetfiledown.h"

namespace {

int Usage() {
  std::fputs("usage: talvo-fetch.exe [--save-dir DIR] URL...\n"
             "       talvo-fetch.exe --text MILLISECONDS URL\n", stderr);
  return 2;
}

bool ParseMilliseconds(const char* text, DWORD& value) {
  char* end = nullptr;
  const unsigned long parsed = std::strtoul(text, &end, 10);
  if (!*text || *end || text[0] == '-') return false;
  value = static_cast<DWORD>(parsed);
  return true;
}

int FetchText(DWORD timeoutMs, const std::string& url) {
  auto downloader = std::make_unique<CInternetFileDown>();
  downloader->SetSavePath("");
  const std::string text = downloader->DownloadToString(url, timeoutMs);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return text.empty() ? 1 : 0;
}

int FetchFiles(const std::string& saveDir, const std::vector<std::string>& urls) {
  auto downloader = std::make_unique<CInternetFileDown>();
  std::string folder = saveDir;
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  downloader->SetSavePath(folder);
  bool first = true;
  for (const std::string& url : urls) {
    downloader->AddURL(url, first ? TRUE : FALSE);
    first = false;
  }
  downloader->DownloadNow("", FALSE, TRUE);
  const std::string file = downloader->GetFinishedFile();
  std::printf("file=%s error=%d\n", file.c_str(), downloader->GetError() ? 1 : 0);
  std::fflush(stdout);
  return file.empty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Bytes out exactly as they came in: a document is code page 949 text with its own line ends.
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage();
  if (args[0] == "--text") {
    DWORD timeoutMs = 0;
    if (args.size() != 3 || !ParseMilliseconds(args[1].c_str(), timeoutMs)) return Usage();
    return FetchText(timeoutMs, args[2]);
  }
  std::string saveDir;
  size_t next = 0;
  if (args[0] == "--save-dir") {
    if (args.size() < 3) return Usage();
    saveDir = args[1];
    next = 2;
  }
  std::vector<std::string> urls(args.begin() + static_cast<long>(next), args.end());
  if (urls.empty()) return Usage();
  for (const std::string& url : urls) {
    if (url.rfind("--", 0) == 0) return Usage();
  }
  return FetchFiles(saveDir, urls);
}
