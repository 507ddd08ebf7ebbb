// Feeds arbitrary bytes to the document parser, then walks and marks every job as the installer
// would. The fetcher answers a fixed text so the notice path runs too.
#include <cstddef>
#include <cstdint>
#include <string>

#include "catalogue/keychange.h"
#include "catalogue/noticefetch.h"
#include "catalogue/projectdata.h"

namespace {

std::string FixedNotice(const std::string& url, unsigned long /*timeoutMs*/) {
  return url.empty() ? std::string() : "notice\nline two\r\n\xb0\xa1\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetTextFetcher(&FixedNotice);
  const std::string text(reinterpret_cast<const char*>(data), size);
  // The signed form's key changes are read from the same bytes before the parse sees them.
  const KeyChanges changes = ReadKeyChanges(text);
  if (!changes.bWellFormed && !changes.changes.empty()) __builtin_trap();
  CProjectData catalogue;
  const int result = catalogue.Parse(text);
  if (result != 0 && result != 1) __builtin_trap();
  if (catalogue.m_nEtcCount != static_cast<int>(catalogue.m_arrEtcProject.size())) __builtin_trap();

  for (int type = CProjectData::JOB_FOLDER; type <= CProjectData::JOB_REGISTRY; ++type) {
    for (int j = 0; j < catalogue.GetJobCount(type); ++j) {
      if (catalogue.GetJobLine(type, j).empty()) continue;
      catalogue.MarkJobDone(type, j);
      if (!catalogue.GetJobLine(type, j).empty() && catalogue.GetJobLine(type, j).find('=') != std::string::npos) {
        __builtin_trap();  // a marked line with a command word must read as done
      }
    }
  }
  // The notice's bytes as fetched are kept for its pin; a pin that reads is exactly as written.
  if (catalogue.GetNoticeBody() != FixedNotice(catalogue.GetNoticeUrl(), 0)) __builtin_trap();
  for (const PackagePin& pin : {catalogue.GetNoticePin(), catalogue.GetXPDownloadPin(), catalogue.GetOcxDownloadPin()}) {
    uint64_t pinnedSize = 0;
    crypto::Sha256Digest digest;
    if (pin.Read(pinnedSize, digest) && std::to_string(pinnedSize) != pin.m_strSize) __builtin_trap();
  }
  const std::string notice = catalogue.GetNotice();
  for (size_t i = 0; i < notice.size(); ++i) {
    if (notice[i] == '\n' && (i == 0 || notice[i - 1] != '\r')) __builtin_trap();
  }
  return 0;
}
