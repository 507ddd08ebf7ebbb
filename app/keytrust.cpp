#include "app/keytrust.h"

#include <algorithm>

#include "catalogue/signeddocument.h"

namespace {

bool Contains(const std::vector<crypto::P256PublicKey>& keys, const crypto::P256PublicKey& key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

void Remove(std::vector<crypto::P256PublicKey>& keys, const crypto::P256PublicKey& key) {
  keys.erase(std::remove(keys.begin(), keys.end(), key), keys.end());
}

constexpr char kChangeKey[] = "CHANGE=";
constexpr char kTrustedKey[] = "TRUSTED=";
constexpr char kRetiredKey[] = "RETIRED=";

}  // namespace

bool KeyTrust::Trusts(const crypto::P256PublicKey& key) const { return Contains(trusted, key); }
bool KeyTrust::Retired(const crypto::P256PublicKey& key) const { return Contains(retired, key); }

void KeyTrust::Apply(uint32_t number, const crypto::P256PublicKey& newKey, const crypto::P256PublicKey& retiredKey) {
  nLastChange = number;
  Remove(trusted, retiredKey);
  if (!Contains(retired, retiredKey)) retired.push_back(retiredKey);
  // A key once retired stays so: a later change cannot bring it back.
  if (!Contains(trusted, newKey) && !Contains(retired, newKey)) trusted.push_back(newKey);
}

bool ParseKeyRecord(std::string_view text, KeyTrust& trust) {
  KeyTrust read;
  bool first = true;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return false;  // cut off: a record always ends its lines
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    crypto::P256PublicKey key;
    if (first) {
      if (line.substr(0, 7) != kChangeKey || !ParseReleaseNumber(line.substr(7), read.nLastChange)) return false;
      first = false;
    } else if (line.substr(0, 8) == kTrustedKey && crypto::ParsePublicKeyLine(line.substr(8), key)) {
      if (Contains(read.trusted, key)) return false;
      read.trusted.push_back(key);
    } else if (line.substr(0, 8) == kRetiredKey && crypto::ParsePublicKeyLine(line.substr(8), key)) {
      if (Contains(read.retired, key)) return false;
      read.retired.push_back(key);
    } else {
      return false;
    }
  }
  if (first || read.trusted.empty() || read.retired.empty()) return false;
  for (const crypto::P256PublicKey& key : read.trusted)
    if (Contains(read.retired, key)) return false;
  trust = read;
  return true;
}

std::string FormatKeyRecord(const KeyTrust& trust) {
  std::string text = kChangeKey + std::to_string(trust.nLastChange) + "\n";
  for (const crypto::P256PublicKey& key : trust.trusted) text += kTrustedKey + crypto::FormatPublicKeyLine(key) + "\n";
  for (const crypto::P256PublicKey& key : trust.retired) text += kRetiredKey + crypto::FormatPublicKeyLine(key) + "\n";
  return text;
}

KeyTrust StartingTrust(const std::vector<crypto::P256PublicKey>& buildKeys, const KeyTrust& recorded) {
  KeyTrust trust;
  trust.nLastChange = recorded.nLastChange;
  trust.retired = recorded.retired;
  for (const auto* keys : {&buildKeys, &recorded.trusted})
    for (const crypto::P256PublicKey& key : *keys)
      if (!Contains(trust.retired, key) && !Contains(trust.trusted, key)) trust.trusted.push_back(key);
  return trust;
}
