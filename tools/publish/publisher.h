// Turns a release description and its folders of files into what the update server serves:
// the packages, the notice and the update information document, checked by the lint before any
// of them is written.
#pragma once
#include <string>
#include <vector>

#include "tools/talvo-doc/doclint.h"

struct PublishOptions {
  std::string strDescription;  // path of the description (UTF-8)
  std::string strOutDir;       // the web server's root (UTF-8)
  std::string strBaseUrl;      // overrides the description's base-url when not empty
  std::string strAgainst;      // the served document to compare versions with; empty: the one in
                               // strOutDir, if any
  bool bForce = false;         // write the document despite findings
  std::string strSignKey;      // private key file: pin each package by size and SHA-256, number the
                               // release one above the served document's, and sign the document
};

struct PublishResult {
  int nExitCode = 0;                  // 0 published, 1 findings (nothing written), 2 error
  std::vector<std::string> saErrors;  // why nothing could be published
  std::vector<std::string> saWritten;  // paths below strOutDir, in the order written
  std::vector<LintFinding> findings;
  std::string strDocumentPath;        // below strOutDir
  long nRelease = 0;                  // the signed document's release number
};

PublishResult Publish(const PublishOptions& options);

// The served path of the update information document, below the web server's root.
constexpr const char* kDocumentPath = "talvoupdate/PlusInformation.php";
