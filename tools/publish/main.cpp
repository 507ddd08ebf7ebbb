// talvo-publish: a release description and one folder of files per component in, the files an
// update server serves out (packages, notice, update information document), checked by the lint.
//   talvo-publish DESCRIPTION OUT_DIR [--base-url URL] [--against OLD_DOCUMENT] [--force] [--sign-key KEYFILE]
//   talvo-publish keygen KEYFILE
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/publish/publisher.h"
#ifdef TALVO_PUBLISH_SIGNING
#include "tools/publish/releasesigning.h"
#endif
#include "tools/talvo-doc/cp949.h"

namespace {

const char kUsage[] =
    "usage: talvo-publish DESCRIPTION OUT_DIR [--base-url URL] [--against OLD_DOCUMENT] [--force]\n"
    "                     [--sign-key KEYFILE]\n"
    "       talvo-publish keygen KEYFILE\n"
    "  Packs each component's folder of files into a zip package, copies the notice and writes the\n"
    "  update information document (talvoupdate/PlusInformation.php) below OUT_DIR, laid out as a\n"
    "  web server serves it. The document is checked first (talvo-doc lint, against the packages and\n"
    "  notice made aside and against the document already in OUT_DIR or OLD_DOCUMENT); with findings\n"
    "  nothing is written. Names Windows cannot write or takes for one file, names that are not ASCII,\n"
    "  and a file name in two packages are refused (see tools/publish/README.md).\n"
    "  --base-url: where the packages are served (default: the description's base-url).\n"
    "  --force: publish despite findings, and replace packages and a notice that changed.\n"
    "  --sign-key: pin each package by size and SHA-256 beside its address, number the release one\n"
    "  above the served document's ([RELEASE] NUMBER=) and sign the whole document with the private\n"
    "  key in KEYFILE ([SIGNATURE], the last section; updaters without a key skip both).\n"
    "  keygen: makes a new key pair; the private key goes to KEYFILE (created, owner-only), the\n"
    "  public key line (the updater's TALVO_RELEASE_PUBLIC_KEY) is printed.\n"
    "  Exit status 0 published, 1 findings (nothing written), 2 error.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "keygen") == 0) {
#ifdef TALVO_PUBLISH_SIGNING
    std::string publicKey, error;
    if (!signing::GenerateKeyPair(argv[2], publicKey, error)) {
      std::fprintf(stderr, "talvo-publish: %s\n", error.c_str());
      return 2;
    }
    std::printf("%s\n", publicKey.c_str());
    return 0;
#else
    std::fputs("talvo-publish: this build cannot make keys: use the host build (OpenSSL)\n", stderr);
    return 2;
#endif
  }
  PublishOptions options;
  const char* positional[2] = {nullptr, nullptr};
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (std::strcmp(argv[i], "--base-url") == 0 && i + 1 < argc) {
      options.strBaseUrl = argv[++i];
    } else if (std::strcmp(argv[i], "--against") == 0 && i + 1 < argc) {
      options.strAgainst = argv[++i];
    } else if (std::strcmp(argv[i], "--sign-key") == 0 && i + 1 < argc) {
      options.strSignKey = argv[++i];
    } else if (std::strcmp(argv[i], "--force") == 0) {
      options.bForce = true;
    } else if (argv[i][0] != '-' && count < 2) {
      positional[count++] = argv[i];
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (count != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  options.strDescription = positional[0];
  options.strOutDir = positional[1];

  const PublishResult result = Publish(options);
  for (const std::string& written : result.saWritten) std::printf("wrote %s\n", Cp949ToUtf8(written).c_str());
  for (const LintFinding& finding : result.findings)
    std::printf("%s%s\n", options.strOutDir.c_str(),
                Cp949ToUtf8(FormatFinding("/" + result.strDocumentPath, finding)).c_str());
  for (const std::string& error : result.saErrors) std::fprintf(stderr, "talvo-publish: %s\n", error.c_str());
  if (result.nExitCode == 1)
    std::fprintf(stderr, "talvo-publish: %zu finding(s): neither %s nor its packages and notice were written "
                 "(--force writes them anyway)\n", result.findings.size(), result.strDocumentPath.c_str());
  std::fflush(stdout);
  return result.nExitCode;
}
