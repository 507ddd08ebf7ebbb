#include "app/releasecheck.h"

#include <cstdint>
#include <cstdio>

#include "catalogue/keychange.h"
#include "catalogue/signeddocument.h"

namespace {

ReleaseCheck Refused(const std::string& why) {
  ReleaseCheck check;
  check.strLogLine = "Release check: document refused: " + why;
  return check;
}

// A stored text as the log shows it: printable ASCII as it is, everything else escaped, cut
// after 40 bytes.
std::string Shown(std::string_view text) {
  std::string shown = "\"";
  for (size_t i = 0; i < text.size() && i < 40; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r') shown += "\\r";
    else if (c == '\n') shown += "\\n";
    else if (c == '"' || c == '\\') shown += std::string("\\") + static_cast<char>(c);
    else if (c >= 0x20 && c < 0x7f) shown += static_cast<char>(c);
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      shown += hex;
    }
  }
  if (text.size() > 40) shown += "...";
  return shown + "\"";
}

}  // namespace

bool ParseRecordedRelease(std::string_view text, uint64_t& number) {
  if (text.empty() || text[0] == '0') return false;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  number = value;
  return true;
}

ReleaseCheck CheckRelease(std::string_view document, std::string_view keyLine, const RecordedRelease& recorded,
                          const SignatureVerifier& verify, int64_t nowUtcSeconds) {
  return CheckRelease(document, keyLine, recorded, RecordedKeys(), verify, nowUtcSeconds);
}

namespace {

std::string StatusText(long status) {
  char szStatus[16];
  std::snprintf(szStatus, sizeof szStatus, "0x%08lx", static_cast<unsigned long>(status) & 0xffffffffUL);
  return szStatus;
}

// Whether any of `keys` signed `data`: kGood as soon as one did; kNotChecked (with the system's
// status) when none did and the system could not check at least one; kBad otherwise.
crypto::SignatureCheck SignedByAny(const std::vector<crypto::P256PublicKey>& keys, std::string_view data,
                                   const crypto::P256Signature& signature, const SignatureVerifier& verify,
                                   long& status) {
  crypto::SignatureCheck outcome = crypto::SignatureCheck::kBad;
  for (const crypto::P256PublicKey& key : keys) {
    long keyStatus = 0;
    const crypto::SignatureCheck check = verify(key, data, signature, keyStatus);
    if (check == crypto::SignatureCheck::kGood) return check;
    if (check == crypto::SignatureCheck::kNotChecked && outcome == crypto::SignatureCheck::kBad) {
      outcome = check;
      status = keyStatus;
    }
  }
  return outcome;
}

}  // namespace

ReleaseCheck CheckRelease(std::string_view document, std::string_view keyLines, const RecordedRelease& recorded,
                          const RecordedKeys& recordedKeys, const SignatureVerifier& verify, int64_t nowUtcSeconds) {
  std::vector<crypto::P256PublicKey> buildKeys;
  if (!crypto::ParsePublicKeyList(keyLines, buildKeys)) return Refused("the build's release key is malformed");

  const SignedDocument signedDocument = SplitSignedDocument(document);
  if (signedDocument.state != SignatureState::kSigned)
    return Refused(DescribeSignatureState(signedDocument.state));

  KeyTrust recordedTrust;
  switch (recordedKeys.state) {
    case RecordedKeys::kNone:
      break;
    case RecordedKeys::kUnreadable:
      return Refused("the release keys trusted here cannot be read from " + recordedKeys.where + " (error " +
                     std::to_string(recordedKeys.error) + ")");
    case RecordedKeys::kFound:
      if (!ParseKeyRecord(recordedKeys.text, recordedTrust)) {
        return Refused("the release keys trusted here, in " + recordedKeys.where +
                       ", are not a key record this updater writes; updates stay refused until it is mended or "
                       "removed (removed, the build's keys are trusted again)");
      }
      break;
  }
  KeyTrust trust = StartingTrust(buildKeys, recordedTrust);

  // The changes after the last one applied here, each checked against the trust it finds.
  const KeyChanges changes = ReadKeyChanges(signedDocument.covered);
  if (!changes.bWellFormed) return Refused(changes.strProblem);
  std::vector<std::string> changeLines;
  for (const KeyChange& change : changes.changes) {
    if (change.number <= trust.nLastChange) continue;
    const std::string name = "key change " + std::to_string(change.number);
    if (change.number != trust.nLastChange + 1) {
      return Refused(name + " does not follow key change " + std::to_string(trust.nLastChange) +
                     ", the last applied here: a change between them is missing");
    }
    const std::string statement = KeyChangeStatement(change.number, change.newKey, change.retiredKey);
    long status = 0;
    switch (SignedByAny(trust.trusted, statement, change.trustedSignature, verify, status)) {
      case crypto::SignatureCheck::kGood: break;
      case crypto::SignatureCheck::kBad: return Refused(name + " is not signed by a key trusted here");
      case crypto::SignatureCheck::kNotChecked:
        return Refused(name + ": the signature could not be checked (status " + StatusText(status) + ")");
    }
    if (trust.Retired(change.newKey)) return Refused(name + " brings back a retired key");
    switch (SignedByAny({change.newKey}, statement, change.newKeySignature, verify, status)) {
      case crypto::SignatureCheck::kGood: break;
      case crypto::SignatureCheck::kBad: return Refused(name + " is not signed by its new key");
      case crypto::SignatureCheck::kNotChecked:
        return Refused(name + ": the signature could not be checked (status " + StatusText(status) + ")");
    }
    trust.Apply(change.number, change.newKey, change.retiredKey);
    changeLines.push_back("Release check: " + name + " applied: " + ShortKeyName(change.newKey) +
                          " trusted, " + ShortKeyName(change.retiredKey) + " retired");
  }

  long status = 0;
  switch (SignedByAny(trust.trusted, signedDocument.covered, signedDocument.signature, verify, status)) {
    case crypto::SignatureCheck::kGood:
      break;
    case crypto::SignatureCheck::kBad:
      return Refused("bad signature");
    case crypto::SignatureCheck::kNotChecked:
      return Refused(std::string("the signature could not be checked (status ") + StatusText(status) + ")");
  }

  const ReleaseNumber release = ReadReleaseNumber(signedDocument.covered);
  if (release.state != ReleaseNumberState::kFound) return Refused(DescribeReleaseNumberState(release.state));
  const ReleaseExpiry expiry = ReadReleaseExpiry(signedDocument.covered);
  if (expiry.state == ReleaseExpiryState::kMalformed || expiry.state == ReleaseExpiryState::kSeveral)
    return Refused(DescribeReleaseExpiryState(expiry.state));
  if (expiry.state == ReleaseExpiryState::kFound && nowUtcSeconds > expiry.nUtcSeconds + kExpirySlackSeconds) {
    return Refused("release " + std::to_string(release.number) + " expired at " +
                   FormatExpiryTime(expiry.nUtcSeconds) + ", more than 24 hours before this machine's clock (" +
                   FormatExpiryTime(nowUtcSeconds) + "); the server keeps serving a document the maker stopped "
                   "refreshing");
  }
  uint64_t accepted = 0;
  switch (recorded.state) {
    case RecordedRelease::kNone:
      break;
    case RecordedRelease::kUnreadable:
      return Refused("the highest release accepted here cannot be read from " + recorded.where + " (error " +
                     std::to_string(recorded.error) + ")");
    case RecordedRelease::kFound:
      if (!ParseRecordedRelease(recorded.text, accepted)) {
        return Refused("the highest release accepted here, " + Shown(recorded.text) + " in " + recorded.where +
                       ", is no release number; updates stay refused until it is mended (the highest release "
                       "accepted, in decimal digits) or removed");
      }
      break;
  }
  if (release.number < accepted) {
    std::string why = "release " + std::to_string(release.number) + " is older than " + std::to_string(accepted) +
                      " accepted here (recorded in " + recorded.where + ")";
    if (accepted >= kHighestReleaseNumber)
      why += "; no release can be newer than " + std::to_string(kHighestReleaseNumber) +
             ": if that record is wrong, mend or remove it";
    return Refused(why);
  }

  ReleaseCheck check;
  check.bAccepted = true;
  check.covered = signedDocument.covered;
  check.nRelease = release.number;
  check.bRecord = release.number > accepted || recorded.state == RecordedRelease::kNone || recorded.bOldPlace;
  check.saKeyChangeLines = changeLines;
  check.bRecordKeys = !changeLines.empty();
  check.keys = trust;
  check.strLogLine = "Release check: document signature good, release " + std::to_string(release.number) +
                     (expiry.state == ReleaseExpiryState::kFound
                          ? ", expires " + FormatExpiryTime(expiry.nUtcSeconds)
                          : std::string());
  return check;
}

bool NoticeMatchesPin(const PackagePin& pin, std::string_view body, const Sha256Function& sha256,
                      std::string& strLogLine) {
  uint64_t size = 0;
  crypto::Sha256Digest pinned{};
  if (pin.IsEmpty()) {
    strLogLine = "Notice check: notice not shown: the document does not pin it";
    return false;
  }
  if (!pin.Read(size, pinned)) {
    strLogLine = "Notice check: notice not shown: its pin is malformed";
    return false;
  }
  crypto::Sha256Digest got{};
  if (body.size() != size) {
    strLogLine = "Notice check: notice not shown: " + std::to_string(body.size()) + " bytes, pinned " +
                 std::to_string(size);
    return false;
  }
  if (!sha256(body, got)) {
    strLogLine = "Notice check: notice not shown: its SHA-256 could not be made";
    return false;
  }
  if (got != pinned) {
    strLogLine = "Notice check: notice not shown: its SHA-256 differs from the pin";
    return false;
  }
  strLogLine = "Notice check: size and SHA-256 match";
  return true;
}
