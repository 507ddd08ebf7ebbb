// The delta keys: read into the catalogue per package address, ignored where they do not belong,
// and without any effect on the rest of the document (an updater that does not know them reads
// it exactly as before).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/deltaoffer.h"
#include "catalogue/projectdata.h"
#include "tests/catalogue/recordingfetcher.h"

namespace {

const std::string kA(64, 'a'), kB(64, 'b'), kC(64, 'c');

const std::string kDeltaLines =
    "XP_DOWNLOADURL_DELTA1=http://h/xp-3.40-3.41.zip\r\n"
    "XP_DOWNLOADURL_DELTA1_FROM=\"3.40\"\r\n"
    "XP_DOWNLOADURL_DELTA1_SIZE=1234\r\n"
    "XP_DOWNLOADURL_DELTA1_SHA256=" + kA + "\r\n"
    "XP_DOWNLOADURL_DELTA1_FILE=%INSTALL%,Talvo.exe," + kA + "," + kB + "\r\n"
    "xp_downloadurl_delta1_file=%INSTALL%,new.dll,," + kC + "; added\r\n"
    "XP_DOWNLOADURL_DELTA2_FROM=3.39\r\n"
    "XP_DOWNLOADURL_DELTA2=http://h/xp-3.39-3.41.zip\r\n";

std::string Document(const std::string& productExtra, const std::string& dataExtra) {
  return "[Talvo]\r\nXP_VERSION=3.41\r\nXP_DOWNLOADURL=http://h/xp.zip\r\n" + productExtra +
         "XP_COMPULSION=1\r\n[POLICE_DATA]\r\nDAT_VERSION=7\r\nDOWN_DAT_URL=http://h/dat.zip\r\n" + dataExtra +
         "[FILES]\r\nCOPY=%INSTALL%,Talvo.exe\r\n[OPTIONS]\r\nOPTIONS_SETTING=a=[b]\r\n";
}

class DeltaKeys : public CatalogueTest {};

}  // namespace

TEST_F(DeltaKeys, AreReadPerPackageAddressInNumberOrder) {
  CProjectData doc;
  doc.Parse(Document(kDeltaLines, "DOWN_DAT_URL_DELTA1=http://h/dat-6-7.zip\r\nDOWN_DAT_URL_DELTA1_FROM=6\r\n"));
  const std::vector<DeltaOffer> xp = doc.GetDeltas("XP_DOWNLOADURL");
  ASSERT_EQ(xp.size(), 2u);
  EXPECT_EQ(xp[0].m_nNumber, 1u);
  EXPECT_EQ(xp[0].m_strUrl, "http://h/xp-3.40-3.41.zip");
  EXPECT_EQ(xp[0].m_strFrom, "3.40");
  EXPECT_EQ(xp[0].m_Pin.m_strSize, "1234");
  EXPECT_EQ(xp[0].m_Pin.m_strSha256, kA);
  std::vector<DeltaFile> files;
  ASSERT_TRUE(xp[0].ReadFiles(files));
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].m_strFolder, "%INSTALL%");
  EXPECT_EQ(files[0].m_strName, "Talvo.exe");
  EXPECT_TRUE(files[0].IsChanged());
  EXPECT_EQ(files[1].m_strName, "new.dll");
  EXPECT_EQ(files[1].m_strSha256Before, "");
  EXPECT_EQ(files[1].m_strSha256After, kC);
  EXPECT_EQ(xp[1].m_strFrom, "3.39");
  EXPECT_TRUE(doc.GetDeltas("98_DOWNLOADURL").empty());
  ASSERT_EQ(doc.GetDeltas("DOWN_DAT_URL").size(), 1u);
  EXPECT_EQ(CProjectData::SectionOfKey("DOWN_DAT_URL_DELTA3_FILE"), CProjectData::SECTION_POLICE_DATA);
  EXPECT_EQ(CProjectData::SectionOfKey("XP_DOWNLOADURL_DELTA1"), CProjectData::SECTION_PRODUCT);
  EXPECT_EQ(CProjectData::SectionOfKey("NOTICE_URL_DELTA1"), CProjectData::SECTION_UNKNOWN);
}

TEST_F(DeltaKeys, ThatDoNotBelongAreIgnored) {
  struct Case {
    const char* name;
    std::string text;
  } cases[] = {
      {"another component's section", "[POLICE_DATA]\r\nXP_DOWNLOADURL_DELTA1=u\r\n"},
      {"no section", "XP_DOWNLOADURL_DELTA1=u\r\n[Talvo]\r\n"},
      {"the notice", "[NOTICE]\r\nNOTICE_URL_DELTA1=u\r\n"},
      {"number zero", "[Talvo]\r\nXP_DOWNLOADURL_DELTA0=u\r\n"},
      {"leading zero", "[Talvo]\r\nXP_DOWNLOADURL_DELTA01=u\r\n"},
      {"no number", "[Talvo]\r\nXP_DOWNLOADURL_DELTA=u\r\n"},
      {"unknown field", "[Talvo]\r\nXP_DOWNLOADURL_DELTA1_NAME=u\r\n"},
      {"blank before '='", "[Talvo]\r\nXP_DOWNLOADURL_DELTA1 =u\r\n"},
      {"an extra project", "[ETC0]\r\nPRO_DOWN_URL_DELTA1=u\r\nETC_END=1\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CProjectData doc;
    doc.Parse(c.text);
    EXPECT_TRUE(doc.m_ProjectInfo.m_Deltas.empty());
  }
}

// Everything an updater without the delta keys reads is the same with and without them.
TEST_F(DeltaKeys, LeaveTheRestOfTheDocumentAsBefore) {
  CProjectData with, without;
  EXPECT_EQ(with.Parse(Document(kDeltaLines, "DOWN_DAT_URL_DELTA1_FILE=x,y,,\r\n")), without.Parse(Document("", "")));
  EXPECT_EQ(with.GetXPVersion(), without.GetXPVersion());
  EXPECT_EQ(with.GetXPDownloadUrl(), without.GetXPDownloadUrl());
  EXPECT_EQ(with.GetXPCompulsion(), without.GetXPCompulsion());
  EXPECT_TRUE(with.GetXPDownloadPin() == without.GetXPDownloadPin());
  EXPECT_EQ(with.GetDatVersion(), without.GetDatVersion());
  EXPECT_EQ(with.GetDatDownloadUrl(), without.GetDatDownloadUrl());
  EXPECT_EQ(with.m_saFiles, without.m_saFiles);
  EXPECT_EQ(with.GetOptionSettings(), without.GetOptionSettings());
  EXPECT_EQ(with.m_nSection, without.m_nSection);
}

TEST(DeltaFileValue, IsFourFieldsWithDigests) {
  struct Case {
    std::string value;
    bool ok;
  } cases[] = {
      {"%INSTALL%,a.exe," + kA + "," + kB, true},
      {"%INSTALL%,a.exe,," + kB, true},
      {"%INSTALL%,a.exe," + kA + ",", false},
      {",a.exe," + kA + "," + kB, false},
      {"%INSTALL%,," + kA + "," + kB, false},
      {"%INSTALL%,a.exe," + kA, false},
      {"%INSTALL%,a.exe," + kA + "," + kB + ",x", false},
      {"%INSTALL%,a.exe," + std::string(64, 'A') + "," + kB, false},
      {"%INSTALL%,a.exe," + kA + "," + kB.substr(1), false},
  };
  for (const Case& c : cases) {
    DeltaFile file;
    EXPECT_EQ(ParseDeltaFile(c.value, file), c.ok) << c.value;
  }
}
