// The release check at start-up, between the information request and the catalogue's parse (which
// already fetches the notice): nothing of a refused document is read, offered or installed. The
// highest release accepted is kept with the installation (localstate/releaserecord), and so are
// the release keys trusted after the key changes applied (localstate/keyrecord).
#include "app/releasecheck.h"
#include "app/talvoupdate.h"
#include "crypto/ecdsaverifier.h"
#include "crypto/sha256hasher.h"
#include "framework/log.h"
#include "framework/logcause.h"
#include "localstate/keyrecord.h"
#include "localstate/releaserecord.h"

namespace {

crypto::SignatureCheck VerifyWithSystem(const crypto::P256PublicKey& key, std::string_view data,
                                        const crypto::P256Signature& signature, long& status) {
  crypto::CEcdsaP256Verifier verifier(key);
  const crypto::SignatureCheck check = verifier.Verify(data.data(), data.size(), signature);
  status = verifier.GetStatus();
  return check;
}

// The system clock in seconds since 1970 UTC.
int64_t NowUtcSeconds() {
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

RecordedRelease ReadRecordedRelease() {
  const StoredReleaseText stored = ReadStoredRelease();
  RecordedRelease recorded;
  recorded.where = stored.strWhere;
  recorded.text = stored.strText;
  recorded.error = stored.dwError;
  recorded.bOldPlace = stored.bOldPlace;
  switch (stored.state) {
    case StoredReleaseText::kMissing: recorded.state = RecordedRelease::kNone; break;
    case StoredReleaseText::kFound: recorded.state = RecordedRelease::kFound; break;
    case StoredReleaseText::kUnreadable: recorded.state = RecordedRelease::kUnreadable; break;
  }
  return recorded;
}

RecordedKeys ReadRecordedKeys() {
  const StoredKeysText stored = ReadStoredKeys();
  RecordedKeys recorded;
  recorded.where = stored.strWhere;
  recorded.text = stored.strText;
  recorded.error = stored.dwError;
  switch (stored.state) {
    case StoredKeysText::kMissing: recorded.state = RecordedKeys::kNone; break;
    case StoredKeysText::kFound: recorded.state = RecordedKeys::kFound; break;
    case StoredKeysText::kUnreadable: recorded.state = RecordedKeys::kUnreadable; break;
  }
  return recorded;
}

}  // namespace

BOOL CTalvoUpdateApp::AcceptRelease(std::string& strDocument) {
  if (m_strReleasePublicKey.empty()) {
    strDocument = m_strInformation;
    return TRUE;
  }
  const ReleaseCheck check =
      CheckRelease(m_strInformation, m_strReleasePublicKey, ReadRecordedRelease(), ReadRecordedKeys(),
                   &VerifyWithSystem, NowUtcSeconds());
  for (const std::string& line : check.saKeyChangeLines) framework::WriteLog("%s\n", line.c_str());
  framework::WriteLog("%s%s%s\n", check.strLogLine.c_str(), check.bAccepted ? "" : " ",
                      check.bAccepted ? "" : framework::cause::kSignature);
  if (!check.bAccepted) {
    m_strInformation.clear();
    return FALSE;
  }
  DWORD dwError = 0;
  // Not recorded, the changes are applied again at the next check: every document carries them.
  if (check.bRecordKeys && !WriteStoredKeys(FormatKeyRecord(check.keys), dwError)) {
    framework::WriteLog("Release check: the release keys trusted after key change %u could not be recorded in %s "
                        "(error %lu)\n",
                        static_cast<unsigned>(check.keys.nLastChange), GetKeyRecordPath().c_str(),
                        static_cast<unsigned long>(dwError));
  }
  if (check.bRecord && !WriteStoredRelease(check.nRelease, dwError)) {
    // The document is good; only the protection cannot rise this time.
    framework::WriteLog("Release check: release %u could not be recorded in %s (error %lu)\n",
                        static_cast<unsigned>(check.nRelease), GetReleaseRecordPath().c_str(),
                        static_cast<unsigned long>(dwError));
  }
  strDocument.assign(check.covered.data(), check.covered.size());
  return TRUE;
}

void CTalvoUpdateApp::CheckNoticePin(CProjectData& data) {
  if (m_strReleasePublicKey.empty() || data.GetNoticeUrl().empty()) return;
  std::string strLine;
  const bool bShown = NoticeMatchesPin(
      data.GetNoticePin(), data.GetNoticeBody(),
      [](std::string_view bytes, crypto::Sha256Digest& digest) {
        return crypto::Sha256(bytes.data(), bytes.size(), digest);
      },
      strLine);
  framework::WriteLog("%s\n", strLine.c_str());
  if (!bShown) data.DiscardNotice();
}
