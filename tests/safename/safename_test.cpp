// Which names may be written below a folder of ours: one table for the three questions.
#include <gtest/gtest.h>

#include <string>

#include "safename/safename.h"

namespace {

struct NameCase {
  std::string name;
  bool device;    // IsDeviceName
  bool fileName;  // IsSafeFileName
  bool path;      // IsSafeRelativePath
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

const NameCase kCases[] = {
    // Plain names.
    {"TalvoXP.zip", false, true, true},
    {"SetupFile.exe", false, true, true},
    {"\xc7\xd1\xb1\xdb.zip", false, true, true},  // Korean, code page 949
    {"a..b", false, true, true},
    {"..a", false, true, true},
    {"name.", false, true, true},
    {"p.php?ver=3.40", false, true, true},
    // Dots and blanks: "." and ".." once Windows drops trailing dots and blanks.
    {"", false, false, false},
    {".", false, false, true},
    {"..", false, false, false},
    {"...", false, false, false},
    {".. ", false, false, false},
    {". .", false, false, false},
    {"   ", false, false, true},
    // Devices, in any case, with an extension, a stream or blanks before the dot.
    {"CON", true, false, false},
    {"con", true, false, false},
    {"PRN", true, false, false},
    {"AUX", true, false, false},
    {"NUL", true, false, false},
    {"nul.zip", true, false, false},
    {"Nul.tar.gz", true, false, false},
    {"NUL .zip", true, false, false},
    {"nul:", true, false, false},
    {"NUL...", true, false, false},
    {"CONIN$", true, false, false},
    {"conout$", true, false, false},
    {"COM1", true, false, false},
    {"com9.bin", true, false, false},
    {"COM0", true, false, false},
    {"LPT0.txt", true, false, false},
    {"LPT1", true, false, false},
    {"lpt5.zip", true, false, false},
    {"COM\xa9\xf6", true, false, false},  // COM and superscript one, code page 949
    {"LPT\xb2.log", true, false, false},  // LPT and superscript two, Latin-1
    // Near misses that are ordinary names.
    {"CONFIG.INI", false, true, true},
    {"console.txt", false, true, true},
    {"null", false, true, true},
    {"nul_.zip", false, true, true},
    {" NUL", false, true, true},
    {"COM", false, true, true},
    {"COM10", false, true, true},
    {"COMA", false, true, true},
    {"aux1.zip", false, true, true},
    {"x.nul", false, true, true},
    {"TalvoCom1.zip", false, true, true},
    {"COM\xa9\xf9", false, true, true},
    // Characters no file name may hold.
    {"a.zip:stream", false, false, false},
    {"C:evil.exe", false, false, false},
    {"a\tb", false, false, false},
    {std::string("evil.txt\0.png", 13), false, false, false},
    {"a\x7f", false, false, false},
    {"..\\..\\Talvo.exe", false, false, false},
    // Paths: relative ones stay inside, anything reaching out is refused.
    {"sub/a.txt", false, false, true},
    {"sub\\a.txt", false, false, true},
    {"a/./b", false, false, true},
    {"./a", false, false, true},
    {"a//b", false, false, true},
    {"sub/", false, false, true},
    {"../evil.txt", false, false, false},
    {"a/../../evil.txt", false, false, false},
    {"a/..", false, false, false},
    {"..\\evil.txt", false, false, false},
    {".. /evil.txt", false, false, false},
    {"... /evil.txt", false, false, false},
    {". ./evil.txt", false, false, false},
    {"/evil.txt", false, false, false},
    {"\\evil.txt", false, false, false},
    {"\\\\server\\share\\evil.txt", false, false, false},
    {"//server/share/evil.txt", false, false, false},
    {"\\\\?\\C:\\evil.txt", false, false, false},
    {"C:/evil.txt", false, false, false},
    {"c:\\evil.txt", false, false, false},
    {"sub/aux", false, false, false},
    {"sub/COM1.log/x", false, false, false},
    {"nul/x.txt", false, false, false},
};

class SafeName : public testing::TestWithParam<NameCase> {};

TEST_P(SafeName, AnswersAsTheTableSays) {
  const NameCase& c = GetParam();
  EXPECT_EQ(IsDeviceName(c.name), c.device);
  EXPECT_EQ(IsSafeFileName(c.name), c.fileName);
  EXPECT_EQ(IsSafeRelativePath(c.name), c.path);
}

INSTANTIATE_TEST_SUITE_P(Cases, SafeName, testing::ValuesIn(kCases));

}  // namespace
