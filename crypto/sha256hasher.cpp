#include "crypto/sha256hasher.h"

#include <algorithm>
#include <limits>

namespace crypto {

CSha256Hasher::CSha256Hasher() {
  BCRYPT_ALG_HANDLE hAlgorithm = nullptr;
  m_lStatus = ::BCryptOpenAlgorithmProvider(&hAlgorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  if (m_lStatus < 0) return;
  m_hAlgorithm.Reset(hAlgorithm);

  // Windows 7 would allocate the object itself; Vista wants it from the caller, and so it is.
  DWORD dwObjectLength = 0;
  ULONG cbResult = 0;
  m_lStatus = ::BCryptGetProperty(m_hAlgorithm.Get(), BCRYPT_OBJECT_LENGTH,
                                  reinterpret_cast<PUCHAR>(&dwObjectLength), sizeof dwObjectLength, &cbResult, 0);
  if (m_lStatus < 0) return;
  m_pHashObject = std::make_unique<UCHAR[]>(dwObjectLength);

  BCRYPT_HASH_HANDLE hHash = nullptr;
  m_lStatus = ::BCryptCreateHash(m_hAlgorithm.Get(), &hHash, m_pHashObject.get(), dwObjectLength, nullptr, 0, 0);
  if (m_lStatus < 0) return;
  m_hHash.Reset(hHash);
}

bool CSha256Hasher::Update(const void* data, size_t size) {
  if (!IsReady()) return false;
  const UCHAR* p = static_cast<const UCHAR*>(data);
  // The system takes at most a ULONG at a time; a 64-bit caller may hand over more.
  while (size > 0) {
    const ULONG piece = static_cast<ULONG>(std::min<size_t>(size, std::numeric_limits<ULONG>::max()));
    m_lStatus = ::BCryptHashData(m_hHash.Get(), const_cast<PUCHAR>(p), piece, 0);
    if (m_lStatus < 0) return false;
    p += piece;
    size -= piece;
  }
  return true;
}

bool CSha256Hasher::Finish(Sha256Digest& digest) {
  if (!IsReady()) return false;
  m_bFinished = true;
  m_lStatus = ::BCryptFinishHash(m_hHash.Get(), digest.data(), static_cast<ULONG>(digest.size()), 0);
  return m_lStatus >= 0;
}

bool Sha256(const void* data, size_t size, Sha256Digest& digest, long* status) {
  CSha256Hasher hasher;
  const bool bDone = hasher.Update(data, size) && hasher.Finish(digest);
  if (status) *status = hasher.GetStatus();
  return bDone;
}

}  // namespace crypto
