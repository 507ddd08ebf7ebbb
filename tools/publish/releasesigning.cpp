#include "tools/publish/releasesigning.h"

#include <fcntl.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

namespace signing {

const char kPublicKeyPrefix[] = "ecdsa-p256:";

namespace {

constexpr size_t kCoordinateBytes = 32;

struct PkeyFree { void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); } };
struct MdCtxFree { void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); } };
struct SigFree { void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); } };
struct BnFree { void operator()(BIGNUM* p) const { BN_free(p); } };
struct BioFree { void operator()(BIO* p) const { BIO_free(p); } };
struct ParamBldFree { void operator()(OSSL_PARAM_BLD* p) const { OSSL_PARAM_BLD_free(p); } };
struct ParamFree { void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); } };
struct PkeyCtxFree { void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); } };
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

std::string OpenSslError(const char* what) {
  char buffer[256] = {};
  ERR_error_string_n(ERR_get_error(), buffer, sizeof buffer);
  return std::string(what) + ": " + buffer;
}

std::string ToHex(const unsigned char* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

bool FromHex(const std::string& hex, std::vector<unsigned char>& out) {
  if (hex.size() % 2) return false;
  out.clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    unsigned value = 0;
    for (size_t j = i; j < i + 2; ++j) {
      const char c = hex[j];
      value <<= 4;
      if (c >= '0' && c <= '9') value |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f') value |= static_cast<unsigned>(c - 'a' + 10);
      else return false;
    }
    out.push_back(static_cast<unsigned char>(value));
  }
  return true;
}

bool PublicKeyLineOf(EVP_PKEY* key, std::string& line, std::string& error) {
  unsigned char point[1 + 2 * kCoordinateBytes];
  size_t length = 0;
  if (!EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &length) ||
      length != sizeof point || point[0] != 0x04) {
    error = OpenSslError("cannot read the public key");
    return false;
  }
  line = kPublicKeyPrefix + ToHex(point + 1, 2 * kCoordinateBytes);
  return true;
}

Pkey LoadPrivateKey(const std::string& file, std::string& error) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new_file(file.c_str(), "r"));
  if (!bio) {
    error = "cannot read the key file " + file;
    return nullptr;
  }
  Pkey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  if (!key) {
    error = OpenSslError(("no private key in " + file).c_str());
    return nullptr;
  }
  if (!EVP_PKEY_is_a(key.get(), "EC")) {
    error = file + " holds no P-256 key";
    return nullptr;
  }
  char group[32] = {};
  if (!EVP_PKEY_get_utf8_string_param(key.get(), OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, nullptr) ||
      std::string(group) != "prime256v1") {
    error = file + " holds no P-256 key";
    return nullptr;
  }
  return key;
}

Pkey PublicKeyFromLine(const std::string& line) {
  const std::string prefix = kPublicKeyPrefix;
  std::vector<unsigned char> xy;
  if (line.compare(0, prefix.size(), prefix) != 0 || !FromHex(line.substr(prefix.size()), xy) ||
      xy.size() != 2 * kCoordinateBytes)
    return nullptr;
  std::vector<unsigned char> point(1, 0x04);
  point.insert(point.end(), xy.begin(), xy.end());
  std::unique_ptr<OSSL_PARAM_BLD, ParamBldFree> build(OSSL_PARAM_BLD_new());
  if (!build || !OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0) ||
      !OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()))
    return nullptr;
  std::unique_ptr<OSSL_PARAM, ParamFree> params(OSSL_PARAM_BLD_to_param(build.get()));
  std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* key = nullptr;
  if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0 ||
      EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) <= 0)
    return nullptr;
  return Pkey(key);
}

}  // namespace

bool GenerateKeyPair(const std::string& strKeyFile, std::string& strPublicKey, std::string& strError) {
  Pkey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  if (!key) {
    strError = OpenSslError("cannot make a key pair");
    return false;
  }
  if (!PublicKeyLineOf(key.get(), strPublicKey, strError)) return false;
  // Owner-only from the first byte, and never over an existing key.
  const int fd = ::open(strKeyFile.c_str(), O_WRONLY | O_CREAT | O_EXCL, S_IRUSR | S_IWUSR);
  if (fd < 0) {
    strError = "cannot create " + strKeyFile + " (it must not exist yet)";
    return false;
  }
  FILE* file = ::fdopen(fd, "w");
  if (!file) {
    ::close(fd);
    strError = "cannot write " + strKeyFile;
    return false;
  }
  const bool written = PEM_write_PrivateKey(file, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    ::unlink(strKeyFile.c_str());
    strError = "cannot write " + strKeyFile;
    return false;
  }
  return true;
}

bool ReadPublicKey(const std::string& strKeyFile, std::string& strPublicKey, std::string& strError) {
  Pkey key = LoadPrivateKey(strKeyFile, strError);
  return key && PublicKeyLineOf(key.get(), strPublicKey, strError);
}

bool Sign(const std::string& strKeyFile, const std::string& strSigned, std::string& strSignature,
          std::string& strError) {
  Pkey key = LoadPrivateKey(strKeyFile, strError);
  if (!key) return false;
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  size_t derLength = 0;
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
      EVP_DigestSign(ctx.get(), nullptr, &derLength,
                     reinterpret_cast<const unsigned char*>(strSigned.data()), strSigned.size()) != 1) {
    strError = OpenSslError("cannot sign");
    return false;
  }
  std::vector<unsigned char> der(derLength);
  if (EVP_DigestSign(ctx.get(), der.data(), &derLength, reinterpret_cast<const unsigned char*>(strSigned.data()),
                     strSigned.size()) != 1) {
    strError = OpenSslError("cannot sign");
    return false;
  }
  const unsigned char* p = der.data();
  std::unique_ptr<ECDSA_SIG, SigFree> sig(d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(derLength)));
  unsigned char rs[2 * kCoordinateBytes];
  if (!sig || BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), rs, kCoordinateBytes) != kCoordinateBytes ||
      BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), rs + kCoordinateBytes, kCoordinateBytes) != kCoordinateBytes) {
    strError = OpenSslError("cannot encode the signature");
    return false;
  }
  strSignature = ToHex(rs, sizeof rs);
  return true;
}

bool Verify(const std::string& strPublicKey, const std::string& strSigned, const std::string& strSignature) {
  Pkey key = PublicKeyFromLine(strPublicKey);
  std::vector<unsigned char> rs;
  if (!key || !FromHex(strSignature, rs) || rs.size() != 2 * kCoordinateBytes) return false;
  std::unique_ptr<ECDSA_SIG, SigFree> sig(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(rs.data(), kCoordinateBytes, nullptr);
  BIGNUM* s = BN_bin2bn(rs.data() + kCoordinateBytes, kCoordinateBytes, nullptr);
  if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return false;
  }
  unsigned char* der = nullptr;
  const int derLength = i2d_ECDSA_SIG(sig.get(), &der);
  if (derLength <= 0) return false;
  std::unique_ptr<unsigned char, void (*)(void*)> derOwner(der, [](void* q) { OPENSSL_free(q); });
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  return ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
         EVP_DigestVerify(ctx.get(), der, static_cast<size_t>(derLength),
                          reinterpret_cast<const unsigned char*>(strSigned.data()), strSigned.size()) == 1;
}

std::string Sha256Hex(const std::string& strBytes) {
  unsigned char digest[32];
  unsigned int length = 0;
  EVP_Digest(strBytes.data(), strBytes.size(), digest, &length, EVP_sha256(), nullptr);
  return ToHex(digest, length);
}

bool Sha256OfFile(const std::string& strPath, std::string& strHex, unsigned long long& nSize) {
  std::ifstream in(strPath, std::ios::binary);
  if (!in) return false;
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return false;
  std::vector<char> buffer(1 << 16);
  nSize = 0;
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<size_t>(got));
    nSize += static_cast<unsigned long long>(got);
  }
  if (in.bad()) return false;
  unsigned char digest[32];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return false;
  strHex = ToHex(digest, length);
  return true;
}

}  // namespace signing
