#include "crypto/ecdsaverifier.h"

#include <cstring>

#include "crypto/sha256hasher.h"

namespace crypto {

CEcdsaP256Verifier::CEcdsaP256Verifier(const P256PublicKey& key) {
  BCRYPT_ALG_HANDLE hAlgorithm = nullptr;
  m_lStatus = ::BCryptOpenAlgorithmProvider(&hAlgorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
  if (m_lStatus < 0) return;
  m_hAlgorithm.Reset(hAlgorithm);

  // The public blob: its header, then X and Y as the key line carries them.
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + kP256PublicKeyBytes];
  BCRYPT_ECCKEY_BLOB header;
  header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
  header.cbKey = kP256CoordinateBytes;
  std::memcpy(blob, &header, sizeof header);
  std::memcpy(blob + sizeof header, key.data(), key.size());

  BCRYPT_KEY_HANDLE hKey = nullptr;
  m_lStatus = ::BCryptImportKeyPair(m_hAlgorithm.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &hKey, blob,
                                    sizeof blob, 0);
  if (m_lStatus < 0) return;
  m_hKey.Reset(hKey);
}

SignatureCheck CEcdsaP256Verifier::Verify(const void* data, size_t size, const P256Signature& signature) {
  if (!IsReady()) return SignatureCheck::kNotChecked;
  Sha256Digest digest;
  if (!Sha256(data, size, digest, &m_lStatus)) return SignatureCheck::kNotChecked;
  P256Signature copy = signature;  // the system's prototype takes no const
  m_lStatus = ::BCryptVerifySignature(m_hKey.Get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                                      copy.data(), static_cast<ULONG>(copy.size()), 0);
  // Whatever the system holds against the signature (STATUS_INVALID_SIGNATURE, or r or s out of
  // range), it is not a good one.
  return m_lStatus >= 0 ? SignatureCheck::kGood : SignatureCheck::kBad;
}

SignatureCheck VerifyWithKeyLine(std::string_view keyLine, const void* data, size_t size,
                                 const P256Signature& signature, long* status) {
  P256PublicKey key;
  if (!ParsePublicKeyLine(keyLine, key)) {
    if (status) *status = 0;
    return SignatureCheck::kNotChecked;
  }
  CEcdsaP256Verifier verifier(key);
  const SignatureCheck check = verifier.Verify(data, size, signature);
  if (status) *status = verifier.GetStatus();
  return check;
}

}  // namespace crypto
