// Owning wrappers for the CNG handles of the hasher and the verifier.
#pragma once
#include <windows.h>
#include <bcrypt.h>

#include "framework/scopedhandle.h"

namespace crypto {

struct AlgorithmHandleTraits {
  static BCRYPT_ALG_HANDLE Invalid() { return nullptr; }
  static bool IsValid(BCRYPT_ALG_HANDLE h) { return h != nullptr; }
  static void Close(BCRYPT_ALG_HANDLE h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
using UniqueAlgorithmHandle = framework::ScopedHandle<BCRYPT_ALG_HANDLE, AlgorithmHandleTraits>;

struct HashHandleTraits {
  static BCRYPT_HASH_HANDLE Invalid() { return nullptr; }
  static bool IsValid(BCRYPT_HASH_HANDLE h) { return h != nullptr; }
  static void Close(BCRYPT_HASH_HANDLE h) { ::BCryptDestroyHash(h); }
};
using UniqueHashHandle = framework::ScopedHandle<BCRYPT_HASH_HANDLE, HashHandleTraits>;

struct KeyHandleTraits {
  static BCRYPT_KEY_HANDLE Invalid() { return nullptr; }
  static bool IsValid(BCRYPT_KEY_HANDLE h) { return h != nullptr; }
  static void Close(BCRYPT_KEY_HANDLE h) { ::BCryptDestroyKey(h); }
};
using UniqueKeyHandle = framework::ScopedHandle<BCRYPT_KEY_HANDLE, KeyHandleTraits>;

}  // namespace crypto
