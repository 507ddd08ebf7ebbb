// How a skin square fills a place, as a list of block transfers: one pure function per way of
// filling. The controls build the lists; ui/skinpaint.h performs them with GDI.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/skinrect.h"

namespace skin {

// One block transfer from a skin bitmap: `source` into `dest`, stretched when their sizes differ.
struct Blit {
  Rect dest;
  Rect source;
  bool operator==(const Blit& o) const { return dest == o.dest && source == o.source; }
};

using Blits = std::vector<Blit>;

// Appends `more` to `blits`: several parts of one picture painted in one go, in order.
void Append(Blits& blits, const Blits& more);

// Copy: `source` unscaled at `dest`'s top-left corner, cut at the right and bottom to whichever of
// the two is smaller. Where `dest` is larger, the rest keeps what lies beneath.
Blits CopyBlits(const Rect& dest, const Rect& source);

// Stretch: the whole of `source` into the whole of `dest` (a plain copy when the sizes agree).
Blits StretchBlits(const Rect& dest, const Rect& source);

// Tile: `dest` filled from its top-left corner with copies of `source`, rows top to bottom and
// copies left to right; the last copy of a row is cut to the remaining width and the last row to
// the remaining height.
Blits TileBlits(const Rect& dest, const Rect& source);

// A scroll thumb: the square's first and last 3 pixels along the axis unscaled at the two ends of
// `dest`, its middle tiled between them. A square shorter than two ends keeps half of itself for
// each end.
Blits ThumbBlits(const Rect& dest, const Rect& source, bool vertical);

// Only what falls inside `clip` (a device context's clip box): a blit that misses it is dropped, an
// unscaled one is cut to it, and a stretched one is kept whole, since part of a stretch need not
// sample the source as the whole does. The pixels painted inside `clip` are the same.
Blits ClipBlits(const Blits& blits, const Rect& clip);

// A picture's pixels, row 0 at the top, each a 0x00RRGGBB word.
struct PixelGrid {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// For each blit, whether a plain copy paints it as a paint leaving the picture's pixels of colour
// `key` (a 0x00RRGGBB word) out would: unscaled, with no such pixel in its source. A keyed
// transfer costs far more than a copy, and a skin's key colour is mostly at its edges. Where the
// pixels are not known, none is.
std::vector<bool> PlainCopies(const Blits& blits, const PixelGrid& picture, std::uint32_t key);

// The skin button's fill modes.
enum FillMode { kFillCopy = 0, kFillStretch = 1, kFillTile = 2 };

// How a face bitmap of `bitmap` size fills `target` in `fillMode` (clamped to the three modes),
// taken from the bitmap's top-left corner.
Blits FaceBlits(int fillMode, const Rect& target, Size bitmap);

}  // namespace skin
