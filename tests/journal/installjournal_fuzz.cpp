// Fuzzes the journal reader and the repair plan: no crash; what reads back is exactly what its
// records encode to; the plan removes or restores only files its own records name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <variant>

#include "journal/installjournal.h"

using namespace journal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const JournalReading reading = ReadJournal(text);
  if (reading.state == JournalState::kDamaged && !reading.records.empty()) std::abort();
  std::string encoded;
  std::set<std::string> named;
  for (const Record& r : reading.records) {
    encoded += EncodeRecord(r);
    if (const auto* s = std::get_if<SetAside>(&r)) named.insert({s->strOriginal, s->strBackup});
    if (const auto* n = std::get_if<NewFile>(&r)) named.insert({n->strPath, n->strTemporary});
  }
  // Complete lines read back only as they were written.
  if (text.compare(0, encoded.size(), encoded) != 0) std::abort();
  for (const RepairStep& step : PlanRepair(reading)) {
    const bool touchesFile = step.op == RepairOp::kRemoveNewFile || step.op == RepairOp::kRemoveFile ||
                             step.op == RepairOp::kRestoreFile;
    if (touchesFile && !named.count(step.strPath)) std::abort();
    if (step.op == RepairOp::kRestoreFile && !named.count(step.strGuard)) std::abort();
  }
  return 0;
}
