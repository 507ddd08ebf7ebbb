// In the program the notice really comes over HTTP: through the downloader the application
// installs as the catalogue's fetcher, from the update server.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "app/downloaderfetchtext.h"
#include "catalogue/noticefetch.h"
#include "catalogue/projectdata.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(NoticeOverHttp, TheNoticeIsFetchedThroughTheDownloaderWithCrLfLineEnds) {
  const char* server = std::getenv("TALVO_TEST_SERVER");
  const char* sourceDir = std::getenv("TALVO_SOURCE_DIR_WIN");
  const char* accessLog = std::getenv("TALVO_TEST_ACCESS_LOG");
  ASSERT_TRUE(server && sourceDir && accessLog) << "run through tests/net/run-with-server.py";

  const std::string served = ReadFile(std::string(sourceDir) + "\\samples\\release\\notice\\notice.txt");
  ASSERT_NE(served.find('\n'), std::string::npos);
  std::string expected;
  for (char c : served) {
    if (c == '\n') expected += '\r';
    expected += c;
  }

  const FetchTextFn previous = SetTextFetcher(&FetchTextWithDownloader);
  CProjectData data;
  data.Parse(std::string("[NOTICE]\r\nNOTICE_URL=http://") + server + "/notice/notice.txt\r\n");
  EXPECT_EQ(data.GetNotice(), expected);
  EXPECT_NE(ReadFile(accessLog).find("/notice/notice.txt"), std::string::npos);
  SetTextFetcher(previous);
}

}  // namespace
