// Each standard component kind reads its own keys of the document, the client program those of
// the build the machine takes.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/componentkind.h"

namespace {

const char kDocument[] =
    "[Talvo]\n"
    "XP_VERSION=3.41\nXP_DOWNLOADURL=http://h/xp.zip\nXP_DOWNLOADURL_SIZE=1\nXP_COMPULSION=1\n"
    "98_VERSION=3.40\n98_DOWNLOADURL=http://h/98.zip\n98_COMPULSION=0\n"
    "[POLICE_DATA]\nDAT_VERSION=1.05\nDOWN_DAT_URL=http://h/dat.zip\nDAT_COMPULSION=1\n"
    "[SERVER_LIST]\nSERVER_VERSION=27\nSERVER_DOWN_URL=http://h/list.zip\nSERVER_COMPULSION=0\n"
    "[LOGIN_OCX]\nOCX_VERSION=1.0.0.8\nOCX_DOWN_URL=http://h/ocx.zip\nOCX_COMPULSION=1\n"
    "[OPTIONS]\nOPTIONS_VERSION=5\nOPTION_COMPULSION=0\n"
    "[END]\n";

TEST(ComponentKind, EachRowReadsItsOwnKeys) {
  CProjectData data;
  ASSERT_TRUE(data.Parse(kDocument));
  const struct {
    ComponentKind kind;
    bool bXP;
    const char* version;
    const char* url;
    const char* compulsion;
    bool pinned;
  } cases[] = {
      {KIND_CLIENT_PROGRAM, true, "3.41", "http://h/xp.zip", "1", true},
      {KIND_CLIENT_PROGRAM, false, "3.40", "http://h/98.zip", "0", false},
      {KIND_LOGIN_CONTROL, true, "1.0.0.8", "http://h/ocx.zip", "1", false},
      {KIND_FILTER_DATA, false, "1.05", "http://h/dat.zip", "1", false},
      {KIND_SERVER_LIST, true, "27", "http://h/list.zip", "0", false},
      {KIND_OPTION_SETTINGS, true, "5", "", "0", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.kind) + (c.bXP ? " XP" : " 98"));
    const ComponentKindRow* row = FindComponentKind(c.kind);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->VersionIn(data, c.bXP), c.version);
    EXPECT_EQ(row->UrlIn(data, c.bXP), c.url);
    EXPECT_EQ(row->CompulsionIn(data, c.bXP), c.compulsion);
    EXPECT_EQ(!row->PinIn(data, c.bXP).IsEmpty(), c.pinned);
  }
  EXPECT_EQ(FindComponentKind(KIND_EXTRA_PROJECT), nullptr);

  const OfferedVersions offered = ReadOfferedVersions(data);
  EXPECT_EQ(offered.strXPVersion, "3.41");
  EXPECT_EQ(offered.str98Version, "3.40");
  EXPECT_EQ(offered.strOcxVersion, "1.0.0.8");
  EXPECT_EQ(offered.strDatVersion, "1.05");
  EXPECT_EQ(offered.strServerVersion, "27");
  EXPECT_EQ(offered.strOptionsVersion, "5");
}

}  // namespace
