// An update run's sink for tests: records every call, in order, as a short line.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "update/updaterunsink.h"

class CRecordingSink : public IUpdateRunSink {
 public:
  void ShowStatus(RunStatus status) override { Add(std::string("status ") + Name(status)); }
  void ShowCounter(int nDone, int nTotal) override {
    Add("counter " + std::to_string(nDone) + "/" + std::to_string(nTotal));
  }
  void SetProgressRange(int nUpper) override { Add("range " + std::to_string(nUpper)); }
  void ShowProgress(int nPos) override { Add("progress " + std::to_string(nPos)); }

  // Every call but the positions, which depend on how the bytes arrive.
  std::vector<std::string> Steps() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> steps;
    for (const std::string& call : m_calls)
      if (call.compare(0, 9, "progress ") != 0) steps.push_back(call);
    return steps;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
  }
  std::vector<std::string> Calls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
  }

 private:
  static const char* Name(RunStatus status) {
    switch (status) {
      case RunStatus::kDownloading: return "downloading";
      case RunStatus::kExtracting: return "extracting";
      case RunStatus::kInstalling: return "installing";
      case RunStatus::kDone: return "done";
      case RunStatus::kFailed: return "failed";
    }
    return "?";
  }
  void Add(std::string call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back(std::move(call));
  }

  mutable std::mutex m_mutex;
  std::vector<std::string> m_calls;
};
