// A 32-bit top-down DIB section: pixels as 0x00RRGGBB words, row 0 at the top, readable in place.
#pragma once
#include <windows.h>

#include "framework/scopedhandle.h"

namespace framework {

inline BITMAPINFO TopDownDibFormat(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

inline UniqueBitmap CreateTopDownDib(int width, int height, void** bits) {
  const BITMAPINFO info = TopDownDibFormat(width, height);
  return UniqueBitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0));
}

}  // namespace framework
