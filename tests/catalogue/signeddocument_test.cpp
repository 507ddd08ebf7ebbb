// The signed form of the document: where the signature is and what it covers, the release number,
// the package pins, and that a signed document reads exactly like the same document unsigned.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/packagepin.h"
#include "catalogue/projectdata.h"
#include "catalogue/signeddocument.h"
#include "crypto/hex.h"
#include "tests/catalogue/recordingfetcher.h"

namespace {

// r || s as 128 digits: bytes 0x00, 0x01, ... 0x3f.
std::string SignatureDigits() {
  std::string digits;
  for (int i = 0; i < 64; ++i) {
    static const char kHex[] = "0123456789abcdef";
    digits += kHex[i >> 4];
    digits += kHex[i & 15];
  }
  return digits;
}

const std::string kDigits = SignatureDigits();
const std::string kLine = "ECDSA-P256-SHA256=" + kDigits;

TEST(SplitSignedDocument, WhatTheSignatureCovers) {
  const struct {
    const char* what;
    std::string document;
    SignatureState state;
    std::string covered;
  } cases[] = {
      {"CR LF", "A=1\r\n[SIGNATURE]\r\n" + kLine + "\r\n", SignatureState::kSigned, "A=1\r\n"},
      {"LF", "A=1\n[SIGNATURE]\n" + kLine + "\n", SignatureState::kSigned, "A=1\n"},
      {"no line end after the signature", "A=1\r\n[SIGNATURE]\r\n" + kLine, SignatureState::kSigned, "A=1\r\n"},
      {"LF after CR LF lines", "A=1\r\n[SIGNATURE]\n" + kLine + "\r\n", SignatureState::kSigned, "A=1\r\n"},
      {"digits in capitals", "A\n[SIGNATURE]\n" + std::string("ECDSA-P256-SHA256=") + "000102030405060708090A0B0C0D0E0F"
           "101112131415161718191A1B1C1D1E1F202122232425262728292A2B2C2D2E2F303132333435363738393A3B3C3D3E3F\n",
       SignatureState::kSigned, "A\n"},
      {"nothing before the signature", "[SIGNATURE]\r\n" + kLine + "\r\n", SignatureState::kSigned, ""},
      {"a blank line before the signature is covered", "A\r\n\r\n[SIGNATURE]\r\n" + kLine, SignatureState::kSigned,
       "A\r\n\r\n"},
      {"the name inside a covered line", "X=[SIGNATURE]\r\n[SIGNATURE]\r\n" + kLine, SignatureState::kSigned,
       "X=[SIGNATURE]\r\n"},
      {"unsigned", "[Talvo]\r\nXP_VERSION=3.41\r\n", SignatureState::kNoSignature, ""},
      {"empty", "", SignatureState::kNoSignature, ""},
      {"not at a line start", "A[SIGNATURE]\r\n" + kLine, SignatureState::kNoSignature, ""},
      {"after a lone CR", "A\r[SIGNATURE]\r\n" + kLine, SignatureState::kNoSignature, ""},
      {"indented", "A\r\n [SIGNATURE]\r\n" + kLine, SignatureState::kNoSignature, ""},
      {"lower case", "A\r\n[signature]\r\n" + kLine, SignatureState::kNoSignature, ""},
      {"two signatures", "A\r\n[SIGNATURE]\r\n" + kLine + "\r\n[SIGNATURE]\r\n" + kLine + "\r\n",
       SignatureState::kSeveralSignatures, ""},
      {"a second section line among the covered ones", "[SIGNATURE]\r\nA\r\n[SIGNATURE]\r\n" + kLine,
       SignatureState::kSeveralSignatures, ""},
      {"the section line alone", "A\r\n[SIGNATURE]", SignatureState::kMalformedSignature, ""},
      {"the section line and its line end alone", "A\r\n[SIGNATURE]\r\n", SignatureState::kMalformedSignature, ""},
      {"text after the section name", "A\r\n[SIGNATURE] x\r\n" + kLine, SignatureState::kMalformedSignature, ""},
      {"a blank after the section name", "A\r\n[SIGNATURE] \r\n" + kLine, SignatureState::kMalformedSignature, ""},
      {"section line ended by a lone CR", "A\r\n[SIGNATURE]\r" + kLine, SignatureState::kMalformedSignature, ""},
      {"a blank line before the signature line", "A\r\n[SIGNATURE]\r\n\r\n" + kLine,
       SignatureState::kMalformedSignature, ""},
      {"another algorithm", "A\r\n[SIGNATURE]\r\nECDSA-P256-SHA384=" + kDigits, SignatureState::kMalformedSignature, ""},
      {"the key in lower case", "A\r\n[SIGNATURE]\r\necdsa-p256-sha256=" + kDigits,
       SignatureState::kMalformedSignature, ""},
      {"a blank before '='", "A\r\n[SIGNATURE]\r\nECDSA-P256-SHA256 =" + kDigits, SignatureState::kMalformedSignature,
       ""},
      {"a blank after '='", "A\r\n[SIGNATURE]\r\nECDSA-P256-SHA256= " + kDigits, SignatureState::kMalformedSignature,
       ""},
      {"one digit short", "A\r\n[SIGNATURE]\r\n" + kLine.substr(0, kLine.size() - 1) + "\r\n",
       SignatureState::kMalformedSignature, ""},
      {"one digit over", "A\r\n[SIGNATURE]\r\n" + kLine + "0\r\n", SignatureState::kMalformedSignature, ""},
      {"not a digit", "A\r\n[SIGNATURE]\r\n" + kLine.substr(0, kLine.size() - 1) + "g\r\n",
       SignatureState::kMalformedSignature, ""},
      {"a blank after the digits", "A\r\n[SIGNATURE]\r\n" + kLine + " \r\n", SignatureState::kMalformedSignature, ""},
      {"a comment after the digits", "A\r\n[SIGNATURE]\r\n" + kLine + ";x", SignatureState::kMalformedSignature, ""},
      {"ended by a lone CR", "A\r\n[SIGNATURE]\r\n" + kLine + "\r", SignatureState::kMalformedSignature, ""},
      {"a line moved after the signature", "[SIGNATURE]\r\n" + kLine + "\r\n[Talvo]\r\nXP_VERSION=9\r\n",
       SignatureState::kLinesAfterSignature, ""},
      {"two line ends after it", "A\r\n[SIGNATURE]\r\n" + kLine + "\r\n\r\n", SignatureState::kLinesAfterSignature, ""},
      {"LF LF after it", "A\n[SIGNATURE]\n" + kLine + "\n\n", SignatureState::kLinesAfterSignature, ""},
      {"a space on the next line", "A\r\n[SIGNATURE]\r\n" + kLine + "\r\n ", SignatureState::kLinesAfterSignature, ""},
      {"a NUL after it", "A\r\n[SIGNATURE]\r\n" + kLine + "\r\n" + std::string(1, '\0'),
       SignatureState::kLinesAfterSignature, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const SignedDocument split = SplitSignedDocument(c.document);
    EXPECT_EQ(DescribeSignatureState(split.state), std::string(DescribeSignatureState(c.state)));
    EXPECT_EQ(std::string(split.covered), c.covered);
    if (split.state == SignatureState::kSigned) {
      EXPECT_EQ(split.covered.data(), c.document.data());  // a view into the document itself
      EXPECT_EQ(crypto::EncodeHex(split.signature.data(), split.signature.size()), kDigits);
    }
  }
}

TEST(SplitSignedDocument, ReasonsHaveTheirOwnWords) {
  const SignatureState states[] = {SignatureState::kNoSignature, SignatureState::kSeveralSignatures,
                                   SignatureState::kMalformedSignature, SignatureState::kLinesAfterSignature};
  std::vector<std::string> words;
  for (SignatureState state : states) words.push_back(DescribeSignatureState(state));
  EXPECT_EQ(words, (std::vector<std::string>{"no signature", "more than one signature", "malformed signature",
                                             "lines after the signature"}));
}

TEST(ReleaseNumber, ReadFromItsSection) {
  const struct {
    const char* what;
    std::string covered;
    ReleaseNumberState state;
    uint32_t number;
  } cases[] = {
      {"CR LF", "[Talvo]\r\nXP_VERSION=1\r\n[RELEASE]\r\nNUMBER=7\r\n", ReleaseNumberState::kFound, 7},
      {"LF, no line end at the end", "[RELEASE]\nNUMBER=7", ReleaseNumberState::kFound, 7},
      {"first section", "[RELEASE]\r\nNUMBER=12\r\n[Talvo]\r\nXP_VERSION=1\r\n", ReleaseNumberState::kFound, 12},
      {"blanks around the lines", " [RELEASE] \r\n\tNUMBER=7 \r\n", ReleaseNumberState::kFound, 7},
      {"other lines of the section", "[RELEASE]\r\n// made today\r\nDATE=2030\r\nNUMBER=7\r\n",
       ReleaseNumberState::kFound, 7},
      {"highest", "[RELEASE]\r\nNUMBER=2147483647\r\n", ReleaseNumberState::kFound, 2147483647u},
      {"lowest", "[RELEASE]\r\nNUMBER=1\r\n", ReleaseNumberState::kFound, 1},
      {"none", "[Talvo]\r\nXP_VERSION=1\r\n", ReleaseNumberState::kMissing, 0},
      {"a section without a number", "[RELEASE]\r\nDATE=2030\r\n", ReleaseNumberState::kMissing, 0},
      {"a number outside the section", "[Talvo]\r\nNUMBER=7\r\n", ReleaseNumberState::kMissing, 0},
      {"a number after the section ended", "[RELEASE]\r\n[Talvo]\r\nNUMBER=7\r\n", ReleaseNumberState::kMissing, 0},
      {"a number before any section", "NUMBER=7\r\n[RELEASE]\r\n", ReleaseNumberState::kMissing, 0},
      {"key in lower case", "[RELEASE]\r\nnumber=7\r\n", ReleaseNumberState::kMissing, 0},
      {"section in lower case", "[release]\r\nNUMBER=7\r\n", ReleaseNumberState::kMissing, 0},
      {"a blank before '='", "[RELEASE]\r\nNUMBER =7\r\n", ReleaseNumberState::kMissing, 0},
      {"zero", "[RELEASE]\r\nNUMBER=0\r\n", ReleaseNumberState::kMalformed, 0},
      {"above 2^31-1", "[RELEASE]\r\nNUMBER=2147483648\r\n", ReleaseNumberState::kMalformed, 0},
      {"far above", "[RELEASE]\r\nNUMBER=99999999999999999999\r\n", ReleaseNumberState::kMalformed, 0},
      {"a leading zero", "[RELEASE]\r\nNUMBER=07\r\n", ReleaseNumberState::kMalformed, 0},
      {"a sign", "[RELEASE]\r\nNUMBER=+7\r\n", ReleaseNumberState::kMalformed, 0},
      {"negative", "[RELEASE]\r\nNUMBER=-7\r\n", ReleaseNumberState::kMalformed, 0},
      {"empty", "[RELEASE]\r\nNUMBER=\r\n", ReleaseNumberState::kMalformed, 0},
      {"a comment", "[RELEASE]\r\nNUMBER=7;x\r\n", ReleaseNumberState::kMalformed, 0},
      {"quoted", "[RELEASE]\r\nNUMBER=\"7\"\r\n", ReleaseNumberState::kMalformed, 0},
      {"a blank inside", "[RELEASE]\r\nNUMBER=7 7\r\n", ReleaseNumberState::kMalformed, 0},
      {"two numbers", "[RELEASE]\r\nNUMBER=7\r\nNUMBER=8\r\n", ReleaseNumberState::kSeveral, 0},
      {"two sections", "[RELEASE]\r\nNUMBER=7\r\n[RELEASE]\r\nNUMBER=8\r\n", ReleaseNumberState::kSeveral, 0},
      {"two sections, one number", "[RELEASE]\r\n[Talvo]\r\n[RELEASE]\r\nNUMBER=8\r\n", ReleaseNumberState::kSeveral,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ReleaseNumber release = ReadReleaseNumber(c.covered);
    EXPECT_EQ(DescribeReleaseNumberState(release.state), std::string(DescribeReleaseNumberState(c.state)));
    EXPECT_EQ(release.number, c.number);
  }
}

TEST(ReleaseNumber, TextForm) {
  const struct {
    const char* text;
    bool ok;
    uint32_t number;
  } cases[] = {{"1", true, 1},          {"7", true, 7},      {"2147483647", true, 2147483647u},
               {"2147483648", false, 0}, {"4294967297", false, 0}, {"0", false, 0},
               {"", false, 0},          {"01", false, 0},   {" 7", false, 0},
               {"7 ", false, 0},        {"0x7", false, 0},  {"12345678901", false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t number = 0;
    EXPECT_EQ(ParseReleaseNumber(c.text, number), c.ok);
    EXPECT_EQ(number, c.number);
  }
}

const std::string kSha = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(PackagePin, ReadsOnlyAWellFormedPair) {
  const struct {
    const char* what;
    PackagePin pin;
    bool ok;
    uint64_t size;
  } cases[] = {
      {"both", {"1234", kSha}, true, 1234},
      {"size zero", {"0", kSha}, true, 0},
      {"largest size", {"18446744073709551615", kSha}, true, 18446744073709551615ull},
      {"size beyond 64 bits", {"18446744073709551616", kSha}, false, 0},
      {"no size", {"", kSha}, false, 0},
      {"no digest", {"1234", ""}, false, 0},
      {"neither", {"", ""}, false, 0},
      {"a leading zero", {"01234", kSha}, false, 0},
      {"a sign", {"+1234", kSha}, false, 0},
      {"a blank", {"1234 ", kSha}, false, 0},
      {"digest in capitals", {"1234", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"}, false, 0},
      {"digest one digit short", {"1234", kSha.substr(1)}, false, 0},
      {"digest one byte over", {"1234", kSha + "00"}, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    uint64_t size = 99;
    crypto::Sha256Digest digest{};
    EXPECT_EQ(c.pin.Read(size, digest), c.ok);
    if (c.ok) {
      EXPECT_EQ(size, c.size);
      EXPECT_EQ(crypto::EncodeHex(digest.data(), digest.size()), kSha);
    } else {
      EXPECT_EQ(size, 99u);
    }
  }
  EXPECT_TRUE(PackagePin().IsEmpty());
  EXPECT_FALSE((PackagePin{"1", ""}).IsEmpty());
  EXPECT_FALSE((PackagePin{"", "x"}).IsEmpty());
}

using PinGetter = PackagePin (CProjectData::*)() const;

TEST_F(CatalogueTest, PinsAreReadBesideTheirAddressKeys) {
  const struct {
    const char* what;
    std::string document;
    PinGetter getter;
    PackagePin expected;
  } cases[] = {
      {"XP build", "[Talvo]\r\nXP_DOWNLOADURL_SIZE=10\r\nXP_DOWNLOADURL_SHA256=" + kSha + "\r\n",
       &CProjectData::GetXPDownloadPin, {"10", kSha}},
      {"98 build", "[Talvo]\r\n98_DOWNLOADURL_SIZE=11\r\n98_DOWNLOADURL_SHA256=" + kSha + "\r\n",
       &CProjectData::Get98DownloadPin, {"11", kSha}},
      {"filter data", "[POLICE_DATA]\r\nDOWN_DAT_URL_SIZE=12\r\nDOWN_DAT_URL_SHA256=" + kSha + "\r\n",
       &CProjectData::GetDatDownloadPin, {"12", kSha}},
      {"server list", "[SERVER_LIST]\r\nSERVER_DOWN_URL_SIZE=13\r\nSERVER_DOWN_URL_SHA256=" + kSha + "\r\n",
       &CProjectData::GetServerDownloadPin, {"13", kSha}},
      {"login control", "[LOGIN_OCX]\r\nOCX_DOWN_URL_SIZE=14\r\nOCX_DOWN_URL_SHA256=" + kSha + "\r\n",
       &CProjectData::GetOcxDownloadPin, {"14", kSha}},
      {"before the address itself", "[Talvo]\r\nXP_DOWNLOADURL_SIZE=10\r\nXP_DOWNLOADURL=u\r\n",
       &CProjectData::GetXPDownloadPin, {"10", ""}},
      {"keys in lower case, like every key", "[Talvo]\r\nxp_downloadurl_size=10\r\n",
       &CProjectData::GetXPDownloadPin, {"10", ""}},
      {"quotes removed, like every component value", "[Talvo]\r\nXP_DOWNLOADURL_SIZE=\"10\"\r\n",
       &CProjectData::GetXPDownloadPin, {"10", ""}},
      {"kept as written, even malformed", "[Talvo]\r\nXP_DOWNLOADURL_SIZE=ten ; size\r\n",
       &CProjectData::GetXPDownloadPin, {"ten ", ""}},
      {"later key wins", "[Talvo]\r\nXP_DOWNLOADURL_SIZE=1\r\nXP_DOWNLOADURL_SIZE=2\r\n",
       &CProjectData::GetXPDownloadPin, {"2", ""}},
      {"in another component's section", "[POLICE_DATA]\r\nXP_DOWNLOADURL_SIZE=10\r\n",
       &CProjectData::GetXPDownloadPin, {"", ""}},
      {"outside any section", "XP_DOWNLOADURL_SIZE=10\r\n[Talvo]\r\n", &CProjectData::GetXPDownloadPin, {"", ""}},
      {"in an unknown section", "[RELEASE]\r\nXP_DOWNLOADURL_SIZE=10\r\n", &CProjectData::GetXPDownloadPin, {"", ""}},
      {"a blank before '='", "[Talvo]\r\nXP_DOWNLOADURL_SIZE =10\r\n", &CProjectData::GetXPDownloadPin, {"", ""}},
      {"another suffix", "[Talvo]\r\nXP_DOWNLOADURL_MD5=10\r\n", &CProjectData::GetXPDownloadPin, {"", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ParsedDocument doc(c.document);
    EXPECT_EQ((doc.data.*c.getter)(), c.expected);
  }
}

TEST_F(CatalogueTest, AnExtraProjectCarriesItsPin) {
  ParsedDocument doc(
      "[ETC0]\r\nNAME=a\r\nPRO_DOWN_URL=http://h/a.zip\r\nPRO_DOWN_URL_SIZE=5\r\nPRO_DOWN_URL_SHA256=" + kSha +
      "\r\nETC_END=1\r\nPRO_DOWN_URL_SIZE=6\r\n"
      "[ETC1]\r\nNAME=b\r\nXP_DOWNLOADURL_SIZE=7\r\nETC_END=1\r\n"
      "[ETC2]\r\nPRO_DOWN_URL_SIZE=8\r\n");
  ASSERT_EQ(doc.data.m_arrEtcProject.size(), 2u);
  EXPECT_EQ(doc.data.m_arrEtcProject[0]->m_DownloadPin, (PackagePin{"5", kSha}));
  EXPECT_EQ(doc.data.m_arrEtcProject[1]->m_DownloadPin, PackagePin());
  // Not committed: the pin stays with the record being built.
  EXPECT_EQ(doc.data.m_CurEtcProject.m_DownloadPin, (PackagePin{"8", ""}));
  EXPECT_EQ(doc.data.GetXPDownloadPin(), PackagePin());
}

TEST(CatalogueKeys, PinKeysBelongToTheirAddressKeysSection) {
  EXPECT_EQ(CProjectData::SectionOfKey("XP_DOWNLOADURL_SHA256"), CProjectData::SECTION_PRODUCT);
  EXPECT_EQ(CProjectData::SectionOfKey("98_DOWNLOADURL_SIZE"), CProjectData::SECTION_PRODUCT);
  EXPECT_EQ(CProjectData::SectionOfKey("DOWN_DAT_URL_SIZE"), CProjectData::SECTION_POLICE_DATA);
  EXPECT_EQ(CProjectData::SectionOfKey("SERVER_DOWN_URL_SHA256"), CProjectData::SECTION_SERVER_LIST);
  EXPECT_EQ(CProjectData::SectionOfKey("OCX_DOWN_URL_SIZE"), CProjectData::SECTION_LOGIN_OCX);
  EXPECT_EQ(CProjectData::SectionOfKey("PRO_DOWN_URL_SHA256"), CProjectData::SECTION_ETC_BASE);
  EXPECT_EQ(CProjectData::SectionOfKey("XP_VERSION_SIZE"), CProjectData::SECTION_UNKNOWN);
  // The notice is pinned like a package, beside its address.
  EXPECT_EQ(CProjectData::SectionOfKey("NOTICE_URL_SIZE"), CProjectData::SECTION_NOTICE);
  EXPECT_EQ(CProjectData::SectionOfKey("NOTICE_URL_SHA256"), CProjectData::SECTION_NOTICE);
  EXPECT_EQ(CProjectData::SectionOfKey("_SIZE"), CProjectData::SECTION_UNKNOWN);
}

// Everything the catalogue offers its readers, pins aside, as one list of texts.
std::vector<std::string> Readings(const CProjectData& d, int result) {
  using Getter = std::string (CProjectData::*)() const;
  const Getter getters[] = {
      &CProjectData::GetProjectName,      &CProjectData::GetProject,           &CProjectData::GetDeadline,
      &CProjectData::GetXPVersion,        &CProjectData::Get98Version,         &CProjectData::GetOcxVersion,
      &CProjectData::GetDatVersion,       &CProjectData::GetServerVersion,     &CProjectData::GetOptionsVersion,
      &CProjectData::GetXPDownloadUrl,    &CProjectData::GetXPCompulsion,      &CProjectData::Get98DownloadUrl,
      &CProjectData::Get98Compulsion,     &CProjectData::GetOcxDownloadUrl,    &CProjectData::GetOcxCompulsion,
      &CProjectData::GetDatDownloadUrl,   &CProjectData::GetDatCompulsion,     &CProjectData::GetServerDownloadUrl,
      &CProjectData::GetServerCompulsion, &CProjectData::GetOptionCompulsion,  &CProjectData::GetNoticeUrl,
      &CProjectData::GetNotice,
  };
  std::vector<std::string> out;
  out.push_back("result " + std::to_string(result));
  out.push_back("debug " + std::to_string(d.GetDebug()));
  for (Getter g : getters) out.push_back((d.*g)());
  for (const std::string& s : d.GetOptionSettings()) out.push_back("option " + s);
  for (int type = CProjectData::JOB_FOLDER; type <= CProjectData::JOB_REGISTRY; ++type) {
    out.push_back("jobs " + std::to_string(d.GetJobCount(type)));
    for (int j = 0; j < d.GetJobCount(type); ++j) out.push_back(d.GetJobLine(type, j));
  }
  out.push_back("extra projects " + std::to_string(d.m_arrEtcProject.size()) + " of " + std::to_string(d.m_nEtcCount));
  for (const auto& p : d.m_arrEtcProject) {
    for (const std::string* s : {&p->m_strName, &p->m_strDownloadUrl, &p->m_strExe, &p->m_strPath, &p->m_strReg,
                                 &p->m_strCompulsion})
      out.push_back(*s);
    out.push_back("kind " + std::to_string(p->m_nKind));
  }
  // The section code left after the last line is parser state, not a reading: a signed document
  // ends in its signature section, an unknown one.
  return out;
}

std::vector<PackagePin> Pins(const CProjectData& d) {
  std::vector<PackagePin> pins = {d.GetXPDownloadPin(), d.Get98DownloadPin(), d.GetDatDownloadPin(),
                                  d.GetServerDownloadPin(), d.GetOcxDownloadPin()};
  for (const auto& p : d.m_arrEtcProject) pins.push_back(p->m_DownloadPin);
  return pins;
}

// A document as the update server sends it; with `pins`, each package address line is followed by
// its size and SHA-256.
std::string Document(bool pins, const std::string& lineEnd) {
  const auto pin = [&](const std::string& key, int size) {
    return pins ? key + "_SIZE=" + std::to_string(size) + lineEnd + key + "_SHA256=" + kSha + lineEnd : "";
  };
  std::string d;
  const auto line = [&](const std::string& text) { d += text + lineEnd; };
  line("// Talvo update information");
  line("[Talvo]");
  line("PROJECT=\xc5\xbb\xba\xb8");
  line("XP_VERSION=3.41");
  line("XP_DOWNLOADURL=http://127.0.0.1/talvoupdate/TalvoXP_341.zip");
  d += pin("XP_DOWNLOADURL", 1000);
  line("XP_COMPULSION=1");
  line("98_VERSION=3.41");
  line("98_DOWNLOADURL=http://127.0.0.1/talvoupdate/Talvo98_341.zip");
  d += pin("98_DOWNLOADURL", 1001);
  line("[POLICE_DATA]");
  line("DAT_VERSION=20240101");
  line("DOWN_DAT_URL=http://127.0.0.1/talvoupdate/filter.zip");
  d += pin("DOWN_DAT_URL", 1002);
  line("[SERVER_LIST]");
  line("SERVER_VERSION=12");
  line("SERVER_DOWN_URL=http://127.0.0.1/talvoupdate/serverlist.zip");
  d += pin("SERVER_DOWN_URL", 1003);
  line("[LOGIN_OCX]");
  line("OCX_VERSION=1.0.0.7");
  line("OCX_DOWN_URL=http://127.0.0.1/talvoupdate/login.zip");
  d += pin("OCX_DOWN_URL", 1004);
  line("[OPTIONS]");
  line("OPTIONS_VERSION=4");
  line("OPTIONS_SETTING=Network\\\\MaxConnect\\\\50");
  line("[NOTICE]");
  line("NOTICE_URL=http://127.0.0.1/notice.txt");
  line("[FOLDER]");
  line("CREATE=<TARGETDIR>\\skin");
  line("[FILES]");
  line("COPY=<TEMP>Talvo.exe,<TARGETDIR>Talvo.exe");
  line("[REGISTRY]");
  line("ADDVAL=\"HKEY_CURRENT_USER\\Software\\Talvo\",\"Skin\",\"Default\"");
  line("[ETC0]");
  line("NAME=Player");
  line("PRO_DOWN_URL=http://127.0.0.1/talvoupdate/player.zip");
  d += pin("PRO_DOWN_URL", 1005);
  line("PRO_EXE=player.exe");
  line("ETC_END=1");
  line("[END]");
  return d;
}

struct Reading {
  std::vector<std::string> readings;
  std::vector<PackagePin> pins;
  std::vector<FetchRequest> requests;
};

Reading Read(const std::string& text) {
  RecordingFetcher::Requests().clear();
  CProjectData data;
  const int result = data.Parse(text);
  return {Readings(data, result), Pins(data), RecordingFetcher::Requests()};
}

// What an updater of any age reads from a signed document is what it reads from the same document
// unsigned: the pins, the release section and the signature are lines it ignores.
TEST_F(CatalogueTest, ASignedDocumentReadsLikeTheSameDocumentUnsigned) {
  RecordingFetcher::Answers()["http://127.0.0.1/notice.txt"] = "notice";
  const std::string signature = "[SIGNATURE]";
  for (const std::string lineEnd : {"\r\n", "\n"}) {
    SCOPED_TRACE(lineEnd.size());
    const Reading unsigned_ = Read(Document(false, lineEnd));
    ASSERT_EQ(unsigned_.readings[0], "result 1");
    EXPECT_EQ(unsigned_.pins, std::vector<PackagePin>(6));
    const std::string release = "[RELEASE]" + lineEnd + "NUMBER=7" + lineEnd;
    const std::string signatureSection = signature + lineEnd + kLine + lineEnd;
    const struct {
      const char* what;
      std::string document;
    } variants[] = {
        {"release section last", Document(true, lineEnd) + release + signatureSection},
        {"release section first", release + Document(true, lineEnd) + signatureSection},
        {"signature without its last line end", Document(true, lineEnd) + release + signature + lineEnd + kLine},
    };
    for (const auto& v : variants) {
      SCOPED_TRACE(v.what);
      const Reading signed_ = Read(v.document);
      EXPECT_EQ(signed_.readings, unsigned_.readings);
      EXPECT_EQ(signed_.requests, unsigned_.requests);
      // The pins are read all the same, and the signed part alone reads like the whole.
      const std::vector<PackagePin> pins = signed_.pins;
      ASSERT_EQ(pins.size(), 6u);
      for (size_t i = 0; i < pins.size(); ++i) EXPECT_EQ(pins[i], (PackagePin{std::to_string(1000 + i), kSha}));
      const SignedDocument split = SplitSignedDocument(v.document);
      ASSERT_EQ(split.state, SignatureState::kSigned);
      const Reading covered = Read(std::string(split.covered));
      EXPECT_EQ(covered.readings, signed_.readings);
      EXPECT_EQ(covered.pins, signed_.pins);
      EXPECT_EQ(ReadReleaseNumber(split.covered).number, 7u);
    }
  }
}

}  // namespace
