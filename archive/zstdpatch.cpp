#include "archive/zstdpatch.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "archive/filelayer.h"

namespace zstdpatch {
namespace {

struct DCtxDeleter {
  void operator()(ZSTD_DCtx* p) const { ZSTD_freeDCtx(p); }
};
using DCtxPtr = std::unique_ptr<ZSTD_DCtx, DCtxDeleter>;

// zstd's own default limit; a patch frame's window covers the larger of the old and new file, so
// the limit grows to that and no further.
constexpr int kDefaultWindowLog = 27;

int WindowLogFor(uint64_t largerSize) {
  ZSTD_bounds bounds = ZSTD_dParam_getBounds(ZSTD_d_windowLogMax);
  int log = kDefaultWindowLog;
  while (log < bounds.upperBound && (uint64_t(1) << log) <= largerSize) ++log;
  return log;
}

class DeltaInput {
 public:
  virtual ~DeltaInput() = default;
  // Fills up to `capacity` bytes; 0 at the end; false when reading failed.
  virtual bool Read(void* buffer, size_t capacity, size_t* pRead) = 0;
};

class MemoryInput : public DeltaInput {
 public:
  MemoryInput(const void* data, size_t size) : m_pData(static_cast<const unsigned char*>(data)), m_nLeft(size) {}
  bool Read(void* buffer, size_t capacity, size_t* pRead) override {
    size_t n = std::min(capacity, m_nLeft);
    if (n) std::memcpy(buffer, m_pData, n);
    m_pData += n;
    m_nLeft -= n;
    *pRead = n;
    return true;
  }

 private:
  const unsigned char* m_pData;
  size_t m_nLeft;
};

class FileInput : public DeltaInput {
 public:
  explicit FileInput(filelayer::FileHandle hFile) : m_hFile(hFile) {}
  bool Read(void* buffer, size_t capacity, size_t* pRead) override {
    uint32_t got = 0;
    if (!filelayer::ReadBytes(m_hFile, buffer, static_cast<uint32_t>(std::min<size_t>(capacity, 1u << 30)), &got))
      return false;
    *pRead = got;
    return true;
  }

 private:
  filelayer::FileHandle m_hFile;
};

// Where the result goes: the observer, then the output file when there is one.
class ResultOutput {
 public:
  ResultOutput(PatchObserver* observer, filelayer::FileHandle hFile) : m_pObserver(observer), m_hFile(hFile) {}
  bool Write(const void* data, size_t size) {
    if (size == 0) return true;
    if (m_pObserver && !m_pObserver->Consume(data, size)) return false;
    if (m_hFile == filelayer::kInvalidFile) return true;
    uint32_t written = 0;
    return filelayer::WriteBytes(m_hFile, data, static_cast<uint32_t>(size), &written) && written == size;
  }

 private:
  PatchObserver* m_pObserver;
  filelayer::FileHandle m_hFile;
};

PatchResult Apply(const void* source, size_t sourceSize, DeltaInput& delta, uint64_t expectedSize,
                  ResultOutput& output) {
  DCtxPtr dctx(ZSTD_createDCtx());
  if (!dctx) return PatchResult::kNoMemory;
  if (ZSTD_isError(ZSTD_DCtx_refPrefix(dctx.get(), source, sourceSize))) return PatchResult::kNoMemory;

  std::vector<unsigned char> inBuffer(ZSTD_DStreamInSize());
  std::vector<unsigned char> outBuffer(ZSTD_DStreamOutSize());
  uint64_t produced = 0;
  bool frameDone = false;
  bool first = true;
  for (;;) {
    size_t got = 0;
    if (!delta.Read(inBuffer.data(), inBuffer.size(), &got)) return PatchResult::kDeltaUnreadable;
    if (got == 0) break;
    if (frameDone) return PatchResult::kDeltaDamaged;  // bytes after the frame
    if (first) {
      first = false;
      unsigned long long announced = ZSTD_getFrameContentSize(inBuffer.data(), got);
      if (announced == ZSTD_CONTENTSIZE_ERROR) return PatchResult::kDeltaDamaged;
      if (expectedSize == kAnnouncedSize) {
        if (announced == ZSTD_CONTENTSIZE_UNKNOWN) return PatchResult::kWrongSize;
        expectedSize = announced;
      }
      const int windowLog = WindowLogFor(std::max<uint64_t>(sourceSize, expectedSize));
      if (ZSTD_isError(ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_windowLogMax, windowLog)))
        return PatchResult::kNoMemory;
      if (announced != ZSTD_CONTENTSIZE_UNKNOWN && announced != expectedSize) return PatchResult::kWrongSize;
    }
    ZSTD_inBuffer in{inBuffer.data(), got, 0};
    bool outputFull = false;
    while (in.pos < in.size || outputFull) {
      if (frameDone) return PatchResult::kDeltaDamaged;
      ZSTD_outBuffer out{outBuffer.data(), outBuffer.size(), 0};
      size_t rc = ZSTD_decompressStream(dctx.get(), &out, &in);
      if (ZSTD_isError(rc)) {
        return ZSTD_getErrorCode(rc) == ZSTD_error_memory_allocation ? PatchResult::kNoMemory
                                                                      : PatchResult::kDeltaDamaged;
      }
      produced += out.pos;
      if (produced > expectedSize) return PatchResult::kWrongSize;
      if (!output.Write(outBuffer.data(), out.pos)) return PatchResult::kOutputFailed;
      outputFull = out.pos == out.size;
      if (rc == 0) frameDone = true;
      if (frameDone && in.pos < in.size) return PatchResult::kDeltaDamaged;
    }
  }
  if (!frameDone) return PatchResult::kDeltaDamaged;  // empty or truncated
  return produced == expectedSize ? PatchResult::kApplied : PatchResult::kWrongSize;
}

PatchResult ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes) {
  if (path.empty()) return PatchResult::kApplied;  // no reference: a new file
  filelayer::UniqueFile file(filelayer::OpenForReading(path));
  uint64_t size = 0;
  if (!file.IsValid() || !filelayer::GetFileSize64(file.Get(), &size) || size > kMaxSourceBytes)
    return PatchResult::kSourceUnreadable;
  bytes.resize(static_cast<size_t>(size));
  size_t done = 0;
  while (done < bytes.size()) {
    uint32_t got = 0;
    uint32_t want = static_cast<uint32_t>(std::min<size_t>(bytes.size() - done, 1u << 24));
    if (!filelayer::ReadBytes(file.Get(), bytes.data() + done, want, &got) || got == 0)
      return PatchResult::kSourceUnreadable;
    done += got;
  }
  return PatchResult::kApplied;
}

}  // namespace

PatchResult ApplyPatchFile(const std::string& sourcePath, const std::string& deltaPath,
                           const std::string& outputPath, uint64_t expectedSize, PatchObserver* observer) {
  try {
    std::vector<unsigned char> source;
    PatchResult result = ReadWholeFile(sourcePath, source);
    if (result != PatchResult::kApplied) return result;
    filelayer::UniqueFile delta(filelayer::OpenForReading(deltaPath));
    if (!delta.IsValid()) return PatchResult::kDeltaUnreadable;
    filelayer::UniqueFile output(filelayer::CreateNewFile(outputPath));
    if (!output.IsValid()) return PatchResult::kOutputFailed;
    FileInput input(delta.Get());
    ResultOutput sink(observer, output.Get());
    result = Apply(source.data(), source.size(), input, expectedSize, sink);
    output.Reset();
    if (result != PatchResult::kApplied) filelayer::DeleteNamedFile(outputPath);
    return result;
  } catch (const std::bad_alloc&) {
    filelayer::DeleteNamedFile(outputPath);
    return PatchResult::kNoMemory;
  }
}

PatchResult ApplyPatchBytes(const void* source, size_t sourceSize, const void* delta, size_t deltaSize,
                            uint64_t expectedSize, PatchObserver& observer) {
  try {
    MemoryInput input(delta, deltaSize);
    ResultOutput sink(&observer, filelayer::kInvalidFile);
    return Apply(source, sourceSize, input, expectedSize, sink);
  } catch (const std::bad_alloc&) {
    return PatchResult::kNoMemory;
  }
}

const char* PatchResultName(PatchResult result) {
  switch (result) {
    case PatchResult::kApplied: return "applied";
    case PatchResult::kSourceUnreadable: return "installed file unreadable";
    case PatchResult::kDeltaUnreadable: return "delta unreadable";
    case PatchResult::kDeltaDamaged: return "delta damaged or made from other bytes";
    case PatchResult::kWrongSize: return "result of another size";
    case PatchResult::kOutputFailed: return "result not written";
    case PatchResult::kNoMemory: return "out of memory";
  }
  return "?";
}

}  // namespace zstdpatch
