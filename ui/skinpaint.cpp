#include "ui/skinpaint.h"

#include <algorithm>

namespace skinscroll {

namespace {

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }
bool IsEmpty(const RECT& r) { return Width(r) <= 0 || Height(r) <= 0; }

constexpr int kThumbEnd = 3;

}  // namespace

SkinSource::SkinSource(HDC target, HBITMAP skin)
    : m_dc(::CreateCompatibleDC(target)), m_select(m_dc.Get(), skin) {}

void BlitSquare(HDC target, const RECT& dest, HDC source, const RECT& square) {
  if (IsEmpty(dest) || IsEmpty(square)) return;
  if (Width(dest) == Width(square) && Height(dest) == Height(square)) {
    ::BitBlt(target, dest.left, dest.top, Width(dest), Height(dest), source, square.left, square.top, SRCCOPY);
    return;
  }
  const int oldMode = ::SetStretchBltMode(target, COLORONCOLOR);
  ::StretchBlt(target, dest.left, dest.top, Width(dest), Height(dest), source, square.left, square.top,
               Width(square), Height(square), SRCCOPY);
  ::SetStretchBltMode(target, oldMode);
}

void TileSlice(HDC target, const RECT& dest, HDC source, const RECT& square) {
  // An empty square would never advance.
  if (IsEmpty(dest) || IsEmpty(square)) return;
  for (int y = dest.top; y < dest.bottom; y += Height(square)) {
    const int rowHeight = std::min<int>(Height(square), dest.bottom - y);
    for (int x = dest.left; x < dest.right; x += Width(square)) {
      const int copyWidth = std::min<int>(Width(square), dest.right - x);
      ::BitBlt(target, x, y, copyWidth, rowHeight, source, square.left, square.top, SRCCOPY);
    }
  }
}

void PaintThumb(HDC target, const RECT& dest, HDC source, const RECT& square, bool vertical) {
  if (IsEmpty(dest) || IsEmpty(square)) return;
  // A skin square smaller than two ends keeps half of itself for each end.
  const int side = vertical ? Height(square) : Width(square);
  const int end = std::min(kThumbEnd, side / 2);
  RECT middleSquare = square;
  RECT middle = dest;
  if (vertical) {
    const int width = Width(square);
    ::BitBlt(target, dest.left, dest.top, width, end, source, square.left, square.top, SRCCOPY);
    ::BitBlt(target, dest.left, dest.bottom - end, width, end, source, square.left, square.bottom - end, SRCCOPY);
    middleSquare.top += end;
    middleSquare.bottom -= end;
    middle.top += end;
    middle.bottom -= end;
  } else {
    const int height = Height(square);
    ::BitBlt(target, dest.left, dest.top, end, height, source, square.left, square.top, SRCCOPY);
    ::BitBlt(target, dest.right - end, dest.top, end, height, source, square.right - end, square.top, SRCCOPY);
    middleSquare.left += end;
    middleSquare.right -= end;
    middle.left += end;
    middle.right -= end;
  }
  TileSlice(target, middle, source, IsEmpty(middleSquare) ? square : middleSquare);
}

}  // namespace skinscroll
