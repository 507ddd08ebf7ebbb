#include "ui/skinrules.h"

#include <algorithm>
#include <cstdio>

namespace skin {

namespace {
constexpr unsigned long kButtonTypeMask = 0x0F;
constexpr unsigned long kOwnerDrawType = 0x0B;
}  // namespace

int ButtonKindFromStyle(unsigned long style) {
  const unsigned long type = style & 0xFF;
  if ((type & 3) == 3) return kCheckBox;
  if ((type & 9) == 9) return kRadioButton;
  return kPushButton;
}

unsigned long OwnerDrawStyle(unsigned long style) {
  // Replacing the type rather than adding bits: a radio button (4) with 11 added would read as
  // type 15, which the platform does not draw through its owner.
  return (style & ~kButtonTypeMask) | kOwnerDrawType;
}

FaceChoice ChooseFace(const ButtonLook& look, const FacesLoaded& loaded) {
  if (look.disabled)
    return {loaded.disabled ? Face::kDisabled : Face::kButtonFaceFill, Edge::kRaised, false};
  if (look.selected || look.checked)
    return {loaded.down ? Face::kDown : Face::kButtonFaceFill, Edge::kSunken, true};
  Face face = Face::kNormal;
  if (!loaded.normal)
    face = Face::kButtonFaceFill;
  else if (look.hover && loaded.over)
    face = Face::kOver;
  else if (look.focused && loaded.focus)
    face = Face::kFocus;
  return {face, Edge::kRaised, false};
}

short ClampFillMode(short fillMode) { return std::clamp<short>(fillMode, kFillCopy, kFillTile); }

short ClampTextInset(short inset) { return inset < 0 ? 0 : inset; }

unsigned DisabledFaceId(unsigned normal, unsigned disabled) { return disabled > 0 ? disabled : normal; }

Rect CaptionRect(const Rect& item, short inset, bool pushed) {
  const int side = ClampTextInset(inset) + 2;
  Rect t{item.left + side, item.top, item.right - side, item.bottom};
  if (pushed) {
    ++t.left;
    ++t.right;
    ++t.top;
    ++t.bottom;
  }
  return t;
}

bool CheckAfterClick(int kind, bool checked) {
  if (kind == kCheckBox) return !checked;
  if (kind == kRadioButton) return true;
  return checked;
}

bool CheckAfterSetCheck(int kind, bool requested) { return kind == kPushButton ? false : requested; }

ProgressValue ProgressValueOf(int lower, int upper, int position) {
  return ProgressValue{static_cast<long long>(position) - lower, static_cast<long long>(upper) - lower};
}

int ScaleByFraction(long long length, const ProgressValue& value) {
  if (value.whole == 0) return 0;
  // Integer division truncates toward zero, as trunc() does; no rounding error on the way
  // (in floating point 57/100 × 100 gives 56.99...).
  return static_cast<int>(length * value.part / value.whole);
}

int ProgressPercent(const ProgressValue& value) { return ScaleByFraction(100, value); }

std::string PercentText(const ProgressValue& value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d%%", ProgressPercent(value));
  return text;
}

bool ShowsBlocks(bool blockLoaded, const ProgressValue& value) {
  return blockLoaded && value.part > 0 && value.whole != 0;
}

std::vector<PiecePlacement> BackgroundPieces(const Rect& area, bool horizontal, const Size pieces[3]) {
  const Size& start = pieces[0];
  const Size& end = pieces[2];
  if (horizontal) {
    const int y = (area.top + area.bottom - start.cy) / 2;
    return {
        {0, Rect{area.left, y, area.left + start.cx, y + start.cy}},
        {1, Rect{area.left + start.cx, y, area.right - end.cx, y + start.cy}},
        {2, Rect{area.right - end.cx, y, area.right, y + end.cy}},
    };
  }
  const int x = (area.left + area.right - start.cx) / 2;
  return {
      {0, Rect{x, area.bottom - start.cy, x + start.cx, area.bottom}},
      {1, Rect{x, area.top + end.cy, x + start.cx, area.bottom - start.cy}},
      {2, Rect{x, area.top, x + end.cx, area.top + end.cy}},
  };
}

BlockRow LayoutBlockRow(const Rect& area, int backgroundWidth, Size block, const ProgressValue& value) {
  const Rect inner = Deflate(area, 2);
  BlockRow row;
  row.block = block;
  row.pitch = std::max(1, block.cx + 1);
  row.n = ScaleByFraction(backgroundWidth - 4 - block.cx, value);
  row.count = std::max(0, row.n / row.pitch + 1);
  row.left = inner.left;
  row.top = (inner.top + inner.bottom - block.cy) / 2;
  row.filled = Rect{inner.left, row.top, row.n, row.top + block.cy};
  return row;
}

ThreePieceBar LayoutThreePieceBar(const Rect& area, bool horizontal, const Size pieces[3],
                                  const ProgressValue& value) {
  const Rect inner = Deflate(area, 2);
  const Size& start = pieces[0];
  const Size& end = pieces[2];
  ThreePieceBar bar;
  if (horizontal) {
    const int y = (inner.top + inner.bottom - start.cy) / 2;
    const int m = inner.left + start.cx;
    const int length = std::max(0, ScaleByFraction(area.right - 2 - end.cx - m, value));
    bar.filled = Rect{m, y, m + length, y + start.cy};
    bar.pieces = {
        {0, Rect{inner.left, y, m, y + start.cy}},
        {1, bar.filled},
        {2, Rect{m + length, y, m + length + end.cx, y + end.cy}},
    };
  } else {
    const int x = (inner.left + inner.right - start.cx) / 2;
    const int e = inner.bottom - start.cy;
    const int length = std::max(0, ScaleByFraction(e - (area.top + end.cy + 2), value));
    bar.filled = Rect{x, e - length, x + start.cx, e};
    bar.pieces = {
        {0, Rect{x, e, x + start.cx, inner.bottom}},
        {1, bar.filled},
        {2, Rect{x, e - length - end.cy, x + end.cx, e - length}},
    };
  }
  return bar;
}

}  // namespace skin
