// The maker's signing with OpenSSL, in the encodings the updater reads: published vectors
// (FIPS 180-2 SHA-256, the ECDSA P-256 example of RFC 4754 section 8.1), a fresh key pair's
// signatures verified, and any change of a byte refused.
#include "tools/publish/releasesigning.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// RFC 4754, 8.1 (ECDSA-256): public key of w = DC51D386..., and the signature of "abc".
const char kRfc4754PublicKey[] =
    "ecdsa-p256:2442a5cc0ecd015fa3ca31dc8e2bbc70bf42d60cbca20085e0822cb04235e970"
    "6fc98bd7e50211a4a27102fa3549df79ebcb4bf246b80945cddfe7d509bbfd7d";
const char kRfc4754Signature[] =
    "cb28e0999b9c7715fd0a80d8e47a77079716cbbf917dd72e97566ea1c066957c"
    "86fa3bb4e26cad5bf90b7f81899256ce7594bb1ea0c89212748bff3b3d5b0315";

std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/talvo-signing-" + std::to_string(::getpid()) + "-" + name;
}

TEST(ReleaseSigning, Sha256OfPublishedVectors) {
  struct Case {
    std::string message;
    const char* digest;
  };
  const Case cases[] = {
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
  };
  for (const Case& c : cases) EXPECT_EQ(signing::Sha256Hex(c.message), c.digest) << c.message;
}

TEST(ReleaseSigning, VerifiesThePublishedSignatureAndNothingElse) {
  EXPECT_TRUE(signing::Verify(kRfc4754PublicKey, "abc", kRfc4754Signature));
  EXPECT_FALSE(signing::Verify(kRfc4754PublicKey, "abd", kRfc4754Signature));
  std::string signature = kRfc4754Signature;
  signature[10] = signature[10] == '0' ? '1' : '0';
  EXPECT_FALSE(signing::Verify(kRfc4754PublicKey, "abc", signature));
  struct Bad {
    const char* what;
    std::string key;
    std::string signature;
  };
  const std::string key = kRfc4754PublicKey;
  const Bad bad[] = {
      {"no prefix", key.substr(11), kRfc4754Signature},
      {"short key", key.substr(0, key.size() - 2), kRfc4754Signature},
      {"upper-case hex", "ecdsa-p256:" + std::string(128, 'A'), kRfc4754Signature},
      {"point off the curve", "ecdsa-p256:" + std::string(128, '1'), kRfc4754Signature},
      {"short signature", key, std::string(kRfc4754Signature).substr(2)},
      {"empty signature", key, ""},
  };
  for (const Bad& b : bad) EXPECT_FALSE(signing::Verify(b.key, "abc", b.signature)) << b.what;
}

TEST(ReleaseSigning, FreshKeyPairSignsForItsPublicKeyOnly) {
  const std::string keyFile = TempPath("key.pem"), otherFile = TempPath("other.pem");
  std::string publicKey, otherKey, error;
  ASSERT_TRUE(signing::GenerateKeyPair(keyFile, publicKey, error)) << error;
  ASSERT_TRUE(signing::GenerateKeyPair(otherFile, otherKey, error)) << error;
  struct stat st = {};
  ASSERT_EQ(::stat(keyFile.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "the private key must be readable by its owner only";
  EXPECT_EQ(publicKey.rfind("ecdsa-p256:", 0), 0u);
  EXPECT_EQ(publicKey.size(), 11u + 128u);
  std::string again;
  ASSERT_TRUE(signing::ReadPublicKey(keyFile, again, error)) << error;
  EXPECT_EQ(again, publicKey);
  // An existing key is never overwritten.
  EXPECT_FALSE(signing::GenerateKeyPair(keyFile, again, error));

  const std::string document = "[Talvo]\r\nXP_VERSION=3.41\r\n";
  std::string signature;
  ASSERT_TRUE(signing::Sign(keyFile, document, signature, error)) << error;
  EXPECT_EQ(signature.size(), 128u);
  EXPECT_TRUE(signing::Verify(publicKey, document, signature));
  EXPECT_FALSE(signing::Verify(otherKey, document, signature));
  for (size_t i = 0; i < document.size(); ++i) {
    std::string changed = document;
    changed[i] ^= 0x01;
    EXPECT_FALSE(signing::Verify(publicKey, changed, signature)) << "byte " << i;
  }
  std::remove(keyFile.c_str());
  std::remove(otherFile.c_str());
}

}  // namespace
