// talvo-publish: a release description and one folder of files per component in, the files an
// update server serves out (packages, notice, update information document), checked by the lint.
//   talvo-publish DESCRIPTION OUT_DIR [--base-url URL] [--against OLD_DOCUMENT] [--force]
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/publish/publisher.h"
#include "tools/talvo-doc/cp949.h"

namespace {

const char kUsage[] =
    "usage: talvo-publish DESCRIPTION OUT_DIR [--base-url URL] [--against OLD_DOCUMENT] [--force]\n"
    "  Packs each component's folder of files into a zip package, copies the notice and writes the\n"
    "  update information document (talvoupdate/PlusInformation.php) below OUT_DIR, laid out as a\n"
    "  web server serves it. The document is checked first (talvo-doc lint, against the packages and\n"
    "  notice made aside and against the document already in OUT_DIR or OLD_DOCUMENT); with findings\n"
    "  nothing is written. Names Windows cannot write or takes for one file, names that are not ASCII,\n"
    "  and a file name in two packages are refused (see tools/publish/README.md).\n"
    "  --base-url: where the packages are served (default: the description's base-url).\n"
    "  --force: publish despite findings, and replace packages and a notice that changed.\n"
    "  Exit status 0 published, 1 findings (nothing written), 2 error.\n";

}  // namespace

int main(int argc, char** argv) {
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
