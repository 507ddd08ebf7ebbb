#include "tests/ui/uitestsupport.h"

#include <algorithm>

#include "framework/dibsection.h"

namespace uitest {

namespace {

constexpr int kColumns = 9;
constexpr int kThumbEnd = 3;

COLORREF FromDib(DWORD pixel) {
  return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

DWORD ToDib(COLORREF colour) {
  return (static_cast<DWORD>(GetRValue(colour)) << 16) | (static_cast<DWORD>(GetGValue(colour)) << 8) |
         GetBValue(colour);
}

void SendMouse(DWORD flags, POINT screen) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  // Rounded up: the system maps back with x = dx * width / 65536, rounding down.
  const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
  input.mi.dx = (screen.x * 65536 + width - 1) / width;
  input.mi.dy = (screen.y * 65536 + height - 1) / height;
  input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
  ::SendInput(1, &input, sizeof(input));
}

POINT CursorPos() {
  POINT p{};
  ::GetCursorPos(&p);
  return p;
}

}  // namespace

COLORREF SkinColour(int column, int row) { return RGB(20 + column * 25, 40 + row * 70, 230 - column * 20); }
COLORREF ThumbStartColour(int row) { return RGB(250, 20 + row * 70, 20); }
COLORREF ThumbEndColour(int row) { return RGB(20, 250, 20 + row * 70); }

framework::UniqueBitmap MakeSkin(int side, int rows) {
  void* bits = nullptr;
  framework::UniqueBitmap skin = framework::CreateTopDownDib(kColumns * side, rows * side, &bits);
  if (!skin) return skin;
  auto* pixels = static_cast<DWORD*>(bits);
  const int width = kColumns * side;
  for (int y = 0; y < rows * side; ++y) {
    for (int x = 0; x < width; ++x) {
      const int column = x / side, row = y / side;
      // Along the bar: y inside the square for the vertical thumb, x for the horizontal one.
      const int along = column == 2 ? y % side : x % side;
      COLORREF colour = SkinColour(column, row);
      if (column == 2 || column == 6) {
        if (along < kThumbEnd) colour = ThumbStartColour(row);
        else if (along >= side - kThumbEnd) colour = ThumbEndColour(row);
      }
      pixels[y * width + x] = ToDib(colour);
    }
  }
  ::GdiFlush();
  return skin;
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    if (done()) return true;
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= ms) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(ms - elapsed, 10), QS_ALLINPUT);
  }
}

void MoveMouse(POINT screen) {
  SendMouse(MOUSEEVENTF_MOVE, screen);
  PumpUntil([&] {
    const POINT p = CursorPos();
    return p.x == screen.x && p.y == screen.y;
  }, 1000);
  PumpFor(30);
}

void PressLeft() {
  SendMouse(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_MOVE, CursorPos());
  PumpFor(30);
}

void ReleaseLeft() {
  SendMouse(MOUSEEVENTF_LEFTUP | MOUSEEVENTF_MOVE, CursorPos());
  PumpFor(30);
}

POINT ToScreen(HWND hWnd, POINT client) {
  ::ClientToScreen(hWnd, &client);
  return client;
}

Snapshot::Snapshot(HWND hWnd) {
  RECT rc{};
  ::GetClientRect(hWnd, &rc);
  m_width = rc.right;
  m_height = rc.bottom;
  void* bits = nullptr;
  framework::UniqueBitmap dib = framework::CreateTopDownDib(m_width, m_height, &bits);
  if (!dib) return;
  {
    framework::ScopedWindowDC screen(hWnd);
    framework::UniqueMemoryDC memory(::CreateCompatibleDC(screen.Get()));
    framework::ScopedSelectObject select(memory.Get(), dib.Get());
    ::BitBlt(memory.Get(), 0, 0, m_width, m_height, screen.Get(), 0, 0, SRCCOPY);
  }
  ::GdiFlush();
  const auto* pixels = static_cast<const DWORD*>(bits);
  m_pixels.assign(pixels, pixels + static_cast<size_t>(m_width) * m_height);
}

COLORREF Snapshot::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return CLR_INVALID;
  return FromDib(m_pixels[static_cast<size_t>(y) * m_width + x]);
}

}  // namespace uitest
