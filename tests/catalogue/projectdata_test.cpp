// The update information document as the parser reads it, and the catalogue it fills.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/projectdata.h"
#include "tests/catalogue/recordingfetcher.h"

namespace {

using Strings = std::vector<std::string>;
using Accessor = std::string (CProjectData::*)() const;

// "탈보 업데이트" and "가" in code page 949.
const std::string kTalvoUpdateCp949 = "\xc5\xbb\xba\xb8 \xbe\xf7\xb5\xa5\xc0\xcc\xc6\xae";
const std::string kGaCp949 = "\xb0\xa1";

struct FieldCase {
  const char* what;
  std::string document;
  Accessor field;
  std::string expected;
};

// One document, one field: how keys, values, sections and comments are read.
TEST_F(CatalogueTest, KeyLinesFillTheirFields) {
  const FieldCase cases[] = {
      {"value as written", "[Talvo]\r\nXP_VERSION=3.40\r\n", &CProjectData::GetXPVersion, "3.40"},
      {"space before ';' stays in the value", "[Talvo]\r\nXP_VERSION=3.40 ; latest\r\n",
       &CProjectData::GetXPVersion, "3.40 "},
      {"no ';': the rest of the line, '//' included", "[Talvo]\r\nXP_VERSION=3.40 // latest\r\n",
       &CProjectData::GetXPVersion, "3.40 // latest"},
      {"lower-case key", "[Talvo]\r\nxp_version=3.40\r\n", &CProjectData::GetXPVersion, "3.40"},
      {"mixed-case key", "[Talvo]\r\nXp_VeRsIoN=3.40\r\n", &CProjectData::GetXPVersion, "3.40"},
      {"section names are case-sensitive", "[talvo]\r\nXP_VERSION=3.40\r\n", &CProjectData::GetXPVersion, ""},
      {"space before '=' stays in the key", "[Talvo]\r\nXP_VERSION = 3.40\r\n", &CProjectData::GetXPVersion, ""},
      {"nothing is trimmed after '='", "[Talvo]\r\nXP_VERSION= 3.40\r\n", &CProjectData::GetXPVersion, " 3.40"},
      {"quotes removed", "[Talvo]\r\nXP_VERSION=\"3.40\"\r\n", &CProjectData::GetXPVersion, "3.40"},
      {"';' inside quotes belongs to the value", "[Talvo]\r\nPROJECT=\"a;b\";c\r\n", &CProjectData::GetProject, "a;b"},
      {"quotes inside the value removed too", "[Talvo]\r\nPROJECT=a\"b\"c\r\n", &CProjectData::GetProject, "abc"},
      {"comment line", "[Talvo]\r\n// XP_VERSION=3.40\r\n", &CProjectData::GetXPVersion, ""},
      {"comment after the section name", "[Talvo] // product\r\nXP_VERSION=3.40\r\n", &CProjectData::GetXPVersion, "3.40"},
      {"'//' after '=' is part of an address", "[Talvo]\r\nXP_DOWNLOADURL=http://host/p.zip\r\n",
       &CProjectData::GetXPDownloadUrl, "http://host/p.zip"},
      {"later key wins", "[POLICE_DATA]\r\nDAT_VERSION=1\r\nDAT_VERSION=2\r\n", &CProjectData::GetDatVersion, "2"},
      {"key before any section", "XP_VERSION=3.40\r\n[Talvo]\r\n", &CProjectData::GetXPVersion, ""},
      {"key in another component's section", "[POLICE_DATA]\r\nXP_VERSION=3.40\r\n", &CProjectData::GetXPVersion, ""},
      {"UPDATE_DATA lines are ignored", "[UPDATE_DATA]\r\nXP_VERSION=3.40\r\n", &CProjectData::GetXPVersion, ""},
      {"END ends the section", "[Talvo]\r\n[END]\r\nXP_VERSION=3.40\r\n", &CProjectData::GetXPVersion, ""},
      {"unknown section, then a known one", "[Talvo]\r\n[Other]\r\nXP_VERSION=1\r\n[Talvo]\r\nXP_COMPULSION=2\r\n",
       &CProjectData::GetXPVersion, ""},
      {"known section after an unknown one", "[Other]\r\n[Talvo]\r\nXP_COMPULSION=2\r\n", &CProjectData::GetXPCompulsion, "2"},
      {"nothing trimmed inside the brackets", "[ Talvo ]\r\nXP_VERSION=3.40\r\n", &CProjectData::GetXPVersion, ""},
      {"key on the section line", "[Talvo]XP_VERSION=3.40\r\n", &CProjectData::GetXPVersion, "3.40"},
      {"'[' never joins the section name", "[Tal[vo]\r\nXP_VERSION=3.40\r\n", &CProjectData::GetXPVersion, "3.40"},
      {"']' outside brackets joins the key", "[Talvo]\r\nXP_VERSION]=3.40\r\n", &CProjectData::GetXPVersion, ""},
      {"after its '=' an options line names no key", "[OPTIONS]\r\nOPTIONS_VERSION==OPTION_COMPULSION=1\r\n",
       &CProjectData::GetOptionCompulsion, ""},
      {"white space trimmed from both ends of the line", "[Talvo]\r\n \t\v\fXP_VERSION=3.40 \t\v\f\r\n",
       &CProjectData::GetXPVersion, "3.40"},
      {"other bytes are not white space", "[Talvo]\r\nXP_VERSION=3.40\x85\xa0\r\n", &CProjectData::GetXPVersion,
       "3.40\x85\xa0"},
      {"Korean value kept byte for byte", "[Talvo]\r\nPROJECT=" + kTalvoUpdateCp949 + "\r\n", &CProjectData::GetProject,
       kTalvoUpdateCp949},
      {"']' in a value", "[Talvo]\r\nXP_VERSION=[3.40]\r\nXP_COMPULSION=1\r\n", &CProjectData::GetXPCompulsion, "1"},
      {"deadline", "[Talvo]\r\nDEADLINE=\"2030-01-01\"\r\n", &CProjectData::GetDeadline, "2030-01-01"},
      {"98 build", "[Talvo]\r\n98_VERSION=2.1\r\n98_DOWNLOADURL=u98\r\n98_COMPULSION=0\r\n", &CProjectData::Get98DownloadUrl,
       "u98"},
      {"98 version", "[Talvo]\r\n98_VERSION=2.1\r\n", &CProjectData::Get98Version, "2.1"},
      {"98 compulsion", "[Talvo]\r\n98_COMPULSION=\"1\"\r\n", &CProjectData::Get98Compulsion, "1"},
      {"filter data address", "[POLICE_DATA]\r\nDOWN_DAT_URL=dat.zip\r\n", &CProjectData::GetDatDownloadUrl, "dat.zip"},
      {"filter data compulsion", "[POLICE_DATA]\r\nDAT_COMPULSION=1\r\n", &CProjectData::GetDatCompulsion, "1"},
      {"server list", "[SERVER_LIST]\r\nSERVER_VERSION=\"7\"\r\n", &CProjectData::GetServerVersion, "7"},
      {"server list address", "[SERVER_LIST]\r\nSERVER_DOWN_URL=s.zip\r\n", &CProjectData::GetServerDownloadUrl, "s.zip"},
      {"server list compulsion", "[SERVER_LIST]\r\nSERVER_COMPULSION=0\r\n", &CProjectData::GetServerCompulsion, "0"},
      {"login control", "[LOGIN_OCX]\r\nOCX_VERSION=1,0,0,3\r\n", &CProjectData::GetOcxVersion, "1,0,0,3"},
      {"login control address", "[LOGIN_OCX]\r\nOCX_DOWN_URL=o.zip\r\n", &CProjectData::GetOcxDownloadUrl, "o.zip"},
      {"login control compulsion", "[LOGIN_OCX]\r\nOCX_COMPULSION=1\r\n", &CProjectData::GetOcxCompulsion, "1"},
      {"options version, quotes removed", "[OPTIONS]\r\nOPTIONS_VERSION=\"5\"\r\n", &CProjectData::GetOptionsVersion, "5"},
      {"options compulsion", "[OPTIONS]\r\noption_compulsion=\"1\"\r\n", &CProjectData::GetOptionCompulsion, "1"},
      {"notice address keeps its quotes", "[NOTICE]\r\nNOTICE_URL=\"http://h/n.txt\"\r\n", &CProjectData::GetNoticeUrl,
       "\"http://h/n.txt\""},
      {"notice address outside its section", "[Talvo]\r\nNOTICE_URL=http://h/n.txt\r\n", &CProjectData::GetNoticeUrl, ""},
      {"product name from the section line", "[Talvo]\r\n", &CProjectData::GetProjectName, "Talvo"},
      {"no product section, no name", "[POLICE_DATA]\r\nDAT_VERSION=1\r\n", &CProjectData::GetProjectName, ""},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(c.what);
    ParsedDocument doc(c.document);
    EXPECT_EQ((doc.data.*c.field)(), c.expected);
  }
}

TEST_F(CatalogueTest, DebugFlagIsOneOnlyForExactlyOne) {
  const struct {
    const char* value;
    int expected;
  } cases[] = {{"1", 1}, {"\"1\"", 1}, {"0", 0}, {"01", 0}, {"1 ;x", 0}, {"true", 0}, {"", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    ParsedDocument doc(std::string("[Talvo]\r\nDEBUG=") + c.value + "\r\n");
    EXPECT_EQ(doc.data.GetDebug(), c.expected);
  }
}

// The LF rule and the "<meta" stop decide which lines the parser sees at all.
TEST_F(CatalogueTest, LinesAreSplitByTheLineFeedRule) {
  const struct {
    const char* what;
    std::string document;
    std::string xpVersion;
    std::string xpCompulsion;
  } cases[] = {
      {"CR LF", "[Talvo]\r\nXP_VERSION=1\r\nXP_COMPULSION=2\r\n", "1", "2"},
      {"bare LF", "[Talvo]\nXP_VERSION=1\nXP_COMPULSION=2\n", "1", "2"},
      {"no line end at the end", "[Talvo]\nXP_VERSION=1\nXP_COMPULSION=2", "1", "2"},
      {"blank lines with bare LF", "[Talvo]\n\n\nXP_VERSION=1\n\nXP_COMPULSION=2", "1", "2"},
      {"blank lines with CR LF", "[Talvo]\r\n\r\n\r\nXP_VERSION=1\r\n\r\nXP_COMPULSION=2", "1", "2"},
      {"a one-byte line joins the next with bare LF", "[Talvo]\nX\nXP_VERSION=1\nXP_COMPULSION=2\n", "", "2"},
      {"a one-byte line with CR LF stands alone", "[Talvo]\r\nX\r\nXP_VERSION=1\r\nXP_COMPULSION=2\r\n", "1", "2"},
      {"a bare CR does not end a line", "[Talvo]\rXP_VERSION=1\r\nXP_COMPULSION=2\r\n", "", "2"},
      {"<meta stops the document", "[Talvo]\r\nXP_VERSION=1\r\n<meta http-equiv=\"x\">\r\nXP_COMPULSION=2\r\n", "1", ""},
      {"<meta stops it with bare LF too", "[Talvo]\nXP_VERSION=1\n<meta>\nXP_COMPULSION=2\n", "1", ""},
      {"<meta as the first line", "<meta charset=\"euc-kr\">\r\n[Talvo]\r\nXP_VERSION=1\r\n", "", ""},
      {"<meta after a CR LF blank line does not stop", "[Talvo]\r\nXP_VERSION=1\r\n\r\n<meta x>\r\nXP_COMPULSION=2\r\n",
       "1", "2"},
      {"<meta after white space does not stop", "[Talvo]\r\nXP_VERSION=1\r\n <meta x>\r\nXP_COMPULSION=2\r\n", "1", "2"},
      {"<META in capitals does not stop", "[Talvo]\r\nXP_VERSION=1\r\n<META x>\r\nXP_COMPULSION=2\r\n", "1", "2"},
      {"<met does not stop", "[Talvo]\r\nXP_VERSION=1\r\n<met\r\nXP_COMPULSION=2\r\n", "1", "2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ParsedDocument doc(c.document);
    EXPECT_EQ(doc.data.GetXPVersion(), c.xpVersion);
    EXPECT_EQ(doc.data.GetXPCompulsion(), c.xpCompulsion);
  }
}

TEST_F(CatalogueTest, LastLineIsParsedEvenWhenItBeginsWithMeta) {
  ParsedDocument last("[FOLDER]\nA=1\n<meta=x");
  EXPECT_EQ(last.data.m_saFolder, (Strings{"A=1", "<meta=x"}));

  ParsedDocument stopped("[FOLDER]\nA=1\n<meta=x\nB=2");
  EXPECT_EQ(stopped.data.m_saFolder, (Strings{"A=1"}));
}

TEST_F(CatalogueTest, ParseReturnsTheDownloadAddressMark) {
  const struct {
    const char* what;
    std::string document;
    int expected;
  } cases[] = {
      {"empty document", "", 0},
      {"versions only", "[Talvo]\r\nXP_VERSION=1\r\n[POLICE_DATA]\r\nDAT_VERSION=2\r\n", 0},
      {"XP build", "[Talvo]\r\nXP_DOWNLOADURL=u\r\n", 1},
      {"98 build", "[Talvo]\r\n98_DOWNLOADURL=u\r\n", 1},
      {"filter data", "[POLICE_DATA]\r\nDOWN_DAT_URL=u\r\n", 1},
      {"server list", "[SERVER_LIST]\r\nSERVER_DOWN_URL=u\r\n", 1},
      {"login control", "[LOGIN_OCX]\r\nOCX_DOWN_URL=u\r\n", 1},
      {"an empty address still counts", "[Talvo]\r\nXP_DOWNLOADURL=\r\n", 1},
      {"address in the wrong section", "[POLICE_DATA]\r\nXP_DOWNLOADURL=u\r\n", 0},
      {"address before any section", "XP_DOWNLOADURL=u\r\n", 0},
      {"only an extra project's address", "[ETC0]\r\nNAME=n\r\nPRO_DOWN_URL=u\r\nETC_END=1\r\n", 0},
      {"address before a <meta stop", "[Talvo]\r\nXP_DOWNLOADURL=u\r\n<meta>\r\n", 1},
      {"address after a <meta stop", "[Talvo]\r\n<meta>\r\nXP_DOWNLOADURL=u\r\n", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ParsedDocument doc(c.document);
    EXPECT_EQ(doc.result, c.expected);
    EXPECT_EQ(doc.data.m_bHasDownload, c.expected);
  }
}

TEST_F(CatalogueTest, SectionCodes) {
  CProjectData data;
  const struct {
    const char* name;
    int code;
  } cases[] = {
      {"Talvo", 3},   {"POLICE_DATA", 8}, {"UPDATE_DATA", 9}, {"SERVER_LIST", 10}, {"LOGIN_OCX", 11},
      {"OPTIONS", 12}, {"NOTICE", 14},     {"FOLDER", 4},       {"FILES", 5},        {"REGISTRY", 6},
      {"ETC0", 100},  {"END", 0},         {"ETC_END", 0},      {"ETC1", -1},        {"ETC00", -1},
      {"ETC", -1},    {"talvo", -1},      {"Folder", -1},      {"", -1},            {" Talvo", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(data.GetSectionCode(c.name), c.code);
  }
  EXPECT_EQ(data.GetProjectName(), "Talvo");
  data.m_nEtcCount = 12;
  EXPECT_EQ(data.GetSectionCode("ETC12"), 112);
  EXPECT_EQ(data.GetSectionCode("ETC0"), -1);
}

// A "[" without its "]" holds the parser in code 1, where nothing takes effect, until some line
// closes a bracket; the name is what that closing line collected.
TEST_F(CatalogueTest, OpenBracketIgnoresLinesUntilOneClosesIt) {
  ParsedDocument open("[Talvo\r\nXP_VERSION=1\r\n");
  EXPECT_EQ(open.data.m_nSection, 1);
  EXPECT_EQ(open.data.GetXPVersion(), "");
  EXPECT_EQ(open.data.GetProjectName(), "");

  ParsedDocument closed("[Talvo\r\nXP_VERSION=1\r\nTalvo]\r\nXP_VERSION=2\r\n");
  EXPECT_EQ(closed.data.m_nSection, 3);
  EXPECT_EQ(closed.data.GetXPVersion(), "2");
  EXPECT_EQ(closed.data.GetProjectName(), "Talvo");

  // Text before the "[" is part of the name.
  ParsedDocument prefixed("x[Talvo]\r\nXP_VERSION=1\r\n");
  EXPECT_EQ(prefixed.data.m_nSection, -1);
  EXPECT_EQ(prefixed.data.GetXPVersion(), "");
}

TEST_F(CatalogueTest, OptionSettingsKeepQuotesAndRepeat) {
  ParsedDocument doc(
      "[OPTIONS]\r\n"
      "OPTIONS_VERSION=\"5\"\r\n"
      "OPTIONS_SETTING=\"Network\",\"MaxUpload\",\"8\"\r\n"
      "options_setting=Search,Filter,1 ; stricter filter\r\n"
      "OPTIONS_SETTING=\"a;b\";c\r\n"
      "OPTIONS_SETTING=\r\n"
      "OPTION_COMPULSION=1\r\n");
  EXPECT_EQ(doc.data.GetOptionSettings(),
            (Strings{"\"Network\",\"MaxUpload\",\"8\"", "Search,Filter,1 ", "\"a;b\"", ""}));
  EXPECT_EQ(doc.data.GetOptionsVersion(), "5");
  EXPECT_EQ(doc.data.GetOptionCompulsion(), "1");
}

// In the options section the rest of a line is read on after "=", so brackets in a setting
// switch to an unknown section and the following option lines are lost.
TEST_F(CatalogueTest, BracketsInAnOptionSettingEndTheOptionsSection) {
  ParsedDocument doc(
      "[OPTIONS]\r\n"
      "OPTIONS_SETTING=[Main]Speed=1\r\n"
      "OPTIONS_VERSION=5\r\n"
      "OPTIONS_SETTING=lost\r\n");
  EXPECT_EQ(doc.data.m_nSection, -1);
  EXPECT_EQ(doc.data.GetOptionSettings(), (Strings{"[Main]Speed=1"}));
  EXPECT_EQ(doc.data.GetOptionsVersion(), "");

  // An unclosed "[" leaves code 1 until a later line closes it.
  ParsedDocument open(
      "[OPTIONS]\r\n"
      "OPTIONS_SETTING=[Main\r\n"
      "OPTIONS_VERSION=5\r\n"
      "[Talvo]\r\n"
      "XP_VERSION=1\r\n");
  EXPECT_EQ(open.data.GetOptionSettings(), (Strings{"[Main"}));
  EXPECT_EQ(open.data.GetOptionsVersion(), "");
  EXPECT_EQ(open.data.GetXPVersion(), "1");

  // Elsewhere reading stops at the "=", so brackets in a value do nothing.
  ParsedDocument product("[Talvo]\r\nPROJECT=[x]\r\nXP_VERSION=1\r\n");
  EXPECT_EQ(product.data.GetProject(), "[x]");
  EXPECT_EQ(product.data.GetXPVersion(), "1");
}

TEST_F(CatalogueTest, GetValueTogglesQuotesFromTheStartOfTheLine) {
  CProjectData data;
  const struct {
    std::string line;
    size_t start;
    std::string expected;
  } cases[] = {
      {"A=1;2", 2, "1"},
      {"A=1 ;2", 2, "1 "},
      {"A=\"1;2\";3", 2, "\"1;2\""},
      {"A=1\"", 2, "1\""},
      {"\"A=1;2", 3, "1;2"},          // the quote opened in the key hides the ";"
      {"\"A\"=1;2", 4, "1"},
      {"A;B=1", 4, ""},               // the value ends before it starts
      {"A=", 2, ""},
      {"", 0, ""},
      {"A=1", 7, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(data.GetValue(c.line, c.start), c.expected);
  }
}

TEST_F(CatalogueTest, JobLinesAreStoredPerSection) {
  ParsedDocument doc(
      "[FOLDER]\r\n"
      "CREATE=\"<TARGETDIR>\\skin\\new one\" ; quoted path\r\n"
      "  DELETE=<TARGETDIR>\\old  \r\n"
      "just text without an equals sign\r\n"
      "// CREATE=<TARGETDIR>\\commented\r\n"
      "CHANGE=a,b\r\n"
      "[FILES]\r\n"
      "COPY=\"<TEMP>Talvo.exe\",\"<TARGETDIR>Talvo.exe\"\r\n"
      "regist=http://h/a.ocx;x\r\n"
      "DONE=a,b\r\n"
      "[REGISTRY]\r\n"
      "ADDVAL=\"HKEY_CURRENT_USER\\Software\\Talvo\",\"Skin\",\"Blue\" ; kept quotes\r\n"
      "DELKEY=HKEY_CURRENT_USER\\Software\\Old\r\n"
      "[Talvo]\r\n"
      "CREATE=not a job\r\n");
  EXPECT_EQ(doc.data.m_saFolder,
            (Strings{"CREATE=<TARGETDIR>\\skin\\new one ", "DELETE=<TARGETDIR>\\old", "CHANGE=a,b"}));
  EXPECT_EQ(doc.data.m_saFiles,
            (Strings{"COPY=<TEMP>Talvo.exe,<TARGETDIR>Talvo.exe", "regist=http://h/a.ocx", "DONE=a,b"}));
  EXPECT_EQ(doc.data.m_saRegistry,
            (Strings{"ADDVAL=\"HKEY_CURRENT_USER\\Software\\Talvo\",\"Skin\",\"Blue\" ",
                     "DELKEY=HKEY_CURRENT_USER\\Software\\Old"}));
  EXPECT_EQ(doc.data.GetJobCount(CProjectData::JOB_FOLDER), 3);
  EXPECT_EQ(doc.data.GetJobCount(CProjectData::JOB_FILES), 3);
  EXPECT_EQ(doc.data.GetJobCount(CProjectData::JOB_REGISTRY), 2);
}

// A quoted path may hold a ";": cutting the comment off before the quotes are removed keeps the
// path whole, so a DELETE job never reaches a shorter path than the one written.
TEST_F(CatalogueTest, SemicolonInsideQuotesStaysInAJobLine) {
  const struct {
    const char* what;
    std::string document;
    Strings folder;
    Strings registry;
  } cases[] = {
      {"quoted ';' in a folder job", "[FOLDER]\r\nDELETE=\"<TARGETDIR>\\skin;old\";comment\r\n",
       {"DELETE=<TARGETDIR>\\skin;old"}, {}},
      {"unquoted ';' starts a comment", "[FOLDER]\r\nDELETE=<TARGETDIR>\\skin;old\r\n", {"DELETE=<TARGETDIR>\\skin"}, {}},
      {"unbalanced quote hides the rest", "[FOLDER]\r\nDELETE=a\";b\r\n", {"DELETE=a;b"}, {}},
      {"quoted ';' in a registry job", "[REGISTRY]\r\nADDVAL=\"k\",\"v\",\"a;b\";c\r\n", {},
       {"ADDVAL=\"k\",\"v\",\"a;b\""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ParsedDocument doc(c.document);
    EXPECT_EQ(doc.data.m_saFolder, c.folder);
    EXPECT_EQ(doc.data.m_saRegistry, c.registry);
  }
}

TEST_F(CatalogueTest, JobLineCutBeforeItsEqualsSignIsStillStored) {
  // The ";" comes before the "=", so the stored line has no "=" at all.
  ParsedDocument doc("[FILES]\r\nA;B=1\r\n;=2\r\n");
  EXPECT_EQ(doc.data.m_saFiles, (Strings{"A", ""}));
  EXPECT_EQ(doc.data.GetJobLine(CProjectData::JOB_FILES, 0), "A");
  doc.data.MarkJobDone(CProjectData::JOB_FILES, 0);
  EXPECT_EQ(doc.data.m_saFiles[0], "DONEA");
}

TEST_F(CatalogueTest, JobQueries) {
  CProjectData data;
  data.m_saFiles = {"A=1", "DONE=2", "B=3"};
  EXPECT_EQ(data.GetJobCount(CProjectData::JOB_FILES), 3);
  EXPECT_EQ(data.GetJobCount(CProjectData::JOB_FOLDER), 0);
  EXPECT_EQ(data.GetJobCount(7), 0);
  EXPECT_EQ(data.GetJobCount(0), 0);

  const struct {
    int index;
    std::string expected;
  } lines[] = {{0, "A=1"}, {1, ""}, {2, "B=3"}, {3, ""}, {-1, ""}};
  for (const auto& c : lines) {
    SCOPED_TRACE(c.index);
    EXPECT_EQ(data.GetJobLine(CProjectData::JOB_FILES, c.index), c.expected);
  }
  EXPECT_EQ(data.GetJobLine(CProjectData::JOB_REGISTRY, 0), "");
  EXPECT_EQ(data.GetJobLine(3, 0), "");
}

TEST_F(CatalogueTest, MarkJobDoneReplacesTheCommandWord) {
  const struct {
    std::string line;
    std::string marked;
  } cases[] = {
      {"COPY=a,b", "DONE=a,b"},
      {"DONE=x", "DONE=x"},
      {"=x", "DONE=x"},
      {"ADDVAL=\"k\",\"v=1\"", "DONE=\"k\",\"v=1\""},
      {"NOEQUALS", "DONENOEQUALS"},
      {"", "DONE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    CProjectData data;
    data.m_saRegistry = {"KEEP=1", c.line};
    data.MarkJobDone(CProjectData::JOB_REGISTRY, 1);
    EXPECT_EQ(data.m_saRegistry, (Strings{"KEEP=1", c.marked}));
  }

  CProjectData data;
  data.m_saFolder = {"CREATE=a"};
  data.MarkJobDone(CProjectData::JOB_FOLDER, 1);
  data.MarkJobDone(CProjectData::JOB_FOLDER, -1);
  data.MarkJobDone(CProjectData::JOB_FILES, 0);
  data.MarkJobDone(9, 0);
  EXPECT_EQ(data.m_saFolder, (Strings{"CREATE=a"}));
  EXPECT_TRUE(data.m_saFiles.empty());
}

TEST_F(CatalogueTest, InstallerWalkRunsEveryPendingJobOnce) {
  ParsedDocument doc(
      "[FOLDER]\r\nCREATE=a\r\nDONE=b\r\n"
      "[FILES]\r\nCOPY=c,d\r\n"
      "[REGISTRY]\r\nADDKEY=e\r\n");
  std::vector<std::string> run;
  for (int pass = 0; pass < 2; ++pass) {
    for (int type = CProjectData::JOB_FOLDER; type <= CProjectData::JOB_REGISTRY; ++type) {
      for (int j = 0; j < doc.data.GetJobCount(type); ++j) {
        const std::string line = doc.data.GetJobLine(type, j);
        if (line.empty()) continue;
        run.push_back(line);
        doc.data.MarkJobDone(type, j);
      }
    }
  }
  EXPECT_EQ(run, (Strings{"CREATE=a", "COPY=c,d", "ADDKEY=e"}));
  EXPECT_EQ(doc.data.m_saFolder, (Strings{"DONE=a", "DONE=b"}));
}

struct EtcExpectation {
  std::string name, downloadUrl, exe, path, reg, compulsion;
};

void ExpectEtcProjects(const CProjectData& data, const std::vector<EtcExpectation>& expected) {
  ASSERT_EQ(data.m_arrEtcProject.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    const EtcProject& p = *data.m_arrEtcProject[i];
    EXPECT_EQ(p.m_strName, expected[i].name);
    EXPECT_EQ(p.m_strDownloadUrl, expected[i].downloadUrl);
    EXPECT_EQ(p.m_strExe, expected[i].exe);
    EXPECT_EQ(p.m_strPath, expected[i].path);
    EXPECT_EQ(p.m_strReg, expected[i].reg);
    EXPECT_EQ(p.m_strCompulsion, expected[i].compulsion);
    EXPECT_EQ(p.m_nKind, 0);
  }
}

TEST_F(CatalogueTest, ExtraProjectsAreCommittedByEtcEnd) {
  ParsedDocument doc(
      "[ETC0]\r\n"
      "NAME=\"" + kGaCp949 + " Player\"\r\n"
      "PRO_DOWN_URL=http://h/player.zip\r\n"
      "PRO_EXE=player.exe\r\n"
      "PRO_PATH=<PROGRAMFILES>\\Player\r\n"
      "PRO_REG=HKEY_LOCAL_MACHINE\\Software\\Player\r\n"
      "PRO_COMPULSION=0\r\n"
      "ETC_END=\r\n"
      "NAME=after the commit\r\n"
      "[ETC1]\r\n"
      "name=Second\r\n"
      "pro_exe=second.exe\r\n"
      "etc_end=anything\r\n");
  ExpectEtcProjects(doc.data, {{kGaCp949 + " Player", "http://h/player.zip", "player.exe", "<PROGRAMFILES>\\Player",
                                "HKEY_LOCAL_MACHINE\\Software\\Player", "0"},
                               {"Second", "", "second.exe", "", "", ""}});
  EXPECT_EQ(doc.data.m_nEtcCount, 2);
  EXPECT_EQ(doc.data.m_CurEtcProject.m_strName, "");
  EXPECT_EQ(doc.result, 0);
}

TEST_F(CatalogueTest, ExtraProjectNumberingAndCommitRule) {
  const struct {
    const char* what;
    std::string document;
    std::vector<std::string> names;
    std::string pendingName;
  } cases[] = {
      {"ETC1 before ETC0 is committed is unknown", "[ETC1]\r\nNAME=a\r\nETC_END=1\r\n", {}, ""},
      {"never committed, never listed", "[ETC0]\r\nNAME=a\r\n", {}, "a"},
      {"section line [ETC_END] commits nothing", "[ETC0]\r\nNAME=a\r\n[ETC_END]\r\n", {}, "a"},
      {"ETC_END in another section commits nothing", "[ETC0]\r\nNAME=a\r\n[Talvo]\r\nETC_END=1\r\n", {}, "a"},
      {"ETC0 again after its commit is unknown", "[ETC0]\r\nNAME=a\r\nETC_END=\r\n[ETC0]\r\nNAME=b\r\nETC_END=\r\n",
       {"a"}, ""},
      {"keys between two sections of one project add up",
       "[ETC0]\r\nNAME=a\r\n[Talvo]\r\n[ETC0]\r\nPRO_EXE=x\r\nETC_END=\r\n", {"a"}, ""},
      {"lines after the commit are ignored", "[ETC0]\r\nNAME=a\r\nETC_END=\r\nNAME=b\r\nETC_END=\r\n", {"a"}, ""},
      {"an empty record can be committed", "[ETC0]\r\nETC_END=\r\n[ETC1]\r\nNAME=b\r\nETC_END=\r\n", {"", "b"}, ""},
      {"extra-project keys elsewhere are ignored", "[Talvo]\r\nNAME=a\r\nETC_END=\r\n", {}, ""},
      {"ETC00 is not ETC0", "[ETC00]\r\nNAME=a\r\nETC_END=\r\n", {}, ""},
      {"comment before the key", "[ETC0]\r\n//ETC_END=\r\nNAME=a\r\n", {}, "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ParsedDocument doc(c.document);
    std::vector<std::string> names;
    for (const auto& p : doc.data.m_arrEtcProject) names.push_back(p->m_strName);
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(doc.data.m_nEtcCount, static_cast<int>(c.names.size()));
    EXPECT_EQ(doc.data.m_CurEtcProject.m_strName, c.pendingName);
  }
}

// A record moved out (as the update window does) outlives the catalogue; the ones left go with
// it. The sanitizer build reports a leak or a second delete of either.
TEST_F(CatalogueTest, ExtraProjectsTakenOverOutliveTheCatalogueTheRestGoWithIt) {
  std::unique_ptr<EtcProject> taken;
  {
    CProjectData data;
    data.Parse("[ETC0]\r\nNAME=taken\r\nETC_END=\r\n[ETC1]\r\nNAME=left\r\nETC_END=\r\n");
    ASSERT_EQ(data.m_arrEtcProject.size(), 2u);
    taken = std::move(data.m_arrEtcProject[0]);
    data.m_arrEtcProject.erase(data.m_arrEtcProject.begin());
  }
  EXPECT_EQ(taken->m_strName, "taken");
}

TEST_F(CatalogueTest, FreshCatalogueIsEmpty) {
  CProjectData data;
  EXPECT_EQ(data.m_nEtcCount, 0);
  EXPECT_EQ(data.m_nSection, 0);
  EXPECT_EQ(data.m_bHasDownload, 0);
  EXPECT_EQ(data.GetProjectName(), "");
  EXPECT_EQ(data.GetDebug(), 0);
  EXPECT_TRUE(data.GetOptionSettings().empty());
  EXPECT_TRUE(data.m_arrEtcProject.empty());
  EXPECT_EQ(data.GetJobCount(CProjectData::JOB_FOLDER), 0);
}

// A document as the update server sends it.
TEST_F(CatalogueTest, ARealisticDocument) {
  RecordingFetcher::Answers()["http://127.0.0.1/notice.txt"] = kTalvoUpdateCp949 + "\n" + kGaCp949;
  ParsedDocument doc(
      "// Talvo update information\r\n"
      "[Talvo]\r\n"
      "PROJECT=" + kTalvoUpdateCp949 + "\r\n"
      "DEADLINE=2030-12-31\r\n"
      "DEBUG=0\r\n"
      "XP_VERSION=3.41\r\n"
      "XP_DOWNLOADURL=http://127.0.0.1/talvoupdate/TalvoXP_341.zip\r\n"
      "XP_COMPULSION=1\r\n"
      "98_VERSION=3.41\r\n"
      "98_DOWNLOADURL=http://127.0.0.1/talvoupdate/Talvo98_341.zip\r\n"
      "98_COMPULSION=1\r\n"
      "\r\n"
      "[POLICE_DATA]\r\n"
      "DAT_VERSION=20240101\r\n"
      "DOWN_DAT_URL=http://127.0.0.1/talvoupdate/filter.zip\r\n"
      "DAT_COMPULSION=0\r\n"
      "[SERVER_LIST]\r\n"
      "SERVER_VERSION=12\r\n"
      "SERVER_DOWN_URL=http://127.0.0.1/talvoupdate/serverlist.zip\r\n"
      "SERVER_COMPULSION=0\r\n"
      "[LOGIN_OCX]\r\n"
      "OCX_VERSION=1.0.0.7\r\n"
      "OCX_DOWN_URL=http://127.0.0.1/talvoupdate/login.zip\r\n"
      "OCX_COMPULSION=1\r\n"
      "[OPTIONS]\r\n"
      "OPTIONS_VERSION=4\r\n"
      "OPTIONS_SETTING=Network\\\\MaxConnect\\\\50\r\n"
      "OPTION_COMPULSION=0\r\n"
      "[NOTICE]\r\n"
      "NOTICE_URL=http://127.0.0.1/notice.txt\r\n"
      "[FOLDER]\r\n"
      "CREATE=<TARGETDIR>\\skin\r\n"
      "[FILES]\r\n"
      "COPY=<TEMP>Talvo.exe,<TARGETDIR>Talvo.exe\r\n"
      "REGIST=<TARGETDIR>TalvoLogin.ocx\r\n"
      "[REGISTRY]\r\n"
      "ADDVAL=\"HKEY_CURRENT_USER\\Software\\Talvo\",\"Skin\",\"Default\"\r\n"
      "[ETC0]\r\n"
      "NAME=Player\r\n"
      "PRO_DOWN_URL=http://127.0.0.1/talvoupdate/player.zip\r\n"
      "PRO_EXE=player.exe\r\n"
      "PRO_PATH=<TARGETDIR>Player\r\n"
      "PRO_REG=HKEY_CURRENT_USER\\Software\\Player\r\n"
      "PRO_COMPULSION=0\r\n"
      "ETC_END=1\r\n"
      "[END]\r\n");
  const CProjectData& d = doc.data;
  EXPECT_EQ(doc.result, 1);
  EXPECT_EQ(d.GetProjectName(), "Talvo");
  EXPECT_EQ(d.GetProject(), kTalvoUpdateCp949);
  EXPECT_EQ(d.GetXPVersion(), "3.41");
  EXPECT_EQ(d.Get98DownloadUrl(), "http://127.0.0.1/talvoupdate/Talvo98_341.zip");
  EXPECT_EQ(d.GetDatVersion(), "20240101");
  EXPECT_EQ(d.GetServerDownloadUrl(), "http://127.0.0.1/talvoupdate/serverlist.zip");
  EXPECT_EQ(d.GetOcxVersion(), "1.0.0.7");
  EXPECT_EQ(d.GetOcxCompulsion(), "1");
  EXPECT_EQ(d.GetOptionSettings(), (Strings{"Network\\\\MaxConnect\\\\50"}));
  EXPECT_EQ(d.GetNotice(), kTalvoUpdateCp949 + "\r\n" + kGaCp949);
  EXPECT_EQ(d.m_saFiles, (Strings{"COPY=<TEMP>Talvo.exe,<TARGETDIR>Talvo.exe", "REGIST=<TARGETDIR>TalvoLogin.ocx"}));
  EXPECT_EQ(d.m_saRegistry.size(), 1u);
  ExpectEtcProjects(d, {{"Player", "http://127.0.0.1/talvoupdate/player.zip", "player.exe", "<TARGETDIR>Player",
                         "HKEY_CURRENT_USER\\Software\\Player", "0"}});
  EXPECT_EQ(d.m_nSection, 0);
}

}  // namespace

namespace {

// A hostile document may pack one line with "=" signs; each must not cost a scan of the line.
// (Reading it in quadratic time would hang the updater's start-up for hours.)
TEST_F(CatalogueTest, LinesFullOfEqualsSignsAreReadInOnePass) {
  const std::string equals(400000, '=');
  ParsedDocument doc("[OPTIONS]\r\nOPTIONS_SETTING=" + equals + ";x\r\n[NOWHERE]\r\n" + equals +
                     "\r\n[Talvo]\r\nXP_VERSION=" + equals + "\r\n");
  ASSERT_EQ(doc.data.GetOptionSettings().size(), 1u);
  EXPECT_EQ(doc.data.GetOptionSettings()[0], equals);
  EXPECT_EQ(doc.data.GetXPVersion(), equals);
}

}  // namespace
