// Arbitrary bytes through the lint: the first half as the served document, the rest as the new
// one. Every finding must name a line of the document (or none) and say something.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/talvo-doc/doclint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const std::string old = all.substr(0, size / 2);
  const std::string text = all.substr(size / 2);
  size_t lines = 1;
  for (char c : text) lines += c == '\n';
  for (const bool against : {false, true}) {
    LintOptions options;
    if (against) options.pOldDocument = &old;
    // The rules of documents for updaters with a release key: every address and the notice pinned.
    options.bSigned = against;
    for (const LintFinding& finding : LintDocument(against ? text : all, options)) {
      const size_t limit = against ? lines : lines + old.size();
      if (finding.nLine < 0 || static_cast<size_t>(finding.nLine) > limit) __builtin_trap();
      if (finding.strId.empty() || finding.strText.empty()) __builtin_trap();
      (void)FormatFinding("doc", finding);
    }
  }
  return 0;
}
