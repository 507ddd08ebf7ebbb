// SHA-256 through the system's cryptography (CNG), fed piece by piece: a package is hashed while
// it downloads, one receive buffer at a time.
#pragma once
#include <windows.h>

#include <cstddef>
#include <memory>

#include "crypto/bcrypthandles.h"
#include "crypto/sha256digest.h"

namespace crypto {

class CSha256Hasher {
 public:
  // Opens the algorithm and a hash; IsReady() tells whether that worked.
  CSha256Hasher();
  CSha256Hasher(const CSha256Hasher&) = delete;
  CSha256Hasher& operator=(const CSha256Hasher&) = delete;

  bool IsReady() const { return m_lStatus >= 0 && !m_bFinished; }
  // Adds bytes; each call goes straight to the system, so small pieces cost no copy. FALSE once
  // anything has failed, and after Finish.
  bool Update(const void* data, size_t size);
  // The digest of everything added. A hasher gives one digest; take a new one for the next.
  bool Finish(Sha256Digest& digest);
  // The first failing status (an NTSTATUS), 0 while all went well: for diagnostic lines.
  long GetStatus() const { return m_lStatus; }

 private:
  long m_lStatus = 0;
  bool m_bFinished = false;
  // Declared in this order so the hash goes before its object buffer and the algorithm.
  UniqueAlgorithmHandle m_hAlgorithm;
  std::unique_ptr<UCHAR[]> m_pHashObject;
  UniqueHashHandle m_hHash;
};

// The digest of one buffer; FALSE when the system could not make it.
bool Sha256(const void* data, size_t size, Sha256Digest& digest, long* status = nullptr);

}  // namespace crypto
