// talvo-zip: lists or extracts a package the way the updater does, for diagnosis and benchmarks.
//   talvo-zip list ARCHIVE
//   talvo-zip extract ARCHIVE DIR
//   talvo-zip patch OLD DELTA OUT   applies one file's delta (zstd patch frame) as the updater does;
//                                   prints the bytes made, the seconds taken and the process's peak
//                                   memory before and after (OLD "-" for a file without one)
// Exit status 0 on success, 1 when the archive or an entry is refused (with a one-line reason),
// 2 on wrong usage.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "archive/zipfile.h"
#include "archive/zstdpatch.h"
#include "safename/safename.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace {

#ifdef _WIN32
const char kSeparator = '\\';
#else
const char kSeparator = '/';
#endif

// Names are shown byte for byte (code page 949 stays as it is); control bytes are escaped so
// that one entry stays one line.
std::string Printable(const std::string& strName) {
  std::string out;
  for (unsigned char c : strName) {
    if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

const char* MethodText(uint32_t nMethod) {
  switch (nMethod) {
    case 0: return "stored";
    case 8: return "deflated";
    default: return "other";
  }
}

int Refuse(const char* archive, const char* what) {
  std::fprintf(stderr, "talvo-zip: %s: %s\n", archive, what);
  return 1;
}

int RefuseEntry(const char* archive, int index, const CZipEntry* pEntry, const char* what) {
  std::fprintf(stderr, "talvo-zip: %s: entry %d \"%s\": %s\n", archive, index,
               Printable(pEntry->m_strName).c_str(), what);
  return 1;
}

int List(const char* archive) {
  CZipFile zip;
  if (!zip.Open(archive)) return Refuse(archive, DescribeZipFailure(zip.GetLastFailure()));
  std::printf("%5s %-8s %10s %10s %-8s %10s  %s\n", "index", "method", "compressed", "size", "crc32",
              "offset", "name");
  for (int i = 0; i < zip.GetCount(); ++i) {
    const CZipEntry* pEntry = zip.GetEntry(i);
    const char* note = "";
    if (!IsSafeRelativePath(pEntry->m_strName)) note = "  (refused: unsafe name)";
    else if (pEntry->m_strName.back() == '/') note = "  (refused: folder entry)";
    std::printf("%5d %-8s %10" PRIu64 " %10" PRIu64 " %08" PRIx32 " %10" PRIu64 "  %s%s\n", i,
                MethodText(pEntry->m_nMethod), pEntry->m_nCompressedSize, pEntry->m_nSize,
                pEntry->m_nCrc32, pEntry->m_nOffset, Printable(pEntry->m_strName).c_str(), note);
  }
  std::printf("%d entries\n", zip.GetCount());
  return 0;
}

int Extract(const char* archive, const std::string& strFolder) {
  CZipFile zip;
  if (!zip.Open(archive)) return Refuse(archive, DescribeZipFailure(zip.GetLastFailure()));
  std::string strPrefix = strFolder;
  if (strPrefix.empty() || (strPrefix.back() != '/' && strPrefix.back() != '\\')) strPrefix += kSeparator;
  const int nCount = zip.GetCount();
  for (int i = 0; i < nCount; ++i) {
    CZipEntry* pEntry = zip.GetEntry(i);
    // The old file is removed first, as the update dialog does; never for a name that could
    // point outside the folder.
    if (!IsSafeRelativePath(pEntry->m_strName))
      return RefuseEntry(archive, i, pEntry, DescribeZipFailure(ZipFailure::kUnsafeName));
    const std::string strTarget = strPrefix + pEntry->m_strName;
#ifdef _WIN32
    ::SetFileAttributesA(strTarget.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
    filelayer::DeleteNamedFile(strTarget);
    if (!pEntry->ExtractTo(strTarget))
      return RefuseEntry(archive, i, pEntry, DescribeZipFailure(zip.GetLastFailure()));
  }
  std::printf("%d entries extracted\n", nCount);
  return 0;
}

// The most memory the process has held so far, in bytes.
unsigned long long PeakMemory() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  return ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
#else
  rusage usage{};
  return ::getrusage(RUSAGE_SELF, &usage) == 0 ? static_cast<unsigned long long>(usage.ru_maxrss) * 1024 : 0;
#endif
}

class CountingObserver : public zstdpatch::PatchObserver {
 public:
  bool Consume(const void*, size_t size) override {
    m_nBytes += size;
    return true;
  }
  unsigned long long m_nBytes = 0;
};

int Patch(const char* source, const char* delta, const char* output) {
  const unsigned long long before = PeakMemory();
  CountingObserver counter;
  const auto start = std::chrono::steady_clock::now();
  const zstdpatch::PatchResult result = zstdpatch::ApplyPatchFile(
      std::strcmp(source, "-") == 0 ? std::string() : source, delta, output, zstdpatch::kAnnouncedSize, &counter);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (result != zstdpatch::PatchResult::kApplied) return Refuse(delta, zstdpatch::PatchResultName(result));
  std::printf("bytes=%llu seconds=%.6f peak_before=%llu peak_after=%llu\n", counter.m_nBytes, seconds, before,
              PeakMemory());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "list") == 0) return List(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "extract") == 0) return Extract(argv[2], argv[3]);
  if (argc == 5 && std::strcmp(argv[1], "patch") == 0) return Patch(argv[2], argv[3], argv[4]);
  std::fprintf(stderr, "usage: talvo-zip list ARCHIVE\n       talvo-zip extract ARCHIVE DIR\n"
                       "       talvo-zip patch OLD DELTA OUT\n");
  return 2;
}
