// Performs lists of skin blits (ui/skinblits.h) with GDI: the one place the skinned controls copy,
// stretch or key out pixels of a bitmap, and where the skin geometry meets GDI's RECT.
#pragma once
#include <windows.h>

#include "ui/skinblits.h"
#include "ui/skinrect.h"

namespace skin {

RECT ToRECT(const Rect& r);
Rect FromRECT(const RECT& r);

// Copies each blit of `source` onto `target` in order, stretching those whose sizes differ (in
// COLORONCOLOR mode: a shrunk skin keeps its colours), as far as they reach into the target's
// clip box. FALSE when the bitmap could not be selected for copying.
BOOL PaintBlits(HDC target, HBITMAP source, const Blits& blits);

// The same, leaving out the source's pixels of colour `key`.
BOOL PaintBlitsKeyed(HDC target, HBITMAP source, const Blits& blits, COLORREF key);

// The same again, for a picture whose pixels are known (ReadPixels): the blits whose source holds
// no pixel of `key` are plain copies.
BOOL PaintBlitsKeyed(HDC target, HBITMAP source, const PixelGrid& pixels, const Blits& blits, COLORREF key);

// A bitmap's pixels; an empty grid when they cannot be read.
PixelGrid ReadPixels(HBITMAP bitmap);

}  // namespace skin
