#include "app/releasecheck.h"

#include <cstdio>

#include "catalogue/signeddocument.h"

namespace {

ReleaseCheck Refused(const std::string& why) {
  ReleaseCheck check;
  check.strLogLine = "Release check: document refused: " + why;
  return check;
}

}  // namespace

ReleaseCheck CheckRelease(std::string_view document, std::string_view keyLine, std::string_view acceptedText,
                          const SignatureVerifier& verify) {
  crypto::P256PublicKey key;
  if (!crypto::ParsePublicKeyLine(keyLine, key)) return Refused("the build's release key is malformed");

  const SignedDocument signedDocument = SplitSignedDocument(document);
  if (signedDocument.state != SignatureState::kSigned)
    return Refused(DescribeSignatureState(signedDocument.state));

  long status = 0;
  switch (verify(key, signedDocument.covered, signedDocument.signature, status)) {
    case crypto::SignatureCheck::kGood:
      break;
    case crypto::SignatureCheck::kBad:
      return Refused("bad signature");
    case crypto::SignatureCheck::kNotChecked: {
      char szStatus[16];
      std::snprintf(szStatus, sizeof szStatus, "0x%08lx", static_cast<unsigned long>(status) & 0xffffffffUL);
      return Refused(std::string("the signature could not be checked (status ") + szStatus + ")");
    }
  }

  const ReleaseNumber release = ReadReleaseNumber(signedDocument.covered);
  if (release.state != ReleaseNumberState::kFound) return Refused(DescribeReleaseNumberState(release.state));
  uint32_t accepted = 0;
  if (!ParseReleaseNumber(acceptedText, accepted)) accepted = 0;
  if (release.number < accepted) {
    return Refused("release " + std::to_string(release.number) + " is older than " + std::to_string(accepted) +
                   " accepted here");
  }

  ReleaseCheck check;
  check.bAccepted = true;
  check.covered = signedDocument.covered;
  check.nRelease = release.number;
  check.bRecord = release.number > accepted;
  check.strLogLine = "Release check: document signature good, release " + std::to_string(release.number);
  return check;
}
