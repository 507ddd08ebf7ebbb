// The job-line rules on their own: splitting, the keyword tables and the operands of each form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/jobline.h"

namespace {

using Fields = std::vector<std::string>;

const int kFolder = 4, kFiles = 5, kRegistry = 6;

Fields Split(int section, const std::string& line) {
  Fields fields{"stale"};
  EXPECT_EQ(SplitJobLine(section, line, fields), 1);
  return fields;
}

TEST(SplitJobLine, CutsAtEveryEqualsAndCommaAndPadsToFiveFields) {
  struct Case { const char* line; Fields fields; } cases[] = {
      {"CREATE=<TARGETDIR>\\a\\b", {"CREATE", "<TARGETDIR>\\a\\b", "", "", ""}},
      {"COPY=<WINSYSDIR>,TalvoLogin.ocx", {"COPY", "<WINSYSDIR>", "TalvoLogin.ocx", "", ""}},
      {"ADDVAL=HKCU\\Software\\T,Path,<TARGETDIR>", {"ADDVAL", "HKCU\\Software\\T", "Path", "<TARGETDIR>", ""}},
      // Nothing is trimmed, so a blank before "=" makes another keyword.
      {"CREATE =x", {"CREATE ", "x", "", "", ""}},
      {"CREATE =", {"CREATE ", "", "", "", ""}},
      {" COPY = a , b ", {" COPY ", " a ", " b ", "", ""}},
      // Empty fields in the middle stay; an empty last one is dropped, then padding follows.
      {"=,,", {"", "", "", "", ""}},
      {"COPY=a,,b", {"COPY", "a", "", "b", ""}},
      {"COPY=a,b,", {"COPY", "a", "b", "", ""}},
      {"COPY", {"COPY", "", "", "", ""}},
      {"", {"", "", "", "", ""}},
      // Korean names (code page 949) pass through byte for byte.
      {"CREATE=<TARGETDIR>\\\xB4\xD9\xBF\xEE", {"CREATE", "<TARGETDIR>\\\xB4\xD9\xBF\xEE", "", "", ""}},
      // No instruction reads past field 4: more fields are dropped.
      {"ADDVAL=k,n,d,e,f,g", {"ADDVAL", "k", "n", "d", "e"}},
      {"A=1,2,3,4,5,6,7,8,9", {"A", "1", "2", "3", "4"}},
  };
  for (const int section : {kFolder, kFiles, kRegistry})
    for (const Case& c : cases) EXPECT_EQ(Split(section, c.line), c.fields) << section << " " << c.line;
}

TEST(SplitJobLine, RegistryLinesKeepTheirQuotesAndEndAtAnUnquotedSemicolon) {
  struct Case { const char* line; Fields fields; } cases[] = {
      {"DELVAL=HKCU\\T,old ; the old value", {"DELVAL", "HKCU\\T", "old ", "", ""}},
      {"DELKEY=HKCU\\T;,x,y", {"DELKEY", "HKCU\\T", "", "", ""}},
      {";DELKEY=x", {"", "", "", "", ""}},
      // Quotes stay in the fields and protect ";" but not "," or "=".
      {"ADDVAL=\"HKCU\\Software\\T;x\",\"Na,me\",\"v\"",
       {"ADDVAL", "\"HKCU\\Software\\T;x\"", "\"Na", "me\"", "\"v\""}},
      {"ADDVAL=k,n,\"a;b\";c", {"ADDVAL", "k", "n", "\"a;b\"", ""}},
      {"ADDVAL=k,n,\"a=b\"", {"ADDVAL", "k", "n", "\"a", "b\""}},
      {"DELVAL=k,\"n;x", {"DELVAL", "k", "\"n;x", "", ""}},  // an open quote runs to the end
      {"DELVAL=k,\"\";x", {"DELVAL", "k", "\"\"", "", ""}},
  };
  for (const Case& c : cases) EXPECT_EQ(Split(kRegistry, c.line), c.fields) << c.line;
}

// The catalogue already removed their quotes and comments: what it left is all field.
TEST(SplitJobLine, FolderAndFilesLinesKeepEverySemicolon) {
  struct Case { int section; const char* line; Fields fields; } cases[] = {
      {kFolder, "DELETE=<TARGETDIR>\\skin;old", {"DELETE", "<TARGETDIR>\\skin;old", "", "", ""}},
      {kFolder, "CHANGE=a;1,b;2", {"CHANGE", "a;1", "b;2", "", ""}},
      {kFolder, ";CREATE=x", {";CREATE", "x", "", "", ""}},
      {kFiles, "DELETE=<TARGETDIR>,gone.txt;.bak", {"DELETE", "<TARGETDIR>", "gone.txt;.bak", "", ""}},
      {kFiles, "COPY=<TARGETDIR>,a;", {"COPY", "<TARGETDIR>", "a;", "", ""}},
  };
  for (const Case& c : cases) EXPECT_EQ(Split(c.section, c.line), c.fields) << c.line;
}

TEST(FindJobRule, KnowsEachSectionsKeywordsExactly) {
  struct Case { int section; const char* keyword; bool found; JobOperation operation; } cases[] = {
      {4, "CREATE", true, JobOperation::kCreateFolder},
      {4, "DELETE", true, JobOperation::kDeleteFolder},
      {4, "CHANGE", true, JobOperation::kRename},
      {5, "COPY", true, JobOperation::kCopyFile},
      {5, "DELETE", true, JobOperation::kDeleteFile},
      {5, "REGIST", true, JobOperation::kRegisterControl},
      {5, "UNREGIST", true, JobOperation::kUnregisterControl},
      {6, "ADDKEY", true, JobOperation::kAddKey},
      {6, "DELKEY", true, JobOperation::kDeleteKey},
      {6, "ADDVAL", true, JobOperation::kAddValue},
      {6, "DELVAL", true, JobOperation::kDeleteValue},
      // Wrong section, wrong case, blanks, the done mark, other sections.
      {4, "COPY", false, {}},
      {5, "CREATE", false, {}},
      {6, "DELETE", false, {}},
      {4, "create", false, {}},
      {5, "Copy", false, {}},
      {4, "CREATE ", false, {}},
      {5, " COPY", false, {}},
      {5, "DONE", false, {}},
      {5, "", false, {}},
      {3, "CREATE", false, {}},
      {7, "ADDKEY", false, {}},
  };
  for (const Case& c : cases) {
    const JobRule* rule = FindJobRule(c.section, c.keyword);
    ASSERT_EQ(rule != nullptr, c.found) << c.section << " " << c.keyword;
    if (rule) {
      EXPECT_EQ(rule->operation, c.operation) << c.keyword;
    }
  }
}

std::string FakeExpand(const std::string& path, const std::string& name) {
  return name.empty() ? "{" + path + "}" : "{" + path + "|" + name + "}";
}

TEST(MakeJobOperands, FormsTheOperandsOfEachInstruction) {
  const std::string source = "S:\\up\\Update\\";
  struct Case { int section; Fields fields; JobOperands operands; } cases[] = {
      {4, {"CREATE", "a", "x", "y", ""}, {"{a}", "", ""}},
      {4, {"DELETE", "a", "", "", ""}, {"{a}", "", ""}},
      {4, {"CHANGE", "old", "new", "z", ""}, {"{old}", "{new}", ""}},
      {5, {"COPY", "<WINSYSDIR>", "TalvoLogin.ocx", "", ""},
       {source + "TalvoLogin.ocx", "{<WINSYSDIR>|TalvoLogin.ocx}", ""}},
      {5, {"COPY", "<TARGETDIR>", "skin\\a.bmp", "", ""},
       {source + "skin\\a.bmp", "{<TARGETDIR>|skin\\a.bmp}", ""}},
      {5, {"DELETE", "dir", "f.exe", "", ""}, {"{dir|f.exe}", "", ""}},
      {5, {"DELETE", "dir", "", "", ""}, {"{dir}", "", ""}},
      {5, {"REGIST", "dir", "c.ocx", "", ""}, {"{dir|c.ocx}", "", ""}},
      {5, {"UNREGIST", "dir", "c.ocx", "", ""}, {"{dir|c.ocx}", "", ""}},
      // Only ADDVAL's data is expanded in the registry section.
      {6, {"ADDKEY", "HKCU\\<TARGETDIR>", "n", "", ""}, {"HKCU\\<TARGETDIR>", "", ""}},
      {6, {"DELKEY", "HKCU\\k", "", "", ""}, {"HKCU\\k", "", ""}},
      {6, {"ADDVAL", "HKCU\\k", "<TARGETDIR>", "<TARGETDIR>", "x"},
       {"HKCU\\k", "<TARGETDIR>", "{<TARGETDIR>}"}},
      {6, {"DELVAL", "HKCU\\k", "n", "d", ""}, {"HKCU\\k", "n", ""}},
  };
  for (const Case& c : cases) {
    const JobRule* rule = FindJobRule(c.section, c.fields[0]);
    ASSERT_NE(rule, nullptr) << c.fields[0];
    JobOperands operands;
    ASSERT_TRUE(MakeJobOperands(*rule, c.fields, source, FakeExpand, operands)) << c.fields[0];
    EXPECT_EQ(operands.str1, c.operands.str1) << c.fields[0] << " " << c.fields[1];
    EXPECT_EQ(operands.str2, c.operands.str2) << c.fields[0] << " " << c.fields[1];
    EXPECT_EQ(operands.str3, c.operands.str3) << c.fields[0] << " " << c.fields[1];
  }
}

// The copy deletes its source, so a source outside the staging folder is refused.
TEST(MakeJobOperands, RefusesACopyWhoseStagedFileLiesOutsideTheStagingFolder) {
  const JobRule* copy = FindJobRule(5, "COPY");
  ASSERT_NE(copy, nullptr);
  for (const char* name : {"", "..\\TalvoUpdate.exe", "a\\..\\..\\b", "C:\\x.dll", "\\x.dll",
                           "\\\\server\\share\\x", "x.dll:stream", "CON", "a/../../b"}) {
    JobOperands operands;
    EXPECT_FALSE(MakeJobOperands(*copy, {"COPY", "<WINSYSDIR>", name, "", ""}, "S:\\Update\\",
                                 FakeExpand, operands))
        << name;
  }
}

TEST(RegsvrParameters, QuotesOnlyAPathThatStillHoldsABlank) {
  EXPECT_EQ(RegsvrParameters("/s", "C:\\PROGRA~1\\TALVO\\x.ocx"), "/s C:\\PROGRA~1\\TALVO\\x.ocx");
  EXPECT_EQ(RegsvrParameters("/u /s", "C:\\x.ocx"), "/u /s C:\\x.ocx");
  EXPECT_EQ(RegsvrParameters(" /s", "C:\\windows\\system32\\TalvoLogin.ocx"),
            " /s C:\\windows\\system32\\TalvoLogin.ocx");
  EXPECT_EQ(RegsvrParameters("/s", "C:\\My Controls\\x.ocx"), "/s \"C:\\My Controls\\x.ocx\"");
}

}  // namespace
