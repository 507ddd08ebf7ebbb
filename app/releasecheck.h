// Whether the update information document may be read at all, in a build that carries a release
// key: it must be signed with that key, and its release must not be older than the highest this
// machine has accepted. No system calls: the signature check comes in as a function, so the
// rules are tested without Windows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "crypto/publickeyline.h"

// The product name under which the accepted release is recorded ("Release" + name). The check runs
// before the catalogue exists, so it takes the name the information request uses.
constexpr char kReleaseProjectName[] = "Talvo";

// Checks `signature` over `data` with `key`; `status` gets the system's status for the log.
using SignatureVerifier = std::function<crypto::SignatureCheck(
    const crypto::P256PublicKey& key, std::string_view data, const crypto::P256Signature& signature, long& status)>;

struct ReleaseCheck {
  bool bAccepted = false;
  // Accepted only: the bytes the signature covers (a view into the document), all that is read
  // from here on; the release number; whether it is above the highest accepted so far.
  std::string_view covered;
  uint32_t nRelease = 0;
  bool bRecord = false;
  // The diagnostic line, "Release check: ...", without its line end.
  std::string strLogLine;
};

// `acceptedText` is the recorded highest release ("" or anything unreadable: none yet).
ReleaseCheck CheckRelease(std::string_view document, std::string_view keyLine, std::string_view acceptedText,
                          const SignatureVerifier& verify);
