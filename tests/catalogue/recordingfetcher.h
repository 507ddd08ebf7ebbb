// Test helpers: a text fetcher that records its requests, and a catalogue that frees its
// extra-project records (which the catalogue itself hands over rather than deletes).
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/noticefetch.h"
#include "catalogue/projectdata.h"

struct FetchRequest {
  std::string url;
  unsigned long timeoutMs;
  bool operator==(const FetchRequest& other) const {
    return url == other.url && timeoutMs == other.timeoutMs;
  }
};

inline void PrintTo(const FetchRequest& request, std::ostream* os) {
  *os << "{" << request.url << ", " << request.timeoutMs << "}";
}

class RecordingFetcher {
 public:
  static std::vector<FetchRequest>& Requests() {
    static std::vector<FetchRequest> requests;
    return requests;
  }
  static std::map<std::string, std::string>& Answers() {
    static std::map<std::string, std::string> answers;
    return answers;
  }
  static std::string Fetch(const std::string& url, unsigned long timeoutMs) {
    Requests().push_back({url, timeoutMs});
    auto it = Answers().find(url);
    return it == Answers().end() ? std::string() : it->second;
  }
};

// Every catalogue test runs with the recording fetcher, so no test reaches the network even in a
// build whose default fetcher is a real downloader.
class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RecordingFetcher::Requests().clear();
    RecordingFetcher::Answers().clear();
    m_previousFetcher = SetTextFetcher(&RecordingFetcher::Fetch);
  }
  void TearDown() override { SetTextFetcher(m_previousFetcher); }

 private:
  FetchTextFn m_previousFetcher = nullptr;
};

// A parsed document.
struct ParsedDocument {
  explicit ParsedDocument(const std::string& text) : result(data.Parse(text)) {}

  CProjectData data;
  int result;
};
