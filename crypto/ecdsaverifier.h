// ECDSA P-256 with SHA-256 through the system's cryptography (CNG): whether a signature r || s
// over some bytes was made with the private key of a public key.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string_view>

#include "crypto/bcrypthandles.h"
#include "crypto/publickeyline.h"

namespace crypto {

class CEcdsaP256Verifier {
 public:
  // Imports the key once for any number of checks; IsReady() tells whether the system took it.
  explicit CEcdsaP256Verifier(const P256PublicKey& key);
  CEcdsaP256Verifier(const CEcdsaP256Verifier&) = delete;
  CEcdsaP256Verifier& operator=(const CEcdsaP256Verifier&) = delete;

  bool IsReady() const { return m_hKey.IsValid(); }
  SignatureCheck Verify(const void* data, size_t size, const P256Signature& signature);
  // The last failing status (an NTSTATUS), 0 when the last step went well: for diagnostic lines.
  long GetStatus() const { return m_lStatus; }

 private:
  long m_lStatus = 0;
  // The key goes before its algorithm.
  UniqueAlgorithmHandle m_hAlgorithm;
  UniqueKeyHandle m_hKey;
};

// The same against a key line ("ecdsa-p256:" and 128 digits); a malformed line checks nothing.
SignatureCheck VerifyWithKeyLine(std::string_view keyLine, const void* data, size_t size,
                                 const P256Signature& signature, long* status = nullptr);

}  // namespace crypto
