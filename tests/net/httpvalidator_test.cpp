// The validators kept beside the last information document: what the record keeps, that nothing
// half-written is taken for it, and that no kept value can smuggle a header into a request.
#include <gtest/gtest.h>

#include <string>

#include "net/httpvalidator.h"

namespace {

HttpValidator Sample() {
  HttpValidator validator;
  validator.strETag = "\"5f1e-3a9c0d\"";
  validator.strLastModified = "Tue, 14 Nov 2023 22:13:20 GMT";
  return validator;
}

TEST(HttpValidator, RecordReadsBackWithEitherOrBothValidators) {
  HttpValidator weakOnly;
  weakOnly.strETag = "W/\"12-ab\"";
  HttpValidator dateOnly;
  dateOnly.strLastModified = Sample().strLastModified;
  for (const HttpValidator& kept : {Sample(), weakOnly, dateOnly}) {
    HttpValidator read;
    ASSERT_TRUE(read.ParseRecord(kept.FormatRecord())) << kept.FormatRecord();
    EXPECT_EQ(read.strETag, kept.strETag);
    EXPECT_EQ(read.strLastModified, kept.strLastModified);
  }
}

TEST(HttpValidator, RefusesAnythingButAWholeRecordWithAValidator) {
  const std::string text = Sample().FormatRecord();
  HttpValidator read = Sample();
  // Every cut of the text (a write that did not finish) is refused, and leaves what was there.
  for (size_t n = 0; n < text.size(); ++n) EXPECT_FALSE(read.ParseRecord(text.substr(0, n))) << n;
  EXPECT_EQ(read.strETag, Sample().strETag);
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"nothing kept", HttpValidator().FormatRecord()},
      {"a line after the end", text + "etag=\"x\"\n"},
      {"keys swapped", "TalvoValidator 1\nlast-modified=x\netag=\"y\"\nend\n"},
      {"another format", "TalvoPartial 1\netag=\"y\"\nlast-modified=\nend\n"},
      {"CR LF line ends", "TalvoValidator 1\r\netag=\"y\"\r\nlast-modified=\r\nend\r\n"},
      {"a control byte in a value", "TalvoValidator 1\netag=\"y\r\"\nlast-modified=\nend\n"},
      {"a byte past ASCII", "TalvoValidator 1\netag=\"\xEB\xB0\x94\"\nlast-modified=\nend\n"},
      {"an overlong value", "TalvoValidator 1\netag=\"" + std::string(300, 'a') + "\"\nlast-modified=\nend\n"},
  };
  for (const auto& c : cases) EXPECT_FALSE(read.ParseRecord(c.text)) << c.what;
}

TEST(HttpValidator, ConditionalHeadersCarryOnlySafeValues) {
  EXPECT_EQ(Sample().ConditionalHeaders(),
            "If-None-Match: \"5f1e-3a9c0d\"\r\nIf-Modified-Since: Tue, 14 Nov 2023 22:13:20 GMT\r\n");
  HttpValidator dateOnly;
  dateOnly.strLastModified = "Tue, 14 Nov 2023 22:13:20 GMT";
  EXPECT_EQ(dateOnly.ConditionalHeaders(), "If-Modified-Since: Tue, 14 Nov 2023 22:13:20 GMT\r\n");
  EXPECT_EQ(HttpValidator().ConditionalHeaders(), "");
  // A value that would end its header line and start another is never sent.
  HttpValidator injected = Sample();
  injected.strETag = "\"a\"\r\nX-Injected: 1";
  EXPECT_EQ(injected.ConditionalHeaders(), "");
}

}  // namespace
