// Replacing a release key from inside the signed document.
//
// A key change is a section of the covered bytes (older updaters skip it as an unknown section):
//
//   [KEY_CHANGE]
//   NUMBER=<1, 2, 3, ... in the order the changes were made>
//   NEW_KEY=ecdsa-p256:<128 hex digits>       the key trusted from this change on
//   RETIRED_KEY=ecdsa-p256:<128 hex digits>   the key no longer trusted
//   TRUSTED_SIGNATURE=<128 hex digits>        by a key trusted before the change
//   NEW_KEY_SIGNATURE=<128 hex digits>        by the new key
//
// Both signatures are over the change's statement (KeyChangeStatement), never over the document,
// so a change stays valid in every later document that carries it. A document carries every
// change made so far, in order, so that an installation that missed some can follow them all.
//
// Portable: built, tested and fuzzed on the host too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/publickeyline.h"

constexpr char kKeyChangeSectionLine[] = "[KEY_CHANGE]";
constexpr char kKeyChangeNumberKey[] = "NUMBER=";
constexpr char kKeyChangeNewKey[] = "NEW_KEY=";
constexpr char kKeyChangeRetiredKey[] = "RETIRED_KEY=";
constexpr char kKeyChangeTrustedSignatureKey[] = "TRUSTED_SIGNATURE=";
constexpr char kKeyChangeNewKeySignatureKey[] = "NEW_KEY_SIGNATURE=";

struct KeyChange {
  uint32_t number = 0;
  crypto::P256PublicKey newKey{};
  crypto::P256PublicKey retiredKey{};
  crypto::P256Signature trustedSignature{};
  crypto::P256Signature newKeySignature{};
};

struct KeyChanges {
  bool bWellFormed = true;
  std::string strProblem;            // when not well formed: what is wrong, for the log and the lint
  std::vector<KeyChange> changes;    // in document order: consecutive numbers, rising
};

// Every "[KEY_CHANGE]" section of the covered bytes. Lines are cut at LF and trimmed; empty lines
// and other keys are skipped. Not well formed: a section without one each of the five lines, or
// with one twice, a malformed number, key or signature, a change whose new key is the one it
// retires, or numbers that do not rise one by one in document order.
KeyChanges ReadKeyChanges(std::string_view covered);

// The bytes both signatures of a change cover: fixed text, keys in lower case, LF line ends.
std::string KeyChangeStatement(uint32_t number, const crypto::P256PublicKey& newKey,
                               const crypto::P256PublicKey& retiredKey);

// The section as the publisher writes it, CR LF line ends.
std::string FormatKeyChangeSection(const KeyChange& change);

// "ecdsa-p256:0123456789abcdef...": enough of a key to tell it apart in a log line.
std::string ShortKeyName(const crypto::P256PublicKey& key);
