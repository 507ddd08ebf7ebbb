#include "crypto/systemrandom.h"

#include <windows.h>

#include <bcrypt.h>

namespace crypto {

bool SystemRandom64(uint64_t& value) {
  return BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value,
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

}  // namespace crypto
