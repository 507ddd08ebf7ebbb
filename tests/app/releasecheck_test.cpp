// The release check's decisions and its diagnostic lines, with a stand-in for the system's
// signature check: which documents are read, what is recorded, what the log says.
#include <gtest/gtest.h>

#include <string>

#include "app/releasecheck.h"
#include "crypto/hex.h"

namespace {

const std::string kKey = "ecdsa-p256:" + std::string(128, 'a');
const std::string kDigits = std::string(126, '0') + "01";
const std::string kSignatureSection = "[SIGNATURE]\r\nECDSA-P256-SHA256=" + kDigits + "\r\n";

std::string Covered(const std::string& release) {
  return "[Talvo]\r\nXP_VERSION=3.41\r\n[RELEASE]\r\nNUMBER=" + release + "\r\n";
}

// What the stand-in was asked, and what it answers.
struct StandIn {
  crypto::SignatureCheck answer = crypto::SignatureCheck::kGood;
  long status = 0;
  int calls = 0;
  std::string data;
  std::string key;
  std::string signature;

  SignatureVerifier Verifier() {
    return [this](const crypto::P256PublicKey& k, std::string_view d, const crypto::P256Signature& s, long& st) {
      ++calls;
      key = crypto::EncodeHex(k.data(), k.size());
      data = std::string(d);
      signature = crypto::EncodeHex(s.data(), s.size());
      st = status;
      return answer;
    };
  }
};

TEST(ReleaseCheck, AGoodSignatureOfANewerOrEqualRelease) {
  const struct {
    const char* what;
    std::string accepted;
    bool record;
  } cases[] = {
      {"nothing accepted yet", "", true},
      {"an older release accepted", "6", true},
      {"the same release accepted", "7", false},
      {"an unreadable record counts as none", "seven", true},
      {"a record with a leading zero counts as none", "08", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StandIn standIn;
    const std::string document = Covered("7") + kSignatureSection;
    const ReleaseCheck check = CheckRelease(document, kKey, c.accepted, standIn.Verifier());
    EXPECT_TRUE(check.bAccepted);
    EXPECT_EQ(check.nRelease, 7u);
    EXPECT_EQ(check.bRecord, c.record);
    EXPECT_EQ(std::string(check.covered), Covered("7"));
    EXPECT_EQ(check.covered.data(), document.data());
    EXPECT_EQ(check.strLogLine, "Release check: document signature good, release 7");
    // The signature is checked over exactly the covered bytes, with the build's key.
    EXPECT_EQ(standIn.calls, 1);
    EXPECT_EQ(standIn.data, Covered("7"));
    EXPECT_EQ(standIn.key, std::string(128, 'a'));
    EXPECT_EQ(standIn.signature, kDigits);
  }
}

TEST(ReleaseCheck, RefusedDocumentsSayWhy) {
  const struct {
    const char* what;
    std::string key;
    std::string document;
    std::string accepted;
    crypto::SignatureCheck answer;
    long status;
    std::string line;
    bool checked;  // whether the signature check was asked
  } cases[] = {
      {"unsigned", kKey, Covered("7"), "", crypto::SignatureCheck::kGood, 0,
       "Release check: document refused: no signature", false},
      {"two signatures", kKey, Covered("7") + kSignatureSection + kSignatureSection, "", crypto::SignatureCheck::kGood, 0,
       "Release check: document refused: more than one signature", false},
      {"a malformed signature line", kKey, Covered("7") + "[SIGNATURE]\r\nECDSA-P256-SHA256=00\r\n", "",
       crypto::SignatureCheck::kGood, 0, "Release check: document refused: malformed signature", false},
      {"lines moved after the signature", kKey, Covered("7") + kSignatureSection + "[Talvo]\r\nXP_VERSION=9\r\n", "",
       crypto::SignatureCheck::kGood, 0, "Release check: document refused: lines after the signature", false},
      {"a bad signature", kKey, Covered("7") + kSignatureSection, "", crypto::SignatureCheck::kBad, 0,
       "Release check: document refused: bad signature", true},
      {"a bad signature over an older release", kKey, Covered("3") + kSignatureSection, "7",
       crypto::SignatureCheck::kBad, 0, "Release check: document refused: bad signature", true},
      {"a signature the system cannot check", kKey, Covered("7") + kSignatureSection, "",
       crypto::SignatureCheck::kNotChecked, static_cast<long>(0xC0000225UL),
       "Release check: document refused: the signature could not be checked (status 0xc0000225)", true},
      {"an older release", kKey, Covered("6") + kSignatureSection, "7", crypto::SignatureCheck::kGood, 0,
       "Release check: document refused: release 6 is older than 7 accepted here", true},
      {"the first release after the highest", kKey, Covered("1") + kSignatureSection, "2147483647",
       crypto::SignatureCheck::kGood, 0, "Release check: document refused: release 1 is older than 2147483647 accepted here",
       true},
      {"no release number", kKey, "[Talvo]\r\nXP_VERSION=3.41\r\n" + kSignatureSection, "",
       crypto::SignatureCheck::kGood, 0, "Release check: document refused: no release number", true},
      {"a malformed release number", kKey, Covered("0") + kSignatureSection, "", crypto::SignatureCheck::kGood, 0,
       "Release check: document refused: malformed release number", true},
      {"two release numbers", kKey, Covered("7") + "NUMBER=8\r\n" + kSignatureSection, "",
       crypto::SignatureCheck::kGood, 0, "Release check: document refused: more than one release number", true},
      {"a malformed build key", "ecdsa-p256:abc", Covered("7") + kSignatureSection, "", crypto::SignatureCheck::kGood,
       0, "Release check: document refused: the build's release key is malformed", false},
      {"an empty document", kKey, "", "", crypto::SignatureCheck::kGood, 0,
       "Release check: document refused: no signature", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StandIn standIn;
    standIn.answer = c.answer;
    standIn.status = c.status;
    const ReleaseCheck check = CheckRelease(c.document, c.key, c.accepted, standIn.Verifier());
    EXPECT_FALSE(check.bAccepted);
    EXPECT_FALSE(check.bRecord);
    EXPECT_TRUE(check.covered.empty());
    EXPECT_EQ(check.strLogLine, c.line);
    EXPECT_EQ(standIn.calls, c.checked ? 1 : 0);
  }
}

}  // namespace
