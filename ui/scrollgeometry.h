// Where the parts of a skinned scroll bar lie, and which skin square paints each of them.
// Pure arithmetic without the platform, so the host build tests and fuzzes it.
//
// Along the bar's axis: up arrow, page-up track, thumb, page-down track, down arrow. Across the
// axis every part spans 0 to the skin's square side. Whatever the scroll values, the parts stay
// inside the bar, in that order, never negative in size, and nothing is divided by zero: the
// owner of a scroll bar may hand it a page larger than its content or a maximum below its minimum.
#pragma once
#include <cstdint>

#include "ui/skinrect.h"

namespace skinscroll {

// Parts carry the platform's scroll codes; kNoPart is none.
enum ScrollPart : int {
  kNoPart = -1,
  kLineUp = 0,    // SB_LINEUP: up (or left) arrow
  kLineDown = 1,  // SB_LINEDOWN: down (or right) arrow
  kPageUp = 2,    // SB_PAGEUP: track before the thumb
  kPageDown = 3,  // SB_PAGEDOWN: track after the thumb
  kThumb = 5,     // SB_THUMBTRACK: the thumb
};

// Skin rows.
enum SkinState : int { kNormal = 0, kHover = 1, kPressed = 2 };

// The skin has nine columns: 0 up, 1 down, 2 thumb, 3 track of a vertical bar, 4..7 the same for
// a horizontal bar, 8 the corner squares.
constexpr int kSkinColumns = 9;
constexpr int kCornerColumn = 8;

// The scroll values of a bar, as SCROLLINFO carries them. trackPos -1: no drag in progress.
struct ScrollValues {
  int32_t min = 0;
  int32_t max = 0;
  uint32_t page = 0;
  int32_t pos = 0;
  int32_t trackPos = -1;
};

// length: the bar's extent along its axis; slice: the side of one skin square (the bar's thickness).
struct BarShape {
  int32_t length = 0;
  int32_t slice = 0;
  bool vertical = true;
};

// The thumb is never drawn shorter than this (its two 3-pixel ends).
constexpr int32_t kMinThumb = 6;

// The quantities every part follows from, along the axis.
struct Layout {
  int32_t length = 0;  // L, never negative
  int32_t inner = 0;   // the track between the arrows
  int32_t arrow = 0;   // each arrow's length
  int64_t range = 0;   // positions the thumb can take beyond the first (r); 0: nothing to scroll
  int32_t thumb = 0;
  int32_t empty = 0;   // inner - thumb: the room the thumb moves in
  int32_t lead = 0;    // the page-up track's length
};

// Drawing keeps no thumb when nothing scrolls (the track shows in two halves); the hit test and
// the drag keep it, so a press on such a track grabs a thumb that cannot move.
enum class LayoutUse { kDraw, kHitTest };

Layout ComputeLayout(const ScrollValues& values, const BarShape& shape, LayoutUse use);

// The part's rectangle in the bar's client coordinates (transposed for a horizontal bar). kNoPart
// or an unknown code gives an empty rectangle.
skin::Rect PartRect(int part, const ScrollValues& values, const BarShape& shape);

// The part under a point (client coordinates). Only the coordinate along the axis counts; beyond
// the bar's end is the down arrow, before its start no part.
int PartAt(int32_t x, int32_t y, const ScrollValues& values, const BarShape& shape);

// The skin square of a part in a state (column by part, row by state).
skin::Rect SliceRect(int part, int state, int32_t slice, bool vertical);

// The row to read for `state` from a skin `skinHeight` pixels high: a skin without that row shows
// the normal look.
int SkinRow(int state, int32_t slice, int32_t skinHeight);

// The track position a thumb drag reaches: `startPos` moved by `distance` pixels along the axis,
// kept within the positions the thumb can take.
int32_t DragPosition(const ScrollValues& values, const BarShape& shape, int32_t startPos,
                     int32_t distance);

// The square a skin scroll window paints where its two bars meet: bottom-left (bars on the left)
// from column 8, row 1, bottom-right from column 8, row 0; a skin of one row has the same square
// for both.
enum Corner : int { kNoCorner = 0, kBottomLeft = 1, kBottomRight = 2 };
struct CornerSquare {
  skin::Rect dest;    // in the frame's client area
  skin::Rect source;  // in the skin
};
CornerSquare PlaceCorner(int corner, const skin::Rect& client, int32_t slice, int32_t skinHeight);

// Whether the values leave anything to scroll (the bar is enabled): more positions than a page.
bool HasScrollRange(int32_t min, int32_t max, uint32_t page);

}  // namespace skinscroll
