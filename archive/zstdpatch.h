// Applies one file's delta: a zstd frame made in patch mode (`zstd --patch-from=OLD NEW`), whose
// reference is the installed file. Memory stays bounded by the old file, zstd's window for the new
// one and two small buffers; the result is written to a new file and every byte is shown to an
// observer (the updater hashes it), so a result is never trusted without its digest.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace zstdpatch {

enum class PatchResult {
  kApplied,
  kSourceUnreadable,  // the old file could not be opened or read, or is larger than allowed
  kDeltaUnreadable,   // the delta file could not be opened or read
  kDeltaDamaged,      // not a zstd frame, a damaged or truncated one, or one made from other bytes
  kWrongSize,         // the frame announces or yields another size than the expected one
  kOutputFailed,      // the result could not be created or written (a full disk, say)
  kNoMemory,
};

// Sees the result's bytes in order, e.g. to hash them. Returning false stops the patch.
class PatchObserver {
 public:
  virtual ~PatchObserver() = default;
  virtual bool Consume(const void* data, size_t size) = 0;
};

// Largest old file read as a reference (it is held in memory while the delta applies).
constexpr uint64_t kMaxSourceBytes = uint64_t(512) << 20;

// The result's size as the frame announces it (which it then must).
constexpr uint64_t kAnnouncedSize = ~uint64_t(0);

// Patches `sourcePath` ("" for none: a file the release adds) with the frame in `deltaPath` into
// `outputPath`, which must not exist yet. The result must have exactly `expectedSize` bytes
// (kAnnouncedSize: the size the frame announces). On any failure the output file is removed.
PatchResult ApplyPatchFile(const std::string& sourcePath, const std::string& deltaPath,
                           const std::string& outputPath, uint64_t expectedSize, PatchObserver* observer);

// The same on bytes in memory, the result going to the observer only (fuzzing, tests).
PatchResult ApplyPatchBytes(const void* source, size_t sourceSize, const void* delta, size_t deltaSize,
                            uint64_t expectedSize, PatchObserver& observer);

const char* PatchResultName(PatchResult result);

}  // namespace zstdpatch
