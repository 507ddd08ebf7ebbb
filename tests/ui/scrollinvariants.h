// What must hold for any scroll values and bar size: shared by the case table and the fuzzer.
// Returns an empty string when all holds, else what broke.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>

#include "ui/scrollgeometry.h"

namespace scrolltest {

inline std::string CheckScrollInvariants(const skinscroll::ScrollValues& values,
                                         const skinscroll::BarShape& shape) {
  using namespace skinscroll;
  const int32_t length = std::max<int32_t>(shape.length, 0);
  const int32_t thickness = std::max<int32_t>(shape.slice, 0);
  auto along = [&](const skin::Rect& b, int32_t* start, int32_t* end) {
    *start = shape.vertical ? b.top : b.left;
    *end = shape.vertical ? b.bottom : b.right;
    const int32_t across0 = shape.vertical ? b.left : b.top;
    const int32_t across1 = shape.vertical ? b.right : b.bottom;
    return across0 == 0 && across1 == thickness;
  };
  const int order[] = {kLineUp, kPageUp, kThumb, kPageDown, kLineDown};
  int32_t previousEnd = 0;
  for (int part : order) {
    int32_t start = 0, end = 0;
    if (!along(PartRect(part, values, shape), &start, &end)) return "a part is not one square thick";
    if (start != previousEnd) return "parts do not follow each other";
    if (end < start) return "a part has a negative size";
    if (start < 0 || end > length) return "a part lies outside the bar";
    previousEnd = end;
  }
  if (previousEnd != length) return "the down arrow does not end the bar";

  const Layout drawn = ComputeLayout(values, shape, LayoutUse::kDraw);
  if (drawn.thumb != 0 && (drawn.thumb < kMinThumb || drawn.thumb > drawn.inner)) return "thumb size";
  if (drawn.range == 0 && drawn.thumb != 0) return "a thumb is drawn with nothing to scroll";

  // The hit test walks the parts in order along the axis.
  const int32_t beyond = length < INT32_MAX ? length + 1 : length;
  int32_t probes[] = {-1, 0, 1, length / 3, length / 2, length - 1, length, beyond};
  std::sort(std::begin(probes), std::end(probes));
  int rank = -1;
  for (int32_t t : probes) {
    const int part = shape.vertical ? PartAt(0, t, values, shape) : PartAt(t, 0, values, shape);
    if (t < 0) {
      if (part != kNoPart) return "a point before the bar hits a part";
      continue;
    }
    const int* found = std::find(std::begin(order), std::end(order), part);
    if (found == std::end(order)) return "the hit test gave no part inside the bar";
    const int r = static_cast<int>(found - std::begin(order));
    if (r < rank) return "the hit test goes backwards";
    rank = r;
  }

  const int32_t dragged = DragPosition(values, shape, values.pos, length / 2);
  const int32_t back = DragPosition(values, shape, values.pos, -length);
  const int64_t highest = std::max<int64_t>(values.min, int64_t{values.max} - std::max<int64_t>(values.page, 1) + 1);
  for (int32_t p : {dragged, back}) {
    if (p < values.min) return "a drag went below the minimum";
    if (p > highest && p > values.min) return "a drag went past the last position";
  }
  return std::string();
}

}  // namespace scrolltest
