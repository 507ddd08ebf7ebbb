// The notice is fetched while parsing, through the one fetch seam, followed by the log page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/noticefetch.h"
#include "catalogue/projectdata.h"
#include "talvobuildconfig.h"
#include "tests/catalogue/recordingfetcher.h"

namespace {

using Requests = std::vector<FetchRequest>;

const std::string kLogPage = std::string("http://") + TALVO_WEB_HOST + "/app/update_windowlog.asp";
const std::string kNoticeUrl = "http://127.0.0.1/notice.txt";

TEST_F(CatalogueTest, NoticeThenLogPageAreFetchedWithTenSeconds) {
  RecordingFetcher::Answers()[kNoticeUrl] = "first\nsecond\n";
  ParsedDocument doc("[NOTICE]\r\nNOTICE_URL=" + kNoticeUrl + "\r\n[Talvo]\r\nXP_VERSION=1\r\n");
  EXPECT_EQ(RecordingFetcher::Requests(), (Requests{{kNoticeUrl, 10000}, {kLogPage, 10000}}));
  EXPECT_EQ(doc.data.GetNotice(), "first\r\nsecond\r\n");
  EXPECT_EQ(doc.data.GetNoticeUrl(), kNoticeUrl);
  EXPECT_EQ(doc.data.GetXPVersion(), "1");
}

TEST_F(CatalogueTest, NoticeLineFeedsBecomeCrLf) {
  const struct {
    std::string answer;
    std::string notice;
  } cases[] = {
      {"", ""},
      {"one line", "one line"},
      {"\n", "\r\n"},
      {"a\n\nb", "a\r\n\r\nb"},
      {"already\r\nwindows", "already\r\r\nwindows"},  // every LF, whatever precedes it
      {"\xb0\xa1\n\xc5\xbb", "\xb0\xa1\r\n\xc5\xbb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    RecordingFetcher::Answers()[kNoticeUrl] = c.answer;
    ParsedDocument doc("[NOTICE]\nNOTICE_URL=" + kNoticeUrl + "\n");
    EXPECT_EQ(doc.data.GetNotice(), c.notice);
  }
}

TEST_F(CatalogueTest, NoticeRequestsFollowTheNoticeKey) {
  const struct {
    const char* what;
    std::string document;
    Requests requests;
  } cases[] = {
      {"no notice section", "[Talvo]\r\nXP_VERSION=1\r\n", {}},
      {"NOTICE_URL outside its section", "[Talvo]\r\nNOTICE_URL=" + kNoticeUrl + "\r\n", {}},
      {"another key in the notice section", "[NOTICE]\r\nNOTICE=" + kNoticeUrl + "\r\n", {}},
      {"lower-case key", "[NOTICE]\r\nnotice_url=" + kNoticeUrl + "\r\n", {{kNoticeUrl, 10000}, {kLogPage, 10000}}},
      {"quotes are sent as written", "[NOTICE]\r\nNOTICE_URL=\"" + kNoticeUrl + "\"\r\n",
       {{"\"" + kNoticeUrl + "\"", 10000}, {kLogPage, 10000}}},
      {"comment cut off", "[NOTICE]\r\nNOTICE_URL=" + kNoticeUrl + ";today\r\n", {{kNoticeUrl, 10000}, {kLogPage, 10000}}},
      {"after a <meta stop", "<meta>\r\n[NOTICE]\r\nNOTICE_URL=" + kNoticeUrl + "\r\n", {}},
      {"each notice key fetches", "[NOTICE]\r\nNOTICE_URL=a\r\nNOTICE_URL=b\r\n",
       {{"a", 10000}, {kLogPage, 10000}, {"b", 10000}, {kLogPage, 10000}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingFetcher::Requests().clear();
    ParsedDocument doc(c.document);
    EXPECT_EQ(RecordingFetcher::Requests(), c.requests);
  }
}

TEST_F(CatalogueTest, UnreachableNoticeLeavesTheEarlierText) {
  RecordingFetcher::Answers()["a"] = "from a";
  ParsedDocument doc("[NOTICE]\r\nNOTICE_URL=a\r\nNOTICE_URL=unreachable\r\n");
  EXPECT_EQ(doc.data.GetNotice(), "from a");
  EXPECT_EQ(doc.data.GetNoticeUrl(), "unreachable");
}

TEST_F(CatalogueTest, LogPageAnswerIsDiscarded) {
  RecordingFetcher::Answers()[kLogPage] = "logged";
  ParsedDocument doc("[NOTICE]\r\nNOTICE_URL=" + kNoticeUrl + "\r\n");
  EXPECT_EQ(doc.data.GetNotice(), "");
  EXPECT_EQ(RecordingFetcher::Requests().size(), 2u);
}

std::string AnswerOne(const std::string&, unsigned long) { return "one"; }
std::string AnswerTwo(const std::string&, unsigned long) { return "two"; }

TEST(TextFetcher, InstallingReturnsThePreviousFetcher) {
  const FetchTextFn original = SetTextFetcher(&AnswerOne);
  EXPECT_EQ(FetchText("x", 1), "one");
  EXPECT_EQ(SetTextFetcher(&AnswerTwo), &AnswerOne);
  EXPECT_EQ(FetchText("x", 1), "two");
  // nullptr puts the default back.
  EXPECT_EQ(SetTextFetcher(nullptr), &AnswerTwo);
  EXPECT_EQ(SetTextFetcher(original), &DefaultFetchText);
}

}  // namespace
