// Helpers of the control tests: a canvas to paint into and read back, the test pictures, a parent
// window that keeps what its children tell it, real mouse input and message pumping.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

#include "framework/dibsection.h"
#include "framework/scopedhandle.h"
#include "framework/wnd.h"

namespace uitest {

// The list view and progress bar classes exist once the common controls are initialised.
inline const bool kCommonControlsReady = [] {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  return ::InitCommonControlsEx(&controls) != FALSE;
}();

// A 32-bit top-down DIB section selected into a memory DC.
class Canvas {
 public:
  Canvas(int width, int height, COLORREF fill = RGB(0xFF, 0x00, 0xFF)) : m_width(width), m_height(height) {
    void* bits = nullptr;
    m_bitmap = framework::CreateTopDownDib(width, height, &bits);
    m_bits = static_cast<uint32_t*>(bits);
    m_dc.Reset(::CreateCompatibleDC(nullptr));
    m_old = ::SelectObject(m_dc.Get(), m_bitmap.Get());
    Fill(fill);
  }
  ~Canvas() { ::SelectObject(m_dc.Get(), m_old); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return m_dc.Get(); }
  int width() const { return m_width; }
  int height() const { return m_height; }
  void Fill(COLORREF colour) {
    ::GdiFlush();
    const uint32_t value = ToPixel(colour);
    for (int i = 0; i < m_width * m_height; ++i) m_bits[i] = value;
  }
  COLORREF At(int x, int y) const {
    ::GdiFlush();
    const uint32_t v = m_bits[y * m_width + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
  // Counts pixels in [x0, x1) × [y0, y1) that satisfy `test`.
  int Count(int x0, int y0, int x1, int y1, const std::function<bool(COLORREF)>& test) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (test(At(x, y))) ++n;
    return n;
  }

 private:
  static uint32_t ToPixel(COLORREF c) {
    return (static_cast<uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
  }
  int m_width;
  int m_height;
  framework::UniqueBitmap m_bitmap;
  framework::UniqueMemoryDC m_dc;
  HGDIOBJ m_old = nullptr;
  uint32_t* m_bits = nullptr;
};

// Pixel (x, y) of a test picture from this program's resources.
inline COLORREF PictureAt(UINT id, int x = 0, int y = 0) {
  framework::UniqueBitmap bitmap(::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)));
  EXPECT_TRUE(bitmap) << "picture " << id;
  framework::UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
  framework::ScopedSelectObject selected(dc.Get(), bitmap.Get());
  return ::GetPixel(dc.Get(), x, y);
}

// What a window shows now: its client area copied from the screen.
inline void Capture(HWND hWnd, Canvas& canvas) {
  framework::ScopedWindowDC dc(hWnd);
  ::BitBlt(canvas.dc(), 0, 0, canvas.width(), canvas.height(), dc.Get(), 0, 0, SRCCOPY);
}

inline COLORREF ShownAt(HWND hWnd, int x, int y) {
  Canvas canvas(x + 1, y + 1);
  Capture(hWnd, canvas);
  return canvas.At(x, y);
}

inline void Pump() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

inline void PumpFor(DWORD ms) {
  const DWORD start = ::GetTickCount();
  do {
    Pump();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  } while (::GetTickCount() - start < ms);
  Pump();
}

// Pumps until `done` holds or `ms` have passed; the final value of `done`.
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms = 2000) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    Pump();
    if (done()) return true;
    if (::GetTickCount() - start >= ms) return done();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// Real mouse input, in screen coordinates.
class Mouse {
 public:
  static void MoveTo(POINT screen) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    // Rounded up: the way back (times the size over 65536, cut) lands on the same pixel.
    input.mi.dx = static_cast<LONG>((static_cast<long long>(screen.x) * 65536 + width - 1) / width);
    input.mi.dy = static_cast<LONG>((static_cast<long long>(screen.y) * 65536 + height - 1) / height);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &input, sizeof input);
    PumpUntil([&] {
      POINT now{};
      ::GetCursorPos(&now);
      return now.x == screen.x && now.y == screen.y;
    });
    Pump();
  }
  static void Button(DWORD flag) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flag;
    ::SendInput(1, &input, sizeof input);
    PumpFor(30);
  }
  static void Down() {
    SpaceFromLastPress();
    Button(MOUSEEVENTF_LEFTDOWN);
    s_lastPress = ::GetTickCount();
  }
  static void Up() { Button(MOUSEEVENTF_LEFTUP); }
  // A single click: far enough in time from the previous press not to make a double click.
  static void Click(POINT screen) {
    MoveTo(screen);
    Down();
    Up();
  }
  static void DoubleClick(POINT screen) {
    MoveTo(screen);
    Down();
    Up();
    Button(MOUSEEVENTF_LEFTDOWN);
    s_lastPress = ::GetTickCount();
    Up();
  }

 private:
  static void SpaceFromLastPress() {
    const DWORD gap = ::GetDoubleClickTime() + 100;
    const DWORD since = ::GetTickCount() - s_lastPress;
    if (s_lastPress && since < gap) PumpFor(gap - since);
  }
  static inline DWORD s_lastPress = 0;
};

inline POINT ToScreen(HWND hWnd, POINT client) {
  ::ClientToScreen(hWnd, &client);
  return client;
}

inline POINT CentreOf(HWND hWnd) {
  RECT rc{};
  ::GetClientRect(hWnd, &rc);
  return ToScreen(hWnd, POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2});
}

// A top-level window that counts the notifications its child controls send it.
class ParentWindow : public framework::CWnd {
 public:
  explicit ParentWindow(bool visible = true, RECT rect = RECT{100, 100, 500, 400}) {
    const DWORD style = WS_POPUP | WS_CLIPCHILDREN | (visible ? WS_VISIBLE : 0);
    const HBRUSH background = ::GetSysColorBrush(COLOR_WINDOW);
    CreateEx(WS_EX_TOPMOST, framework::AfxRegisterWndClass(CS_DBLCLKS, ::LoadCursor(nullptr, IDC_ARROW), background),
             "controls", style, rect, nullptr, 0);
    if (visible) {
      ::UpdateWindow(m_hWnd);
      Pump();
    }
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_COMMAND) ++notifications[{LOWORD(wParam), HIWORD(wParam)}];
    return CWnd::WindowProc(message, wParam, lParam);
  }
  int Count(int id, int code) const {
    const auto found = notifications.find({id, code});
    return found == notifications.end() ? 0 : found->second;
  }
  std::map<std::pair<int, int>, int> notifications;
};

}  // namespace uitest
