// Random bytes from the system's generator (CNG), for values that must differ between machines.
#pragma once
#include <cstdint>

namespace crypto {

// False when the system gave none.
bool SystemRandom64(uint64_t& value);

}  // namespace crypto
