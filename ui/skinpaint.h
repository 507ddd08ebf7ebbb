// Copying squares of a skin bitmap onto a window: whole, stretched, tiled, or as a thumb whose
// 3-pixel ends stay unstretched.
#pragma once
#include <windows.h>

#include "framework/scopedhandle.h"

namespace skinscroll {

// The skin selected into a memory DC compatible with `target`, for the length of one drawing.
class SkinSource {
 public:
  SkinSource(HDC target, HBITMAP skin);
  SkinSource(const SkinSource&) = delete;
  SkinSource& operator=(const SkinSource&) = delete;
  HDC Get() const { return m_dc.Get(); }

 private:
  framework::UniqueMemoryDC m_dc;
  framework::ScopedSelectObject m_select;
};

// Copies `square` into `dest`, stretched when their sizes differ.
void BlitSquare(HDC target, const RECT& dest, HDC source, const RECT& square);
// Fills `dest` with copies of `square` from its top left corner; the last copies of a row and the
// last row are cut to what remains.
void TileSlice(HDC target, const RECT& dest, HDC source, const RECT& square);
// A thumb: the square's first and last 3 pixels along the axis at the two ends of `dest`, its
// middle tiled between them.
void PaintThumb(HDC target, const RECT& dest, HDC source, const RECT& square, bool vertical);

}  // namespace skinscroll
