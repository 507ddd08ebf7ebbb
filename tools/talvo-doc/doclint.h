// Checks an update information document for the traps that make the updater ignore or misread
// a line, before the document reaches every user. The document is read by the updater's own
// parser (CProjectData with an observer); the checks only look at what that parse did.
#pragma once

#include <string>
#include <vector>

struct LintFinding {
  int nLine = 0;        // 1-based line of the document; 0 for the document as a whole
  std::string strId;    // short name of the trap, e.g. "blank-before-equals"
  std::string strText;  // what the updater does with the line, and how to write it instead
};

struct LintOptions {
  // The document now served: every offered version must sort after its version there.
  const std::string* pOldDocument = nullptr;
  // The folder the release is served from (the web server's root): every package address must
  // name a file there that the updater can unpack, and the packages must hold what COPY takes.
  std::string strReleaseDir;
  // The document is for updaters built with a release key: they fetch nothing that is not pinned,
  // so every package address and the notice must carry their size and SHA-256 (packagepin.h).
  bool bSigned = false;
  // With bSigned and strReleaseDir: the size and SHA-256 (64 lower-case hex digits) of a served
  // file, false when it cannot be read. The host tools hand in OpenSSL's; without it the pins are
  // only checked for being there and well formed.
  // With strReleaseDir and pFileDigest: the release archive (releasearchive.h). Every delta is
  // applied to the archived files of the release it starts from and each result's SHA-256 checked.
  std::string strArchiveDir;
  bool (*pFileDigest)(const std::string& path, std::string& sha256Hex, unsigned long long& size) = nullptr;
};

// The findings in line order, document-wide ones last. No network request is made.
std::vector<LintFinding> LintDocument(const std::string& text, const LintOptions& options);

// "FILE:LINE: [id] text" (or "FILE: [id] text" for the whole document), without a line end.
std::string FormatFinding(const std::string& file, const LintFinding& finding);

// The documents the updater accepts are at most this long; a longer one gives no document.
constexpr size_t kDocumentLimit = 4u << 20;
