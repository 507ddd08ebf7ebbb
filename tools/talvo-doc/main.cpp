// talvo-doc: shows what the updater reads from an update information document.
//   talvo-doc dump FILE
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "catalogue/noticefetch.h"
#include "catalogue/projectdata.h"
#include "tools/talvo-doc/cataloguejson.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

const char kUsage[] =
    "usage: talvo-doc dump FILE\n"
    "  Parses the update information document FILE (code page 949) as the updater does and\n"
    "  prints the catalogue as one JSON object (UTF-8). No network request is made.\n";

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

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
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

#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::fwrite(json.data(), 1, json.size(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "talvo-doc: cannot write the output: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}
