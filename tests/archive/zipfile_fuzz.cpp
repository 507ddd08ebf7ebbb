// Fuzzes the zip reader with whole archives: open, list, and extract every entry the way the
// update dialog does, into a scratch folder that is emptied after each input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/zipfile.h"
#include "safename/safename.h"

namespace fs = std::filesystem;

namespace {

struct Scratch {
  fs::path root, archive, out;
  Scratch() {
    std::error_code ec;
    fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    root = base / ("talvo-zipfuzz-" + std::to_string(::getpid()));
    archive = root / "in.zip";
    out = root / "out";
    fs::remove_all(root, ec);
    fs::create_directories(out);
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "zipfile_fuzz: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch scratch;
  {
    std::ofstream file(scratch.archive, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  int nCount = 0;
  {
    CZipFile zip;
    if (zip.Open(scratch.archive.string())) {
      nCount = zip.GetCount();
      Check(nCount > 0, "an open archive has entries");
      Check(zip.GetEntry(-1) == nullptr && zip.GetEntry(nCount) == nullptr, "GetEntry bounds");
      for (int i = 0; i < nCount; ++i) {
        CZipEntry* pEntry = zip.GetEntry(i);
        Check(pEntry && pEntry->m_pZip == &zip, "entry belongs to its archive");
        if (!IsSafeRelativePath(pEntry->m_strName)) {
          Check(!pEntry->ExtractTo(scratch.out.string() + "/x"), "unsafe names are refused");
          continue;
        }
        const std::string strTarget = scratch.out.string() + "/" + pEntry->m_strName;
        filelayer::DeleteNamedFile(strTarget);
        std::error_code ec;
        // Names such as "./" make the target the output folder itself, which stays.
        const bool bExisted = fs::exists(strTarget, ec);
        if (pEntry->ExtractTo(strTarget)) {
          Check(fs::file_size(strTarget, ec) == pEntry->m_nSize, "extracted size is the recorded one");
        } else {
          Check(bExisted || !fs::exists(strTarget, ec), "a failed extraction leaves no file");
        }
      }
    } else {
      Check(zip.GetCount() == 0 && zip.GetEntry(0) == nullptr, "a failed open leaves it closed");
    }
  }
  {
    // The same archive through a handle the caller owns gives the same table.
    filelayer::UniqueFile file(filelayer::OpenForReading(scratch.archive.string()));
    CZipFile zip;
    Check(file.IsValid(), "archive opens");
    Check((zip.Attach(file.Get()) ? zip.GetCount() : 0) == nCount, "Attach and Open agree");
  }
  // Nothing may appear beside the archive and the output folder; the output is emptied.
  for (const auto& item : fs::directory_iterator(scratch.root))
    Check(item.path() == scratch.archive || item.path() == scratch.out, "nothing written outside the folder");
  for (const auto& item : fs::directory_iterator(scratch.out)) fs::remove_all(item.path());
  return 0;
}
