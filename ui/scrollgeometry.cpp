#include "ui/scrollgeometry.h"

#include <algorithm>

namespace skinscroll {

namespace {

// Everything is worked out in 64 bits: a page times a track length, or a drag distance times a
// range of 2^32 positions, does not fit in 32.
int64_t Clamp(int64_t value, int64_t low, int64_t high) { return std::min(std::max(value, low), high); }

struct AxisSpan {
  int32_t start;
  int32_t end;
};

AxisSpan SpanOf(int part, const Layout& layout) {
  const int32_t thumbStart = layout.arrow + layout.lead;
  const int32_t thumbEnd = thumbStart + layout.thumb;
  const int32_t downStart = layout.length - layout.arrow;
  switch (part) {
    case kLineUp: return {0, layout.arrow};
    case kPageUp: return {layout.arrow, thumbStart};
    case kThumb: return {thumbStart, thumbEnd};
    case kPageDown: return {thumbEnd, downStart};
    case kLineDown: return {downStart, layout.length};
    default: return {0, 0};
  }
}

// The bottom-left corner square's skin row.
constexpr int kBottomLeftRow = 1;

int32_t Thickness(const BarShape& shape) { return std::max<int32_t>(shape.slice, 0); }

}  // namespace

Layout ComputeLayout(const ScrollValues& values, const BarShape& shape, LayoutUse use) {
  Layout layout;
  const int64_t length = std::max<int64_t>(shape.length, 0);
  const int64_t slice = Thickness(shape);
  const int64_t inner = std::max<int64_t>(length - 2 * slice, 0);
  layout.length = static_cast<int32_t>(length);
  layout.inner = static_cast<int32_t>(inner);
  layout.arrow = static_cast<int32_t>(inner == 0 ? length / 2 : slice);

  // A page that covers every position (or an empty or reversed range) leaves nothing to scroll:
  // the thumb would fill the track. A page of 0 still shows one position at a time.
  const int64_t positions = int64_t{values.max} - values.min + 1;
  const int64_t page = values.page;
  int64_t thumb = inner;
  if (positions > 0 && std::max<int64_t>(page, 1) < positions) {
    layout.range = positions - std::max<int64_t>(page, 1);
    thumb = page * inner / positions;
  }
  if (inner < kMinThumb) thumb = 0;
  else if (thumb < kMinThumb) thumb = kMinThumb;
  if (use == LayoutUse::kDraw && layout.range == 0) thumb = 0;
  layout.thumb = static_cast<int32_t>(thumb);
  layout.empty = static_cast<int32_t>(inner - thumb);

  if (layout.range == 0) {
    layout.lead = layout.empty / 2;
  } else {
    const int64_t current = values.trackPos != -1 ? values.trackPos : values.pos;
    const int64_t offset = Clamp(current - values.min, 0, layout.range);
    layout.lead = static_cast<int32_t>(layout.empty * offset / layout.range);
  }
  return layout;
}

skin::Rect PartRect(int part, const ScrollValues& values, const BarShape& shape) {
  if (part != kLineUp && part != kLineDown && part != kPageUp && part != kPageDown && part != kThumb)
    return skin::Rect{};
  const AxisSpan span = SpanOf(part, ComputeLayout(values, shape, LayoutUse::kDraw));
  const int32_t thickness = Thickness(shape);
  if (shape.vertical) return skin::Rect{0, span.start, thickness, span.end};
  return skin::Rect{span.start, 0, span.end, thickness};
}

int PartAt(int32_t x, int32_t y, const ScrollValues& values, const BarShape& shape) {
  const int32_t t = shape.vertical ? y : x;
  if (t < 0) return kNoPart;
  const Layout layout = ComputeLayout(values, shape, LayoutUse::kHitTest);
  for (int part : {kLineUp, kPageUp, kThumb, kPageDown}) {
    if (SpanOf(part, layout).end > t) return part;
  }
  return kLineDown;
}

skin::Rect SliceRect(int part, int state, int32_t slice, bool vertical) {
  int column = 0;
  switch (part) {
    case kLineDown: column = 1; break;
    case kThumb: column = 2; break;
    case kPageUp:
    case kPageDown: column = 3; break;
    default: column = 0; break;
  }
  if (!vertical) column += 4;
  const int32_t side = static_cast<int32_t>(Clamp(slice, 0, INT32_MAX / kSkinColumns));
  const int32_t row = (state >= kNormal && state <= kPressed) ? state : kNormal;
  return skin::Rect{column * side, row * side, (column + 1) * side, (row + 1) * side};
}

int SkinRow(int state, int32_t slice, int32_t skinHeight) {
  if (state < kNormal || state > kPressed || slice <= 0) return kNormal;
  return int64_t{state + 1} * slice <= skinHeight ? state : kNormal;
}

int32_t DragPosition(const ScrollValues& values, const BarShape& shape, int32_t startPos,
                     int32_t distance) {
  const Layout layout = ComputeLayout(values, shape, LayoutUse::kHitTest);
  int64_t delta = 0;
  if (layout.empty != 0) delta = int64_t{distance} * layout.range / layout.empty;
  // Any step this large lands on an end anyway; bounding it keeps the sum within 64 bits.
  delta = Clamp(delta, -(int64_t{1} << 40), int64_t{1} << 40);
  const int64_t lowest = values.min;
  const int64_t highest = lowest + layout.range;
  return static_cast<int32_t>(Clamp(startPos + delta, lowest, std::min<int64_t>(highest, INT32_MAX)));
}

CornerSquare PlaceCorner(int corner, const skin::Rect& client, int32_t slice, int32_t skinHeight) {
  if (corner != kBottomLeft && corner != kBottomRight) return CornerSquare{};
  const int32_t w = static_cast<int32_t>(Clamp(slice, 0, INT32_MAX / kSkinColumns));
  const int32_t column = kCornerColumn * w;
  if (corner == kBottomLeft) {
    const int32_t row = SkinRow(kBottomLeftRow, w, skinHeight) * w;
    return CornerSquare{skin::Rect{client.left, client.bottom - w, client.left + w, client.bottom},
                        skin::Rect{column, row, column + w, row + w}};
  }
  return CornerSquare{skin::Rect{client.right - w, client.bottom - w, client.right, client.bottom},
                      skin::Rect{column, 0, column + w, w}};
}

bool HasScrollRange(int32_t min, int32_t max, uint32_t page) {
  return int64_t{max} - min + 1 > std::max<int64_t>(page, 1);
}

}  // namespace skinscroll
