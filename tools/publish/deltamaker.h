// The maker's side of per-file deltas: zstd's patch mode through libzstd, the old file as the
// reference (what `zstd --patch-from=OLD NEW` writes), read by archive/zstdpatch on the updater.
#pragma once
#include <string>

struct DeltaParameters {
  int nLevel = 19;
  bool bLongMatching = true;  // long-distance matching: finds moved blocks far back in the reference
};

// One zstd frame that turns `reference` ("" for a file the release adds) into `target`, announcing
// the target's size. The window covers the larger of the two, which the updater allows.
bool MakeFileDelta(const std::string& reference, const std::string& target, std::string& frame,
                   std::string& error, const DeltaParameters& parameters = DeltaParameters());
