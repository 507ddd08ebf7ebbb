// Any bytes as a signed document, a release section, key changes, a key line and package pins:
// never a crash, and what a split finds puts back together.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "catalogue/keychange.h"
#include "catalogue/packagepin.h"
#include "catalogue/projectdata.h"
#include "catalogue/signeddocument.h"
#include "crypto/hex.h"
#include "crypto/publickeyline.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

std::string SignatureSection(const crypto::P256Signature& signature, const char* lineEnd) {
  return std::string(kSignatureSectionLine) + lineEnd + kSignatureKey +
         crypto::EncodeHex(signature.data(), signature.size()) + lineEnd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const SignedDocument split = SplitSignedDocument(text);
  if (split.state == SignatureState::kSigned) {
    // The covered bytes are the document's start, up to a line start.
    Require(split.covered.data() == text.data());
    Require(split.covered.empty() || split.covered.back() == '\n');
    // Signing them again in the canonical form gives back the same split.
    const std::string again = std::string(split.covered) + SignatureSection(split.signature, "\r\n");
    const SignedDocument resplit = SplitSignedDocument(again);
    Require(resplit.state == SignatureState::kSigned && resplit.covered == split.covered &&
            resplit.signature == split.signature);
  } else {
    Require(split.covered.empty());
  }

  // Any text that ends a line and holds no section line of its own can be signed as it is.
  if (!text.empty() && text.back() == '\n' && SplitSignedDocument(text).state == SignatureState::kNoSignature) {
    crypto::P256Signature signature{};
    for (size_t i = 0; i < signature.size() && i < size; ++i) signature[i] = data[i];
    const std::string document = text + SignatureSection(signature, "\n");
    const SignedDocument signed_ = SplitSignedDocument(document);
    Require(signed_.state == SignatureState::kSigned && signed_.covered == text && signed_.signature == signature);
    // Anything moved after the signature makes it unsigned.
    Require(SplitSignedDocument(document + text).state != SignatureState::kSigned);
  }

  const ReleaseNumber release = ReadReleaseNumber(text);
  if (release.state == ReleaseNumberState::kFound) {
    Require(release.number >= 1 && release.number <= kHighestReleaseNumber);
    uint32_t number = 0;
    Require(ParseReleaseNumber(std::to_string(release.number), number) && number == release.number);
  } else {
    Require(release.number == 0);
  }

  // Key changes read are whole and in order, and read back the same when written out again.
  const KeyChanges changes = ReadKeyChanges(text);
  Require(changes.bWellFormed ? changes.strProblem.empty() : changes.changes.empty() && !changes.strProblem.empty());
  std::string rewritten;
  for (size_t i = 0; i < changes.changes.size(); ++i) {
    const KeyChange& c = changes.changes[i];
    Require(c.number >= 1 && c.newKey != c.retiredKey);
    Require(i == 0 || c.number == changes.changes[i - 1].number + 1);
    rewritten += FormatKeyChangeSection(c);
  }
  const KeyChanges reread = ReadKeyChanges(rewritten);
  Require(reread.bWellFormed && reread.changes.size() == changes.changes.size());
  for (size_t i = 0; i < reread.changes.size(); ++i) {
    Require(reread.changes[i].number == changes.changes[i].number);
    Require(reread.changes[i].newKey == changes.changes[i].newKey);
    Require(reread.changes[i].retiredKey == changes.changes[i].retiredKey);
    Require(reread.changes[i].trustedSignature == changes.changes[i].trustedSignature);
    Require(reread.changes[i].newKeySignature == changes.changes[i].newKeySignature);
  }

  crypto::P256PublicKey key{};
  if (crypto::ParsePublicKeyLine(text, key)) {
    std::string lower = text;
    for (char& c : lower)
      if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    Require(crypto::FormatPublicKeyLine(key) == lower);
  }

  CProjectData catalogue;
  catalogue.Parse(text);
  for (const PackagePin& pin : {catalogue.GetXPDownloadPin(), catalogue.Get98DownloadPin(), catalogue.GetDatDownloadPin(),
                                catalogue.GetServerDownloadPin(), catalogue.GetOcxDownloadPin()}) {
    uint64_t bytes = 0;
    crypto::Sha256Digest digest{};
    if (pin.Read(bytes, digest)) Require(crypto::EncodeHex(digest.data(), digest.size()) == pin.m_strSha256);
  }
  return 0;
}
