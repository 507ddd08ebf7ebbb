#include "catalogue/keychange.h"

#include "catalogue/signeddocument.h"
#include "crypto/hex.h"

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// One section as read: which of its five lines were seen, and how often.
struct SectionReading {
  KeyChange change;
  int seen[5] = {};
  bool bad[5] = {};
};

const char* const kKeys[5] = {kKeyChangeNumberKey, kKeyChangeNewKey, kKeyChangeRetiredKey,
                              kKeyChangeTrustedSignatureKey, kKeyChangeNewKeySignatureKey};

void ReadLine(std::string_view line, SectionReading& reading) {
  for (int i = 0; i < 5; ++i) {
    if (!StartsWith(line, kKeys[i])) continue;
    const std::string_view value = line.substr(std::string_view(kKeys[i]).size());
    ++reading.seen[i];
    KeyChange& c = reading.change;
    bool good = false;
    switch (i) {
      case 0: good = ParseReleaseNumber(value, c.number); break;
      case 1: good = crypto::ParsePublicKeyLine(value, c.newKey); break;
      case 2: good = crypto::ParsePublicKeyLine(value, c.retiredKey); break;
      case 3: good = crypto::DecodeHex(value, c.trustedSignature.data(), c.trustedSignature.size()); break;
      case 4: good = crypto::DecodeHex(value, c.newKeySignature.data(), c.newKeySignature.size()); break;
    }
    if (!good) reading.bad[i] = true;
    return;
  }
}

// Empty when the section is a whole change.
std::string SectionProblem(const SectionReading& reading, size_t index) {
  const std::string which = "key change section " + std::to_string(index + 1);
  for (int i = 0; i < 5; ++i) {
    const std::string name(kKeys[i], std::string_view(kKeys[i]).size() - 1);
    if (reading.seen[i] == 0) return which + " has no " + name + " line";
    if (reading.seen[i] > 1) return which + " has more than one " + name + " line";
    if (reading.bad[i]) return which + " has a malformed " + name;
  }
  if (reading.change.newKey == reading.change.retiredKey)
    return "key change " + std::to_string(reading.change.number) + " retires the key it brings in";
  return std::string();
}

}  // namespace

KeyChanges ReadKeyChanges(std::string_view covered) {
  KeyChanges result;
  std::vector<SectionReading> sections;
  bool inside = false;
  while (!covered.empty()) {
    const std::string_view line = TakeTrimmedLine(covered);
    if (StartsWith(line, "[")) {
      inside = line == kKeyChangeSectionLine;
      if (inside) sections.emplace_back();
      continue;
    }
    if (inside) ReadLine(line, sections.back());
  }
  for (size_t i = 0; i < sections.size(); ++i) {
    std::string problem = SectionProblem(sections[i], i);
    if (problem.empty() && i > 0 && sections[i].change.number != sections[i - 1].change.number + 1) {
      problem = "key change " + std::to_string(sections[i].change.number) + " follows key change " +
                std::to_string(sections[i - 1].change.number) + ": changes must be numbered one by one, in order";
    }
    if (!problem.empty()) {
      result.bWellFormed = false;
      result.strProblem = problem;
      result.changes.clear();
      return result;
    }
    result.changes.push_back(sections[i].change);
  }
  return result;
}

std::string KeyChangeStatement(uint32_t number, const crypto::P256PublicKey& newKey,
                               const crypto::P256PublicKey& retiredKey) {
  return "TalvoUpdate release key change\nNUMBER=" + std::to_string(number) + "\nNEW_KEY=" +
         crypto::FormatPublicKeyLine(newKey) + "\nRETIRED_KEY=" + crypto::FormatPublicKeyLine(retiredKey) + "\n";
}

std::string FormatKeyChangeSection(const KeyChange& change) {
  return std::string(kKeyChangeSectionLine) + "\r\n" + kKeyChangeNumberKey + std::to_string(change.number) + "\r\n" +
         kKeyChangeNewKey + crypto::FormatPublicKeyLine(change.newKey) + "\r\n" + kKeyChangeRetiredKey +
         crypto::FormatPublicKeyLine(change.retiredKey) + "\r\n" + kKeyChangeTrustedSignatureKey +
         crypto::EncodeHex(change.trustedSignature.data(), change.trustedSignature.size()) + "\r\n" +
         kKeyChangeNewKeySignatureKey +
         crypto::EncodeHex(change.newKeySignature.data(), change.newKeySignature.size()) + "\r\n";
}

std::string ShortKeyName(const crypto::P256PublicKey& key) {
  return crypto::kPublicKeyLinePrefix + crypto::EncodeHex(key.data(), 8) + "...";
}
