// Which names may be written below a folder of ours: one table for the four questions, one for
// which names Windows takes for the same file.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "safename/safename.h"

namespace {

struct NameCase {
  std::string name;
  bool device;    // IsDeviceName
  bool fileName;  // IsSafeFileName
  bool path;      // IsSafeRelativePath
  bool exact;     // KeepsItsNameOnWindows
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

const NameCase kCases[] = {
    // Plain names.
    {"TalvoXP.zip", false, true, true, true},
    {"SetupFile.exe", false, true, true, true},
    {"\xc7\xd1\xb1\xdb.zip", false, true, true, true},  // Korean, code page 949
    {"a..b", false, true, true, true},
    {"..a", false, true, true, true},
    // Windows drops a trailing dot or blank and writes the shorter name: safe to write and to
    // read back (a COPY line's "Talvo.exe ;comment" finds Talvo.exe), but not the name given.
    {"name.", false, true, true, false},
    {"Talvo.exe ", false, true, true, false},
    {"a.b. .", false, true, true, false},
    {"sub./a.txt", false, false, true, false},
    {"sub/a.txt ", false, false, true, false},
    {" lead", false, true, true, true},
    // Characters Windows refuses in every file name. A downloaded file keeps the URL's query.
    {"p.php?ver=3.40", false, false, false, false},
    {"a<b.zip", false, false, false, false},
    {"a>b.zip", false, false, false, false},
    {"a\"b.zip", false, false, false, false},
    {"a|b.zip", false, false, false, false},
    {"*.zip", false, false, false, false},
    {"sub/a?.txt", false, false, false, false},
    {"\xb0\xa1|", false, false, false, false},
    // Near misses Windows accepts.
    {"a%3Fb.zip", false, true, true, true},
    {"a#b;c=d[e]{f}+g&h'i`j~k!l@m$n^o(p),q", false, true, true, true},
    {"\xa3\xbf.txt", false, true, true, true},  // full-width question mark, code page 949
    // Dots and blanks: "." and ".." once Windows drops trailing dots and blanks.
    {"", false, false, false, false},
    {".", false, false, true, true},
    {"..", false, false, false, false},
    {"...", false, false, false, false},
    {".. ", false, false, false, false},
    {". .", false, false, false, false},
    {"   ", false, false, true, false},
    // Devices, in any case, with an extension, a stream or blanks before the dot.
    {"CON", true, false, false, false},
    {"con", true, false, false, false},
    {"PRN", true, false, false, false},
    {"AUX", true, false, false, false},
    {"NUL", true, false, false, false},
    {"nul.zip", true, false, false, false},
    {"Nul.tar.gz", true, false, false, false},
    {"NUL .zip", true, false, false, false},
    {"nul:", true, false, false, false},
    {"NUL...", true, false, false, false},
    {"CONIN$", true, false, false, false},
    {"conout$", true, false, false, false},
    {"COM1", true, false, false, false},
    {"com9.bin", true, false, false, false},
    {"COM0", true, false, false, false},
    {"LPT0.txt", true, false, false, false},
    {"LPT1", true, false, false, false},
    {"lpt5.zip", true, false, false, false},
    {"COM\xa9\xf6", true, false, false, false},  // COM and superscript one, code page 949
    {"LPT\xb2.log", true, false, false, false},  // LPT and superscript two, Latin-1
    // Near misses that are ordinary names.
    {"CONFIG.INI", false, true, true, true},
    {"console.txt", false, true, true, true},
    {"null", false, true, true, true},
    {"nul_.zip", false, true, true, true},
    {" NUL", false, true, true, true},
    {"COM", false, true, true, true},
    {"COM10", false, true, true, true},
    {"COMA", false, true, true, true},
    {"aux1.zip", false, true, true, true},
    {"x.nul", false, true, true, true},
    {"TalvoCom1.zip", false, true, true, true},
    {"COM\xa9\xf9", false, true, true, true},
    // Characters no file name may hold.
    {"a.zip:stream", false, false, false, false},
    {"C:evil.exe", false, false, false, false},
    {"a\tb", false, false, false, false},
    {std::string("evil.txt\0.png", 13), false, false, false, false},
    {"a\x7f", false, false, false, false},
    {"..\\..\\Talvo.exe", false, false, false, false},
    // Paths: relative ones stay inside, anything reaching out is refused.
    {"sub/a.txt", false, false, true, true},
    {"sub\\a.txt", false, false, true, true},
    {"a/./b", false, false, true, true},
    {"./a", false, false, true, true},
    {"a//b", false, false, true, true},
    {"sub/", false, false, true, true},
    {"../evil.txt", false, false, false, false},
    {"a/../../evil.txt", false, false, false, false},
    {"a/..", false, false, false, false},
    {"..\\evil.txt", false, false, false, false},
    {".. /evil.txt", false, false, false, false},
    {"... /evil.txt", false, false, false, false},
    {". ./evil.txt", false, false, false, false},
    {"/evil.txt", false, false, false, false},
    {"\\evil.txt", false, false, false, false},
    {"\\\\server\\share\\evil.txt", false, false, false, false},
    {"//server/share/evil.txt", false, false, false, false},
    {"\\\\?\\C:\\evil.txt", false, false, false, false},
    {"C:/evil.txt", false, false, false, false},
    {"c:\\evil.txt", false, false, false, false},
    {"sub/aux", false, false, false, false},
    {"sub/COM1.log/x", false, false, false, false},
    {"nul/x.txt", false, false, false, false},
};

class SafeName : public testing::TestWithParam<NameCase> {};

TEST_P(SafeName, AnswersAsTheTableSays) {
  const NameCase& c = GetParam();
  EXPECT_EQ(IsDeviceName(c.name), c.device);
  EXPECT_EQ(IsSafeFileName(c.name), c.fileName);
  EXPECT_EQ(IsSafeRelativePath(c.name), c.path);
  EXPECT_EQ(KeepsItsNameOnWindows(c.name), c.exact);
}

INSTANTIATE_TEST_SUITE_P(Cases, SafeName, testing::ValuesIn(kCases));

struct ClashCase {
  std::string a;
  std::string b;
  bool same;  // one file for Windows
};

void PrintTo(const ClashCase& c, std::ostream* os) { *os << '"' << c.a << "\" / \"" << c.b << '"'; }

const ClashCase kClashes[] = {
    {"README.txt", "Readme.txt", true},
    {"config.ini", "CONFIG.INI", true},
    {"a.txt", "a.txt.", true},
    {"a.txt", "a.txt . ", true},
    {"sub/a.txt", "SUB\\A.TXT", true},
    {"sub./a.txt", "sub/a.txt", true},
    {"a.txt", "a.txt", true},
    {"\xa3\xc1.txt", "\xa3\xe1.txt", true},  // full-width A and a
    {"\xa5\xc1", "\xa5\xe1", true},          // Greek alpha
    {"\xac\xa1", "\xac\xd1", true},          // Cyrillic a
    {"\xa5\xb0", "\xa5\xa1", true},          // Roman numeral one
    {"\xa8\xa1", "\xa9\xa1", true},          // ae
    {"\xa8\xa2", "\xa9\xa3", true},          // eth
    {"\xa8\xaf", "\xa9\xaf", true},          // eng
    // Different files.
    {"a.txt", "b.txt", false},
    {"a.txt", ".a.txt", false},
    {"a.txt", " a.txt", false},
    {"a.b", "a..b", false},
    {"\xc7\xd1\xb1\xdb", "\xc7\xd1\xb1\xdc", false},
    {"\x81\x61", "\x81\x41", false},  // two Hangul syllables whose trail bytes look like "a" and "A"
    {"\xa8\xa3", "\xa9\xa2", false},  // row A8 and A9 letters without a case pair
    {"\xa3\xc1", "A", false},
    {"a.txt", "a_txt", false},
};

class WindowsNames : public testing::TestWithParam<ClashCase> {};

TEST_P(WindowsNames, ClashAsTheTableSays) {
  const ClashCase& c = GetParam();
  EXPECT_EQ(WindowsNameKey(c.a) == WindowsNameKey(c.b), c.same);
  using Clashes = std::vector<std::pair<size_t, size_t>>;
  const Clashes expected = c.same ? Clashes{{0, 2}} : Clashes();
  EXPECT_EQ(FindWindowsNameClashes({c.a, "other", c.b}), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, WindowsNames, testing::ValuesIn(kClashes));

TEST(WindowsNames, EveryLaterNameIsPairedWithTheFirstItClashesWith) {
  const std::vector<std::pair<size_t, size_t>> expected = {{0, 2}, {1, 3}, {0, 4}};
  EXPECT_EQ(FindWindowsNameClashes({"a.txt", "b", "A.TXT", "B", "a.txt."}), expected);
  EXPECT_TRUE(FindWindowsNameClashes({}).empty());
}

}  // namespace
