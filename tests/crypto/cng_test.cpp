// The system's SHA-256 and ECDSA P-256 (CNG) as the updater drives them: published vectors, and
// signatures made with the openssl command line tool by the test key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/ecdsaverifier.h"
#include "crypto/hex.h"
#include "crypto/sha256hasher.h"

namespace {

struct OpensslSignature {
  const char* what;
  const char* messageHex;
  size_t patternLength;
  const char* signatureHex;
};

#include "tests/crypto/fixtures/opensslsignatures.inc"

std::string Hex(const crypto::Sha256Digest& digest) { return crypto::EncodeHex(digest.data(), digest.size()); }

template <size_t N>
std::array<unsigned char, N> FromHex(const std::string& text) {
  std::array<unsigned char, N> bytes{};
  EXPECT_TRUE(crypto::DecodeHex(text, bytes.data(), bytes.size())) << text;
  return bytes;
}

std::string HashInPieces(const std::string& message, size_t piece) {
  crypto::CSha256Hasher hasher;
  EXPECT_TRUE(hasher.IsReady()) << std::hex << hasher.GetStatus();
  for (size_t at = 0; at < message.size(); at += piece) {
    EXPECT_TRUE(hasher.Update(message.data() + at, std::min(piece, message.size() - at)));
  }
  crypto::Sha256Digest digest{};
  EXPECT_TRUE(hasher.Finish(digest)) << std::hex << hasher.GetStatus();
  return Hex(digest);
}

// FIPS 180-2, appendix B: one block, two blocks (the 448-bit message), a million "a"; and the
// empty message.
TEST(Sha256, PublishedVectorsWhateverThePieces) {
  const struct {
    const char* what;
    std::string message;
    const char* digest;
  } cases[] = {
      {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"a million a", std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  // The downloader's 4 KB reads, and pieces that cut the 64-byte blocks anywhere.
  const size_t pieces[] = {4096, 1, 3, 63, 64, 65, 1000000};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    crypto::Sha256Digest digest{};
    ASSERT_TRUE(crypto::Sha256(c.message.data(), c.message.size(), digest));
    EXPECT_EQ(Hex(digest), c.digest);
    for (size_t piece : pieces) {
      if (piece == 1 && c.message.size() > 100000) continue;  // a million calls add nothing
      SCOPED_TRACE(piece);
      EXPECT_EQ(HashInPieces(c.message, piece), c.digest);
    }
  }
}

TEST(Sha256, AHasherGivesOneDigest) {
  crypto::CSha256Hasher hasher;
  ASSERT_TRUE(hasher.Update("abc", 3));
  crypto::Sha256Digest digest{};
  ASSERT_TRUE(hasher.Finish(digest));
  EXPECT_FALSE(hasher.IsReady());
  EXPECT_FALSE(hasher.Update("d", 1));
  crypto::Sha256Digest again{};
  EXPECT_FALSE(hasher.Finish(again));
  EXPECT_EQ(Hex(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Sha256, ManyHashersAtOnce) {
  std::vector<std::unique_ptr<crypto::CSha256Hasher>> hashers;
  for (int i = 0; i < 50; ++i) hashers.push_back(std::make_unique<crypto::CSha256Hasher>());
  for (size_t i = 0; i < hashers.size(); ++i) ASSERT_TRUE(hashers[i]->Update("abc", i % 2 == 0 ? 3 : 0));
  for (size_t i = 0; i < hashers.size(); ++i) {
    crypto::Sha256Digest digest{};
    ASSERT_TRUE(hashers[i]->Finish(digest));
    EXPECT_EQ(Hex(digest), i % 2 == 0 ? "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"
                                      : "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  }
}

// RFC 6979, appendix A.2.5: the P-256 key and its SHA-256 signatures of "sample" and "test".
const char kRfcKeyLine[] =
    "ecdsa-p256:60FED4BA255A9D31C961EB74C6356D68C049B8923B61FA6CE669622E60F29FB6"
    "7903FE1008B8BC99A41AE9E95628BC64F2F1B20C2D7E9F5177A3C294D4462299";
const struct {
  const char* message;
  const char* signature;
} kRfcSignatures[] = {
    {"sample",
     "EFD48B2AACB6A8FD1140DD9CD45E81D69D2C877B56AAF991C34D0EA84EAF3716"
     "F7CB1C942D657C41D436C7A1B6E29F65F3E900DBB9AFF4064DC4AB2F843ACDA8"},
    {"test",
     "F1ABB023518351CD71D881567B1EA663ED3EFCF6C5132B354F28D3B0B7D38367"
     "019F4113742A2B14BD25926B49C649155F267E60D3814B4C0CC84250E46F0083"},
};

crypto::SignatureCheck Check(const std::string& keyLine, const std::string& message,
                             const crypto::P256Signature& signature) {
  long status = 0;
  return crypto::VerifyWithKeyLine(keyLine, message.data(), message.size(), signature, &status);
}

TEST(EcdsaP256, Rfc6979Vectors) {
  for (const auto& v : kRfcSignatures) {
    SCOPED_TRACE(v.message);
    const auto signature = FromHex<crypto::kP256SignatureBytes>(v.signature);
    EXPECT_EQ(Check(kRfcKeyLine, v.message, signature), crypto::SignatureCheck::kGood);
    // The other message's signature, and a message one letter off.
    EXPECT_EQ(Check(kRfcKeyLine, std::string(v.message) + "s", signature), crypto::SignatureCheck::kBad);
    EXPECT_EQ(Check(kRfcKeyLine, v.message == std::string("sample") ? "test" : "sample", signature),
              crypto::SignatureCheck::kBad);
  }
}

TEST(EcdsaP256, EveryChangedSignatureByteIsBad) {
  const auto good = FromHex<crypto::kP256SignatureBytes>(kRfcSignatures[0].signature);
  crypto::P256PublicKey key{};
  ASSERT_TRUE(crypto::ParsePublicKeyLine(kRfcKeyLine, key));
  crypto::CEcdsaP256Verifier verifier(key);
  ASSERT_TRUE(verifier.IsReady()) << std::hex << verifier.GetStatus();
  const std::string message = kRfcSignatures[0].message;
  ASSERT_EQ(verifier.Verify(message.data(), message.size(), good), crypto::SignatureCheck::kGood);
  for (size_t i = 0; i < good.size(); ++i) {
    SCOPED_TRACE(i);
    crypto::P256Signature changed = good;
    changed[i] ^= 0x01;
    EXPECT_EQ(verifier.Verify(message.data(), message.size(), changed), crypto::SignatureCheck::kBad);
  }
  // r and s swapped.
  crypto::P256Signature swapped{};
  std::copy(good.begin() + 32, good.end(), swapped.begin());
  std::copy(good.begin(), good.begin() + 32, swapped.begin() + 32);
  EXPECT_EQ(verifier.Verify(message.data(), message.size(), swapped), crypto::SignatureCheck::kBad);
}

TEST(EcdsaP256, OutOfRangeSignaturesAreNeverGood) {
  const std::string order = "FFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551";
  const std::string zero(64, '0');
  const std::string r = std::string(kRfcSignatures[0].signature).substr(0, 64);
  const std::string s = std::string(kRfcSignatures[0].signature).substr(64);
  const struct {
    const char* what;
    std::string signature;
  } cases[] = {
      {"r zero", zero + s}, {"s zero", r + zero}, {"both zero", zero + zero},
      {"r the group order", order + s}, {"s the group order", r + order},
      {"all ones", std::string(128, 'F')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_NE(Check(kRfcKeyLine, "sample", FromHex<crypto::kP256SignatureBytes>(c.signature)),
              crypto::SignatureCheck::kGood);
  }
}

TEST(EcdsaP256, KeysThatAreNoKey) {
  const auto signature = FromHex<crypto::kP256SignatureBytes>(kRfcSignatures[0].signature);
  std::string offCurve = kRfcKeyLine;
  offCurve.back() = '3';  // Y one off: the point is not on the curve
  EXPECT_NE(Check(offCurve, "sample", signature), crypto::SignatureCheck::kGood);
  EXPECT_NE(Check("ecdsa-p256:" + std::string(128, '0'), "sample", signature), crypto::SignatureCheck::kGood);
  // A malformed line checks nothing.
  EXPECT_EQ(Check("ecdsa-p256:", "sample", signature), crypto::SignatureCheck::kNotChecked);
  EXPECT_EQ(Check(std::string(kRfcKeyLine) + " ", "sample", signature), crypto::SignatureCheck::kNotChecked);
}

std::string Message(const OpensslSignature& s) {
  if (s.patternLength == 0) {
    std::string message(std::string(s.messageHex).size() / 2, '\0');
    EXPECT_TRUE(crypto::DecodeHex(s.messageHex, reinterpret_cast<unsigned char*>(&message[0]), message.size()));
    return message;
  }
  std::string message(s.patternLength, '\0');
  for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<char>(i % 256);
  return message;
}

TEST(EcdsaP256, SignaturesMadeWithOpenssl) {
  for (const auto& s : kOpensslSignatures) {
    SCOPED_TRACE(s.what);
    const std::string message = Message(s);
    const auto signature = FromHex<crypto::kP256SignatureBytes>(s.signatureHex);
    EXPECT_EQ(Check(kOpensslKeyLine, message, signature), crypto::SignatureCheck::kGood);
    EXPECT_EQ(Check(kRfcKeyLine, message, signature), crypto::SignatureCheck::kBad);
    std::string changed = message + "x";
    EXPECT_EQ(Check(kOpensslKeyLine, changed, signature), crypto::SignatureCheck::kBad);
    if (!message.empty()) {
      changed = message;
      changed[changed.size() / 2] ^= 0x20;
      EXPECT_EQ(Check(kOpensslKeyLine, changed, signature), crypto::SignatureCheck::kBad);
    }
  }
}

TEST(EcdsaP256, SignedWithAnotherKey) {
  const auto signature = FromHex<crypto::kP256SignatureBytes>(kOtherKeySignatureOfAbc);
  EXPECT_EQ(Check(kOtherKeyLine, "abc", signature), crypto::SignatureCheck::kGood);
  EXPECT_EQ(Check(kOpensslKeyLine, "abc", signature), crypto::SignatureCheck::kBad);
}

}  // namespace
