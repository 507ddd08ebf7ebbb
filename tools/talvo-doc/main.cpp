// talvo-doc: shows what the updater reads from an update information document, and the traps in it.
//   talvo-doc dump FILE
//   talvo-doc lint FILE [--against OLD_FILE] [--release DIR]
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/noticefetch.h"
#include "catalogue/projectdata.h"
#include "tools/talvo-doc/cataloguejson.h"
#include "tools/talvo-doc/cp949.h"
#include "tools/talvo-doc/doclint.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

const char kUsage[] =
    "usage: talvo-doc dump FILE\n"
    "       talvo-doc lint FILE [--against OLD_FILE] [--release DIR]\n"
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

int Lint(int argc, char** argv) {
  const char* file = nullptr;
  const char* against = nullptr;
  LintOptions options;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--against") == 0 && i + 1 < argc) {
      against = argv[++i];
    } else if (std::strcmp(argv[i], "--release") == 0 && i + 1 < argc) {
      options.strReleaseDir = argv[++i];
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
  const std::vector<LintFinding> findings = LintDocument(text, options);
  std::string out;
  // The path stays as given; only the document's own text is code page 949.
  for (const LintFinding& finding : findings) out += file + Cp949ToUtf8(FormatFinding("", finding)) + "\n";
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
