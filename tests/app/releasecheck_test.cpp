// The release check's decisions and its diagnostic lines, with a stand-in for the system's
// signature check: which documents are read, what is recorded, what the log says.
#include <gtest/gtest.h>

#include <string>

#include "app/releasecheck.h"
#include "catalogue/signeddocument.h"
#include "crypto/hex.h"

namespace {

const std::string kKey = "ecdsa-p256:" + std::string(128, 'a');
const std::string kDigits = std::string(126, '0') + "01";
const std::string kSignatureSection = "[SIGNATURE]\r\nECDSA-P256-SHA256=" + kDigits + "\r\n";

std::string Covered(const std::string& release) {
  return "[Talvo]\r\nXP_VERSION=3.41\r\n[RELEASE]\r\nNUMBER=" + release + "\r\n";
}

// The clock of the checks: 2026-12-11 10:00:00 UTC.
const int64_t kNow = 1796983200;

const char kWhere[] = "C:\\Talvo\\Update.release";

// What is stored: nothing (a fresh installation), or these bytes in the file.
RecordedRelease Nothing() { return RecordedRelease(); }
RecordedRelease Stored(const std::string& text) {
  RecordedRelease recorded;
  recorded.state = text == "<none>" ? RecordedRelease::kNone : RecordedRelease::kFound;
  recorded.text = text;
  recorded.where = kWhere;
  return recorded;
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
      {"nothing accepted yet", "<none>", true},
      {"an older release accepted", "6", true},
      {"the same release accepted", "7", false},
      {"the lowest release accepted", "1", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StandIn standIn;
    const std::string document = Covered("7") + kSignatureSection;
    const ReleaseCheck check = CheckRelease(document, kKey, Stored(c.accepted), standIn.Verifier(), kNow);
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
       "Release check: document refused: release 6 is older than 7 accepted here (recorded in C:\\Talvo\\Update.release)",
       true},
      {"the first release after the highest", kKey, Covered("1") + kSignatureSection, "2147483647",
       crypto::SignatureCheck::kGood, 0, "Release check: document refused: release 1 is older than 2147483647 accepted here (recorded in "
       "C:\\Talvo\\Update.release); no release can be newer than 2147483647: if that record is wrong, mend or "
       "remove it",
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
    const ReleaseCheck check =
        CheckRelease(c.document, c.key, c.accepted.empty() ? Nothing() : Stored(c.accepted), standIn.Verifier(), kNow);
    EXPECT_FALSE(check.bAccepted);
    EXPECT_FALSE(check.bRecord);
    EXPECT_TRUE(check.covered.empty());
    EXPECT_EQ(check.strLogLine, c.line);
    EXPECT_EQ(standIn.calls, c.checked ? 1 : 0);
  }
}

// Every stored text that is not a number this updater wrote refuses, naming what and where: none
// is read as "nothing accepted", which would let any older signed release in. Numbers compare as
// 64-bit: a stored number above every release refuses them all, and the log says so.
TEST(ReleaseCheck, AStoredReleaseIsANumberOrTheDocumentIsRefused) {
  const std::string unreadable = "Release check: document refused: the highest release accepted here, ";
  const std::string rest = " in C:\\Talvo\\Update.release, is no release number; updates stay refused until it is "
                           "mended (the highest release accepted, in decimal digits) or removed";
  const struct {
    const char* what;
    std::string stored;
    std::string line;  // "" : accepted
  } cases[] = {
      {"empty", "", unreadable + "\"\"" + rest},
      {"a leading zero", "07", unreadable + "\"07\"" + rest},
      {"zero", "0", unreadable + "\"0\"" + rest},
      {"a blank before it", " 7", unreadable + "\" 7\"" + rest},
      {"a line end after it", "7\r", unreadable + "\"7\\r\"" + rest},
      {"a sign", "+7", unreadable + "\"+7\"" + rest},
      {"a word", "seven", unreadable + "\"seven\"" + rest},
      {"a zero byte", std::string("7\0", 2), unreadable + "\"7\\x00\"" + rest},
      {"past 64 bits", "18446744073709551616", unreadable + "\"18446744073709551616\"" + rest},
      {"past 32 bits, a 32-bit parser's end", "2147483648",
       "Release check: document refused: release 7 is older than 2147483648 accepted here (recorded in "
       "C:\\Talvo\\Update.release); no release can be newer than 2147483647: if that record is wrong, mend or "
       "remove it"},
      {"far past every release", "9999999999",
       "Release check: document refused: release 7 is older than 9999999999 accepted here (recorded in "
       "C:\\Talvo\\Update.release); no release can be newer than 2147483647: if that record is wrong, mend or "
       "remove it"},
      {"the highest 64-bit number", "18446744073709551615",
       "Release check: document refused: release 7 is older than 18446744073709551615 accepted here (recorded in "
       "C:\\Talvo\\Update.release); no release can be newer than 2147483647: if that record is wrong, mend or "
       "remove it"},
      {"2^32 + 7, which 32 bits would read as 7", "4294967303", "Release check: document refused: release 7 is "
       "older than 4294967303 accepted here (recorded in C:\\Talvo\\Update.release); no release can be newer than "
       "2147483647: if that record is wrong, mend or remove it"},
      {"a plain number", "6", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StandIn standIn;
    const ReleaseCheck check = CheckRelease(Covered("7") + kSignatureSection, kKey, Stored(c.stored), standIn.Verifier(), kNow);
    EXPECT_EQ(check.bAccepted, c.line.empty());
    if (!c.line.empty()) {
      EXPECT_EQ(check.strLogLine, c.line);
    }
    EXPECT_EQ(check.bRecord, c.line.empty());
  }
}

TEST(ReleaseCheck, WhatCannotBeReadRefusesAndTheOldPerUserValueIsRecordedAnew) {
  RecordedRelease unreadable;
  unreadable.state = RecordedRelease::kUnreadable;
  unreadable.where = kWhere;
  unreadable.error = 5;
  StandIn standIn;
  const std::string document = Covered("7") + kSignatureSection;
  ReleaseCheck check = CheckRelease(document, kKey, unreadable, standIn.Verifier(), kNow);
  EXPECT_FALSE(check.bAccepted);
  EXPECT_EQ(check.strLogLine, "Release check: document refused: the highest release accepted here cannot be read "
                              "from C:\\Talvo\\Update.release (error 5)");

  // Found only where older updaters kept it: the same release is accepted and goes into the file.
  RecordedRelease old = Stored("7");
  old.where = "HKCU\\Software\\Talvo\\Install\\ReleaseTalvo";
  old.bOldPlace = true;
  check = CheckRelease(document, kKey, old, standIn.Verifier(), kNow);
  EXPECT_TRUE(check.bAccepted);
  EXPECT_TRUE(check.bRecord);
  old.text = "8";
  check = CheckRelease(document, kKey, old, standIn.Verifier(), kNow);
  EXPECT_EQ(check.strLogLine, "Release check: document refused: release 7 is older than 8 accepted here (recorded "
                              "in HKCU\\Software\\Talvo\\Install\\ReleaseTalvo)");
}

TEST(ReleaseCheck, AStaleDocumentIsRefusedAfterADayOfSlack) {
  const int64_t hour = 3600;
  const struct {
    const char* what;
    std::string policyLines;  // of the [RELEASE_POLICY] section
    int64_t now;
    bool accepted;
    std::string logLine;
  } cases[] = {
      {"an hour past expiry and the slack", "EXPIRES=2026-12-10T09:00:00Z\r\n", kNow, false,
       "Release check: document refused: release 7 expired at 2026-12-10T09:00:00Z, more than 24 hours before this "
       "machine's clock (2026-12-11T10:00:00Z); the server keeps serving a document the maker stopped refreshing"},
      {"an hour past expiry, within the slack", "EXPIRES=2026-12-11T09:00:00Z\r\n", kNow, true,
       "Release check: document signature good, release 7, expires 2026-12-11T09:00:00Z"},
      {"exactly the slack past expiry", "EXPIRES=2026-12-10T10:00:00Z\r\n", kNow, true,
       "Release check: document signature good, release 7, expires 2026-12-10T10:00:00Z"},
      {"refreshed: expiry a fortnight on", "EXPIRES=2026-12-25T10:00:00Z\r\n", kNow + hour, true,
       "Release check: document signature good, release 7, expires 2026-12-25T10:00:00Z"},
      {"signed without an expiry time", "", kNow, true, "Release check: document signature good, release 7"},
      {"an expiry time not of the written form", "EXPIRES=2026-12-25 10:00:00\r\n", kNow, false,
       "Release check: document refused: malformed expiry time"},
      {"a day that does not exist", "EXPIRES=2026-02-29T10:00:00Z\r\n", kNow, false,
       "Release check: document refused: malformed expiry time"},
      {"two expiry times", "EXPIRES=2026-12-25T10:00:00Z\r\nEXPIRES=2027-12-25T10:00:00Z\r\n", kNow, false,
       "Release check: document refused: more than one expiry time"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StandIn standIn;
    const std::string document = Covered("7") + "[RELEASE_POLICY]\r\n" + c.policyLines + kSignatureSection;
    const ReleaseCheck check = CheckRelease(document, kKey, Nothing(), standIn.Verifier(), c.now);
    EXPECT_EQ(check.bAccepted, c.accepted);
    EXPECT_EQ(check.strLogLine, c.logLine);
    // The expiry time is part of what the signature covers.
    EXPECT_NE(standIn.data.find(c.policyLines), std::string::npos);
  }
}

TEST(ReleaseCheck, ExpiryTimesReadAndWrittenAlike) {
  const struct {
    const char* text;
    int64_t seconds;
  } cases[] = {
      {"1970-01-01T00:00:00Z", 0},
      {"2000-02-29T23:59:59Z", 951868799},
      {"2026-12-11T10:00:00Z", kNow},
      {"2038-01-19T03:14:08Z", 2147483648LL},
      {"9999-12-31T23:59:59Z", 253402300799LL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int64_t seconds = -1;
    EXPECT_TRUE(ParseExpiryTime(c.text, seconds));
    EXPECT_EQ(seconds, c.seconds);
    EXPECT_EQ(FormatExpiryTime(c.seconds), c.text);
  }
  for (const char* bad : {"", "2026-12-11T10:00:00", "2026-12-11T10:00:00z", "2026-13-01T00:00:00Z",
                          "2026-04-31T00:00:00Z", "1900-02-29T00:00:00Z", "1969-12-31T23:59:59Z",
                          "2026-12-11T24:00:00Z", "2026-12-11T10:60:00Z", " 2026-12-11T10:00:00Z",
                          "+026-12-11T10:00:00Z"}) {
    SCOPED_TRACE(bad);
    int64_t seconds = 0;
    EXPECT_FALSE(ParseExpiryTime(bad, seconds));
  }
}

TEST(ReleaseCheck, ANoticeIsShownOnlyWhenItMatchesItsPin) {
  // A stand-in digest: the bytes' first 32, zero-padded, so a test can write what matches.
  const Sha256Function sha = [](std::string_view data, crypto::Sha256Digest& digest) {
    digest.fill(0);
    for (size_t i = 0; i < data.size() && i < digest.size(); ++i) digest[i] = static_cast<unsigned char>(data[i]);
    return true;
  };
  const std::string body = "notice";
  const std::string digest = crypto::EncodeHex(reinterpret_cast<const unsigned char*>(body.data()), body.size()) +
                             std::string(64 - 2 * body.size(), '0');
  const auto pin = [](const std::string& size, const std::string& sha256) {
    PackagePin p;
    p.m_strSize = size;
    p.m_strSha256 = sha256;
    return p;
  };
  const struct {
    const char* what;
    PackagePin pin;
    std::string body;
    bool shown;
    std::string line;
  } cases[] = {
      {"matching", pin("6", digest), body, true, "Notice check: size and SHA-256 match"},
      {"not pinned", PackagePin(), body, false, "Notice check: notice not shown: the document does not pin it"},
      {"a malformed pin", pin("06", digest), body, false, "Notice check: notice not shown: its pin is malformed"},
      {"a byte more", pin("6", digest), body + "!", false, "Notice check: notice not shown: 7 bytes, pinned 6"},
      {"changed bytes", pin("6", digest), "Notice", false,
       "Notice check: notice not shown: its SHA-256 differs from the pin"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string line;
    EXPECT_EQ(NoticeMatchesPin(c.pin, c.body, sha, line), c.shown);
    EXPECT_EQ(line, c.line);
  }
}

}  // namespace
