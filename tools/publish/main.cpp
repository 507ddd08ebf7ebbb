// talvo-publish: a release description and one folder of files per component in, the files an
// update server serves out (packages, notice, update information document), checked by the lint.
//   talvo-publish DESCRIPTION OUT_DIR [--base-url URL] [--against OLD_DOCUMENT] [--force] [--sign-key KEYFILE]
//   talvo-publish keygen KEYFILE
//   talvo-publish refresh OUT_DIR --sign-key KEYFILE [--expires-in DAYS]
//   talvo-publish rollout OUT_DIR PERCENT --sign-key KEYFILE [--force]
//   talvo-publish halt OUT_DIR --sign-key KEYFILE
//   talvo-publish keychange OUT_DIR --key KEYFILE --new-key NEW_KEYFILE [--retire PUBLIC_KEY_LINE]
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
    "                     [--sign-key KEYFILE [--release-number N] [--expires-in DAYS] [--deltas N]]\n"
    "                     [--archive DIR]\n"
    "       talvo-publish keygen KEYFILE\n"
    "       talvo-publish refresh OUT_DIR --sign-key KEYFILE [--expires-in DAYS]\n"
    "       talvo-publish rollout OUT_DIR PERCENT --sign-key KEYFILE [--expires-in DAYS] [--force]\n"
    "       talvo-publish halt OUT_DIR --sign-key KEYFILE [--expires-in DAYS]\n"
    "       talvo-publish keychange OUT_DIR --key KEYFILE --new-key NEW_KEYFILE [--retire PUBLIC_KEY_LINE]\n"
    "                     [--expires-in DAYS] [--force]\n"
    "  Packs each component's folder of files into a zip package, copies the notice and writes the\n"
    "  update information document (talvoupdate/PlusInformation.php) below OUT_DIR, laid out as a\n"
    "  web server serves it. The document is checked first (talvo-doc lint, against the packages and\n"
    "  notice made aside and against the document already in OUT_DIR or OLD_DOCUMENT); with findings\n"
    "  nothing is written. Names Windows cannot write or takes for one file, names that are not ASCII,\n"
    "  and a file name in two packages are refused (see tools/publish/README.md).\n"
    "  --base-url: where the packages are served (default: the description's base-url).\n"
    "  --force: publish despite findings, and replace packages and a notice that changed.\n"
    "  --sign-key: pin each package and the notice by size and SHA-256 beside its address, number the\n"
    "  release ([RELEASE] NUMBER=) one above both the highest this key has signed (KEYFILE.last-release,\n"
    "  kept beside the key) and the served document's, and sign the whole document with the private\n"
    "  key in KEYFILE ([SIGNATURE], the last section; updaters without a key skip both).\n"
    "  --expires-in: the signed document expires DAYS days after signing (default 14); updaters with a\n"
    "  key refuse it a day after that, so keep a live release fresh with refresh (e.g. from cron).\n"
    "  --archive: the release archive (default OUT_DIR.archive, beside OUT_DIR): the files of every\n"
    "  release published, kept for deltas (host build).\n"
    "  --deltas N: signed only, a delta package from each of the N newest archived releases (default\n"
    "  3, 0 for none), one step each; one over half its full package's size is not offered. The lint\n"
    "  applies each to the archived files before anything is served.\n"
    "  refresh: re-signs the document served below OUT_DIR with a new expiry time, nothing else changed.\n"
    "  --rollout PERCENT: signed only, the share of installations taking the release (ROLLOUT=); each\n"
    "  installation draws its own bucket per release. --urgent: every installation takes it at once.\n"
    "  rollout: re-signs the served release with a new share (0 to 100 in one step needs --force);\n"
    "  halt: the same with 0, so no installation takes it from now on. Both renew the expiry.\n"
    "  keychange: adds a key change to the served release and re-signs it with the new key: updaters\n"
    "  that trust KEYFILE's key trust NEW_KEYFILE's from then on, and no longer the retired key\n"
    "  (--retire, by default KEYFILE's own). The change is signed by both keys, numbered after the\n"
    "  served document's changes (all kept, and carried into every later release) and checked by the\n"
    "  lint before it is served. A leaked key: retire it with the key kept offline at once.\n"
    "  --release-number: sign this number instead; it must rise above both. Needed once for a key\n"
    "  without KEYFILE.last-release (made before it was kept).\n"
    "  keygen: makes a new key pair; the private key goes to KEYFILE (created, owner-only), the\n"
    "  public key line (the updater's TALVO_RELEASE_PUBLIC_KEY, or one of TALVO_RELEASE_BACKUP_KEYS for\n"
    "  a key kept offline) is printed; KEYFILE.last-release\n"
    "  starts at 0.\n"
    "  Exit status 0 published, 1 findings (nothing written), 2 error.\n";

bool ParsePercent(const char* text, int& percent) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < 0 || value > 100 || text[0] == '+' || text[0] == '-') {
    std::fprintf(stderr, "talvo-publish: %s: give a share of installations from 0 to 100 (percent)\n", text);
    return false;
  }
  percent = static_cast<int>(value);
  return true;
}

bool ParseDays(const char* text, int& days) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < 1 || value > 3660) {
    std::fprintf(stderr, "talvo-publish: --expires-in %s: give a number of days from 1 to 3660\n", text);
    return false;
  }
  days = static_cast<int>(value);
  return true;
}

int ChangeKeyCommand(int argc, char** argv) {
  PublishOptions options;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--key") == 0 && i + 1 < argc) {
      options.strSignKey = argv[++i];
    } else if (std::strcmp(argv[i], "--new-key") == 0 && i + 1 < argc) {
      options.strNewKey = argv[++i];
    } else if (std::strcmp(argv[i], "--retire") == 0 && i + 1 < argc) {
      options.strRetireKey = argv[++i];
    } else if (std::strcmp(argv[i], "--expires-in") == 0 && i + 1 < argc) {
      if (!ParseDays(argv[++i], options.nExpiresInDays)) return 2;
    } else if (std::strcmp(argv[i], "--force") == 0) {
      options.bForce = true;
    } else if (argv[i][0] != '-' && options.strOutDir.empty()) {
      options.strOutDir = argv[i];
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (options.strOutDir.empty() || options.strSignKey.empty() || options.strNewKey.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const PublishResult result = ChangeKey(options);
  for (const LintFinding& finding : result.findings)
    std::printf("%s%s\n", options.strOutDir.c_str(),
                Cp949ToUtf8(FormatFinding("/" + result.strDocumentPath, finding)).c_str());
  for (const std::string& error : result.saErrors) std::fprintf(stderr, "talvo-publish: %s\n", error.c_str());
  if (result.nExitCode == 1)
    std::fprintf(stderr, "talvo-publish: %zu finding(s): %s not changed (--force changes it anyway)\n",
                 result.findings.size(), result.strDocumentPath.c_str());
  if (result.nExitCode == 0 && !result.saWritten.empty()) {
    std::printf("key change %ld: %s trusted from now on, %s retired\n", result.nKeyChange,
                result.strNewKeyLine.c_str(), result.strRetiredKeyLine.c_str());
    std::printf("re-signed %s (release %ld) with %s, expires in %d days\n", result.strDocumentPath.c_str(),
                result.nRelease, options.strNewKey.c_str(), options.nExpiresInDays);
  }
  std::fflush(stdout);
  return result.nExitCode;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "keychange") == 0) return ChangeKeyCommand(argc, argv);
  if (argc == 3 && std::strcmp(argv[1], "keygen") == 0) {
#ifdef TALVO_PUBLISH_SIGNING
    std::string publicKey, error;
    if (!signing::GenerateKeyPair(argv[2], publicKey, error)) {
      std::fprintf(stderr, "talvo-publish: %s\n", error.c_str());
      return 2;
    }
    if (!StartReleaseRecord(argv[2], error)) {
      std::fprintf(stderr, "talvo-publish: %s: cannot write it (%s); keep it beside the key with the line 0\n",
                   ReleaseRecordOfKey(argv[2]).c_str(), error.c_str());
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
  const char* command = argc > 1 ? argv[1] : "";
  const bool refresh = std::strcmp(command, "refresh") == 0;
  const bool rollout = std::strcmp(command, "rollout") == 0;
  const bool halt = std::strcmp(command, "halt") == 0;
  const bool resign = refresh || rollout || halt;
  for (int i = resign ? 2 : 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (std::strcmp(argv[i], "--base-url") == 0 && i + 1 < argc) {
      options.strBaseUrl = argv[++i];
    } else if (std::strcmp(argv[i], "--against") == 0 && i + 1 < argc) {
      options.strAgainst = argv[++i];
    } else if (std::strcmp(argv[i], "--sign-key") == 0 && i + 1 < argc) {
      options.strSignKey = argv[++i];
    } else if (std::strcmp(argv[i], "--expires-in") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const char* text = argv[++i];
      errno = 0;
      const long days = std::strtol(text, &end, 10);
      if (errno != 0 || end == text || *end != '\0' || days < 1 || days > 3660) {
        std::fprintf(stderr, "talvo-publish: --expires-in %s: give a number of days from 1 to 3660\n", text);
        return 2;
      }
      options.nExpiresInDays = static_cast<int>(days);
    } else if (std::strcmp(argv[i], "--rollout") == 0 && i + 1 < argc) {
      if (!ParsePercent(argv[++i], options.nRollout)) return 2;
    } else if (std::strcmp(argv[i], "--urgent") == 0) {
      options.bUrgent = true;
    } else if (std::strcmp(argv[i], "--release-number") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const char* text = argv[++i];
      errno = 0;
      const long long number = std::strtoll(text, &end, 10);
      if (errno != 0 || end == text || *end != '\0' || text[0] < '1' || text[0] > '9' || number > 0x7FFFFFFFLL) {
        std::fprintf(stderr, "talvo-publish: --release-number %s: give a release number from 1 to 2147483647\n", text);
        return 2;
      }
      options.nReleaseNumber = number;
    } else if (std::strcmp(argv[i], "--archive") == 0 && i + 1 < argc) {
      options.strArchiveDir = argv[++i];
    } else if (std::strcmp(argv[i], "--deltas") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const char* text = argv[++i];
      errno = 0;
      const long count = std::strtol(text, &end, 10);
      if (errno != 0 || end == text || *end != '\0' || count < 0 || count > 100 || text[0] == '+') {
        std::fprintf(stderr, "talvo-publish: --deltas %s: give a number of releases from 0 to 100\n", text);
        return 2;
      }
      options.nDeltaReleases = static_cast<int>(count);
    } else if (std::strcmp(argv[i], "--force") == 0) {
      options.bForce = true;
    } else if (argv[i][0] != '-' && count < 2) {
      positional[count++] = argv[i];
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (resign) {
    if (count != (rollout ? 2 : 1) || options.strSignKey.empty()) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    options.strOutDir = positional[0];
    int percent = halt ? 0 : -1;
    if (rollout && !ParsePercent(positional[1], percent)) return 2;
    const PublishResult result = Refresh(options, percent);
    for (const std::string& error : result.saErrors) std::fprintf(stderr, "talvo-publish: %s\n", error.c_str());
    if (result.nExitCode == 0) {
      std::printf("%s %s (release %ld), expires in %d days", refresh ? "refreshed" : "re-signed",
                  result.strDocumentPath.c_str(), result.nRelease, options.nExpiresInDays);
      if (percent >= 0) std::printf(", rollout %d %%", result.nRollout);
      std::printf("\n");
    }
    return result.nExitCode;
  }
  if (count != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  options.strDescription = positional[0];
  options.strOutDir = positional[1];

  const PublishResult result = Publish(options);
  for (const std::string& note : result.saNotes) std::printf("delta: %s\n", Cp949ToUtf8(note).c_str());
  for (const std::string& written : result.saWritten) std::printf("wrote %s\n", Cp949ToUtf8(written).c_str());
  for (const LintFinding& finding : result.findings)
    std::printf("%s%s\n", options.strOutDir.c_str(),
                Cp949ToUtf8(FormatFinding("/" + result.strDocumentPath, finding)).c_str());
  for (const std::string& error : result.saErrors) std::fprintf(stderr, "talvo-publish: %s\n", error.c_str());
  bool forceable = true;
  for (const LintFinding& finding : result.findings)
    if (!ForcePasses(finding)) forceable = false;
  if (result.nExitCode == 1)
    std::fprintf(stderr, "talvo-publish: %zu finding(s): neither %s nor its packages and notice were written "
                 "(%s)\n", result.findings.size(), result.strDocumentPath.c_str(),
                 forceable ? "--force writes them anyway" : "--force does not pass every one of them");
  std::fflush(stdout);
  return result.nExitCode;
}
