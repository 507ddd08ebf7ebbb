// The lint against small documents, one trap each: every trap gives exactly its finding on its
// line, a clean document gives none; versions against a served document; a release folder.
#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/archive/testzipwriter.h"
#include "tools/talvo-doc/doclint.h"

namespace fs = std::filesystem;

namespace {

// Clean: a package, its compulsion and one committed extra project. Nine lines, so whatever a
// case appends starts at line 10.
const char kBase[] =
    "[Talvo]\r\n"
    "XP_VERSION=3.41\r\n"
    "XP_DOWNLOADURL=http://127.0.0.1/talvoupdate/TalvoXP_341.zip\r\n"
    "XP_COMPULSION=1\r\n"
    "[ETC0]\r\n"
    "NAME=Extra\r\n"
    "PRO_DOWN_URL=http://127.0.0.1/talvoupdate/extra_10.zip\r\n"
    "PRO_EXE=extra.exe\r\n"
    "ETC_END=1\r\n";

std::string Crlf(const std::string& lines) {
  std::string out;
  for (char c : lines) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

using Expected = std::vector<std::pair<int, std::string>>;

Expected Found(const std::string& text, const LintOptions& options = LintOptions()) {
  Expected found;
  for (const LintFinding& f : LintDocument(text, options)) {
    EXPECT_FALSE(f.strText.empty()) << f.strId;
    found.emplace_back(f.nLine, f.strId);
  }
  return found;
}

std::string Describe(const std::string& text, const LintOptions& options = LintOptions()) {
  std::string all;
  for (const LintFinding& f : LintDocument(text, options)) all += FormatFinding("doc", f) + "\n";
  return all;
}

struct TrapCase {
  const char* trap;
  std::string document;
  Expected expected;
};

std::string Appended(const char* lines) { return kBase + Crlf(lines); }

const std::string kPoliceData = "[POLICE_DATA]\nDOWN_DAT_URL=http://127.0.0.1/talvoupdate/filter_105.zip\n";
const std::string kOptions = "[OPTIONS]\nOPTIONS_VERSION=5\nOPTION_COMPULSION=0\n";

// A delta of the XP build from 3.40, lines 10 to 13.
const std::string kSha(64, 'a'), kSha2(64, 'b');
std::string Delta(const std::string& from, const std::string& fileLines, int n = 1) {
  const std::string key = "XP_DOWNLOADURL_DELTA" + std::to_string(n);
  return key + "=http://127.0.0.1/talvoupdate/TalvoXP_" + from + "_341.zip\n" + key + "_FROM=" + from + "\n" +
         fileLines;
}
std::string DeltaFileLine(const std::string& fields, int n = 1) {
  return "XP_DOWNLOADURL_DELTA" + std::to_string(n) + "_FILE=" + fields + "\n";
}
const std::string kGoodFile = "<TARGETDIR>,Talvo.exe," + kSha + "," + kSha2;

const TrapCase kTraps[] = {
    {"delta without files", Appended(("[Talvo]\n" + Delta("3.40", "")).c_str()), {{11, "delta-incomplete"}}},
    {"delta from the release offered", Appended(("[Talvo]\n" + Delta("3.41", DeltaFileLine(kGoodFile))).c_str()),
     {{11, "delta-from-current"}}},
    {"two deltas from one release",
     Appended(("[Talvo]\n" + Delta("3.40", DeltaFileLine(kGoodFile)) +
               Delta("3.40", DeltaFileLine(kGoodFile, 2), 2)).c_str()),
     {{14, "delta-duplicate"}}},
    {"delta file line without its digest",
     Appended(("[Talvo]\n" + Delta("3.40", DeltaFileLine("<TARGETDIR>,Talvo.exe," + kSha))).c_str()),
     {{11, "delta-file"}}},
    {"delta file listed twice",
     Appended(("[Talvo]\n" + Delta("3.40", DeltaFileLine(kGoodFile) + DeltaFileLine(kGoodFile))).c_str()),
     {{11, "delta-file"}}},
    {"delta file with a path",
     Appended(("[Talvo]\n" + Delta("3.40", DeltaFileLine("<TARGETDIR>,..\\Talvo.exe,," + kSha2))).c_str()),
     {{11, "delta-file"}}},
    {"delta beside no package", Appended(("[LOGIN_OCX]\nOCX_DOWN_URL_DELTA1=http://127.0.0.1/d.zip\n"
                                          "OCX_DOWN_URL_DELTA1_FROM=1\nOCX_DOWN_URL_DELTA1_FILE=" + kGoodFile +
                                          "\n").c_str()),
     {{11, "delta-incomplete"}}},
    {"blank before =", Appended("[POLICE_DATA]\nDAT_VERSION = 1.05\n"), {{11, "blank-before-equals"}}},
    {"one-character line with LF ends",
     std::string("[Talvo]\nXP_VERSION=3.41\nXP_DOWNLOADURL=http://127.0.0.1/talvoupdate/TalvoXP_341.zip\n"
                 "XP_COMPULSION=1\n[ETC0]\nNAME=Extra\nPRO_DOWN_URL=http://127.0.0.1/talvoupdate/extra_10.zip\n"
                 "PRO_EXE=extra.exe\nETC_END=1\n[SERVER_LIST]\n-\nSERVER_VERSION=27\n"),
     {{11, "joined-line"}}},
    {"<meta ends the document", Appended("<meta charset=\"euc-kr\">\n[POLICE_DATA]\nDAT_VERSION=1.05\n"),
     {{10, "meta-stop"}}},
    {"section name in the wrong case", Appended("[talvo]\nXP_VERSION=3.42\n"), {{10, "section-case"}}},
    {"blanks inside the brackets", Appended("[ FILES ]\nCOPY=<TARGETDIR>,Talvo.exe\n"), {{10, "section-blank"}}},
    {"unknown section", Appended("[POLICE]\nDAT_VERSION=1.05\n"), {{10, "unknown-section"}}},
    {"extra project out of order", Appended("[ETC2]\nNAME=Third\nETC_END=1\n"), {{10, "etc-number"}}},
    {"[ without ]", Appended("[FILES\nCOPY=<TARGETDIR>,Talvo.exe\n"), {{10, "unclosed-bracket"}}},
    {"brackets in an option setting",
     Appended((kOptions + "OPTIONS_SETTING=General\\\\Title\\\\[beta]\nOPTIONS_SETTING=Net\\\\Port\\\\1\n").c_str()),
     {{13, "bracket-in-value"}}},
    {"\"[\" in an option setting",
     Appended((kOptions + "OPTIONS_SETTING=General\\\\Title\\\\[beta\nOPTIONS_SETTING=Net\\\\Port\\\\1\n").c_str()),
     {{13, "unclosed-bracket"}}},
    {"blank before ;", Appended("[Talvo]\nPROJECT=Talvo ; main\n"), {{11, "value-blank"}}},
    {"blank before ; in a registry job", Appended("[REGISTRY]\nADDVAL=HKCU\\Software\\Talvo,Skin,basic ; default\n"),
     {{11, "value-blank"}}},
    {"// after a value", Appended("[Talvo]\nPROJECT=Talvo // main\n"), {{11, "value-comment"}}},
    {"key given twice", Appended("[Talvo]\nXP_VERSION=3.42\n"), {{11, "duplicate-key"}}},
    {"misspelt key", Appended("[Talvo]\nXP_VERSOIN=3.42\n"), {{11, "unknown-key"}}},
    {"key in the wrong section", Appended("[POLICE_DATA]\nXP_VERSION=3.42\n"), {{11, "misplaced-key"}}},
    {"key before any section", "DAT_VERSION=1.05\r\n" + std::string(kBase), {{1, "ignored-line"}}},
    {"key after [END]", Appended("[END]\nXP_VERSION=3.50\n"), {{11, "ignored-line"}}},
    {"key in [UPDATE_DATA]", Appended("[UPDATE_DATA]\nVERSION=1\n"), {{11, "ignored-line"}}},
    {"key after ETC_END", Appended("PRO_PATH=<TARGETDIR>\\extra.exe\n"), {{10, "ignored-line"}}},
    {"compulsion other than 0 or 1", Appended((kPoliceData + "DAT_VERSION=1.05\nDAT_COMPULSION=no\n").c_str()),
     {{13, "compulsion"}}},
    {"extra project compulsion", Appended("[ETC1]\nNAME=Second\nPRO_DOWN_URL=http://127.0.0.1/p/second.zip\n"
                                          "PRO_COMPULSION=optional\nETC_END=1\n"),
     {{13, "compulsion"}}},
    {"compulsion missing", Appended((kPoliceData + "DAT_VERSION=1.05\n").c_str()), {{12, "compulsion"}}},
    {"package without version", Appended((kPoliceData + "DAT_COMPULSION=0\n").c_str()), {{11, "missing-version"}}},
    {"version without package", Appended("[POLICE_DATA]\nDAT_VERSION=1.05\nDAT_COMPULSION=0\n"),
     {{11, "missing-url"}}},
    {"registry job in quotes", Appended("[REGISTRY]\nADDKEY=\"HKCU\\Software\\Talvo\\Skin\"\n"), {{11, "kept-quotes"}}},
    {"option setting in quotes", Appended((kOptions + "OPTIONS_SETTING=\"Net\\\\Port\\\\1\"\n").c_str()),
     {{13, "kept-quotes"}}},
    {"notice address in quotes", Appended("[NOTICE]\nNOTICE_URL=\"http://127.0.0.1/notice.txt\"\n"),
     {{11, "kept-quotes"}}},
    {"option setting with single backslashes", Appended((kOptions + "OPTIONS_SETTING=Net\\Port\\1\n").c_str()),
     {{13, "option-setting"}}},
    {"registry job under HKLM", Appended("[REGISTRY]\nADDVAL=HKLM\\Software\\Talvo,Path,<TARGETDIR>\n"),
     {{11, "hklm"}}},
    {"registry root in lower case", Appended("[REGISTRY]\nADDKEY=hkcu\\Software\\Talvo\n"), {{11, "registry-root"}}},
    {"registry root written out", Appended("[REGISTRY]\nDELKEY=HKEY_CURRENT_USER\\Software\\Old\n"),
     {{11, "registry-root"}}},
    {"COPY source with ..", Appended("[FILES]\nCOPY=<TARGETDIR>,..\\Talvo.exe\n"), {{11, "copy-source"}}},
    {"misspelt command", Appended("[FILES]\nCOPPY=<TARGETDIR>,Talvo.exe\n"), {{11, "unknown-job"}}},
    {"command in the wrong section", Appended("[FOLDER]\nCOPY=<TARGETDIR>,Talvo.exe\n"), {{11, "unknown-job"}}},
    {"command in lower case", Appended("[FOLDER]\ncreate=<TARGETDIR>\\skin\n"), {{11, "unknown-job"}}},
    {"DONE in the document", Appended("[FOLDER]\nDONE=<TARGETDIR>\\skin\n"), {{11, "unknown-job"}}},
    {"blank before = in a job", Appended("[FOLDER]\nCREATE =<TARGETDIR>\\skin\n"), {{11, "blank-before-equals"}}},
    {"blank after , in a job", Appended("[FILES]\nCOPY=<TARGETDIR>, Talvo.exe\n"), {{11, "value-blank"}}},
    {"package address ending in /",
     Appended("[LOGIN_OCX]\nOCX_VERSION=1.0\nOCX_DOWN_URL=http://127.0.0.1/talvoupdate/\nOCX_COMPULSION=0\n"),
     {{12, "url-name"}}},
    {"package address naming a device",
     Appended("[LOGIN_OCX]\nOCX_VERSION=1.0\nOCX_DOWN_URL=http://127.0.0.1/talvoupdate/nul.zip\nOCX_COMPULSION=0\n"),
     {{12, "url-name"}}},
    {"package address with a query",
     Appended("[LOGIN_OCX]\nOCX_VERSION=1.0\nOCX_DOWN_URL=http://127.0.0.1/talvoupdate/login.zip?v=2\n"
              "OCX_COMPULSION=0\n"),
     {{12, "url-name"}}},
    {"package address naming a file Windows cannot write",
     Appended("[LOGIN_OCX]\nOCX_VERSION=1.0\nOCX_DOWN_URL=http://127.0.0.1/talvoupdate/login|1.zip\n"
              "OCX_COMPULSION=0\n"),
     {{12, "url-name"}}},
    {"one staged file copied into two folders",
     Appended("[FILES]\nCOPY=<TARGETDIR>,config.ini\nCOPY=<TARGETDIR>\\config,Config.ini\n"), {{12, "copy-twice"}}},
    {"package address without http://",
     Appended("[LOGIN_OCX]\nOCX_VERSION=1.0\nOCX_DOWN_URL=127.0.0.1/talvoupdate/login.zip\nOCX_COMPULSION=0\n"),
     {{12, "url"}}},
    {"extra project never committed", Appended("[ETC1]\nNAME=Second\nPRO_DOWN_URL=http://127.0.0.1/p/second.zip\n"),
     {{10, "etc-uncommitted"}}},
    {"[ETC_END] as a section line",
     Appended("[ETC1]\nNAME=Second\nPRO_DOWN_URL=http://127.0.0.1/p/second.zip\n[ETC_END]\n"),
     {{13, "etc-uncommitted"}}},
    {"extra project without package", Appended("[ETC1]\nNAME=Second\nPRO_EXE=second.exe\nETC_END=1\n"),
     {{10, "missing-url"}}},
    {"no package address at all", Crlf("[NOTICE]\nNOTICE_URL=http://127.0.0.1/notice.txt\n"), {{0, "no-download"}}},
    {"no extra project", Crlf("[Talvo]\nXP_VERSION=3.41\nXP_DOWNLOADURL=http://127.0.0.1/t/TalvoXP.zip\n"
                              "XP_COMPULSION=1\n"),
     {{0, "no-extra-project"}}},
    {"near the size limit", kBase + std::string(kDocumentLimit - 300000, ' ') + "\r\n", {{0, "size-limit"}}},
    {"over the size limit", kBase + std::string(kDocumentLimit, ' ') + "\r\n", {{0, "size-limit"}}},
};

TEST(DocLint, EachTrapGivesExactlyItsFinding) {
  for (const TrapCase& c : kTraps) {
    EXPECT_EQ(Found(c.document), c.expected) << c.trap << "\n" << Describe(c.document);
  }
}

TEST(DocLint, CleanDocumentsGiveNone) {
  EXPECT_EQ(Found(kBase), Expected()) << Describe(kBase);
  const std::string withDeltas = Appended(("[Talvo]\n" + Delta("3.40", DeltaFileLine(kGoodFile) +
                                           DeltaFileLine("<TARGETDIR>,new.dll,," + kSha2)) +
                                           Delta("3.39", DeltaFileLine(kGoodFile, 2), 2)).c_str());
  EXPECT_EQ(Found(withDeltas), Expected()) << Describe(withDeltas);
  // Signed, a delta package is pinned like any package; its address line names the finding.
  LintOptions signedOptions;
  signedOptions.bSigned = true;
  const Expected unpinned = Found(withDeltas, signedOptions);
  EXPECT_EQ(std::count(unpinned.begin(), unpinned.end(), std::make_pair(11, std::string("pin-missing"))), 1)
      << Describe(withDeltas, signedOptions);
  EXPECT_EQ(std::count(unpinned.begin(), unpinned.end(), std::make_pair(15, std::string("pin-missing"))), 1)
      << Describe(withDeltas, signedOptions);
  // Comments, blank lines, lower-case keys, quotes the parser removes, "//" inside an address,
  // every job kind and a second extra project.
  const std::string full = Crlf(
      "// Talvo release\n\n[Talvo]\nproject=\"Talvo\"\nXP_VERSION=3.41;newest\n"
      "XP_DOWNLOADURL=http://127.0.0.1/talvoupdate/TalvoXP_341.zip\nXP_COMPULSION=1\n"
      "98_VERSION=3.41\n98_DOWNLOADURL=http://127.0.0.1/talvoupdate/Talvo98_341.zip\n98_COMPULSION=1\n\n"
      "[POLICE_DATA]\nDAT_VERSION=1.05\nDOWN_DAT_URL=http://127.0.0.1/talvoupdate/filter_105.zip\nDAT_COMPULSION=0\n"
      "[OPTIONS]\nOPTIONS_VERSION=5\nOPTIONS_SETTING=Network\\\\MaxConnect\\\\50\nOPTION_COMPULSION=0\n"
      "[NOTICE]\nNOTICE_URL=http://127.0.0.1/talvoupdate/notice.txt\n"
      "[FOLDER]\nCREATE=\"<TARGETDIR>\\config\"\n"
      "[FILES]\nCOPY=<TARGETDIR>,Talvo.exe ; the client\nDELETE=<TARGETDIR>,old.dll\n"
      "[REGISTRY]\nADDVAL=HKCU\\Software\\Talvo\\Skin,Path,<TARGETDIR>\\skin\nDELVAL=HKCU\\Software\\Talvo,Old\n"
      "[ETC0]\nNAME=\xc8\xae\xc0\xe5 \xb5\xb5\xb1\xb8\nPRO_DOWN_URL=http://127.0.0.1/talvoupdate/extra_10.zip\n"
      "PRO_EXE=extra.exe\nPRO_COMPULSION=0\nETC_END=1\n"
      "[ETC1]\nNAME=Second\nPRO_DOWN_URL=http://127.0.0.1/talvoupdate/second.zip\nETC_END=1\n[END]\n");
  EXPECT_EQ(Found(full), Expected()) << Describe(full);
  // The notice is read as text: its address may carry a query. A file copied twice into the same
  // folder, however the folder is written, is no trap.
  const std::string more = Appended("[NOTICE]\nNOTICE_URL=http://127.0.0.1/notice.php?lang=ko&v=3.41\n"
                                    "[FILES]\nCOPY=<TARGETDIR>\\config,a.ini\nCOPY=<targetdir>\\Config\\,A.INI\n");
  EXPECT_EQ(Found(more), Expected()) << Describe(more);
}

TEST(DocLint, FindingLinesNameTheLineAndTheFix) {
  const std::vector<LintFinding> findings = LintDocument(Appended("[POLICE_DATA]\nDAT_VERSION = 1.05\n"), {});
  ASSERT_EQ(findings.size(), 1u);
  const std::string line = FormatFinding("PlusInformation.php", findings[0]);
  EXPECT_EQ(line.rfind("PlusInformation.php:11: [blank-before-equals] ", 0), 0u) << line;
  EXPECT_NE(line.find("DAT_VERSION="), std::string::npos) << line;
  LintFinding whole{0, "no-download", "text"};
  EXPECT_EQ(FormatFinding("doc", whole), "doc: [no-download] text");
}

std::string WithVersion(const std::string& version, const std::string& url = "TalvoXP_341.zip") {
  return "[Talvo]\r\nXP_VERSION=" + version + "\r\nXP_DOWNLOADURL=http://127.0.0.1/talvoupdate/" + url +
         "\r\nXP_COMPULSION=1\r\n[ETC0]\r\nNAME=Extra\r\nPRO_DOWN_URL=http://127.0.0.1/talvoupdate/extra_10.zip\r\n"
         "ETC_END=1\r\n";
}

TEST(DocLint, VersionsCompareAsTextAgainstTheServedDocument) {
  struct Case {
    const char* old;
    const char* offered;
    const char* url;
    Expected expected;
  };
  const Case cases[] = {
      {"3.9", "3.10", "TalvoXP_341.zip", {{2, "version-order"}}},  // "1" sorts before "9"
      {"1.0", "1.00", "TalvoXP_341.zip", {}},                      // a prefix sorts first
      {"1.00", "1.0", "TalvoXP_341.zip", {{2, "version-order"}}},
      {"3.41", "3.42", "TalvoXP_342.zip", {}},
      {"3.41", "3.41", "TalvoXP_341.zip", {}},                     // not offered again: fine
      {"3.41", "3.41", "TalvoXP_341b.zip", {{2, "version-order"}}},  // new package, same version
      {"3.\xb0\xa1", "3.\xb0\xa2", "TalvoXP_341.zip", {}},          // double-byte units
      {"3.\xb0\xa2", "3.\xb0\xa1", "TalvoXP_341.zip", {{2, "version-order"}}},
  };
  for (const Case& c : cases) {
    const std::string old = WithVersion(c.old);
    LintOptions options;
    options.pOldDocument = &old;
    const std::string now = WithVersion(c.offered, c.url);
    EXPECT_EQ(Found(now, options), c.expected) << c.old << " -> " << c.offered << "\n" << Describe(now, options);
  }
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Zip(const std::vector<std::pair<std::string, std::string>>& entries) {
  testzip::Writer writer;
  for (const auto& entry : entries) writer.Add(entry.first, entry.second);
  return writer.Build();
}

class ReleaseLint : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    root_ = fs::temp_directory_path() /
            ("talvo-lint-" + std::to_string(random()) + "-" +
             std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    WriteFile(root_ / "talvoupdate" / "TalvoXP_341.zip", Zip({{"Talvo.exe", "MZ client"}}));
    WriteFile(root_ / "talvoupdate" / "extra_10.zip", Zip({{"extra.exe", "MZ extra"}}));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  Expected Check(const std::string& extraLines) {
    const std::string text =
        kBase + Crlf("[FILES]\nCOPY=<TARGETDIR>,Talvo.exe\nCOPY=<TARGETDIR>,extra.exe\n" + extraLines);
    LintOptions options;
    options.strReleaseDir = root_.string();
    last_ = Describe(text, options);
    return Found(text, options);
  }
  fs::path root_;
  std::string last_;
};

TEST_F(ReleaseLint, AServedReleaseWithEveryFileIsClean) { EXPECT_EQ(Check(""), Expected()) << last_; }

TEST_F(ReleaseLint, AMissingPackage) {
  fs::remove(root_ / "talvoupdate" / "extra_10.zip");
  // The package is missing, and so is the file its COPY takes.
  EXPECT_EQ(Check(""), (Expected{{7, "release-missing"}, {12, "release-copy"}})) << last_;
}

TEST_F(ReleaseLint, APackageTheUpdaterCannotOpen) {
  WriteFile(root_ / "talvoupdate" / "extra_10.zip", "<html>404</html>");
  EXPECT_EQ(Check(""), (Expected{{7, "release-zip"}, {12, "release-copy"}})) << last_;
}

TEST_F(ReleaseLint, HostileAndFolderNamesInAPackage) {
  for (const char* name : {"../extra.exe", "..\\..\\Windows\\extra.exe", "C:/extra.exe", "sub/extra.exe", "NUL",
                           "extra|1.exe", "extra?.exe", "<extra>.exe", "\"extra\".exe", "*.exe"}) {
    WriteFile(root_ / "talvoupdate" / "extra_10.zip", Zip({{"extra.exe", "MZ"}, {name, "evil"}}));
    EXPECT_EQ(Check(""), (Expected{{7, "release-name"}})) << name << "\n" << last_;
  }
}

// The filter data file carries its version in its first five bytes, scrambled.
std::string DatFile(const std::string& version) {
  std::string header = "T" + version + std::string(4, '\0');
  header.resize(5);
  const uint32_t key = 0x5EC7A31D;
  for (int i = 0; i < 5; ++i) header[i] = static_cast<char>(header[i] ^ ((key >> (8 * (i % 4))) & 0xFF));
  return header + "\r\nwords\r\n";
}

TEST_F(ReleaseLint, TheFilterDataFileCarriesTheOfferedVersion) {
  const std::string filter =
      "[POLICE_DATA]\nDAT_VERSION=1.05\nDOWN_DAT_URL=http://127.0.0.1/talvoupdate/filter_105.zip\n"
      "DAT_COMPULSION=0\n[FILES]\nCOPY=<TARGETDIR>\\config,talvo.dat\n";
  WriteFile(root_ / "talvoupdate" / "filter_105.zip", Zip({{"talvo.dat", DatFile("1.05")}}));
  EXPECT_EQ(Check(filter), Expected()) << last_;
  WriteFile(root_ / "talvoupdate" / "filter_105.zip", Zip({{"talvo.dat", DatFile("1.04")}}));
  EXPECT_EQ(Check(filter), (Expected{{15, "dat-version"}})) << last_;
  WriteFile(root_ / "talvoupdate" / "filter_105.zip", Zip({{"filter.dat", DatFile("1.05")}}));
  EXPECT_EQ(Check(filter), (Expected{{15, "dat-version"}, {18, "release-copy"}})) << last_;
}

TEST_F(ReleaseLint, NamesWindowsTakesForOneFileInAPackage) {
  const std::vector<std::vector<std::pair<std::string, std::string>>> cases = {
      {{"extra.exe", "MZ"}, {"Readme.txt", "a"}, {"README.txt", "b"}},
      {{"extra.exe", "MZ"}, {"readme.txt", "a"}, {"readme.txt.", "b"}},
      {{"extra.exe", "MZ"}, {"extra.exe", "MZ again"}},
      {{"extra.exe", "MZ"}, {"notes.", "a"}},
      {{"extra.exe", "MZ"}, {"notes ", "a"}},
      {{"extra.exe", "MZ"}, {"Extra_10.ZIP", "the package's own name"}},
  };
  for (const auto& entries : cases) {
    WriteFile(root_ / "talvoupdate" / "extra_10.zip", Zip(entries));
    EXPECT_EQ(Check(""), (Expected{{7, "release-name"}})) << entries.back().first << "\n" << last_;
  }
}

TEST_F(ReleaseLint, AStagedFileNameBelongsToOnePackage) {
  // Two packages unpack config.ini into the one staging folder; only the first is ever copied.
  const std::string login =
      "[LOGIN_OCX]\nOCX_VERSION=1.0\nOCX_DOWN_URL=http://127.0.0.1/talvoupdate/login.zip\nOCX_COMPULSION=0\n"
      "[FILES]\nCOPY=<TARGETDIR>\\config,config.ini\n";
  WriteFile(root_ / "talvoupdate" / "extra_10.zip", Zip({{"extra.exe", "MZ"}, {"config.ini", "extra"}}));
  WriteFile(root_ / "talvoupdate" / "login.zip", Zip({{"CONFIG.INI", "login"}}));
  EXPECT_EQ(Check(login), (Expected{{15, "release-shared-name"}})) << last_;
  WriteFile(root_ / "talvoupdate" / "extra_10.zip", Zip({{"extra.exe", "MZ"}}));
  EXPECT_EQ(Check(login), Expected()) << last_;
  // The XP and 98 builds are alternatives: no user takes both.
  const std::string builds = "[Talvo]\n98_VERSION=3.41\n98_DOWNLOADURL=http://127.0.0.1/talvoupdate/Talvo98_341.zip\n"
                             "98_COMPULSION=1\n";
  WriteFile(root_ / "talvoupdate" / "Talvo98_341.zip", Zip({{"Talvo.exe", "MZ 98"}}));
  EXPECT_EQ(Check(builds), Expected()) << last_;
  // Any other package is not.
  WriteFile(root_ / "talvoupdate" / "extra_10.zip", Zip({{"extra.exe", "MZ"}, {"talvo.exe", "extra"}}));
  EXPECT_EQ(Check(""), (Expected{{7, "release-shared-name"}})) << last_;
}

TEST_F(ReleaseLint, TheNoticeIsServedFromTheRelease) {
  const std::string notice = "[NOTICE]\nNOTICE_URL=http://127.0.0.1/talvoupdate/notice.txt?lang=ko\n";
  EXPECT_EQ(Check(notice), (Expected{{14, "release-missing"}})) << last_;
  WriteFile(root_ / "talvoupdate" / "notice.txt", "\xb0\xf8\xc1\xf6");
  EXPECT_EQ(Check(notice), Expected()) << last_;
  // Requested as the updater escapes it: the code page 949 bytes, whatever this machine's names are.
  const std::string korean = "[NOTICE]\nNOTICE_URL=http://127.0.0.1/talvoupdate/\xb0\xf8\xc1\xf6.txt\n";
  EXPECT_EQ(Check(korean), (Expected{{14, "release-missing"}})) << last_;
  // Named by its bytes, as the lint opens it (on Windows through the ANSI functions).
  std::ofstream((root_ / "talvoupdate").string() + "/\xb0\xf8\xc1\xf6.txt", std::ios::binary) << "\xb0\xf8\xc1\xf6";
  EXPECT_EQ(Check(korean), Expected()) << last_;
  fs::create_directories(root_ / "talvoupdate" / "folder.txt");
  EXPECT_EQ(Check("[NOTICE]\nNOTICE_URL=http://127.0.0.1/talvoupdate/folder.txt\n"),
            (Expected{{14, "release-missing"}}))
      << last_;
}

TEST_F(ReleaseLint, ACopyWhoseFileNoPackageHolds) {
  EXPECT_EQ(Check("COPY=<TARGETDIR>\\config,talvo.dat\n"), (Expected{{13, "release-copy"}})) << last_;
  // Windows names are case-blind, so the staged file is found whatever its case.
  EXPECT_EQ(Check("COPY=<TARGETDIR>,TALVO.EXE\n"), Expected()) << last_;
  // and Windows drops a trailing blank (a COPY line before a ";" comment keeps it).
  EXPECT_EQ(Check("COPY=<TARGETDIR>,extra.exe ;the extra project\n"), Expected()) << last_;
  // A Hangul syllable whose trail byte looks like a lower-case letter is no letter.
  WriteFile(root_ / "talvoupdate" / "extra_10.zip", Zip({{"extra.exe", "MZ"}, {"\x81\x61.txt", "a"}}));
  EXPECT_EQ(Check("COPY=<TARGETDIR>,\x81\x41.txt\n"), (Expected{{13, "release-copy"}})) << last_;
}

}  // namespace
