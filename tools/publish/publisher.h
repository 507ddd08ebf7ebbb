// Turns a release description and its folders of files into what the update server serves:
// the packages, the notice and the update information document, checked by the lint before any
// of them is written.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "tools/talvo-doc/doclint.h"

// How long a signed document stays fresh unless refreshed (talvo-publish refresh).
constexpr int kDefaultExpiryDays = 14;

struct PublishOptions {
  std::string strDescription;  // path of the description (UTF-8)
  std::string strOutDir;       // the web server's root (UTF-8)
  std::string strBaseUrl;      // overrides the description's base-url when not empty
  std::string strAgainst;      // the served document to compare versions with; empty: the one in
                               // strOutDir, if any
  bool bForce = false;         // write the document despite findings
  std::string strSignKey;      // private key file: pin each package and the notice by size and
                               // SHA-256, number the release and sign the document
  int nExpiresInDays = kDefaultExpiryDays;  // signed documents expire this many days after signing
  int nRollout = -1;     // signed only: the percent of installations taking it (ROLLOUT=); -1: all, no line
  bool bUrgent = false;  // signed only: URGENT=1, every installation takes it at once
  std::string strArchiveDir;  // the release archive; empty: OUT_DIR.archive beside the served folder
  int nDeltaReleases = 3;     // signed only: deltas from this many of the newest archived releases
  long long nReleaseNumber = 0;  // the release number to sign; 0: one above the highest this key has
                                 // signed (kept beside it) and the served document's
  std::string strNewKey;     // keychange: the private key file of the key brought in
  std::string strRetireKey;  // keychange: the public key line retired; empty: strSignKey's
};

// Beside a signing key: the highest release number signed with it, one line of decimal digits.
// keygen writes 0 there; every signature raises it before it is made.
std::string ReleaseRecordOfKey(const std::string& keyFile);
// keygen: records that a new key has signed nothing yet (an existing record is kept).
bool StartReleaseRecord(const std::string& keyFile, std::string& error);

struct PublishResult {
  int nExitCode = 0;                  // 0 published, 1 findings (nothing written), 2 error
  std::vector<std::string> saErrors;  // why nothing could be published
  std::vector<std::string> saWritten;  // paths below strOutDir, in the order written
  std::vector<LintFinding> findings;
  std::vector<std::string> saNotes;   // deltas made and not offered, for the maker
  std::string strDocumentPath;        // below strOutDir
  long nRelease = 0;                  // the signed document's release number
  int nRollout = 100;                 // refresh: the share now signed
  long nKeyChange = 0;                // keychange: the number of the change made
  std::string strNewKeyLine;          // keychange: the key brought in
  std::string strRetiredKeyLine;      // keychange: the key retired
};

PublishResult Publish(const PublishOptions& options);

// Whether --force publishes despite the finding: never over the updater's own files, never a delta
// that was not proven against the archive.
bool ForcePasses(const LintFinding& finding);

// Re-signs the document served below strOutDir with strSignKey, its expiry time moved to
// nExpiresInDays from now and nothing else changed: the same bytes, release number and signer. The
// served document must be one this key signed, of the highest release the key has signed.
// With `rolloutPercent` 0 to 100 the share of installations taking the release changes too (rollout,
// halt); 0 to 100 in one step is refused unless bForce.
PublishResult Refresh(const PublishOptions& options, int rolloutPercent = -1);

// Adds a key change to the document served below strOutDir and re-signs it with the new key: the
// change brings in the key of strNewKey and retires strRetireKey (or strSignKey's own key), signed
// by strSignKey (a key the installations trust now) and by the new key; numbered one above the
// served document's last change, which it keeps. The release number stays; the expiry is renewed.
// The served document must be signed by strSignKey or by the key retired. Checked by the lint
// before it is written; with findings nothing is written unless bForce.
PublishResult ChangeKey(const PublishOptions& options);

// The covered bytes of a signed document with its release policy's EXPIRES line set to
// `expiresLine` (the section is added before [END], or at the end, when missing).
std::string WithExpiry(std::string_view covered, const std::string& expiresLine);
// The same for any line of the release policy: the line starting with `key` replaced, or added.
std::string WithPolicyLine(std::string_view covered, std::string_view key, const std::string& line);

// The served path of the update information document, below the web server's root.
constexpr const char* kDocumentPath = "talvoupdate/PlusInformation.php";
