// Reading pixels back: a canvas to paint into, what a window shows on the screen, and the test
// pictures in this program's resources.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>

#include "framework/scopedhandle.h"

namespace testsupport {

// A 32-bit top-down DIB section selected into a memory DC.
class Canvas {
 public:
  Canvas(int width, int height, COLORREF fill = RGB(0xFF, 0x00, 0xFF));
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return m_dc.Get(); }
  int width() const { return m_width; }
  int height() const { return m_height; }
  void Fill(COLORREF colour);
  COLORREF At(int x, int y) const;
  // Counts pixels in [x0, x1) × [y0, y1) that satisfy `test`.
  int Count(int x0, int y0, int x1, int y1, const std::function<bool(COLORREF)>& test) const;

 private:
  int m_width;
  int m_height;
  framework::UniqueBitmap m_bitmap;
  framework::UniqueMemoryDC m_dc;
  HGDIOBJ m_old = nullptr;
  uint32_t* m_bits = nullptr;
};

// What a window shows now: its client area, children included, copied from the screen into the
// canvas's top-left corner.
void Capture(HWND hWnd, Canvas& canvas);
// One pixel of what a window shows now, in client coordinates.
COLORREF ShownAt(HWND hWnd, int x, int y);

// What a window shows now, whole client area; At is CLR_INVALID outside it.
class Snapshot {
 public:
  explicit Snapshot(HWND hWnd);
  COLORREF At(int x, int y) const;
  int Width() const { return m_canvas.width(); }
  int Height() const { return m_canvas.height(); }

 private:
  Canvas m_canvas;
};

// Pixel (x, y) of a picture from this program's resources; a missing picture fails the test.
COLORREF PictureAt(UINT id, int x = 0, int y = 0);

}  // namespace testsupport
