// talvo-doc: shows what the updater reads from an update information document, and the traps in it.
//   talvo-doc dump FILE
//   talvo-doc lint FILE [--against OLD_FILE] [--release DIR [--archive DIR]] [--public-key LINE]
#include <cerrno>
#include <cstdio>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/keychange.h"
#include "catalogue/noticefetch.h"
#include "catalogue/projectdata.h"
#include "catalogue/rolloutbucket.h"
#include "catalogue/signeddocument.h"
#include "crypto/hex.h"
#include "tools/talvo-doc/cataloguejson.h"
#include "tools/talvo-doc/cp949.h"
#include "tools/talvo-doc/doclint.h"
#include "tools/talvo-doc/releasearchive.h"
#ifdef TALVO_DOC_SIGNING
#include "tools/publish/releasesigning.h"
#endif

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

const char kUsage[] =
    "usage: talvo-doc dump FILE\n"
    "       talvo-doc lint FILE [--against OLD_FILE] [--release DIR [--archive DIR]] [--public-key LINE]\n"
    "    --public-key: the document must be signed by that key (ecdsa-p256:...), its release number\n"
    "    must rise above OLD_FILE's, every package address and the notice must be pinned by size and\n"
    "    SHA-256, and with --release each pin must match the served file (host build only).\n"
    "  dump: parses the update information document FILE (code page 949) as the updater does and\n"
    "    prints the catalogue as one JSON object (UTF-8). No network request is made.\n"
    "  lint: one line per trap found in FILE (\"FILE:LINE: [id] what the updater does; how to write\n"
    "    it instead\", UTF-8). --against: every offered version must sort after OLD_FILE's as text.\n"
    "    --release: DIR is the web server's root; every package address must name a zip there that\n"
    "    the updater can unpack, holding only plain names Windows can write, no two that Windows takes\n"
    "    for one file, no name another package holds too (but the XP and 98 builds), and every file a\n"
    "    COPY job takes; NOTICE_URL must name a file there too. A package address is saved under its\n"
    "    last segment, query included, so it must be a file name Windows can write; NOTICE_URL may\n"
    "    carry a query. See tools/talvo-doc/README.md.\n"
    "    --archive: the release archive talvo-publish keeps (default: DIR.archive beside DIR, when\n"
    "    there); every delta package is applied to the archived files of the release it starts from\n"
    "    and each result must have the SHA-256 of its _FILE line (host build only).\n"
    "    Exit status 0 clean, 1 findings, 2 unreadable input.\n";

// The dump shows the document alone: the notice is never fetched.
std::string NoNetwork(const std::string&, unsigned long) { return std::string(); }

bool ReadWholeFile(const char* path, std::string& text, std::string& error) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  if (failed) error = errno != 0 ? std::strerror(errno) : "read error";
  std::fclose(file);
  return !failed;
}

void WriteText(const std::string& text) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::fwrite(text.data(), 1, text.size(), stdout);
}

#ifdef TALVO_DOC_SIGNING
// The covered bytes without the release policy's section: what a refresh, rollout or halt keeps.
std::string WithoutPolicy(std::string_view covered) {
  std::string out;
  bool inside = false;
  while (!covered.empty()) {
    const size_t end = covered.find('\n');
    const std::string_view whole = covered.substr(0, end == std::string_view::npos ? covered.size() : end + 1);
    covered.remove_prefix(whole.size());
    std::string_view line = whole;
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
    if (!line.empty() && line.front() == '[') inside = line == kReleasePolicySectionLine;
    if (!inside) out += whole;
  }
  return out;
}

std::string DescribeShare(const ReleaseRollout& rollout) {
  if (rollout.state == RolloutState::kMalformed) return "a malformed share (no installation takes it)";
  return std::to_string(rollout.percent) + " % of installations";
}

// Each key change, shown; its new key's signature checked, and who made its other signature named
// when it is a key the document or the lint's key names. The numbering is the lint's own check.
void LintKeyChanges(std::string_view covered, const std::string& publicKey, std::vector<LintFinding>& findings,
                    std::string& notes) {
  const KeyChanges changes = ReadKeyChanges(covered);
  crypto::P256PublicKey signingKey{};
  const std::string signingLine =
      crypto::ParsePublicKeyLine(publicKey, signingKey) ? crypto::FormatPublicKeyLine(signingKey) : publicKey;
  std::vector<std::string> known = {signingLine};
  for (const KeyChange& change : changes.changes) {
    const std::string name = "key change " + std::to_string(change.number);
    const std::string newLine = crypto::FormatPublicKeyLine(change.newKey);
    const std::string retiredLine = crypto::FormatPublicKeyLine(change.retiredKey);
    const std::string statement = KeyChangeStatement(change.number, change.newKey, change.retiredKey);
    const std::string trustedHex = crypto::EncodeHex(change.trustedSignature.data(), change.trustedSignature.size());
    std::string signer = "a key not named here (it must be one the installations trust: the build's, or one an "
                         "earlier change brought in)";
    known.push_back(retiredLine);
    for (const std::string& key : known) {
      if (signing::Verify(key, statement, trustedHex)) {
        signer = key == retiredLine ? "the key it retires" : key.substr(0, 27) + "...";
        break;
      }
    }
    notes += name + ": " + ShortKeyName(change.newKey) + " trusted, " + ShortKeyName(change.retiredKey) +
             " retired; signed by " + signer + " and by the new key\n";
    if (!signing::Verify(newLine, statement,
                         crypto::EncodeHex(change.newKeySignature.data(), change.newKeySignature.size())))
      findings.push_back({0, "key-change", name + " is not signed by its new key: updaters refuse the document"});
    if (retiredLine == signingLine)
      findings.push_back({0, "key-change", "the document is signed by the key that " + name +
                                           " retires: updaters that apply the change refuse it"});
    known.push_back(newLine);
  }
}

// The signed form: a signature by the key over everything before it and a release number above
// the served document's. The pins are the lint's own check (LintOptions::bSigned).
void LintSignedForm(const std::string& text, const std::string& publicKey, const std::string* old,
                    std::vector<LintFinding>& findings, std::string& notes) {
  const SignedDocument signedDoc = SplitSignedDocument(text);
  if (signedDoc.state != SignatureState::kSigned) {
    findings.push_back({0, "signature", std::string("not signed: ") + DescribeSignatureState(signedDoc.state) +
                                            "; updaters with a release key refuse it (talvo-publish --sign-key)"});
    return;
  }
  std::string hex;
  for (unsigned char b : signedDoc.signature) {
    static const char kDigits[] = "0123456789abcdef";
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  if (!signing::Verify(publicKey, std::string(signedDoc.covered), hex))
    findings.push_back({0, "signature", "the signature is not by this key, or the document changed after signing: "
                                        "updaters with the key refuse it"});
  LintKeyChanges(signedDoc.covered, publicKey, findings, notes);
  const ReleaseNumber release = ReadReleaseNumber(signedDoc.covered);
  const ReleaseRollout rollout = ReadReleaseRollout(signedDoc.covered);
  if (rollout.state != RolloutState::kEveryone || rollout.bUrgent)
    notes += "rollout: release " + std::to_string(release.number) + " goes to " + DescribeShare(rollout) +
             (rollout.bUrgent ? ", urgent: every installation takes it at once" : "") + "\n";
  if (release.state != ReleaseNumberState::kFound) {
    findings.push_back({0, "release-number", std::string("release number: ") + DescribeReleaseNumberState(release.state)});
  } else if (old != nullptr) {
    const SignedDocument served = SplitSignedDocument(*old);
    const ReleaseNumber before =
        ReadReleaseNumber(served.state == SignatureState::kSigned ? served.covered : std::string_view(*old));
    const std::string_view servedCovered =
        served.state == SignatureState::kSigned ? served.covered : std::string_view(*old);
    const bool resigned = before.state == ReleaseNumberState::kFound && release.number == before.number &&
                          WithoutPolicy(signedDoc.covered) == WithoutPolicy(servedCovered);
    const ReleaseRollout was = ReadReleaseRollout(servedCovered);
    const ReleaseRollout now = ReadReleaseRollout(signedDoc.covered);
    if (resigned && was.state == RolloutState::kShare && was.percent == 0 && now.percent == 100 && !now.bUrgent)
      findings.push_back({0, "rollout", "release " + std::to_string(release.number) + " goes from 0 % (halted) to "
                                        "100 % of installations in one step: raise the share in steps"});
    if (before.state == ReleaseNumberState::kFound && release.number <= before.number && !resigned)
      findings.push_back({0, "release-number", "release " + std::to_string(release.number) +
                                                   " does not rise above the served document's " +
                                                   std::to_string(before.number) +
                                                   ": updaters that accepted it refuse this one"});
  }
}
#endif

int Lint(int argc, char** argv) {
  const char* file = nullptr;
  const char* against = nullptr;
  const char* publicKey = nullptr;
  LintOptions options;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--against") == 0 && i + 1 < argc) {
      against = argv[++i];
    } else if (std::strcmp(argv[i], "--release") == 0 && i + 1 < argc) {
      options.strReleaseDir = argv[++i];
    } else if (std::strcmp(argv[i], "--archive") == 0 && i + 1 < argc) {
      options.strArchiveDir = argv[++i];
    } else if (std::strcmp(argv[i], "--public-key") == 0 && i + 1 < argc) {
      publicKey = argv[++i];
    } else if (file == nullptr && argv[i][0] != '-') {
      file = argv[i];
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (file == nullptr) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string text, oldText, error;
  errno = 0;
  for (const auto& [path, target] : {std::make_pair(file, &text), std::make_pair(against, &oldText)}) {
    if (path != nullptr && !ReadWholeFile(path, *target, error)) {
      std::fprintf(stderr, "talvo-doc: cannot read %s: %s\n", path, error.c_str());
      return 2;
    }
  }
  if (against != nullptr) options.pOldDocument = &oldText;
  if (!options.strReleaseDir.empty() && options.strArchiveDir.empty()) {
    const std::string beside = DefaultArchiveFolder(options.strReleaseDir);
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::u8path(beside), ec)) options.strArchiveDir = beside;
  }
#ifdef TALVO_DOC_SIGNING
  if (publicKey != nullptr) options.bSigned = true;
  // Hashing is OpenSSL's: only the host build proves pins and deltas.
  if (publicKey != nullptr || !options.strArchiveDir.empty()) options.pFileDigest = &signing::Sha256OfFile;
#endif
  std::vector<LintFinding> findings = LintDocument(text, options);
  std::string notes;  // what the maker should see even when nothing is wrong
  if (publicKey != nullptr) {
#ifdef TALVO_DOC_SIGNING
    LintSignedForm(text, publicKey, options.pOldDocument, findings, notes);
#else
    std::fputs("talvo-doc: this build cannot check signatures: use the host build (OpenSSL)\n", stderr);
    return 2;
#endif
  }
  std::string out;
  // The path stays as given; only the document's own text is code page 949.
  for (const LintFinding& finding : findings) out += file + Cp949ToUtf8(FormatFinding("", finding)) + "\n";
  // One line per note, each naming the file as the findings do.
  for (size_t at = 0; at < notes.size();) {
    const size_t end = notes.find('\n', at);
    out += std::string(file) + ": " + notes.substr(at, end - at) + "\n";
    at = end == std::string::npos ? notes.size() : end + 1;
  }
  WriteText(out);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) return 2;
  return findings.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "lint") == 0) return Lint(argc, argv);
  if (argc != 3 || std::strcmp(argv[1], "dump") != 0) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  std::string text;
  std::string error;
  errno = 0;
  if (!ReadWholeFile(argv[2], text, error)) {
    std::fprintf(stderr, "talvo-doc: cannot read %s: %s\n", argv[2], error.c_str());
    return 2;
  }

  SetTextFetcher(&NoNetwork);
  CProjectData catalogue;
  const int hasDownload = catalogue.Parse(text);
  const std::string json = CatalogueToJson(catalogue, hasDownload);

  WriteText(json);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "talvo-doc: cannot write the output: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}
