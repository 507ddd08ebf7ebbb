// The registry side of the local state, against the real registry of the test's own prefix:
// the key wrapper, the recorded versions and the registry edits of install jobs.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "localstate/registry.h"
#include "localstate/upregistry.h"
#include "tests/support/freshfolder.h"
#include "tests/support/registry.h"

namespace {

using testsupport::DwordBytes;
using testsupport::KeyPresent;
using testsupport::QueryRaw;
using testsupport::RawValue;
using testsupport::SetRaw;
using testsupport::SetRawString;

const char kTestRoot[] = "Software\\TalvoLocalStateTest";

// Each test works below its own key, under HKCU and HKLM, removed before and after it.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strKey = std::string(kTestRoot) + "\\" + testsupport::CurrentTestName();
    Clean();
  }
  void TearDown() override { Clean(); }
  void Clean() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, m_strKey.c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, m_strKey.c_str());
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, m_strKey.c_str());
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, m_strKey.c_str());
  }
  std::string Sub(const std::string& rest) const { return m_strKey + "\\" + rest; }

  std::string m_strKey;
};

// A volatile key: the platform refuses to create a lasting key below it.
void CreateVolatileKey(HKEY root, const std::string& subKey) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(key);
}

// ---- CRegistry ----

using RegistryWrapper = RegistryTest;

TEST_F(RegistryWrapper, KeyExistsAndCreateKeyLeaveTheCurrentKeyAlone) {
  CRegistry reg(HKEY_CURRENT_USER);
  EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, Sub("A")));
  EXPECT_TRUE(reg.CreateKey(HKEY_CURRENT_USER, Sub("A\\B\\C")));  // parents too
  EXPECT_TRUE(reg.CreateKey(HKEY_CURRENT_USER, Sub("A\\B\\C")));  // existing succeeds
  EXPECT_TRUE(reg.KeyExists(HKEY_CURRENT_USER, Sub("A\\B")));
  EXPECT_EQ(reg.GetKey(), HKEY_CURRENT_USER);

  ASSERT_TRUE(reg.Open(HKEY_CURRENT_USER, Sub("A"), FALSE));
  const HKEY opened = reg.GetKey();
  EXPECT_TRUE(reg.KeyExists(HKEY_CURRENT_USER, Sub("A\\B")));
  EXPECT_TRUE(reg.CreateKey(HKEY_CURRENT_USER, Sub("D")));
  EXPECT_EQ(reg.GetKey(), opened);
  EXPECT_TRUE(reg.WriteString("still", "open"));
  EXPECT_EQ(QueryRaw(HKEY_CURRENT_USER, Sub("A"), "still").bytes, std::string("open", 5));
}

TEST_F(RegistryWrapper, CreateKeyAndOpenReportARefusedCreation) {
  CreateVolatileKey(HKEY_CURRENT_USER, Sub("Volatile"));
  CRegistry reg(HKEY_CURRENT_USER);
  EXPECT_FALSE(reg.CreateKey(HKEY_CURRENT_USER, Sub("Volatile\\Lasting")));
  EXPECT_FALSE(reg.Open(HKEY_CURRENT_USER, Sub("Volatile\\Lasting"), TRUE));
  EXPECT_EQ(reg.GetKey(), nullptr);
}

TEST_F(RegistryWrapper, OpenWithoutCreateOnAMissingKeyLeavesNoCurrentKey) {
  CRegistry reg(HKEY_CURRENT_USER);
  EXPECT_FALSE(reg.Open(HKEY_CURRENT_USER, Sub("Missing"), FALSE));
  EXPECT_EQ(reg.GetKey(), nullptr);
  EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, Sub("Missing")));

  EXPECT_TRUE(reg.Open(HKEY_CURRENT_USER, Sub("Missing"), TRUE));
  EXPECT_NE(reg.GetKey(), nullptr);
  EXPECT_TRUE(KeyPresent(HKEY_CURRENT_USER, Sub("Missing")));
  reg.Close();
  EXPECT_EQ(reg.GetKey(), nullptr);
  reg.Close();  // a second close does nothing
}

TEST_F(RegistryWrapper, WritesAndReadsValues) {
  CRegistry reg(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.Open(HKEY_CURRENT_USER, m_strKey, TRUE));
  EXPECT_EQ(reg.WriteDword("Number", 0x12345678), ERROR_SUCCESS);
  const RawValue number = QueryRaw(HKEY_CURRENT_USER, m_strKey, "Number");
  EXPECT_EQ(number.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(number.bytes, DwordBytes(0x12345678));

  const std::string korean = "\xb7\xce\xb1\xd7\xc0\xce 1.0";  // code page 949
  EXPECT_TRUE(reg.WriteString("Text", korean));
  const RawValue text = QueryRaw(HKEY_CURRENT_USER, m_strKey, "Text");
  EXPECT_EQ(text.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(text.bytes, korean + '\0');
  std::string out;
  EXPECT_TRUE(reg.ReadString("Text", out));
  EXPECT_EQ(out, korean);

  EXPECT_TRUE(reg.WriteString("", "default value"));
  EXPECT_TRUE(reg.ReadString("", out));
  EXPECT_EQ(out, "default value");

  out = "untouched";
  EXPECT_FALSE(reg.ReadString("Missing", out));
  EXPECT_EQ(out, "untouched");
}

TEST_F(RegistryWrapper, ReadStringTakesAtMost200Bytes) {
  SetRawString(HKEY_CURRENT_USER, m_strKey, "Fits", std::string(199, 'a'));      // 200 bytes
  SetRawString(HKEY_CURRENT_USER, m_strKey, "TooLong", std::string(200, 'b'));   // 201 bytes
  SetRaw(HKEY_CURRENT_USER, m_strKey, "Unterminated", REG_BINARY, std::string(200, 'c'));
  CRegistry reg(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.Open(HKEY_CURRENT_USER, m_strKey, FALSE));
  std::string out = "before";
  EXPECT_TRUE(reg.ReadString("Fits", out));
  EXPECT_EQ(out, std::string(199, 'a'));
  out = "before";
  EXPECT_FALSE(reg.ReadString("TooLong", out));
  EXPECT_EQ(out, "before");
  EXPECT_TRUE(reg.ReadString("Unterminated", out));
  EXPECT_EQ(out, std::string(200, 'c'));
}

TEST_F(RegistryWrapper, ReadStringTakesAnyValueTypeAsTextUpToTheFirstZeroByte) {
  struct Case { const char* name; DWORD type; std::string bytes; std::string text; } cases[] = {
      {"Digits", REG_DWORD, DwordBytes(0x00333231), "123"},
      {"AllSet", REG_DWORD, DwordBytes(0x44434241), "ABCD"},
      {"Zero", REG_DWORD, DwordBytes(0), ""},
      {"Binary", REG_BINARY, std::string("ab\0cd", 5), "ab"},
      {"Empty", REG_SZ, std::string(), ""},
  };
  for (const auto& c : cases) SetRaw(HKEY_CURRENT_USER, m_strKey, c.name, c.type, c.bytes);
  CRegistry reg(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.Open(HKEY_CURRENT_USER, m_strKey, FALSE));
  for (const auto& c : cases) {
    std::string out = "before";
    EXPECT_TRUE(reg.ReadString(c.name, out)) << c.name;
    EXPECT_EQ(out, c.text) << c.name;
  }
}

TEST_F(RegistryWrapper, DeleteValueReportsWhetherThereWasOne) {
  SetRawString(HKEY_CURRENT_USER, m_strKey, "Value", "x");
  CRegistry reg(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.Open(HKEY_CURRENT_USER, m_strKey, FALSE));
  EXPECT_TRUE(reg.DeleteValue("Value"));
  EXPECT_TRUE(QueryRaw(HKEY_CURRENT_USER, m_strKey, "Value").missing);
  EXPECT_FALSE(reg.DeleteValue("Value"));
}

TEST_F(RegistryWrapper, DeleteKeyOnANeverOpenedWrapperDeletesTheWholeTreeUnderTheRoot) {
  SetRawString(HKEY_LOCAL_MACHINE, Sub("Tree\\Child\\Grandchild"), "v", "1");
  SetRawString(HKEY_LOCAL_MACHINE, Sub("Tree"), "v", "1");
  SetRawString(HKEY_LOCAL_MACHINE, Sub("Sibling"), "v", "1");
  CRegistry reg(HKEY_LOCAL_MACHINE);
  EXPECT_TRUE(reg.DeleteKey(Sub("Tree")));
  EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, Sub("Tree")));
  EXPECT_TRUE(KeyPresent(HKEY_LOCAL_MACHINE, Sub("Sibling")));
  EXPECT_FALSE(reg.DeleteKey(Sub("Tree")));
}

TEST_F(RegistryWrapper, DeleteKeyOnAnOpenedWrapperWorksBelowTheOpenedKey) {
  SetRawString(HKEY_CURRENT_USER, Sub("Child\\Deeper"), "v", "1");
  CRegistry reg(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.Open(HKEY_CURRENT_USER, m_strKey, FALSE));
  EXPECT_TRUE(reg.DeleteKey("Child"));
  EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, Sub("Child")));
  EXPECT_TRUE(KeyPresent(HKEY_CURRENT_USER, m_strKey));
}

// A handle that is still open answers RegQueryInfoKeyA; a closed one is refused.
bool HandleIsOpen(HKEY key) {
  DWORD subKeys = 0;
  return ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

TEST_F(RegistryWrapper, TheDestructorClosesTheKeySoItCanBeDeleted) {
  HKEY held = nullptr;
  {
    CRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.Open(HKEY_CURRENT_USER, Sub("Held"), TRUE));
    held = reg.GetKey();
    ASSERT_TRUE(HandleIsOpen(held));
  }
  EXPECT_FALSE(HandleIsOpen(held));
  {
    CRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.Open(HKEY_CURRENT_USER, Sub("Held"), FALSE));
    held = reg.GetKey();
    reg.Close();
    EXPECT_FALSE(HandleIsOpen(held));
  }
  EXPECT_EQ(::RegDeleteKeyA(HKEY_CURRENT_USER, Sub("Held").c_str()), ERROR_SUCCESS);
  // The predefined root of a never-opened wrapper stays usable after the wrapper is gone.
  { CRegistry reg(HKEY_CURRENT_USER); }
  SetRawString(HKEY_CURRENT_USER, m_strKey, "after", "1");
  EXPECT_FALSE(QueryRaw(HKEY_CURRENT_USER, m_strKey, "after").missing);
}

// ---- Installed-version store ----

class VersionStore : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kInstallKey);
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kInstallKey);
  }
};

struct VersionComponent {
  const char* prefix;
  std::string (*read)(const std::string&);
  void (*write)(const std::string&, const std::string&);
};
const VersionComponent kComponents[] = {
    {"Ver", ReadVersion, WriteVersion},
    {"VerList", ReadServerListVersion, WriteServerListVersion},
    {"LogOcx", ReadLoginOcxVersion, WriteLoginOcxVersion},
    {"Options", ReadOptionsVersion, WriteOptionsVersion},
    {"Release", ReadAcceptedRelease, WriteAcceptedRelease},  // the highest signed release accepted
};

TEST_F(VersionStore, WithoutTheKeyEveryReaderGivesAnEmptyVersionAndCreatesNothing) {
  for (const auto& c : kComponents) EXPECT_EQ(c.read("Talvo"), "") << c.prefix;
  EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, kInstallKey));
}

TEST_F(VersionStore, EachWriterCreatesTheKeyAndRecordsPrefixPlusNameAsText) {
  for (const auto& c : kComponents) {
    Clean();
    c.write("Talvo", std::string("3.35.") + c.prefix);
    const RawValue raw = QueryRaw(HKEY_CURRENT_USER, kInstallKey, std::string(c.prefix) + "Talvo");
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ)) << c.prefix;
    EXPECT_EQ(raw.bytes, std::string("3.35.") + c.prefix + '\0');
    EXPECT_EQ(c.read("Talvo"), std::string("3.35.") + c.prefix);
    for (const auto& other : kComponents) {
      if (other.read != c.read) {
        EXPECT_EQ(other.read("Talvo"), "") << c.prefix << "/" << other.prefix;
      }
    }
  }
}

TEST_F(VersionStore, AnEmptyProjectNameUsesTheBarePrefixes) {
  for (const auto& c : kComponents) {
    c.write("", "1.0");
    EXPECT_FALSE(QueryRaw(HKEY_CURRENT_USER, kInstallKey, c.prefix).missing) << c.prefix;
    EXPECT_EQ(c.read(""), "1.0");
    EXPECT_EQ(c.read("Talvo"), "");
  }
}

TEST_F(VersionStore, AWriteReplacesTheOldVersion) {
  WriteVersion("Talvo", "3.35");
  WriteVersion("Talvo", "\xc3\xd6\xbd\xc5 3.36");  // code page 949 text
  EXPECT_EQ(ReadVersion("Talvo"), "\xc3\xd6\xbd\xc5 3.36");
}

TEST_F(VersionStore, AnUnreadableValueReadsAsEmpty) {
  SetRawString(HKEY_CURRENT_USER, kInstallKey, "VerTalvo", std::string(200, '9'));
  SetRaw(HKEY_CURRENT_USER, kInstallKey, "LogOcxTalvo", REG_DWORD, DwordBytes(0x00302e31));
  EXPECT_EQ(ReadVersion("Talvo"), "");
  EXPECT_EQ(ReadLoginOcxVersion("Talvo"), "1.0");  // a DWORD's bytes read as text
}

class ProgramFilesDir : public ::testing::Test {
 protected:
  static constexpr const char* kKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  void SetUp() override { m_saved = QueryRaw(HKEY_LOCAL_MACHINE, kKey, "ProgramFilesDir"); }
  void TearDown() override {
    if (m_saved.missing) {
      HKEY key = nullptr;
      if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        ::RegDeleteValueA(key, "ProgramFilesDir");
        ::RegCloseKey(key);
      }
    } else {
      SetRaw(HKEY_LOCAL_MACHINE, kKey, "ProgramFilesDir", m_saved.type, m_saved.bytes);
    }
  }
  RawValue m_saved;
};

TEST_F(ProgramFilesDir, ComesFromTheMachineKeyOrFallsBackWithATrailingBackslash) {
  SetRawString(HKEY_LOCAL_MACHINE, kKey, "ProgramFilesDir", "D:\\Apps");
  EXPECT_EQ(GetProgramFilesDir(), "D:\\Apps");
  SetRawString(HKEY_LOCAL_MACHINE, kKey, "ProgramFilesDir", "");
  EXPECT_EQ(GetProgramFilesDir(), "C:\\Program Files\\");
  SetRawString(HKEY_LOCAL_MACHINE, kKey, "ProgramFilesDir", std::string(200, 'x'));
  EXPECT_EQ(GetProgramFilesDir(), "C:\\Program Files\\");
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ::RegDeleteValueA(key, "ProgramFilesDir");
  ::RegCloseKey(key);
  EXPECT_EQ(GetProgramFilesDir(), "C:\\Program Files\\");
}

TEST_F(RegistryTest, MachineKeyExistsLooksUnderHklmOnly) {
  SetRawString(HKEY_CURRENT_USER, Sub("UserOnly"), "v", "1");
  SetRawString(HKEY_LOCAL_MACHINE, Sub("Machine"), "v", "1");
  EXPECT_TRUE(MachineKeyExists(Sub("Machine")));
  EXPECT_FALSE(MachineKeyExists(Sub("UserOnly")));
  EXPECT_FALSE(MachineKeyExists(Sub("Missing")));
}

// ---- Registry edit primitives ----

using RegistryEdits = RegistryTest;

TEST(RegistryEditRoots, RootNamesAreExactAndUnknownOnesMeanTheCurrentUser) {
  struct Case { const char* name; HKEY root; } cases[] = {
      {"HKCR", HKEY_CLASSES_ROOT},    {"HKCU", HKEY_CURRENT_USER},
      {"HKLM", HKEY_LOCAL_MACHINE},   {"HKU", HKEY_USERS},
      {"HKCC", HKEY_CURRENT_CONFIG},  {"HKPD", HKEY_PERFORMANCE_DATA},
      {"HKDD", HKEY_DYN_DATA},        {"hklm", HKEY_CURRENT_USER},
      {"HKU\\", HKEY_CURRENT_USER},   {"HKLM\\", HKEY_CURRENT_USER},
      {"", HKEY_CURRENT_USER},        {"HKEY_LOCAL_MACHINE", HKEY_CURRENT_USER},
  };
  for (const auto& c : cases) EXPECT_EQ(GetRootKey(c.name), c.root) << c.name;
}

TEST_F(RegistryEdits, AddRegKeyCreatesTheKeyUnderItsRoot) {
  EXPECT_TRUE(AddRegKey("HKLM\\" + Sub("New\\Deep")));
  EXPECT_TRUE(KeyPresent(HKEY_LOCAL_MACHINE, Sub("New\\Deep")));
  EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, Sub("New")));
  EXPECT_TRUE(AddRegKey("HKLM\\" + Sub("New\\Deep")));  // existing
  EXPECT_TRUE(AddRegKey("HKCU/" + Sub("Slash")));        // the separator is not looked at
  EXPECT_TRUE(KeyPresent(HKEY_CURRENT_USER, Sub("Slash")));
}

TEST_F(RegistryEdits, LowerCaseRootNamesMeanTheCurrentUser) {
  EXPECT_TRUE(AddRegKey("hklm\\" + Sub("Lower")));
  EXPECT_TRUE(KeyPresent(HKEY_CURRENT_USER, Sub("Lower")));
  EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, Sub("Lower")));
  EXPECT_TRUE(AddRegValue("hklm\\" + Sub("Lower"), "v", "x"));
  EXPECT_EQ(QueryRaw(HKEY_CURRENT_USER, Sub("Lower"), "v").bytes, std::string("x", 2));
}

TEST_F(RegistryEdits, HkuFollowedByABackslashNamesTheUsersRoot) {
  const std::string sub = ".DEFAULT\\" + m_strKey;
  ASSERT_TRUE(AddRegKey("HKU\\" + sub));
  EXPECT_TRUE(KeyPresent(HKEY_USERS, sub));
  EXPECT_TRUE(AddRegValue("HKU\\" + sub, "v", "NUM:5"));
  EXPECT_EQ(QueryRaw(HKEY_USERS, sub, "v").bytes, DwordBytes(5));
  EXPECT_TRUE(DelRegKey("HKU\\" + sub));
  EXPECT_FALSE(KeyPresent(HKEY_USERS, sub));
  ::RegDeleteTreeA(HKEY_USERS, (std::string(".DEFAULT\\") + kTestRoot).c_str());
  ::RegDeleteKeyA(HKEY_USERS, (std::string(".DEFAULT\\") + kTestRoot).c_str());
}

TEST_F(RegistryEdits, AddRegKeyReportsARefusedCreation) {
  CreateVolatileKey(HKEY_CURRENT_USER, Sub("Volatile"));
  EXPECT_FALSE(AddRegKey("HKCU\\" + Sub("Volatile\\Lasting")));
  EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, Sub("Volatile\\Lasting")));
}

TEST_F(RegistryEdits, DelRegKeyRemovesTheWholeTreeAndAcceptsAMissingKey) {
  SetRawString(HKEY_LOCAL_MACHINE, Sub("Gone\\Child"), "v", "1");
  SetRawString(HKEY_LOCAL_MACHINE, Sub("Stays"), "v", "1");
  EXPECT_TRUE(DelRegKey("HKLM\\" + Sub("Gone")));
  EXPECT_FALSE(KeyPresent(HKEY_LOCAL_MACHINE, Sub("Gone")));
  EXPECT_TRUE(KeyPresent(HKEY_LOCAL_MACHINE, Sub("Stays")));
  EXPECT_TRUE(DelRegKey("HKLM\\" + Sub("Gone")));
}

TEST_F(RegistryEdits, DelRegKeyNeverDeletesAWholeRoot) {
  SetRawString(HKEY_CURRENT_USER, m_strKey, "v", "1");
  for (const char* path : {"HKCU", "HKCU\\", "HKCU\\\\", "hklm\\", "HKU\\"})
    EXPECT_FALSE(DelRegKey(path)) << path;
  EXPECT_TRUE(KeyPresent(HKEY_CURRENT_USER, m_strKey));
  EXPECT_TRUE(KeyPresent(HKEY_CURRENT_USER, "Software"));
}

TEST_F(RegistryEdits, AddRegValueWritesNumFormsAsDwordAndEverythingElseAsText) {
  struct Case { const char* name; const char* data; DWORD type; std::string bytes; } cases[] = {
      {"n1234", "NUM:1234", REG_DWORD, DwordBytes(1234)},
      {"n1.9", "NUM:1.9", REG_DWORD, DwordBytes(1)},
      {"n-1", "NUM:-1", REG_DWORD, DwordBytes(0xFFFFFFFF)},
      {"nmax", "NUM:4294967295", REG_DWORD, DwordBytes(0xFFFFFFFF)},
      {"nabc", "NUM:abc", REG_DWORD, DwordBytes(0)},
      {"nbig", "NUM:1e30", REG_DWORD, DwordBytes(0xFFFFFFFF)},
      {"nsmall", "NUM:-1e30", REG_DWORD, DwordBytes(0)},
      {"nnan", "NUM:nan", REG_DWORD, DwordBytes(0)},
      {"ninf", "NUM:inf", REG_DWORD, DwordBytes(0)},
      {"nhex", "NUM:0x10", REG_DWORD, DwordBytes(0)},
      {"lower", "num:5", REG_SZ, std::string("num:5", 6)},
      {"text", "C:\\Program Files\\\\Talvo", REG_SZ, std::string("C:\\Program Files\\\\Talvo", 24)},
      {"korean", "\xc5\xbb\xba\xb8", REG_SZ, std::string("\xc5\xbb\xba\xb8", 5)},
      {"empty", "", REG_DWORD, DwordBytes(0)},
  };
  // The key is missing at first: the first write creates it.
  for (const auto& c : cases) {
    EXPECT_TRUE(AddRegValue("HKLM\\" + Sub("Values"), c.name, c.data)) << c.name;
    const RawValue raw = QueryRaw(HKEY_LOCAL_MACHINE, Sub("Values"), c.name);
    EXPECT_EQ(raw.type, c.type) << c.name;
    EXPECT_EQ(raw.bytes, c.bytes) << c.name;
  }
}

TEST_F(RegistryEdits, AddRegValueReplacesAValueOfAnotherType) {
  SetRawString(HKEY_CURRENT_USER, m_strKey, "v", "old text");
  EXPECT_TRUE(AddRegValue("HKCU\\" + m_strKey, "v", "NUM:7"));
  EXPECT_EQ(QueryRaw(HKEY_CURRENT_USER, m_strKey, "v").type, static_cast<DWORD>(REG_DWORD));
  EXPECT_TRUE(AddRegValue("HKCU\\" + m_strKey, "v", "new"));
  EXPECT_EQ(QueryRaw(HKEY_CURRENT_USER, m_strKey, "v").bytes, std::string("new", 4));
}

TEST_F(RegistryEdits, AddRegValueReportsAKeyThatCannotBeCreatedAndARefusedWrite) {
  CreateVolatileKey(HKEY_CURRENT_USER, Sub("Volatile"));
  EXPECT_FALSE(AddRegValue("HKCU\\" + Sub("Volatile\\Lasting"), "v", "x"));
  EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, Sub("Volatile\\Lasting")));
  // A sub key beginning with a backslash names no key at all.
  EXPECT_FALSE(AddRegValue("HKCU\\\\" + m_strKey, "v", "x"));
  // The registry refuses a value name this long.
  EXPECT_FALSE(AddRegValue("HKCU\\" + m_strKey, std::string(20000, 'n'), "x"));
  EXPECT_FALSE(AddRegValue("HKCU\\" + m_strKey, std::string(20000, 'n'), "NUM:1"));
}

TEST_F(RegistryEdits, DelRegValueRemovesTheValueAndCountsAMissingKeyOrValueAsDone) {
  SetRawString(HKEY_CURRENT_USER, m_strKey, "gone", "1");
  SetRawString(HKEY_CURRENT_USER, m_strKey, "stays", "1");
  EXPECT_TRUE(DelRegValue("HKCU\\" + m_strKey, "gone"));
  EXPECT_TRUE(QueryRaw(HKEY_CURRENT_USER, m_strKey, "gone").missing);
  EXPECT_FALSE(QueryRaw(HKEY_CURRENT_USER, m_strKey, "stays").missing);
  EXPECT_TRUE(DelRegValue("HKCU\\" + m_strKey, "gone"));         // missing value
  EXPECT_TRUE(DelRegValue("HKCU\\" + Sub("Missing"), "gone"));   // missing key
  EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, Sub("Missing")));
}

TEST_F(RegistryEdits, DelRegValueAndDelRegKeyReportAKeyThatCannotBeOpened) {
  SetRawString(HKEY_CURRENT_USER, m_strKey, "stays", "1");
  // A sub key beginning with a backslash is a malformed path, not a missing key.
  EXPECT_FALSE(DelRegValue("HKCU\\\\" + m_strKey, "stays"));
  EXPECT_FALSE(DelRegKey("HKCU\\\\" + m_strKey + "\\x"));
  EXPECT_FALSE(QueryRaw(HKEY_CURRENT_USER, m_strKey, "stays").missing);
}

}  // namespace
