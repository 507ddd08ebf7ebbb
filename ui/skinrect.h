// The rectangle and size of every piece of skin geometry: layouts, skin squares and blits. Kept
// free of Windows so the rules build and are tested on the host; GDI's RECT appears only where
// the drawing calls the platform (ui/skinpaint.h converts).
#pragma once

namespace skin {

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  // As the platform counts it: the right and bottom edges lie outside.
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  bool operator==(const Rect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
  bool operator!=(const Rect& o) const { return !(*this == o); }
};

struct Size {
  int cx = 0;
  int cy = 0;
  bool operator==(const Size& o) const { return cx == o.cx && cy == o.cy; }
};

// Rect shrunk by `d` on every side.
inline Rect Deflate(const Rect& r, int d) { return Rect{r.left + d, r.top + d, r.right - d, r.bottom - d}; }

}  // namespace skin
