// The release keys an installation trusts after the key changes it applied, as kept beside the
// updater (localstate/keyrecord): which change came last, the keys the changes brought in and the
// keys they retired. The build's own keys are trusted besides the recorded ones, but a retired key
// never again, even when a build carries it.
//
// The record's text, LF line ends, nothing else:
//   CHANGE=<the last change applied, 1 to 2^31-1>
//   TRUSTED=ecdsa-p256:<128 hex digits>     (one or more)
//   RETIRED=ecdsa-p256:<128 hex digits>     (one or more)
// Portable: no system calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/publickeyline.h"

struct KeyTrust {
  uint32_t nLastChange = 0;  // 0: no change applied here
  std::vector<crypto::P256PublicKey> trusted;
  std::vector<crypto::P256PublicKey> retired;

  bool Trusts(const crypto::P256PublicKey& key) const;
  bool Retired(const crypto::P256PublicKey& key) const;
  // Trusts `newKey` and no longer `retiredKey`, for good, as change `number`.
  void Apply(uint32_t number, const crypto::P256PublicKey& newKey, const crypto::P256PublicKey& retiredKey);
};

// Exactly the form above; false for anything else (the record is then never taken for none).
bool ParseKeyRecord(std::string_view text, KeyTrust& trust);
std::string FormatKeyRecord(const KeyTrust& trust);

// What an installation trusts before this document's changes: the build's keys and the recorded
// ones, without the recorded retired ones. The build's keys come first, in their order.
KeyTrust StartingTrust(const std::vector<crypto::P256PublicKey>& buildKeys, const KeyTrust& recorded);
