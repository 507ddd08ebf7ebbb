// Whether the update information document may be read at all, in a build that carries release
// keys: it must be signed with a key this installation trusts (the build's keys and those key
// changes brought in, never one a change retired), and its release must not be older than the
// highest this machine has accepted. The key changes it carries are applied first, in order. No system calls: the signature check comes in as a function, so the
// rules are tested without Windows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/keytrust.h"
#include "catalogue/packagepin.h"
#include "crypto/publickeyline.h"
#include "crypto/sha256digest.h"

// The product name under which the accepted release is recorded ("Release" + name). The check runs
// before the catalogue exists, so it takes the name the information request uses.
constexpr char kReleaseProjectName[] = "Talvo";

// Checks `signature` over `data` with `key`; `status` gets the system's status for the log.
using SignatureVerifier = std::function<crypto::SignatureCheck(
    const crypto::P256PublicKey& key, std::string_view data, const crypto::P256Signature& signature, long& status)>;

struct ReleaseCheck {
  bool bAccepted = false;
  // Accepted only: the bytes the signature covers (a view into the document), all that is read
  // from here on; the release number; whether it is above the highest accepted so far (or found
  // only in the old per-user place, which the record replaces).
  std::string_view covered;
  uint32_t nRelease = 0;
  bool bRecord = false;
  // The diagnostic line, "Release check: ...", without its line end.
  std::string strLogLine;
  // Accepted only: the key changes this document applied here, one line each ("Release check: key
  // change N applied: ..."), to be logged before strLogLine; with any, the trust to record.
  std::vector<std::string> saKeyChangeLines;
  bool bRecordKeys = false;
  KeyTrust keys;
};

// The highest release this installation has accepted, as stored (localstate/releaserecord).
struct RecordedRelease {
  enum State {
    kNone,        // nothing stored anywhere: a fresh installation, whose first document is accepted
    kFound,       // `text` is what is stored, to be read as a number
    kUnreadable,  // stored, but the system would not give it: `error` is its error code
  };
  State state = kNone;
  std::string text;
  std::string where;  // the file or value, named in the log
  unsigned long error = 0;
  bool bOldPlace = false;  // found where older updaters kept it: an accepted release is recorded anew
};

// A stored release: decimal digits only, no sign, blank or line end, no leading zero, 1 to
// 2^64-1. Anything else is not a number this updater wrote, and is never taken for none.
bool ParseRecordedRelease(std::string_view text, uint64_t& number);

// How long after its expiry time a document is still taken, for clocks that are off.
constexpr int64_t kExpirySlackSeconds = 24 * 60 * 60;

// Refuses, saying so, a document more than the slack past its expiry time at `nowUtcSeconds`
// (seconds since 1970 UTC): one that someone keeps serving after the maker stopped refreshing it.
// A document signed without an expiry time (before the publisher wrote one) is taken.
// Refuses, saying so, a stored release that cannot be read: an unreadable record must not open
// the way to an older release. A stored number no release can rise above is named with its place
// in every refusal, so the log says what blocks updates and where.
ReleaseCheck CheckRelease(std::string_view document, std::string_view keyLine, const RecordedRelease& recorded,
                          const SignatureVerifier& verify, int64_t nowUtcSeconds);

// The release keys this installation recorded after the key changes it applied
// (localstate/keyrecord).
struct RecordedKeys {
  enum State {
    kNone,        // no change applied here: the build's keys are trusted
    kFound,       // `text` is what is stored, to be read as a key record (keytrust.h)
    kUnreadable,  // stored, but the system would not give it: `error` is its error code
  };
  State state = kNone;
  std::string text;
  std::string where;
  unsigned long error = 0;
};

// The same with the installation's recorded keys. `keyLines` is the build's list (one key line or
// several, ParsePublicKeyList). A record that cannot be read or is not one this updater writes
// refuses every document: trust is never widened to keys a change may have retired. Each key
// change of the document above the last one applied here must follow it without a gap and carry
// a good signature by a key trusted at that point and one by its new key; the document's own
// signature is checked against the trust after them.
ReleaseCheck CheckRelease(std::string_view document, std::string_view keyLines, const RecordedRelease& recorded,
                          const RecordedKeys& recordedKeys, const SignatureVerifier& verify, int64_t nowUtcSeconds);

// The SHA-256 of bytes; false when it could not be made.
using Sha256Function = std::function<bool(std::string_view data, crypto::Sha256Digest& digest)>;

// Whether a notice may be shown by a build with a release key: its bytes as fetched must have the
// size and SHA-256 of `pin`. `strLogLine` gets the diagnostic line ("Notice check: ...").
bool NoticeMatchesPin(const PackagePin& pin, std::string_view body, const Sha256Function& sha256,
                      std::string& strLogLine);
