#include "ui/skinblits.h"

#include <algorithm>

namespace skin {

namespace {
constexpr int kThumbEnd = 3;
}  // namespace

void Append(Blits& blits, const Blits& more) { blits.insert(blits.end(), more.begin(), more.end()); }

Blits CopyBlits(const Rect& dest, const Rect& source) {
  if (dest.IsEmpty() || source.IsEmpty()) return {};
  const int w = std::min(dest.Width(), source.Width());
  const int h = std::min(dest.Height(), source.Height());
  return {{Rect{dest.left, dest.top, dest.left + w, dest.top + h},
           Rect{source.left, source.top, source.left + w, source.top + h}}};
}

Blits StretchBlits(const Rect& dest, const Rect& source) {
  if (dest.IsEmpty() || source.IsEmpty()) return {};
  return {{dest, source}};
}

Blits ClipBlits(const Blits& blits, const Rect& clip) {
  Blits clipped;
  for (const Blit& blit : blits) {
    const Rect& d = blit.dest;
    const Rect& s = blit.source;
    const Rect cut{std::max(d.left, clip.left), std::max(d.top, clip.top), std::min(d.right, clip.right),
                   std::min(d.bottom, clip.bottom)};
    if (cut.IsEmpty()) continue;
    if (d.Width() != s.Width() || d.Height() != s.Height()) {
      clipped.push_back(blit);
      continue;
    }
    const int dx = s.left - d.left;
    const int dy = s.top - d.top;
    clipped.push_back({cut, {cut.left + dx, cut.top + dy, cut.right + dx, cut.bottom + dy}});
  }
  return clipped;
}

namespace {

// True also for an area that is not wholly inside the grid: its pixels are not known.
bool MayHoldColour(const PixelGrid& grid, const Rect& area, std::uint32_t colour) {
  if (area.left < 0 || area.top < 0 || area.right > grid.width || area.bottom > grid.height ||
      grid.pixels.size() != static_cast<size_t>(grid.width) * static_cast<size_t>(grid.height))
    return true;
  for (int y = area.top; y < area.bottom; ++y) {
    const std::uint32_t* row = grid.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(grid.width);
    if (std::find(row + area.left, row + area.right, colour) != row + area.right) return true;
  }
  return false;
}

}  // namespace

std::vector<bool> PlainCopies(const Blits& blits, const PixelGrid& picture, std::uint32_t key) {
  std::vector<bool> plain;
  plain.reserve(blits.size());
  for (const Blit& blit : blits) {
    const bool unscaled = blit.dest.Width() == blit.source.Width() && blit.dest.Height() == blit.source.Height();
    plain.push_back(unscaled && !MayHoldColour(picture, blit.source, key));
  }
  return plain;
}

Blits TileBlits(const Rect& dest, const Rect& source) {
  // An empty source would never advance.
  if (dest.IsEmpty() || source.IsEmpty()) return {};
  Blits blits;
  for (int y = dest.top; y < dest.bottom; y += source.Height()) {
    const int h = std::min(source.Height(), dest.bottom - y);
    for (int x = dest.left; x < dest.right; x += source.Width()) {
      const int w = std::min(source.Width(), dest.right - x);
      blits.push_back({Rect{x, y, x + w, y + h}, Rect{source.left, source.top, source.left + w, source.top + h}});
    }
  }
  return blits;
}

Blits ThumbBlits(const Rect& dest, const Rect& source, bool vertical) {
  if (dest.IsEmpty() || source.IsEmpty()) return {};
  const int end = std::min(kThumbEnd, (vertical ? source.Height() : source.Width()) / 2);
  Blits blits;
  Rect middle = dest;
  Rect middleSource = source;
  if (end > 0) {
    // The ends keep the square's own thickness.
    if (vertical) {
      const int right = dest.left + source.Width();
      blits.push_back({Rect{dest.left, dest.top, right, dest.top + end},
                       Rect{source.left, source.top, source.right, source.top + end}});
      blits.push_back({Rect{dest.left, dest.bottom - end, right, dest.bottom},
                       Rect{source.left, source.bottom - end, source.right, source.bottom}});
      middle.top += end;
      middle.bottom -= end;
      middleSource.top += end;
      middleSource.bottom -= end;
    } else {
      const int bottom = dest.top + source.Height();
      blits.push_back({Rect{dest.left, dest.top, dest.left + end, bottom},
                       Rect{source.left, source.top, source.left + end, source.bottom}});
      blits.push_back({Rect{dest.right - end, dest.top, dest.right, bottom},
                       Rect{source.right - end, source.top, source.right, source.bottom}});
      middle.left += end;
      middle.right -= end;
      middleSource.left += end;
      middleSource.right -= end;
    }
  }
  Append(blits, TileBlits(middle, middleSource.IsEmpty() ? source : middleSource));
  return blits;
}

Blits FaceBlits(int fillMode, const Rect& target, Size bitmap) {
  const Rect whole{0, 0, bitmap.cx, bitmap.cy};
  switch (std::clamp<int>(fillMode, kFillCopy, kFillTile)) {
    case kFillCopy: return CopyBlits(target, whole);
    case kFillStretch: return StretchBlits(target, whole);
    default: return TileBlits(target, whole);
  }
}

}  // namespace skin
