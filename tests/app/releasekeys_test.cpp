// Trusting more than one release key, and replacing one through a key change in the signed
// document: which documents are read, what trust is recorded, what the log says. Signatures come
// from a stand-in that knows which key made which signature, so the rules are tested without
// cryptography.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/keytrust.h"
#include "app/releasecheck.h"
#include "catalogue/keychange.h"
#include "crypto/hex.h"

namespace {

// The clock of the checks: 2026-12-11 10:00:00 UTC.
const int64_t kNow = 1796983200;

crypto::P256PublicKey Key(char digit) {
  crypto::P256PublicKey key;
  crypto::DecodeHex(std::string(128, digit), key.data(), key.size());
  return key;
}

const crypto::P256PublicKey kActive = Key('a');
const crypto::P256PublicKey kBackup = Key('b');
const crypto::P256PublicKey kNew = Key('c');
const crypto::P256PublicKey kStranger = Key('d');
const crypto::P256PublicKey kLater = Key('e');
const std::string kBuildKeys = crypto::FormatPublicKeyLine(kActive) + " " + crypto::FormatPublicKeyLine(kBackup);

// The stand-in's signature of `data` by `key`: the key's first half, then a digest of the data.
crypto::P256Signature SignedBy(const crypto::P256PublicKey& key, std::string_view data) {
  crypto::P256Signature signature{};
  std::copy(key.begin(), key.begin() + 32, signature.begin());
  const size_t digest = std::hash<std::string_view>()(data);
  for (size_t i = 32; i < signature.size(); ++i) signature[i] = static_cast<unsigned char>(digest >> (8 * (i % 8)));
  return signature;
}

struct StandIn {
  int calls = 0;
  SignatureVerifier Verifier() {
    return [this](const crypto::P256PublicKey& k, std::string_view d, const crypto::P256Signature& s, long&) {
      ++calls;
      return s == SignedBy(k, d) ? crypto::SignatureCheck::kGood : crypto::SignatureCheck::kBad;
    };
  }
};

// A change from `trustedSigner` and `newSigner` (the new key itself, unless a test says otherwise).
KeyChange Change(uint32_t number, const crypto::P256PublicKey& newKey, const crypto::P256PublicKey& retired,
                 const crypto::P256PublicKey& trustedSigner, const crypto::P256PublicKey* newSigner = nullptr) {
  KeyChange change;
  change.number = number;
  change.newKey = newKey;
  change.retiredKey = retired;
  const std::string statement = KeyChangeStatement(number, newKey, retired);
  change.trustedSignature = SignedBy(trustedSigner, statement);
  change.newKeySignature = SignedBy(newSigner ? *newSigner : newKey, statement);
  return change;
}

std::string Document(const crypto::P256PublicKey& signer, const std::vector<KeyChange>& changes = {}) {
  std::string covered = "[Talvo]\r\nXP_VERSION=3.41\r\n[END]\r\n";
  for (const KeyChange& change : changes) covered += FormatKeyChangeSection(change);
  covered += "[RELEASE]\r\nNUMBER=7\r\n";
  const crypto::P256Signature signature = SignedBy(signer, covered);
  return covered + "[SIGNATURE]\r\nECDSA-P256-SHA256=" + crypto::EncodeHex(signature.data(), signature.size()) + "\r\n";
}

RecordedKeys Recorded(const std::string& text) {
  RecordedKeys recorded;
  recorded.state = RecordedKeys::kFound;
  recorded.text = text;
  recorded.where = "C:\\Talvo\\Update.keys";
  return recorded;
}

// After change 1 (the active key replaced by the new one).
const std::string kAfterChange1 = "CHANGE=1\nTRUSTED=" + crypto::FormatPublicKeyLine(kBackup) +
                                  "\nTRUSTED=" + crypto::FormatPublicKeyLine(kNew) +
                                  "\nRETIRED=" + crypto::FormatPublicKeyLine(kActive) + "\n";

const std::string kRefused = "Release check: document refused: ";

TEST(ReleaseKeys, WhichDocumentsAreReadAndWhatTrustFollows) {
  const KeyChange change1 = Change(1, kNew, kActive, kActive);
  const KeyChange change2 = Change(2, kLater, kBackup, kNew);
  const struct {
    const char* what;
    std::string document;
    RecordedKeys recorded;
    std::string refusal;       // empty: accepted
    std::string recordAfter;   // accepted with key changes: the trust to record; empty: none
  } cases[] = {
      {"signed by the active key", Document(kActive), RecordedKeys(), "", ""},
      {"signed by the backup key", Document(kBackup), RecordedKeys(), "", ""},
      {"signed by a key the build does not carry", Document(kStranger), RecordedKeys(), kRefused + "bad signature", ""},
      {"a change signed by the active and the new key, the document by the new key",
       Document(kNew, {change1}), RecordedKeys(), "", kAfterChange1},
      {"a change signed by the backup key retiring the active one", Document(kNew, {Change(1, kNew, kActive, kBackup)}),
       RecordedKeys(), "", kAfterChange1},
      {"a change signed by a trusted key only", Document(kNew, {Change(1, kNew, kActive, kActive, &kActive)}),
       RecordedKeys(), kRefused + "key change 1 is not signed by its new key", ""},
      {"a change signed by the new key only", Document(kNew, {Change(1, kNew, kActive, kNew)}), RecordedKeys(),
       kRefused + "key change 1 is not signed by a key trusted here", ""},
      {"a change signed by a stranger and the new key", Document(kNew, {Change(1, kNew, kActive, kStranger)}),
       RecordedKeys(), kRefused + "key change 1 is not signed by a key trusted here", ""},
      {"the document signed by the key its own change retires", Document(kActive, {change1}), RecordedKeys(),
       kRefused + "bad signature", ""},
      {"after the change, the retired key though the build carries it", Document(kActive), Recorded(kAfterChange1),
       kRefused + "bad signature", ""},
      {"after the change, the new key", Document(kNew), Recorded(kAfterChange1), "", ""},
      {"after the change, the backup key", Document(kBackup), Recorded(kAfterChange1), "", ""},
      {"an applied change is skipped, the next applied", Document(kLater, {change1, change2}), Recorded(kAfterChange1),
       "", "CHANGE=2\nTRUSTED=" + crypto::FormatPublicKeyLine(kNew) + "\nTRUSTED=" +
               crypto::FormatPublicKeyLine(kLater) + "\nRETIRED=" + crypto::FormatPublicKeyLine(kActive) +
               "\nRETIRED=" + crypto::FormatPublicKeyLine(kBackup) + "\n"},
      {"two changes applied in one document", Document(kLater, {change1, change2}), RecordedKeys(), "",
       "CHANGE=2\nTRUSTED=" + crypto::FormatPublicKeyLine(kNew) + "\nTRUSTED=" + crypto::FormatPublicKeyLine(kLater) +
           "\nRETIRED=" + crypto::FormatPublicKeyLine(kActive) + "\nRETIRED=" + crypto::FormatPublicKeyLine(kBackup) +
           "\n"},
      {"a gap: change 2 without change 1", Document(kLater, {change2}), RecordedKeys(),
       kRefused + "key change 2 does not follow key change 0, the last applied here: a change between them is missing",
       ""},
      {"out of order", Document(kLater, {change2, change1}), RecordedKeys(),
       kRefused + "key change 1 follows key change 2: changes must be numbered one by one, in order", ""},
      {"twice the same number", Document(kNew, {change1, change1}), RecordedKeys(),
       kRefused + "key change 1 follows key change 1: changes must be numbered one by one, in order", ""},
      {"a change bringing back a retired key", Document(kNew, {Change(2, kActive, kBackup, kNew)}),
       Recorded(kAfterChange1), kRefused + "key change 2 brings back a retired key", ""},
      {"a change retiring the key it brings in", Document(kNew, {Change(1, kNew, kNew, kActive)}), RecordedKeys(),
       kRefused + "key change 1 retires the key it brings in", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StandIn standIn;
    RecordedRelease release;
    const ReleaseCheck check = CheckRelease(c.document, kBuildKeys, release, c.recorded, standIn.Verifier(), kNow);
    EXPECT_EQ(check.bAccepted, c.refusal.empty()) << check.strLogLine;
    if (!c.refusal.empty()) {
      EXPECT_EQ(check.strLogLine, c.refusal);
      EXPECT_FALSE(check.bRecordKeys);
      continue;
    }
    EXPECT_EQ(check.strLogLine, "Release check: document signature good, release 7");
    EXPECT_EQ(check.bRecordKeys, !c.recordAfter.empty());
    if (check.bRecordKeys) {
      EXPECT_EQ(FormatKeyRecord(check.keys), c.recordAfter);
    }
  }
}

TEST(ReleaseKeys, AnAppliedChangeIsLoggedAndNotCheckedAgain) {
  const KeyChange change1 = Change(1, kNew, kActive, kActive);
  StandIn standIn;
  ReleaseCheck check = CheckRelease(Document(kNew, {change1}), kBuildKeys, RecordedRelease(), RecordedKeys(),
                                    standIn.Verifier(), kNow);
  ASSERT_TRUE(check.bAccepted);
  ASSERT_EQ(check.saKeyChangeLines.size(), 1u);
  EXPECT_EQ(check.saKeyChangeLines[0], "Release check: key change 1 applied: ecdsa-p256:cccccccccccccccc... trusted, "
                                       "ecdsa-p256:aaaaaaaaaaaaaaaa... retired");
  // Once recorded, the same document checks only its own signature: the change is skipped, even
  // with signatures that would no longer verify.
  KeyChange spoiled = change1;
  spoiled.trustedSignature[40] ^= 1;
  StandIn again;
  check = CheckRelease(Document(kNew, {spoiled}), kBuildKeys, RecordedRelease(), Recorded(kAfterChange1),
                       again.Verifier(), kNow);
  EXPECT_TRUE(check.bAccepted);
  EXPECT_TRUE(check.saKeyChangeLines.empty());
  EXPECT_FALSE(check.bRecordKeys);
}

// A record that cannot be read, or that is not one this updater writes, refuses every document,
// even one signed by a key of the build: reading it as "no change applied" would trust again a
// key that a change retired.
TEST(ReleaseKeys, AnUnreadableRecordNeverWidensTrust) {
  const std::string active = crypto::FormatPublicKeyLine(kActive);
  const std::string malformed = kRefused + "the release keys trusted here, in C:\\Talvo\\Update.keys, are not a key "
                                "record this updater writes; updates stay refused until it is mended or removed "
                                "(removed, the build's keys are trusted again)";
  RecordedKeys unreadable;
  unreadable.state = RecordedKeys::kUnreadable;
  unreadable.where = "C:\\Talvo\\Update.keys";
  unreadable.error = 5;
  const struct {
    const char* what;
    RecordedKeys recorded;
    std::string refusal;
  } cases[] = {
      {"unreadable", unreadable, kRefused + "the release keys trusted here cannot be read from C:\\Talvo\\Update.keys "
                                            "(error 5)"},
      {"empty", Recorded(""), malformed},
      {"cut off in a line", Recorded(kAfterChange1.substr(0, kAfterChange1.size() - 3)), malformed},
      {"no line end at the end", Recorded(kAfterChange1.substr(0, kAfterChange1.size() - 1)), malformed},
      {"no retired key", Recorded("CHANGE=1\nTRUSTED=" + active + "\n"), malformed},
      {"no trusted key", Recorded("CHANGE=1\nRETIRED=" + active + "\n"), malformed},
      {"a key both trusted and retired",
       Recorded("CHANGE=1\nTRUSTED=" + active + "\nRETIRED=" + active + "\n"), malformed},
      {"change 0", Recorded("CHANGE=0\nTRUSTED=" + active + "\nRETIRED=" + crypto::FormatPublicKeyLine(kNew) + "\n"),
       malformed},
      {"CR LF line ends", Recorded("CHANGE=1\r\nTRUSTED=" + active + "\r\nRETIRED=" +
                                   crypto::FormatPublicKeyLine(kNew) + "\r\n"), malformed},
      {"a malformed key", Recorded("CHANGE=1\nTRUSTED=ecdsa-p256:abc\nRETIRED=" + active + "\n"), malformed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StandIn standIn;
    const ReleaseCheck check =
        CheckRelease(Document(kActive), kBuildKeys, RecordedRelease(), c.recorded, standIn.Verifier(), kNow);
    EXPECT_FALSE(check.bAccepted);
    EXPECT_EQ(check.strLogLine, c.refusal);
    EXPECT_EQ(standIn.calls, 0);
  }
}

TEST(ReleaseKeys, TheRecordReadsBackAsWritten) {
  KeyTrust trust;
  ASSERT_TRUE(ParseKeyRecord(kAfterChange1, trust));
  EXPECT_EQ(trust.nLastChange, 1u);
  EXPECT_EQ(trust.trusted, (std::vector<crypto::P256PublicKey>{kBackup, kNew}));
  EXPECT_EQ(trust.retired, (std::vector<crypto::P256PublicKey>{kActive}));
  EXPECT_EQ(FormatKeyRecord(trust), kAfterChange1);
  // The build's keys come first; a retired one stays out whatever the build carries.
  const KeyTrust start = StartingTrust({kActive, kBackup, kLater}, trust);
  EXPECT_EQ(start.trusted, (std::vector<crypto::P256PublicKey>{kBackup, kLater, kNew}));
}

TEST(ReleaseKeys, TheBuildsKeyList) {
  std::vector<crypto::P256PublicKey> keys;
  EXPECT_TRUE(crypto::ParsePublicKeyList(kBuildKeys, keys));
  EXPECT_EQ(keys, (std::vector<crypto::P256PublicKey>{kActive, kBackup}));
  EXPECT_TRUE(crypto::ParsePublicKeyList(crypto::FormatPublicKeyLine(kNew) + ",\t" + crypto::FormatPublicKeyLine(kLater),
                                         keys));
  EXPECT_EQ(keys, (std::vector<crypto::P256PublicKey>{kNew, kLater}));
  for (const std::string& bad : {std::string(), std::string(" , "), kBuildKeys + " ecdsa-p256:abc",
                                 crypto::FormatPublicKeyLine(kNew) + ";" + crypto::FormatPublicKeyLine(kLater)}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(crypto::ParsePublicKeyList(bad, keys));
  }
}

}  // namespace
