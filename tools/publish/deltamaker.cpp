#include "tools/publish/deltamaker.h"

#include <zstd.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace {

struct CCtxDeleter {
  void operator()(ZSTD_CCtx* p) const { ZSTD_freeCCtx(p); }
};

// The 32-bit updater's decoder reaches no further back than 1 GiB.
constexpr int kLargestWindowLog = 30;

// The smallest window that holds the reference and the result: the updater allows exactly up to
// that (and zstd's default of 2^27 below it).
int WindowLogFor(uint64_t largerSize) {
  int log = ZSTD_cParam_getBounds(ZSTD_c_windowLog).lowerBound;
  while (log < kLargestWindowLog && (uint64_t(1) << log) <= largerSize) ++log;
  return log;
}

}  // namespace

bool MakeFileDelta(const std::string& reference, const std::string& target, std::string& frame, std::string& error,
                   const DeltaParameters& parameters) {
  std::unique_ptr<ZSTD_CCtx, CCtxDeleter> cctx(ZSTD_createCCtx());
  if (!cctx) return error = "zstd: no memory for a compression context", false;
  const uint64_t larger = std::max<uint64_t>(reference.size(), target.size());
  if (larger >= (uint64_t(1) << kLargestWindowLog))
    return error = "zstd: files of 1 GiB and more get no delta", false;
  const auto set = [&](ZSTD_cParameter parameter, int value) {
    const size_t rc = ZSTD_CCtx_setParameter(cctx.get(), parameter, value);
    if (ZSTD_isError(rc)) error = std::string("zstd: ") + ZSTD_getErrorName(rc);
    return !ZSTD_isError(rc);
  };
  if (!set(ZSTD_c_compressionLevel, parameters.nLevel) || !set(ZSTD_c_windowLog, WindowLogFor(larger)) ||
      !set(ZSTD_c_enableLongDistanceMatching, parameters.bLongMatching ? 1 : 0) || !set(ZSTD_c_checksumFlag, 1) ||
      !set(ZSTD_c_contentSizeFlag, 1))
    return false;
  if (!reference.empty()) {
    const size_t rc = ZSTD_CCtx_refPrefix(cctx.get(), reference.data(), reference.size());
    if (ZSTD_isError(rc)) return error = std::string("zstd: ") + ZSTD_getErrorName(rc), false;
  }
  frame.resize(ZSTD_compressBound(target.size()));
  const size_t size = ZSTD_compress2(cctx.get(), &frame[0], frame.size(), target.data(), target.size());
  if (ZSTD_isError(size)) return error = std::string("zstd: ") + ZSTD_getErrorName(size), false;
  frame.resize(size);
  return true;
}
