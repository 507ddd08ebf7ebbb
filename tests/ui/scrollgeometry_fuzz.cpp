// Fuzzes the skinned scroll bar's layout with arbitrary scroll values and bar sizes: parts stay
// inside the bar, in order, never negative, and nothing divides by zero (UBSan would stop).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/ui/scrollinvariants.h"
#include "ui/scrollgeometry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  skinscroll::ScrollValues values;
  values.min = in.ConsumeIntegral<int32_t>();
  values.max = in.ConsumeIntegral<int32_t>();
  values.page = in.ConsumeIntegral<uint32_t>();
  values.pos = in.ConsumeIntegral<int32_t>();
  values.trackPos = in.ConsumeBool() ? -1 : in.ConsumeIntegral<int32_t>();
  skinscroll::BarShape shape;
  shape.length = in.ConsumeIntegral<int32_t>();
  shape.slice = in.ConsumeIntegral<int32_t>();
  shape.vertical = in.ConsumeBool();
  const int32_t distance = in.ConsumeIntegral<int32_t>();
  const int32_t x = in.ConsumeIntegral<int32_t>();
  const int32_t y = in.ConsumeIntegral<int32_t>();
  const int state = in.ConsumeIntegral<int>();
  const int part = in.ConsumeIntegral<int>();

  const std::string broken = scrolltest::CheckScrollInvariants(values, shape);
  if (!broken.empty()) {
    std::fprintf(stderr, "%s\n", broken.c_str());
    std::abort();
  }
  (void)skinscroll::PartAt(x, y, values, shape);
  (void)skinscroll::PartRect(part, values, shape);
  const int32_t dragged = skinscroll::DragPosition(values, shape, values.pos, distance);
  if (dragged < values.min) std::abort();
  if (dragged > values.min && dragged > values.max) std::abort();

  const skin::Rect square = skinscroll::SliceRect(part, state, shape.slice, shape.vertical);
  if (square.left < 0 || square.top < 0 || square.right < square.left || square.bottom < square.top) std::abort();
  const int row = skinscroll::SkinRow(state, shape.slice, y);
  if (row < skinscroll::kNormal || row > skinscroll::kPressed) std::abort();
  return 0;
}
