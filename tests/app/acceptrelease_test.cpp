// The application's release check with the system's cryptography and its own registry: what it
// reads, what it records, what it refuses. Documents signed with openssl by the test key.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "app/talvoupdate.h"
#include "crypto/hex.h"
#include "localstate/releaserecord.h"
#include "localstate/upregistry.h"

namespace {

struct OpensslSignature {
  const char* what;
  const char* messageHex;
  size_t patternLength;
  const char* signatureHex;
};

#include "tests/crypto/fixtures/opensslsignatures.inc"

// The fixture document signed by the test key: "[Talvo]", "PROJECT=", "XP_VERSION=3.41" and
// "[RELEASE]" "NUMBER=7", CR LF line ends.
std::string Covered() {
  for (const auto& s : kOpensslSignatures) {
    if (std::string(s.what) != "a document in code page 949") continue;
    std::string message(std::string(s.messageHex).size() / 2, '\0');
    crypto::DecodeHex(s.messageHex, reinterpret_cast<unsigned char*>(&message[0]), message.size());
    return message;
  }
  ADD_FAILURE() << "no signed document among the fixtures";
  return std::string();
}

std::string Signature() {
  for (const auto& s : kOpensslSignatures)
    if (std::string(s.what) == "a document in code page 949") return s.signatureHex;
  return std::string();
}

std::string SignedDocument() {
  return Covered() + "[SIGNATURE]\r\nECDSA-P256-SHA256=" + Signature() + "\r\n";
}

// What the record file beside the program holds, "<none>" when there is none.
std::string RecordFile() {
  std::ifstream in(GetReleaseRecordPath(), std::ios::binary);
  if (!in) return "<none>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteRecordFile(const std::string& bytes) {
  std::ofstream out(GetReleaseRecordPath(), std::ios::binary | std::ios::trunc);
  out << bytes;
}

class AcceptReleaseTest : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kInstallKey);
    ::DeleteFileA(GetReleaseRecordPath().c_str());
  }

  CTalvoUpdateApp signedApp{StartupTimings(), kOpensslKeyLine};
};

TEST_F(AcceptReleaseTest, WithoutAKeyEveryDocumentIsReadWhole) {
  CTalvoUpdateApp app(StartupTimings(), "");
  for (const std::string& document : {Covered(), SignedDocument(), std::string("anything")}) {
    app.m_strInformation = document;
    std::string read;
    EXPECT_TRUE(app.AcceptRelease(read));
    EXPECT_EQ(read, document);
    EXPECT_EQ(app.m_strInformation, document);
  }
  EXPECT_EQ(ReadAcceptedRelease("Talvo"), "");
  EXPECT_EQ(RecordFile(), "<none>");
}

TEST_F(AcceptReleaseTest, AGoodDocumentIsReadWithoutItsSignatureAndItsReleaseRecordedWhenHigher) {
  const struct {
    const char* what;
    std::string file;    // "<none>": no file
    std::string oldValue;  // the per-user value of older updaters; "<none>": none
    std::string after;
  } cases[] = {
      {"nothing recorded", "<none>", "<none>", "7"},
      {"an older release recorded", "6", "<none>", "7"},
      {"the same release recorded", "7", "<none>", "7"},
      {"only the old per-user value, older", "<none>", "6", "7"},
      {"only the old per-user value, the same", "<none>", "7", "7"},
      {"the file wins over a higher old value", "6", "9", "7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    if (c.file != "<none>") WriteRecordFile(c.file);
    if (c.oldValue != "<none>") WriteAcceptedRelease("Talvo", c.oldValue);
    signedApp.m_strInformation = SignedDocument();
    std::string read;
    EXPECT_TRUE(signedApp.AcceptRelease(read));
    EXPECT_EQ(read, Covered());
    EXPECT_EQ(RecordFile(), c.after);
  }
}

TEST_F(AcceptReleaseTest, ARefusedDocumentCountsAsNone) {
  const std::string good = SignedDocument();
  std::string tampered = good;
  tampered[tampered.find("3.41") + 3] = '2';
  const struct {
    const char* what;
    std::string document;
    std::string file;
    std::string oldValue;
  } cases[] = {
      {"unsigned", Covered(), "<none>", "<none>"},
      {"a version changed", tampered, "<none>", "<none>"},
      {"older than the release accepted", good, "8", "<none>"},
      {"older than the old per-user value", good, "<none>", "8"},
      {"a line after the signature", good + "X=1\r\n", "<none>", "<none>"},
      {"an unreadable record", good, "x", "<none>"},
      {"an empty record", good, "", "<none>"},
      {"a record with a line end", good, "6\r\n", "<none>"},
      {"an unreadable old per-user value", good, "<none>", "07"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    if (c.file != "<none>") WriteRecordFile(c.file);
    if (c.oldValue != "<none>") WriteAcceptedRelease("Talvo", c.oldValue);
    signedApp.m_strInformation = c.document;
    std::string read = "untouched";
    EXPECT_FALSE(signedApp.AcceptRelease(read));
    EXPECT_EQ(signedApp.m_strInformation, "");
    EXPECT_EQ(RecordFile(), c.file);
    EXPECT_EQ(ReadAcceptedRelease("Talvo"), c.oldValue == "<none>" ? "" : c.oldValue);
  }
}

TEST_F(AcceptReleaseTest, AnotherKeyRefusesTheTestKeysDocument) {
  CTalvoUpdateApp other(StartupTimings(), kOtherKeyLine);
  other.m_strInformation = SignedDocument();
  std::string read;
  EXPECT_FALSE(other.AcceptRelease(read));
  EXPECT_EQ(RecordFile(), "<none>");
}

}  // namespace
