// The release check at start-up, between the information request and the catalogue's parse (which
// already fetches the notice): nothing of a refused document is read, offered or installed.
#include "app/releasecheck.h"
#include "app/talvoupdate.h"
#include "crypto/ecdsaverifier.h"
#include "framework/log.h"
#include "localstate/upregistry.h"

namespace {

crypto::SignatureCheck VerifyWithSystem(const crypto::P256PublicKey& key, std::string_view data,
                                        const crypto::P256Signature& signature, long& status) {
  crypto::CEcdsaP256Verifier verifier(key);
  const crypto::SignatureCheck check = verifier.Verify(data.data(), data.size(), signature);
  status = verifier.GetStatus();
  return check;
}

}  // namespace

BOOL CTalvoUpdateApp::AcceptRelease(std::string& strDocument) {
  if (m_strReleasePublicKey.empty()) {
    strDocument = m_strInformation;
    return TRUE;
  }
  const ReleaseCheck check = CheckRelease(m_strInformation, m_strReleasePublicKey,
                                          ReadAcceptedRelease(kReleaseProjectName), &VerifyWithSystem);
  framework::WriteLog("%s\n", check.strLogLine.c_str());
  if (!check.bAccepted) {
    m_strInformation.clear();
    return FALSE;
  }
  if (check.bRecord) WriteAcceptedRelease(kReleaseProjectName, std::to_string(check.nRelease));
  strDocument.assign(check.covered.data(), check.covered.size());
  return TRUE;
}
