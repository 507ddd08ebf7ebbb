// The pure computations of the local state: scrambled version bytes, the "NUM" registry form,
// registry paths, setting splitting and path macro substitution.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "localstate/datversion.h"
#include "localstate/pathmacrotext.h"
#include "localstate/regnumber.h"
#include "localstate/regpath.h"
#include "localstate/splitstring.h"

namespace {

std::vector<unsigned char> Bytes(const std::string& text) {
  return std::vector<unsigned char>(text.begin(), text.end());
}

std::vector<unsigned char> Scrambled(const std::string& plain) {
  std::vector<unsigned char> bytes = Bytes(plain);
  XorBuffer(bytes.data(), static_cast<int>(bytes.size()), kDatVersionKey);
  return bytes;
}

TEST(XorBuffer, WholeGroupsAreLittleEndianWordsAndTheRestUsesKeyBytesByPosition) {
  std::vector<unsigned char> bytes(7, 0);
  XorBuffer(bytes.data(), 7, 0x5EC7A31DUL);
  EXPECT_EQ(bytes, (std::vector<unsigned char>{0x1D, 0xA3, 0xC7, 0x5E, 0x1D, 0xA3, 0xC7}));
}

TEST(XorBuffer, AppliedTwiceWithTheSameKeyRestoresTheBuffer) {
  for (int length = 0; length <= 9; ++length) {
    std::vector<unsigned char> original;
    for (int i = 0; i < length; ++i) original.push_back(static_cast<unsigned char>(i * 37 + 200));
    std::vector<unsigned char> bytes = original;
    XorBuffer(bytes.data(), length, 0xDEADBEEFUL);
    if (length > 0) {
      EXPECT_NE(bytes, original) << length;
    }
    XorBuffer(bytes.data(), length, 0xDEADBEEFUL);
    EXPECT_EQ(bytes, original) << length;
  }
}

TEST(XorBuffer, ANegativeLengthTouchesNothing) {
  unsigned char byte = 7;
  XorBuffer(&byte, -1, kDatVersionKey);
  EXPECT_EQ(byte, 7);
}

TEST(DecodeDatVersion, DropsByteZeroAndStopsAtAZeroByte) {
  struct Case { std::string plain; size_t count; std::string version; } cases[] = {
      {"X1.23", 5, "1.23"},
      {"X1.23 and the rest of the file", 31, "1.23"},  // only five bytes count
      {std::string("X1\0" "99", 5), 5, "1"},
      {"", 0, ""},            // empty file
      {"X", 1, ""},           // shorter files give only the bytes read
      {"X1.2", 4, "1.2"},
      {"X1.23", 3, "1."},
  };
  for (const Case& c : cases) {
    const std::vector<unsigned char> file = Scrambled(c.plain);
    EXPECT_EQ(DecodeDatVersion(file.data(), c.count), c.version) << c.plain << " / " << c.count;
  }
}

TEST(RegNumber, OnlyUpperCaseNumMarksANumber) {
  EXPECT_TRUE(IsRegNumber("NUM:5"));
  EXPECT_TRUE(IsRegNumber("NUM"));
  EXPECT_FALSE(IsRegNumber("num:5"));
  EXPECT_FALSE(IsRegNumber("Num:5"));
  EXPECT_FALSE(IsRegNumber("NU"));
  EXPECT_FALSE(IsRegNumber(""));
}

TEST(RegNumber, ConvertsLikeStrtodThenTruncatesAndKeepsTheLow32Bits) {
  struct Case { const char* data; std::uint32_t dword; } cases[] = {
      {"NUM:1234", 1234},
      {"NUM:1.9", 1},
      {"NUM:-1", 0xFFFFFFFFu},
      {"NUM:-1.9", 0xFFFFFFFFu},  // toward zero: -1
      {"NUM:4294967295", 0xFFFFFFFFu},
      {"NUM:4294967296", 0},
      {"NUM:4294967297.5", 1},
      {"NUM:abc", 0},
      {"NUM:12abc", 12},
      {"NUM:  \t42", 42},
      {"NUM:+7", 7},
      {"NUM:2.5e3", 2500},
      {"NUM:.5e1", 5},
      {"NUM:7.", 7},
      {"NUM:3e", 3},     // an exponent without digits is not read
      {"NUM:3e+x", 3},
      {"NUM:1,5", 1},
      // Decimal only: hexadecimal forms and the words for infinity and NaN are not numbers here.
      {"NUM:0x10", 0},
      {"NUM:0x1p4", 0},
      {"NUM:-0X1F", 0},
      {"NUM:inf", 0},
      {"NUM:infinity", 0},
      {"NUM:-INF", 0},
      {"NUM:nan", 0},
      {"NUM:-nan", 0},
      {"NUMx42", 42},  // the fourth character is skipped unseen
      {"NUM:", 0},
      {"NUM", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseRegNumber(c.data), c.dword) << c.data;
}

// A number outside the 64-bit range saturates at the nearest end.
TEST(RegNumber, NumbersBeyondTheSixtyFourBitRangeSaturate) {
  struct Case { const char* data; std::uint32_t dword; } cases[] = {
      {"NUM:1e30", 0xFFFFFFFFu},  // INT64_MAX
      {"NUM:-1e30", 0},           // INT64_MIN
      {"NUM:9223372036854775807", 0xFFFFFFFFu},   // rounds to 2^63: out of range
      {"NUM:-9223372036854775808", 0},            // exactly -2^63: in range
      {"NUM:1e400", 0xFFFFFFFFu},  // overflows to infinity
      {"NUM:-1e400", 0},
      {"NUM:1e19", 0xFFFFFFFFu},
      {"NUM:-1e19", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseRegNumber(c.data), c.dword) << c.data;
}

TEST(RegNumber, TruncateToInt64HasADefinedResultForEveryDouble) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(TruncateToInt64(std::nan("")), 0);
  EXPECT_EQ(TruncateToInt64(inf), INT64_MAX);
  EXPECT_EQ(TruncateToInt64(-inf), INT64_MIN);
  EXPECT_EQ(TruncateToInt64(1e30), INT64_MAX);
  EXPECT_EQ(TruncateToInt64(-1e30), INT64_MIN);
  EXPECT_EQ(TruncateToInt64(9223372036854775808.0), INT64_MAX);
  EXPECT_EQ(TruncateToInt64(-9223372036854775808.0), INT64_MIN);
  EXPECT_EQ(TruncateToInt64(9223372036854774784.0), INT64_C(9223372036854774784));  // largest below 2^63
  EXPECT_EQ(TruncateToInt64(-1.9), -1);
  EXPECT_EQ(TruncateToInt64(1.9), 1);
}

TEST(RegPath, RootIsTheFirstFourCharactersAndTheSubKeyStartsAtTheSixth) {
  struct Case { const char* path; const char* root; const char* subKey; } cases[] = {
      {"HKLM\\Software\\Example", "HKLM", "Software\\Example"},
      {"hklm\\Software\\Example", "hklm", "Software\\Example"},  // mapped to HKCU by GetRootKey
      {"HKCU/Software", "HKCU", "Software"},  // the separator is not looked at
      {"HKU\\S-1-5-18\\Software", "HKU", "S-1-5-18\\Software"},
      {"HKU\\", "HKU", ""},
      {"HKUS\\Software", "HKUS", "Software"},
      {"HKCU\\", "HKCU", ""},
      {"HKCU", "HKCU", ""},
      {"HK", "HK", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    const RegistryPath key = SplitRegistryPath(c.path);
    EXPECT_EQ(key.strRootName, c.root) << c.path;
    EXPECT_EQ(key.strSubKey, c.subKey) << c.path;
  }
}

TEST(SplitString, KeepsEmptyInnerPartsAndDropsAnEmptyLastPart) {
  const std::string sep = "\\\\";
  struct Case { std::string text; std::vector<std::string> parts; } cases[] = {
      {"General\\\\Port\\\\1234", {"General", "Port", "1234"}},
      {"a\\\\\\\\b", {"a", "", "b"}},
      {"General\\\\Port\\\\", {"General", "Port"}},
      {"\\\\a", {"", "a"}},
      {"a\\b", {"a\\b"}},  // one backslash is not a separator
      {"\\\\\\", {"", "\\"}},  // three backslashes: separator, then one left over
      {"plain", {"plain"}},
      {"", {}},
      {"\"General\\\\Port\\\\1234\"", {"\"General", "Port", "1234\""}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> parts;
    SplitString(c.text, sep, parts);
    EXPECT_EQ(parts, c.parts) << c.text;
  }
}

TEST(SplitString, AppendsToTheListAndTreatsAnEmptySeparatorAsNoSplit) {
  std::vector<std::string> parts{"kept"};
  SplitString("a,b", ",", parts);
  EXPECT_EQ(parts, (std::vector<std::string>{"kept", "a", "b"}));
  parts.clear();
  SplitString("a,b", "", parts);
  EXPECT_EQ(parts, (std::vector<std::string>{"a,b"}));
}

const PathMacroFolders kFolders{"C:\\windows", "C:\\windows\\system32", "C:\\Program Files\\",
                                "D:\\Talvo"};

TEST(PathMacros, ReplacesEachMacroEverywhereAndNothingElse) {
  struct Case { const char* path; const char* name; const char* expanded; } cases[] = {
      {"<TARGETDIR>\\Talvo.exe", "", "D:\\Talvo\\Talvo.exe"},
      {"<WINDIR>\\a;<WINSYSDIR>\\b;<WINDIR>", "", "C:\\windows\\a;C:\\windows\\system32\\b;C:\\windows"},
      {"<windir>\\a", "", "<windir>\\a"},  // case matters
      {"<WinDir>", "", "<WinDir>"},
      {"<TARGETDIR", "", "<TARGETDIR"},
      {"<PROGRAMFILES>\\Talvo", "", "C:\\Program Files\\\\Talvo"},  // doubled backslash kept
      {"C:\\\\x\\\\", "", "C:\\\\x\\\\"},
      {"<TARGETDIR>\\Update\\", "a.zip", "D:\\Talvo\\Update\\\\a.zip"},
      {"<TARGETDIR>", "a.zip", "D:\\Talvo\\a.zip"},
      {"", "", ""},
      {"", "name", "\\name"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SubstitutePathMacros(c.path, c.name, kFolders), c.expanded) << c.path;
}

TEST(PathMacros, MacrosAreReplacedInTheirOrderOverWhatEarlierOnesInserted) {
  // A later macro inside an earlier replacement is replaced; an earlier one inside a later is not.
  const PathMacroFolders folders{"W<TARGETDIR>", "S", "P<WINDIR>", "T"};
  EXPECT_EQ(SubstitutePathMacros("<WINDIR>|<PROGRAMFILES>", "", folders), "WT|P<WINDIR>");
}

TEST(PathMacros, AnEmptyFolderExpandsToNothing) {
  const PathMacroFolders folders{"", "", "", ""};
  EXPECT_EQ(SubstitutePathMacros("<WINDIR>\\x<TARGETDIR>", "", folders), "\\x");
}

TEST(ReplaceAll, DoesNotRescanWhatItInserted) {
  EXPECT_EQ(ReplaceAll("<A>.<A>", "<A>", "<A><A>"), "<A><A>.<A><A>");
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
}

}  // namespace
