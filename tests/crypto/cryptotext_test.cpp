// Hexadecimal texts and the release key line.
#include <gtest/gtest.h>

#include <string>

#include "crypto/hex.h"
#include "crypto/publickeyline.h"

namespace {

TEST(Hex, DecodesExactlyTwoDigitsPerByte) {
  const struct {
    const char* what;
    std::string text;
    crypto::HexDigits digits;
    bool ok;
    std::string bytes;
  } cases[] = {
      {"lower case", "00ff7a", crypto::HexDigits::kAnyCase, true, std::string("\x00\xff\x7a", 3)},
      {"upper case", "00FF7A", crypto::HexDigits::kAnyCase, true, std::string("\x00\xff\x7a", 3)},
      {"mixed case", "00fF7a", crypto::HexDigits::kAnyCase, true, std::string("\x00\xff\x7a", 3)},
      {"upper case where only lower is taken", "00FF7A", crypto::HexDigits::kLowerCase, false, ""},
      {"lower case where only lower is taken", "00ff7a", crypto::HexDigits::kLowerCase, true,
       std::string("\x00\xff\x7a", 3)},
      {"one digit short", "00ff7", crypto::HexDigits::kAnyCase, false, ""},
      {"one digit over", "00ff7a0", crypto::HexDigits::kAnyCase, false, ""},
      {"a byte over", "00ff7a00", crypto::HexDigits::kAnyCase, false, ""},
      {"not a digit", "00fg7a", crypto::HexDigits::kAnyCase, false, ""},
      {"a space", "00 f7a", crypto::HexDigits::kAnyCase, false, ""},
      {"a sign", "+0ff7a", crypto::HexDigits::kAnyCase, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    unsigned char out[3] = {0x11, 0x22, 0x33};
    EXPECT_EQ(crypto::DecodeHex(c.text, out, sizeof out, c.digits), c.ok);
    if (c.ok) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(out), sizeof out), c.bytes);
    } else {
      // A refused text leaves the buffer as it was.
      EXPECT_EQ(std::string(reinterpret_cast<char*>(out), sizeof out), "\x11\x22\x33");
    }
  }
}

TEST(Hex, EncodesInLowerCase) {
  const unsigned char bytes[] = {0x00, 0x09, 0xab, 0xff};
  EXPECT_EQ(crypto::EncodeHex(bytes, sizeof bytes), "0009abff");
  EXPECT_EQ(crypto::EncodeHex(bytes, 0), "");
}

// X and Y of the RFC 6979 A.2.5 key.
const std::string kX = "60FED4BA255A9D31C961EB74C6356D68C049B8923B61FA6CE669622E60F29FB6";
const std::string kY = "7903FE1008B8BC99A41AE9E95628BC64F2F1B20C2D7E9F5177A3C294D4462299";

TEST(PublicKeyLine, IsThePrefixAndXThenY) {
  crypto::P256PublicKey key{};
  ASSERT_TRUE(crypto::ParsePublicKeyLine("ecdsa-p256:" + kX + kY, key));
  EXPECT_EQ(key[0], 0x60);
  EXPECT_EQ(key[31], 0xb6);
  EXPECT_EQ(key[32], 0x79);
  EXPECT_EQ(key[63], 0x99);
  std::string lower = "ecdsa-p256:" + kX + kY;
  for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(crypto::FormatPublicKeyLine(key), lower);
}

TEST(PublicKeyLine, AnythingElseIsRefused) {
  const std::string good = "ecdsa-p256:" + kX + kY;
  const struct {
    const char* what;
    std::string line;
  } cases[] = {
      {"empty", ""},
      {"prefix only", "ecdsa-p256:"},
      {"no prefix", kX + kY},
      {"prefix in capitals", "ECDSA-P256:" + kX + kY},
      {"another curve", "ecdsa-p384:" + kX + kY},
      {"X only", "ecdsa-p256:" + kX},
      {"one digit short", good.substr(0, good.size() - 1)},
      {"one byte over", good + "00"},
      {"a space after the prefix", "ecdsa-p256: " + kX + kY},
      {"a line end after it", good + "\n"},
      {"a space before it", " " + good},
      {"the compressed form", "ecdsa-p256:04" + kX + kY},
      {"not a digit", "ecdsa-p256:" + kX + kY.substr(0, 63) + "g"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    crypto::P256PublicKey key{};
    EXPECT_FALSE(crypto::ParsePublicKeyLine(c.line, key));
  }
}

}  // namespace
