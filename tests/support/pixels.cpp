#include "tests/support/pixels.h"

#include <gtest/gtest.h>

#include "framework/dibsection.h"

namespace testsupport {

namespace {

uint32_t ToPixel(COLORREF c) {
  return (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

COLORREF FromPixel(uint32_t v) { return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF); }

SIZE ClientSize(HWND hWnd) {
  RECT rc{};
  ::GetClientRect(hWnd, &rc);
  return SIZE{rc.right, rc.bottom};
}

}  // namespace

Canvas::Canvas(int width, int height, COLORREF fill) : m_width(width), m_height(height) {
  void* bits = nullptr;
  m_bitmap = framework::CreateTopDownDib(width, height, &bits);
  m_bits = static_cast<uint32_t*>(bits);
  m_dc.Reset(::CreateCompatibleDC(nullptr));
  m_old = ::SelectObject(m_dc.Get(), m_bitmap.Get());
  Fill(fill);
}

Canvas::~Canvas() { ::SelectObject(m_dc.Get(), m_old); }

void Canvas::Fill(COLORREF colour) {
  ::GdiFlush();
  if (!m_bits) return;
  const uint32_t value = ToPixel(colour);
  for (int i = 0; i < m_width * m_height; ++i) m_bits[i] = value;
}

COLORREF Canvas::At(int x, int y) const {
  ::GdiFlush();
  return FromPixel(m_bits[y * m_width + x]);
}

int Canvas::Count(int x0, int y0, int x1, int y1, const std::function<bool(COLORREF)>& test) const {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (test(At(x, y))) ++n;
  return n;
}

void Capture(HWND hWnd, Canvas& canvas) {
  framework::ScopedWindowDC dc(hWnd);
  ::BitBlt(canvas.dc(), 0, 0, canvas.width(), canvas.height(), dc.Get(), 0, 0, SRCCOPY);
}

COLORREF ShownAt(HWND hWnd, int x, int y) {
  Canvas canvas(x + 1, y + 1);
  Capture(hWnd, canvas);
  return canvas.At(x, y);
}

Snapshot::Snapshot(HWND hWnd) : m_canvas(ClientSize(hWnd).cx, ClientSize(hWnd).cy) { Capture(hWnd, m_canvas); }

COLORREF Snapshot::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width() || y >= Height()) return CLR_INVALID;
  return m_canvas.At(x, y);
}

COLORREF PictureAt(UINT id, int x, int y) {
  framework::UniqueBitmap bitmap(::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)));
  EXPECT_TRUE(bitmap) << "picture " << id;
  framework::UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
  framework::ScopedSelectObject selected(dc.Get(), bitmap.Get());
  return ::GetPixel(dc.Get(), x, y);
}

}  // namespace testsupport
