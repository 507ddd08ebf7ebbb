// The record of a partly downloaded package: what it keeps, and that nothing half-written or
// about another package is taken for it.
#include <gtest/gtest.h>

#include <string>

#include "net/partialrecord.h"

namespace {

const std::string kPin(64, 'a');
const std::string kOtherPin(64, 'b');

PartialRecord Sample() {
  PartialRecord record;
  record.strUrl = "http://example.invalid/talvoupdate/Talvo_341.zip";
  record.nPinnedSize = 41943040;
  record.strPinnedSha256 = kPin;
  record.strETag = "\"2800000-5f1\"";
  record.strLastModified = "Tue, 14 Nov 2023 22:13:20 GMT";
  record.nBytesOnDisk = 3u << 20;
  return record;
}

TEST(PartialRecord, ReadsBackWhatItWrote) {
  const PartialRecord record = Sample();
  PartialRecord read;
  ASSERT_TRUE(read.Parse(record.Format()));
  EXPECT_EQ(read.strUrl, record.strUrl);
  EXPECT_EQ(read.nPinnedSize, record.nPinnedSize);
  EXPECT_EQ(read.strPinnedSha256, record.strPinnedSha256);
  EXPECT_EQ(read.strETag, record.strETag);
  EXPECT_EQ(read.strLastModified, record.strLastModified);
  EXPECT_EQ(read.nBytesOnDisk, record.nBytesOnDisk);
}

TEST(PartialRecord, RefusesAnythingButAWholeRecord) {
  const std::string text = Sample().Format();
  PartialRecord read;
  // Every cut of the text (a write that did not finish) is refused.
  for (size_t n = 0; n < text.size(); ++n) EXPECT_FALSE(read.Parse(text.substr(0, n))) << n;
  std::string swapped = text;
  swapped.replace(swapped.find("bytes="), 6, "bites=");
  EXPECT_FALSE(read.Parse(swapped));
  EXPECT_FALSE(read.Parse(text + "more\n"));
  std::string badPin = text;
  badPin.replace(badPin.find("sha256=") + 7, 1, "A");
  EXPECT_FALSE(read.Parse(badPin));
  std::string badCount = text;
  badCount.replace(badCount.find("bytes=") + 6, 1, "-");
  EXPECT_FALSE(read.Parse(badCount));
}

TEST(PartialRecord, ContinuesOnlyThePinItWasMadeForWithAValidatorAndSomeBytes) {
  struct Case {
    const char* what;
    void (*change)(PartialRecord&);
    bool continues;
  };
  const Case cases[] = {
      {"as made", [](PartialRecord&) {}, true},
      {"only Last-Modified", [](PartialRecord& r) { r.strETag.clear(); }, true},
      {"no validator", [](PartialRecord& r) { r.strETag.clear(), r.strLastModified.clear(); }, false},
      {"another pin", [](PartialRecord& r) { r.strPinnedSha256 = kOtherPin; }, false},
      {"another size", [](PartialRecord& r) { r.nPinnedSize += 1; }, false},
      {"nothing on disk", [](PartialRecord& r) { r.nBytesOnDisk = 0; }, false},
      {"all on disk", [](PartialRecord& r) { r.nBytesOnDisk = r.nPinnedSize; }, false},
      {"more than the package", [](PartialRecord& r) { r.nBytesOnDisk = r.nPinnedSize + 1; }, false},
  };
  for (const Case& c : cases) {
    PartialRecord record = Sample();
    c.change(record);
    EXPECT_EQ(record.CanContinue(41943040, kPin), c.continues) << c.what;
  }
}

TEST(PartialRecord, NamesCarryThePin) {
  EXPECT_EQ(PinOfPartialName(PartialBodyName(kPin)), kPin);
  EXPECT_EQ(PinOfPartialName(PartialRecordName(kPin)), kPin);
  EXPECT_EQ(PinOfPartialName(kPin + ".tmp"), "");
  EXPECT_EQ(PinOfPartialName("Talvo_341.zip.part"), "");
  EXPECT_EQ(PinOfPartialName(std::string(64, 'A') + ".part"), "");
}

}  // namespace
